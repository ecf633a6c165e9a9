// `relay_bench --relay` as an outside harness runs it: a child process relaying between two
// pseudo-terminals, or into a gpsd, until the input hangs up, and its exit codes for bad
// arguments and for outputs that do not open.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/io/unique_fd.h"
#include "tests/support/child_process.h"
#include "tests/support/gpsd_client.h"
#include "tests/support/listening_socket.h"
#include "tests/support/nmea_checksum.h"
#include "tests/support/private_gpsd.h"
#include "tests/support/pty_pair.h"
#include "tests/support/relay_model.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/scratch.h"

using namespace std::chrono_literals;

namespace {

// relay_bench with `arguments` in a child process, its standard error read as its reports. A
// child that hangs fails its Wait() and is stopped when the object goes.
ChildProcess RelayBench(const std::vector<std::string>& arguments)
{
    std::vector<std::string> command{RELAY_BENCH_PATH};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return ChildProcess(command, {.lineFds = {STDERR_FILENO}});
}

const std::vector<std::string> kReadError{"Quarnex: Read error"};

TEST(RelayBenchRelayMode, RelaysUntilTheInputHangsUpThenExitsZero)
{
    PtyPair input, output;
    ChildProcess relay = RelayBench({"--relay", "--input", input.Path(), "--output", output.Path(),
                                     "--baud", "9600", "--deselect", "gsv,GGA"});
    const std::string capture = ReadCapture("nl551e.log");
    SentenceSelection selection{1, 1, 1, 1, 1, 1, 1};
    selection.gsv = selection.gga = 0;
    const std::string expected = ExpectedRelayOutput(capture, selection);

    // Until the child has opened the output, its master reports a hang-up; an end held open
    // here keeps it waiting for data instead. The input keeps what is written until then.
    const UniqueFd outputHeld(open(output.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(outputHeld);
    input.Write(capture);
    EXPECT_EQ(output.ReadBytes(expected.size(), 20s), expected);
    input.CloseMaster();
    EXPECT_EQ(relay.Wait(20s), 0);
    EXPECT_EQ(relay.AllLines(10s), kReadError);
    EXPECT_EQ(output.ReadAvailable(), "") << "the held last sentence is never written";
}

// The relay holds a block's last sentence until the next '$', so the block of sentences is sent
// again until gpsd reports it whole.
TEST(RelayBenchRelayMode, WritesIntoGpsdWhenTheOutputTextNamesGPSGate)
{
    PrivateGpsd gpsd;  // GPSD_SOCKET points at it, for the child too
    GpsdWatcher watcher(gpsd.ClientPort());
    PtyPair input;
    ChildProcess relay = RelayBench(
        {"--relay", "--input", input.Path(), "--output", "my GPSGate", "--deselect", "GSV"});
    const std::string gga =
        CheckedSentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    const std::string rmc =
        CheckedSentence("GPRMC,123519,A,4807.038,N,01131.000,E,0.0,,230394,003.1,W");
    const std::string block = gga + CheckedSentence("GPGSV,1,1,01,07,79,048,42") +
                              CheckedSentence("GPVTG,,T,,M,0.00,N,0.0,K,A") + rmc;
    const std::vector<std::string> expected = {gga, kFixedVtg, rmc};
    const auto wholeBlock = [&](const GpsdWatcher::Lines& lines) {
        GpsdWatcher::Lines nmea;  // gpsd's JSON reports come in between
        std::copy_if(lines.begin(), lines.end(), std::back_inserter(nmea), IsNmeaLine);
        return std::search(nmea.begin(), nmea.end(), expected.begin(), expected.end()) !=
               nmea.end();
    };
    bool reported = false;
    for (int attempt = 0; !reported && attempt < 100; ++attempt) {
        input.Write(block);  // its first '$' releases the previous block's last sentence
        reported = watcher.WaitUntil(wholeBlock, 200ms);
    }
    EXPECT_TRUE(reported) << gpsd.Log();
    input.CloseMaster();
    EXPECT_EQ(relay.Wait(20s), 0);
    EXPECT_EQ(relay.AllLines(10s), kReadError);
    for (const std::string& line : watcher.NmeaLines())  // no GSV, no empty-course VTG
        EXPECT_NE(std::find(expected.begin(), expected.end(), line), expected.end()) << line;
}

// Runs into gpsd that end without a Stop: killed (their guardians take their sources out), or
// told to end by SIGHUP as when their session goes away. Either way no source of theirs is left
// to fill gpsd's slots. Another program's source stays, and so does that of a run still going.
TEST(RelayBenchRelayMode, RunsKilledOrHungUpLeaveNoSourceInGpsd)
{
    PrivateGpsd gpsd;
    // Another user has taken the port of a source on our address (left by a run killed with its
    // guardian): the last start takes that source out too. Forked before any pty is made here,
    // so that it holds none of them.
    ChildProcess squatter(
        [](int report) {
            sockaddr_in ours = TcpAddress("127.113.110.120");
            const UniqueFd listener = Listen(ours);
            if (!listener) return 1;
            char port[8];
            std::snprintf(port, sizeof port, "%u\n", ntohs(ours.sin_port));
            Report(report, port);
            return ::pause();
        },
        kOtherUid);
    sockaddr_in address = TcpAddress("127.0.0.1");
    const UniqueFd otherProgram = Listen(address);
    ASSERT_TRUE(otherProgram);
    const std::string other = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    ASSERT_TRUE(gpsd.AddSource(other));
    PtyPair liveInput;
    ChildProcess live = RelayBench({"--relay", "--input", liveInput.Path(), "--output", "GPSGate"});
    const auto two = [](const std::vector<std::string>& devices) { return devices.size() == 2; };
    const std::vector<std::string> kept = gpsd.WaitForControlDevices(two, 10s);
    ASSERT_EQ(kept.size(), 2u);

    for (const int signal : {SIGKILL, SIGKILL, SIGKILL, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        PtyPair input;
        const std::vector<std::string> before = gpsd.ControlDevices();
        ChildProcess relay =
            RelayBench({"--relay", "--input", input.Path(), "--output", "GPSGate"});
        const auto added = [&before](const std::vector<std::string>& devices) {
            return std::any_of(devices.begin(), devices.end(), [&](const std::string& device) {
                return std::find(before.begin(), before.end(), device) == before.end();
            });
        };
        ASSERT_TRUE(added(gpsd.WaitForControlDevices(added, 10s)))
            << ::testing::PrintToString(relay.AllLines(0s));
        relay.Signal(signal);
        const std::optional<int> exitCode = relay.Wait(10s);
        if (signal == SIGHUP) {
            EXPECT_EQ(exitCode, 1);
            EXPECT_TRUE(relay.AllLines(10s).empty());
            EXPECT_EQ(gpsd.ControlDevices(), kept);
        }
    }
    ASSERT_TRUE(gpsd.AddSource("tcp://127.113.110.120:" + squatter.ReadLine("", 10s).value()));
    GpsdWatcher watcher(gpsd.ClientPort());
    PtyPair input;
    ChildProcess relay = RelayBench({"--relay", "--input", input.Path(), "--output", "GPSGate"});
    const std::string sentence = CheckedSentence("PQNXK,after the killed runs");
    bool reported = false;
    for (int attempt = 0; !reported && attempt < 100; ++attempt) {
        input.Write(sentence + "$");
        reported = watcher.WaitForLine(sentence, 200ms);
    }
    EXPECT_TRUE(reported) << gpsd.Log();
    const std::vector<std::string> devices = gpsd.ControlDevices();
    ASSERT_EQ(devices.size(), 3u) << "killed runs' or the taken port's sources are left";
    EXPECT_EQ(std::vector<std::string>(devices.begin(), devices.begin() + 2), kept);
    input.CloseMaster();
    EXPECT_EQ(relay.Wait(10s), 0);
    liveInput.CloseMaster();
    EXPECT_EQ(live.Wait(10s), 0);
    EXPECT_EQ(gpsd.ControlDevices(), std::vector<std::string>{other});
}

struct Refusal {
    const char* legend;
    const char* arguments;  // separated by spaces; "IN" and "OUT" stand for two working ptys
    int exitCode;
    const char* errorsStartWith;
};

TEST(RelayBenchRelayMode, RefusesBadArgumentsAndOutputsThatDoNotOpen)
{
    // For the child: no gpsd there.
    const ScopedEnvironmentVariable noGpsd("GPSD_SOCKET", "/no/gpsd.sock");
    const char* const kUsage = "usage:";
    const char* const kOpenFailed = "Quarnex: Unable to open the port!";
    const Refusal refusals[] = {
        {"no output", "--relay --input IN", 2, kUsage},
        {"unknown type", "--relay --input IN --output OUT --deselect GSV,XYZ", 2, kUsage},
        {"trailing comma", "--relay --input IN --output OUT --deselect GSV,", 2, kUsage},
        {"baud not a number", "--relay --input IN --output OUT --baud 9k6", 2, kUsage},
        {"benchmark option", "--relay --input IN --output OUT --quick", 2, kUsage},
        {"ports without --relay", "--input IN --output OUT", 2, kUsage},
        {"unknown option", "--fast", 2, kUsage},
        {"soak and relay at once", "--relay --soak --input IN --output OUT", 2, kUsage},
        {"missing input", "--relay --input /nonexistent/tty --output OUT", 1, kOpenFailed},
        {"output not a tty", "--relay --input IN --output /dev/null", 1, kOpenFailed},
        {"same port twice", "--relay --input IN --output IN", 1, kOpenFailed},
        {"baud 0", "--relay --input IN --output OUT --baud 0", 1,
         "Quarnex: Unable to configure the serial port!"},
        {"GPSGate without a gpsd", "--relay --input IN --output GPSGate", 1,
         "Quarnex: gpsd control socket /no/gpsd.sock: No such file or directory"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.legend);
        PtyPair input, output;
        std::vector<std::string> arguments;
        std::istringstream words(refusal.arguments);
        for (std::string word; words >> word;)
            arguments.push_back(word == "IN" ? input.Path() : word == "OUT" ? output.Path() : word);
        ChildProcess relay = RelayBench(arguments);
        EXPECT_EQ(relay.Wait(20s), refusal.exitCode);
        const std::vector<std::string>& errors = relay.AllLines(10s);
        ASSERT_FALSE(errors.empty());
        EXPECT_TRUE(errors[0].starts_with(refusal.errorsStartWith)) << errors[0];
    }
}

}  // namespace
