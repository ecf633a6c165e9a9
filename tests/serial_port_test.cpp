// Serial ports on real pseudo-terminals: the settings the far end sees, refused settings and
// names, exclusive use, and the bounded write.
#include "ports/serial_port.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/io/fd_io.h"
#include "ports/port_names.h"
#include "tests/support/child_process.h"
#include "tests/support/far_end_settings.h"
#include "tests/support/held_resources.h"
#include "tests/support/message_recorder.h"
#include "tests/support/pty_pair.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/scratch.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Holds an opened port for the length of a test.
struct OpenPort {
    PortHandle handle;
    explicit OpenPort(PortHandle h) : handle(h) {}
    ~OpenPort() { CloseSerialPort(handle); }
};

class RateSettings : public ::testing::TestWithParam<int> {};

// The far end starts as unlike the wanted settings as a pseudo-terminal allows, so every
// setting the program must make shows; DTR and RTS would need a real UART.
TEST_P(RateSettings, FarEndSeesRaw8N1AtTheRateWithImmediateReads)
{
    MessageRecorder messages;
    PtyPair pty(PtyPair::kMessy);
    OpenPort port(OpenSerialPort(pty.Path().c_str(), GetParam()));
    ASSERT_NE(port.handle, INVALID_HANDLE_VALUE) << ::testing::PrintToString(messages.Texts());

    FarEndSettings seen{};
    ASSERT_TRUE(ReadFarEndSettings(pty.Master(), seen));
    EXPECT_EQ(seen.outputBaud, static_cast<unsigned long>(GetParam()));
    EXPECT_EQ(seen.inputBaud, static_cast<unsigned long>(GetParam()));
    const termios& t = seen.lines;
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u) << "no parity, one stop bit, no RTS/CTS";
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u) << "no XON/XOFF";
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u) << "bytes pass unchanged";
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u) << "raw";
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_TRUE(fcntl(port.handle, F_GETFL) & O_NONBLOCK);
    EXPECT_TRUE(fcntl(port.handle, F_GETFD) & FD_CLOEXEC);

    char byte;
    const long long before = MonotonicMilliseconds();
    EXPECT_LE(read(port.handle, &byte, 1), 0) << "nothing has arrived";
    EXPECT_LT(MonotonicMilliseconds() - before, 100) << "an empty read returns at once";
    EXPECT_TRUE(messages.Texts().empty());
}

// The rates the dialog offers; 14400 has no Linux rate code.
INSTANTIATE_TEST_SUITE_P(OfferedRates, RateSettings,
                         ::testing::Values(300, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600,
                                           115200));

// A standard rate after a custom one on the same port: termios' own calls would set the output
// speed alone and leave the input at the custom rate.
TEST(SerialPort, AStandardRateAfterACustomOneSetsBothSpeeds)
{
    MessageRecorder messages;
    PtyPair pty;
    {
        const OpenPort custom(OpenSerialPort(pty.Path().c_str(), 14400));
        ASSERT_NE(custom.handle, INVALID_HANDLE_VALUE);
    }
    const OpenPort standard(OpenSerialPort(pty.Path().c_str(), 4800));
    ASSERT_NE(standard.handle, INVALID_HANDLE_VALUE) << ::testing::PrintToString(messages.Texts());
    FarEndSettings seen{};
    ASSERT_TRUE(ReadFarEndSettings(pty.Master(), seen));
    EXPECT_EQ(seen.inputBaud, 4800u);
    EXPECT_EQ(seen.outputBaud, 4800u);
}

TEST(SerialPort, RefusedRatesShowTheConfigureMessageAndLeaveNothingOpen)
{
    PtyPair pty;
    const int descriptorsBefore = OpenDescriptorCount();
    for (const int baud : {0, -4800, 1, 49, 4000001, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(baud);
        MessageRecorder messages;
        EXPECT_EQ(OpenSerialPort(pty.Path().c_str(), baud), INVALID_HANDLE_VALUE);
        EXPECT_EQ(messages.Texts(),
                  std::vector<std::string>{"Unable to configure the serial port!"});
        EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
    }
    OpenPort port(OpenSerialPort(pty.Path().c_str(), 4800));
    EXPECT_NE(port.handle, INVALID_HANDLE_VALUE) << "a refused rate left the port held";
}

TEST(SerialPort, APortHeldCannotBeOpenedAgain)
{
    MessageRecorder messages;
    PtyPair pty;
    OpenPort input(OpenSerialPort(pty.Path().c_str(), 4800));
    ASSERT_NE(input.handle, INVALID_HANDLE_VALUE);

    SCOPED_TRACE("the same port chosen as output");
    EXPECT_EQ(OpenSerialPort(pty.Path().c_str(), 4800), INVALID_HANDLE_VALUE);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Unable to open the port!"});

    const char sentence[] = "$GPGGA,1*00\r\n";
    ASSERT_EQ(WriteSerialPort(input.handle, sentence, sizeof sentence - 1), 1);
    EXPECT_EQ(pty.ReadBytes(sizeof sentence - 1, 5s), sentence) << "the first holder still works";
}

TEST(SerialPort, APortHeldByAnotherProcessIsRefused)
{
    MessageRecorder messages;
    PtyPair pty;
    auto holder = std::make_unique<ChildProcess>([&pty](int report) {
        const bool opened = OpenSerialPort(pty.Path().c_str(), 4800) != INVALID_HANDLE_VALUE;
        Report(report, opened ? "opened\n" : "refused\n");
        return ::pause();  // holding the port until killed
    });
    ASSERT_EQ(holder->ReadLine("", 10s), "opened");
    EXPECT_EQ(OpenSerialPort(pty.Path().c_str(), 4800), INVALID_HANDLE_VALUE);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Unable to open the port!"});
    holder.reset();
    OpenPort port(OpenSerialPort(pty.Path().c_str(), 4800));
    EXPECT_NE(port.handle, INVALID_HANDLE_VALUE) << "free again once the other process is gone";
}

// What another program that opens the port without locking it gets: 0, or its errno. It runs as
// nobody, as such programs do: root (CAP_SYS_ADMIN) passes the kernel's exclusive flag.
int OpenAsAnotherUserWithoutLocking(const std::string& path)
{
    ChildProcess other(
        [&path](int) {
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            return fd >= 0 ? 0 : errno;
        },
        65534);
    return other.Wait(10s).value_or(-1);
}

// flock() alone kept out only those who lock: cat or a hotplug script would still open the port
// and split the stream with us.
TEST(SerialPort, AnotherProgramOpeningWithoutALockIsRefusedWhileWeHoldThePort)
{
    MessageRecorder messages;
    PtyPair pty;
    ASSERT_EQ(chmod(pty.Path().c_str(), 0666), 0);  // so that the user may open it at all
    ASSERT_EQ(OpenAsAnotherUserWithoutLocking(pty.Path()), 0);
    {
        const OpenPort held(OpenSerialPort(pty.Path().c_str(), 4800));
        ASSERT_NE(held.handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(OpenAsAnotherUserWithoutLocking(pty.Path()), EBUSY);
    }
    EXPECT_EQ(OpenAsAnotherUserWithoutLocking(pty.Path()), 0) << "free again once closed";
}

TEST(SerialPort, WhatIsNoTerminalIsRefused)
{
    const ScratchDirectory scratch;
    const fs::path regular = scratch.Path() / "capture.log";
    std::ofstream(regular) << "$GPGGA,1*00\r\n";
    const int descriptorsBefore = OpenDescriptorCount();
    for (const std::string& name :
         {std::string("/dev/null"), regular.string(), scratch.Path().string(),
          std::string("/dev/quarnex-no-such-port"), std::string(""), std::string(200, 'x')}) {
        SCOPED_TRACE(name);
        MessageRecorder messages;
        EXPECT_EQ(OpenSerialPort(name.c_str(), 4800), INVALID_HANDLE_VALUE);
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Unable to open the port!"});
        EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
    }
}

TEST(SerialPort, AWriteToAStalledPortFailsWithinItsBound)
{
    MessageRecorder messages;
    PtyPair pty;  // nobody reads the master
    OpenPort port(OpenSerialPort(pty.Path().c_str(), 4800));
    ASSERT_NE(port.handle, INVALID_HANDLE_VALUE);
    const std::string filler(4096, 'f');
    while (write(port.handle, filler.data(), filler.size()) > 0) {
    }
    // Room may still open up for a moment as the kernel moves queued bytes on; the first write
    // that finds none must give up after 1000 ms + 10 ms per byte.
    long long elapsed = 0;
    int result = 1;
    for (int attempt = 0; attempt < 1000 && result == 1; ++attempt) {
        const long long start = MonotonicMilliseconds();
        result = WriteSerialPort(port.handle, kFixedVtg.data(), kFixedVtg.size());
        elapsed = MonotonicMilliseconds() - start;
    }
    EXPECT_EQ(result, 0);
    EXPECT_GE(elapsed, 1300);
    EXPECT_LT(elapsed, 1300 + 2000) << "generous, but bounded";
}

class PortNames : public ::testing::Test {
protected:
    PortLinks ports;
};

TEST_F(PortNames, ComNamesGoThroughTheUsersLinksThenTtyS)
{
    ports.Link("COM3", "/dev/ttyACM0");
    const std::string link = (ports.Path() / "COM3").string();
    const struct {
        const char* name;
        std::string path;
    } rows[] = {
        {"COM3:", link},           {"COM4:", "/dev/ttyS4"},
        {"COM12:", "/dev/ttyS12"}, {"com3:", "com3:"},
        {"COM3", "COM3"},          {"COM:", "COM:"},
        {"COMx:", "COMx:"},        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"GPSGate", "GPSGate"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ResolvePortName(row.name), row.path);
    }
}

TEST_F(PortNames, XdgConfigHomeHoldsThePortsWithoutAnOverride)
{
    const ScopedEnvironmentVariable noOverride("QUARNEX_PORTS_DIR", nullptr);
    const ScratchDirectory config;
    fs::create_directories(config.Path() / "quarnex" / "ports");
    fs::create_symlink("/dev/ttyUSB7", config.Path() / "quarnex" / "ports" / "COM5");
    const ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", config.Path().c_str());
    EXPECT_EQ(ResolvePortName("COM5:"), (config.Path() / "quarnex" / "ports" / "COM5").string());
}

TEST_F(PortNames, ALinkedComNameOpensTheLinkedDevice)
{
    MessageRecorder messages;
    PtyPair pty;
    ports.Link("COM1", pty.Path());
    OpenPort port(OpenSerialPort("COM1:", 4800));
    ASSERT_NE(port.handle, INVALID_HANDLE_VALUE);
    ASSERT_EQ(WriteSerialPort(port.handle, "$X\r\n", 4), 1);
    EXPECT_EQ(pty.ReadBytes(4, 5s), "$X\r\n");
    EXPECT_EQ(OpenSerialPort(pty.Path().c_str(), 4800), INVALID_HANDLE_VALUE)
        << "held through the link means held";
}

}  // namespace
