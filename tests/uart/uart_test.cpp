// The relay on the kernel's own serial drivers: the program's port and relay code in a QEMU guest
// whose 16550A UARTs the 8250 driver runs and whose FTDI USB adapter the ftdi_sio driver runs,
// one boot for every test here. Pseudo-terminals accept any setting and have no modem lines, FIFO
// or line rate, and cannot be pulled out; these ports have all of that. The far ends of ttyS1,
// ttyS2 and ttyUSB0 are pseudo-terminals on this side, where QEMU applies the port's rate and
// frame, so a test reads them back from outside the guest as well as inside.
#include <gtest/gtest.h>

#include <termios.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/far_end_settings.h"
#include "tests/support/nmea_checksum.h"
#include "tests/support/relay_model.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/thread_usage.h"
#include "tests/uart/guest_machine.h"
#include "tests/uart/guest_relay_run.h"
#include "ui/main_dialog.h"

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

// The guest, booted once before the first test and ended after the last.
std::unique_ptr<GuestMachine> guest;
bool guestBooted = false;

class GuestEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        const auto start = steady_clock::now();
        guest = std::make_unique<GuestMachine>(UART_GUEST_IMAGE_DIR);
        guestBooted = guest->WaitForLine("guest: ready", 180s).has_value();
        std::printf("guest %s after %lld ms\n", guestBooted ? "booted" : "did not boot",
                    static_cast<long long>(
                        duration_cast<milliseconds>(steady_clock::now() - start).count()));
    }
    void TearDown() override { guest.reset(); }
};

class Uart : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(guestBooted) << "the guest did not boot\n" << guest->Tail();
    }
};

// Whether the guest has the adapter's device node, waiting for it as after a plug. Once it did
// not come, later tests do not wait for it again.
bool AdapterIsThere()
{
    static bool lost = false;
    guest->Send(std::string("uart_guest await ") + kAdapterPort);
    lost = lost || guest->WaitForLine("device ", kGuestReplyTimeout) !=
                       "device " + std::string(kAdapterPort) + " present";
    return !lost;
}

// The rate a port's line runs at for `baud`. The 16550A divides its 1.8432 MHz clock by 16 and a
// whole divisor: every rate of the list exactly. The FT232B divides its 3 MHz by a divisor in
// eighths, the nearest one; QEMU works the rate out of it as 24 MHz over the eighths.
long LineRate(const std::string& port, long baud)
{
    if (port != kAdapterPort) return baud;
    const long eighths = (48000000L + baud) / (2 * baud);
    return 24000000L / eighths;
}

// QEMU hands a port's rate to its host tty as the lowest standard rate at or above 10/11 of it:
// the list's standard rates arrive unchanged, 14400 (which has no Bxxx code) as 19200.
unsigned long HostSideRate(long baud)
{
    constexpr unsigned long kStandardRates[] = {50,    75,    110,    134,    150,   200,  300,
                                                600,   1200,  1800,   2400,   4800,  9600, 19200,
                                                38400, 57600, 115200, 230400, 460800};
    for (const unsigned long rate : kStandardRates)
        if (static_cast<unsigned long>(baud) * 10 / 11 <= rate) return rate;
    return 0;
}

// Both ports as a careless earlier user leaves them: another rate, 7E2, hardware and software
// flow control. The run must set every part of it itself.
void SetPortsAstray(const std::string& input, const std::string& output)
{
    guest->Send("for port in " + input + " " + output +
                "; do stty -F $port 600 cs7 parenb cstopb crtscts ixon ixoff; done; echo astray");
    ASSERT_TRUE(guest->WaitForLine("astray", kGuestReplyTimeout)) << guest->Tail();
    for (const std::string& port : {input, output}) {
        FarEndSettings far{};
        ASSERT_TRUE(ReadFarEndSettings(guest->FarEnd(port).Master(), far));
        ASSERT_EQ(far.outputBaud, 600u);
        ASSERT_TRUE(far.lines.c_cflag & CSTOPB);
    }
}

// A capture fed into the far end of `input` in random pieces comes out of `output`'s exactly as
// the model of the relay's rules gives it.
void ExpectCaptureRelayed(const char* capture, const std::string& input, const std::string& output,
                          unsigned seed)
{
    const std::string bytes = ReadCapture(capture);
    const std::string expected = ExpectedRelayOutput(bytes, SentenceSelection{});
    std::mt19937 random(seed);
    guest->FarEnd(input).WriteInRandomChunks(bytes, random);
    EXPECT_EQ(guest->FarEnd(output).ReadBytes(expected.size(), 60s), expected) << capture;
}

struct RateCase {
    int baud;
    const char* capture;
    std::string input;
    std::string output;
};

void PrintTo(const RateCase& row, std::ostream* out)
{
    *out << row.baud << " baud, " << row.capture << ", " << row.input << " to " << row.output;
}

std::vector<RateCase> EveryRateOfTheBaudList(const std::string& input, const std::string& output)
{
    const char* const captures[] = {"nl551e.log",         "gr8013-w.log", "neo-m8n.log",
                                    "garmin-geko201.log", "mtk-3301.log", "quectel-eg25-g-2.log"};
    std::vector<RateCase> cases;
    for (std::size_t i = 0; i < std::size(kBaudRates); ++i)
        cases.push_back({kBaudRates[i], captures[i % std::size(captures)], input, output});
    return cases;
}

class UartRate : public Uart, public testing::WithParamInterface<RateCase> {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Uart::SetUp());
        if (GetParam().input == kAdapterPort || GetParam().output == kAdapterPort) {
            ASSERT_TRUE(AdapterIsThere()) << "the guest has no " << kAdapterPort << "\n"
                                          << guest->Tail();
        }
    }
};

TEST_P(UartRate, RelaysACaptureExactlyAt8N1WithDtrAndRtsDropped)
{
    const RateCase& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(SetPortsAstray(row.input, row.output));
    GuestRelayRun run(*guest, row.baud, row.input, row.output);
    ASSERT_TRUE(run.Started()) << guest->Tail();

    // As the driver holds it: both speeds, the frame, DTR and RTS low.
    const std::string rate = std::to_string(row.baud);
    EXPECT_EQ(run.Ask("settings", "settings " + row.input),
              "settings " + row.input + " " + rate + " " + rate + " 8N1");
    EXPECT_EQ(run.Reply("settings " + row.output),
              "settings " + row.output + " " + rate + " " + rate + " 8N1");
    // As the far ends see it, and the adapter's divisor as QEMU works it out.
    for (const std::string& port : {row.input, row.output}) {
        SCOPED_TRACE("far end of " + port);
        FarEndSettings far{};
        ASSERT_TRUE(ReadFarEndSettings(guest->FarEnd(port).Master(), far));
        EXPECT_EQ(far.outputBaud, HostSideRate(LineRate(port, row.baud)));
        EXPECT_EQ(far.inputBaud, HostSideRate(LineRate(port, row.baud)));
        EXPECT_EQ(far.lines.c_cflag & (CSIZE | PARENB | CSTOPB), CS8);
        if (port == kAdapterPort) {
            EXPECT_EQ(guest->AdapterLineRate(), LineRate(port, row.baud));
        }
    }
    // The 8250 driver's own account of its UARTs while the run holds them.
    guest->Send("lines");
    for (const std::string& port : {row.input, row.output}) {
        if (port == kAdapterPort) continue;
        const std::string line = run.Reply("serial " + port.substr(port.size() - 1) + ":");
        EXPECT_NE(line.find("uart:16550A"), std::string::npos) << line;
        EXPECT_EQ(line.find("DTR"), std::string::npos) << line;
        EXPECT_EQ(line.find("RTS"), std::string::npos) << line;
    }

    ExpectCaptureRelayed(row.capture, row.input, row.output, static_cast<unsigned>(row.baud));
    EXPECT_GE(run.Stop(), 0) << guest->Tail();
    EXPECT_TRUE(run.Messages().empty());
}

std::string RateRowName(const testing::TestParamInfo<RateCase>& rateRow)
{
    return "Baud" + std::to_string(rateRow.param.baud);
}

// UART to UART; the adapter as the receiver's port; the adapter as the output.
INSTANTIATE_TEST_SUITE_P(BaudList, UartRate,
                         testing::ValuesIn(EveryRateOfTheBaudList(kInputUart, kOutputUart)),
                         RateRowName);
INSTANTIATE_TEST_SUITE_P(FromAdapter, UartRate,
                         testing::ValuesIn(EveryRateOfTheBaudList(kAdapterPort, kOutputUart)),
                         RateRowName);
INSTANTIATE_TEST_SUITE_P(ToAdapter, UartRate,
                         testing::ValuesIn(EveryRateOfTheBaudList(kInputUart, kAdapterPort)),
                         RateRowName);

TEST_F(Uart, ASecondOpenOfAHeldPortIsRefusedInThisAndInAnotherProcess)
{
    GuestRelayRun run(*guest, 4800);
    ASSERT_TRUE(run.Started()) << guest->Tail();
    for (const std::string& port : {std::string("/dev/ttyS1"), std::string("/dev/ttyS2")}) {
        SCOPED_TRACE(port);
        EXPECT_EQ(run.Ask("reopen " + port, "reopen "), "reopen " + port + " refused");
        EXPECT_EQ(run.Reply("other process exit "), "other process exit 1");
    }
    // The refused opens took nothing from the run.
    guest->FarEnd(kInputUart).Write(kGga + "$");
    EXPECT_EQ(guest->FarEnd(kOutputUart).ReadBytes(kGga.size(), 20s), kGga);
    EXPECT_GE(run.Stop(), 0) << guest->Tail();
    EXPECT_EQ(run.Messages(), std::vector<std::string>(4, "Unable to open the port!"))
        << "one message for each refused open, in this process and in the other";
}

TEST_F(Uart, StopWhileTheReceiverIsSilentReturnsPromptly)
{
    GuestRelayRun run(*guest, 4800);
    ASSERT_TRUE(run.Started()) << guest->Tail();
    guest->FarEnd(kInputUart).Write(kGga + "$");
    ASSERT_EQ(guest->FarEnd(kOutputUart).ReadBytes(kGga.size(), 20s), kGga);
    // The relay now waits for a receiver that sends nothing.
    const long long took = run.Stop();
    EXPECT_GE(took, 0) << guest->Tail();
    EXPECT_LT(took, 1000);
    EXPECT_TRUE(run.Messages().empty());
}

// The cable pulled out mid-run: QEMU's monitor takes the adapter off the bus, and the kernel
// hangs up the port under the run's descriptor. Stop must then let go of every trace of it: the
// kernel hands the name ttyUSB0 to a newly plugged adapter only once nothing holds the old one.
TEST_F(Uart, AnAdapterPulledMidRunEndsItWithOneReadErrorAndOncePluggedBackANewStartRelays)
{
    ASSERT_TRUE(AdapterIsThere()) << guest->Tail();
    {
        GuestRelayRun run(*guest, 4800, kAdapterPort, kOutputUart);
        ASSERT_TRUE(run.Started()) << guest->Tail();
        guest->FarEnd(kAdapterPort).Write(kGga + "$");
        ASSERT_EQ(guest->FarEnd(kOutputUart).ReadBytes(kGga.size(), 20s), kGga);
        ThreadUsage before, ended, after;
        ASSERT_TRUE(run.Usage(before));

        const auto pulled = steady_clock::now();
        ASSERT_TRUE(guest->UnplugAdapter());
        EXPECT_EQ(run.Reply("ended"), "ended") << guest->Tail();
        const auto took = duration_cast<milliseconds>(steady_clock::now() - pulled).count();
        EXPECT_LT(took, 1000) << "ms from device_del to the run's end";
        EXPECT_TRUE(run.Usage(ended));
        EXPECT_EQ(guest->FarEnd(kOutputUart).ReadBytes(1, 1s), "") << "a second of silence";
        EXPECT_TRUE(run.Usage(after));
        std::printf(
            "run ended %lld ms after device_del; %.1f ms CPU to the end, %.1f ms and %ld "
            "switches in the second after\n",
            static_cast<long long>(took), (ended - before).cpuMs, (after - ended).cpuMs,
            (after - ended).Switches());
        EXPECT_LT((ended - before).cpuMs, 250.0) << "a loop spinning on the hang-up";
        EXPECT_LT((after - ended).cpuMs, 50.0) << "CPU spent after the run ended";
        // The "usage" question wakes the program's main thread once for each piece the console
        // hands it over in, at most once per byte of "usage\n".
        EXPECT_LE((after - ended).Switches(), 6) << "woke up after the run ended";

        EXPECT_GE(run.Stop(), 0) << guest->Tail();
        EXPECT_EQ(run.HeldAfterStop(), "holds nothing");
        EXPECT_EQ(run.Messages(), std::vector<std::string>{"Read error"});
    }
    ASSERT_TRUE(guest->PlugAdapter());
    ASSERT_TRUE(AdapterIsThere()) << "not back as " << kAdapterPort << "\n" << guest->Tail();
    GuestRelayRun run(*guest, 4800, kAdapterPort, kOutputUart);
    ASSERT_TRUE(run.Started()) << guest->Tail();
    ExpectCaptureRelayed("nl551e.log", kAdapterPort, kOutputUart, 4800);
    EXPECT_GE(run.Stop(), 0) << guest->Tail();
    EXPECT_TRUE(run.Messages().empty());
}

// A sentence as long as a proprietary one may be, so that the per-byte part of the write bound
// outweighs the constant part and a change of either shows.
std::string LongSentence()
{
    return CheckedSentence("PQNXL," + std::string(390, 'A'));
}

// Nobody reads ttyS2's far end from here on; the run's own descriptor fills the tty, the
// driver's buffer, the UART's FIFO and QEMU's side until nothing more fits. The bytes that fill.
long long StallTheOutput(GuestRelayRun& run)
{
    const std::string filled = run.Ask("fill", "filled ", 60s);
    return filled.empty() ? -1 : std::stoll(filled.substr(7));
}

TEST_F(Uart, AStalledOutputEndsTheRunWithOneWriteErrorWithinTheWriteBound)
{
    GuestRelayRun run(*guest, 4800);
    ASSERT_TRUE(run.Started()) << guest->Tail();
    const long long filled = StallTheOutput(run);
    ASSERT_GT(filled, 0) << guest->Tail();

    const std::string sentence = LongSentence();
    const long long bound = 1000 + 10 * static_cast<long long>(sentence.size());
    std::mt19937 random(7);
    const auto start = steady_clock::now();
    // The second sentence's '$' sends the first, whose write finds no room.
    guest->FarEnd(kInputUart).WriteInRandomChunks(sentence + sentence + sentence, random, 64);
    const std::string message = run.Reply("message: ", milliseconds(bound) + 20s);
    const long long elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_EQ(message, "message: Write error") << guest->Tail();
    EXPECT_GE(elapsed, bound - 50) << "the write gave up before its bound";
    EXPECT_LE(elapsed, bound + 800) << "the write outlasted its bound";
    EXPECT_EQ(run.Reply("ended"), "ended") << guest->Tail();
    // A relay that has ended reads and shows nothing.
    guest->FarEnd(kInputUart).Write(sentence + sentence);

    // The far end reads again, so closing the port leaves nothing to send.
    EXPECT_GE(guest->FarEnd(kOutputUart).ReadBytes(static_cast<std::size_t>(filled), 30s).size(),
              static_cast<std::size_t>(filled));
    EXPECT_GE(run.Stop(), 0) << guest->Tail();
    EXPECT_EQ(run.Messages(), std::vector<std::string>{"Write error"});
}

// Stop (and the program's exit) closes the output port. The 8250 driver's close waits up to 30 s
// (the port's closing_wait) for its buffer to go out, which a stalled far end never takes.
TEST_F(Uart, StopWhileTheOutputIsStalledReturnsPromptly)
{
    GuestRelayRun run(*guest, 4800);
    ASSERT_TRUE(run.Started()) << guest->Tail();
    ASSERT_GT(StallTheOutput(run), 0) << guest->Tail();
    const long long took = run.Stop(60s);
    EXPECT_GE(took, 0) << guest->Tail();
    EXPECT_LT(took, 1000)
        << "Stop waited for the UART to send what its stalled far end never takes";
    EXPECT_TRUE(run.Messages().empty());
}

struct RefusedRate {
    const char* legend;
    int baud;
};

TEST_F(Uart, RatesTheUartCannotRunAreRefused)
{
    const RefusedRate rows[] = {
        {"above the 16550A's 115200 (its 1.8432 MHz clock / 16)", 230400},
        {"the highest rate the program takes", 4000000},
    };
    for (const RefusedRate& row : rows) {
        SCOPED_TRACE(row.legend);
        GuestRelayRun run(*guest, row.baud);
        EXPECT_FALSE(run.Started());
        EXPECT_EQ(run.Messages(), std::vector<std::string>{"Unable to configure the serial port!"});
    }
}

// A rate without a Bxxx code is accepted when the line runs within 2 % of it. The 8250 driver
// reports back the rate asked for, not the one its divisor gives: for 56000 the nearest divisor
// of the 16550A's 115200, 2, runs the line at 57600, 2.9 % off (QEMU's far end shows it).
TEST_F(Uart, ARateTheUartRoundsBeyondTwoPercentIsRefused)
{
    GuestRelayRun run(*guest, 56000);
    EXPECT_FALSE(run.Started());
    EXPECT_EQ(run.Messages(), std::vector<std::string>{"Unable to configure the serial port!"});
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new GuestEnvironment);
    return RUN_ALL_TESTS();
}
