// The whole program from WinMain() on, the built binary, and the program in a child process that
// is ended from outside: every exit, also during a run, by signal whatever box is open, and by
// losing the display, stops the run, closes what it held and ends with exit code 1.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <QComboBox>
#include <QLabel>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <optional>

#include "platform/window/dialog.h"
#include "platform/window/program_entry.h"
#include "res/resource_ids.h"
#include "tests/support/child_process.h"
#include "tests/support/desktop_session.h"
#include "tests/support/event_wait.h"
#include "tests/support/fake_control_socket.h"
#include "tests/support/gpsd_client.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/private_gpsd.h"
#include "tests/support/private_wayland_compositor.h"
#include "tests/support/private_x_server.h"
#include "tests/support/pty_pair.h"
#include "tests/support/sample_sentences.h"

using namespace std::chrono_literals;

namespace {

struct ExitWay {
    const char* legend;
    std::function<void(MonitorDialog&)> exit;
};

TEST(Program, EveryExitDuringARunStopsItAndEndsWithOne)
{
    const ExitWay ways[] = {
        {"Programm beenden", [](MonitorDialog& main) { main.Click(IDCANCEL); }},
        {"window closed without a tray", [](MonitorDialog& main) { main.Window()->close(); }},
        {"SIGTERM", [](MonitorDialog&) { std::raise(SIGTERM); }},
        {"SIGINT", [](MonitorDialog&) { std::raise(SIGINT); }},
        {"SIGHUP", [](MonitorDialog&) { std::raise(SIGHUP); }},
    };
    for (const ExitWay& way : ways) {
        SCOPED_TRACE(way.legend);
        PtyPair input, output;
        bool ranActive = false;
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(RunEventsUntil([] { return ShownMainDialog() != nullptr; }));
            MonitorDialog main(ShownMainDialog());
            main.Type(IDC_INPUT_PORT, input.Path());
            main.Type(IDC_OUTPUT_PORT, output.Path());
            main.Click(IDC_START);
            ranActive = main.Status()->text() == "Überwachung ist aktiv";
            way.exit(main);
        });
        EXPECT_EQ(WinMain(), 1);
        EXPECT_TRUE(ranActive);
        EXPECT_FALSE(RunIsHeld());
        EXPECT_TRUE(input.ProgramEndClosed() && output.ProgramEndClosed()) << "ports closed";
        EXPECT_EQ(ShownMainDialog(), nullptr);
    }
}

// The built program, started by a parent that blocks SIGTERM and SIGINT: the signal waits
// until the program is ready for it, and still ends it like a close, with exit code 1.
TEST(Program, TheBinaryEndsWithOneOnSigterm)
{
    for (const int number : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(number);
        ChildProcess program({QUARNEX_PROGRAM}, {.blockedSignals = {SIGTERM, SIGINT}});
        program.Signal(number);
        EXPECT_EQ(program.Wait(20s), 1) << "128 + N: ended by the signal N itself";
    }
}

// What is open when the program is told to end, and how the scripted user got there.
struct OpenAtTheEnd {
    const char* legend;
    int signal;
    const char* output;  // "OUT" the output pseudo-terminal, else the output text as typed
    const char* shows;   // the report that says the program is there: "box: ..." or "status: ..."
    std::function<void(PtyPair& input, PtyPair& output)> provoke;  // once the run is active
    std::optional<FakeGpsd> fakeGpsd = std::nullopt;  // at gpsd's control socket, for Start
    long long withinMs = 3000;
    bool sourceGoesFirst = false;  // the run's failure takes its source out of gpsd at once
};

const OpenAtTheEnd kOpenAtTheEnd[] = {
    {"a failed Start's box (the output is missing)", SIGTERM, "/dev/quarnex-no-such-port",
     "box: Unable to open the port!", nullptr},
    {"the relay's write error box", SIGINT, "OUT", "box: Write error",
     [](PtyPair& input, PtyPair& output) {
         output.CloseMaster();
         input.Write(kGga + kGga + "$");
     }},
    {"the relay's read error box, feeding gpsd", SIGHUP, "GPSGate", "box: Read error",
     [](PtyPair& input, PtyPair&) { input.CloseMaster(); }, std::nullopt, 3000, true},
    {"a run feeding gpsd", SIGTERM, "GPSGate", "status: Überwachung ist aktiv", nullptr},
    // Its wait for gpsd gives up at once (what is left is the end's pause of a second), and the
    // cut-short Start shows no box.
    {"a Start waiting for gpsd's answer", SIGTERM, "GPSGate", "starting", nullptr,
     FakeGpsd::kSilent, 1500},
    {"a Start waiting to connect to a gpsd whose queue is full", SIGTERM, "GPSGate", "starting",
     nullptr, FakeGpsd::kFullQueue, 1500},
};

bool NoSources(const std::vector<std::string>& devices)
{
    return devices.empty();
}

// tests/ui/scripted_quarnex in a child process: its reports on standard output, commands on
// standard input, both on the socket to the test; its own messages where the test's go.
ChildProcess ScriptedProgram(const std::vector<std::string>& arguments,
                             const std::vector<std::string>& environment = {})
{
    std::vector<std::string> command{SCRIPTED_PROGRAM};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return ChildProcess(command, {.environment = environment,
                                  .descriptors = {{STDERR_FILENO, STDERR_FILENO}},
                                  .lineFds = {STDIN_FILENO, STDOUT_FILENO}});
}

void ExpectEndedWithOne(const std::optional<int>& exitCode)
{
    ASSERT_TRUE(exitCode.has_value()) << "still running";
    EXPECT_EQ(*exitCode, 1) << "128 + N: ended by signal N";
}

// True when the running program ignores signal `number`, as the kernel lists it.
bool Ignores(const ChildProcess& program, int number)
{
    std::ifstream status("/proc/" + std::to_string(program.Pid()) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("SigIgn:"))
            return (std::stoull(line.substr(7), nullptr, 16) >> (number - 1)) & 1;
    return false;
}

// SIGTERM at logout, SIGINT, SIGHUP: none may wait for a box that nobody will answer, and the
// source the program added to gpsd goes with it.
TEST(Program, EndsWithinThreeSecondsOnASignalWhateverIsOpen)
{
    const PrivateGpsd gpsd;
    for (const OpenAtTheEnd& row : kOpenAtTheEnd) {
        SCOPED_TRACE(row.legend);
        PtyPair input, output;
        const std::string outputName =
            std::string(row.output) == "OUT" ? output.Path() : row.output;
        const std::string fakeSocket = gpsd.Directory() + "/fake.sock";
        std::optional<FakeControlSocket> fake;
        if (row.fakeGpsd) fake.emplace(fakeSocket, *row.fakeGpsd);
        ChildProcess program =
            ScriptedProgram({input.Path(), "4800", outputName},
                            row.fakeGpsd ? std::vector<std::string>{"GPSD_SOCKET=" + fakeSocket}
                                         : std::vector<std::string>{});
        if (row.provoke) {
            ASSERT_EQ(program.ReadLine("status: ", 20s), "Überwachung ist aktiv");
            row.provoke(input, output);
        }
        ASSERT_TRUE(program.ReadLine(row.shows, 20s)) << "never got there";
        if (row.sourceGoesFirst) {
            EXPECT_EQ(gpsd.WaitForControlDevices(NoSources, 5s), std::vector<std::string>{});
        }
        const auto sent = std::chrono::steady_clock::now();
        program.Signal(row.signal);
        ExpectEndedWithOne(program.Wait(20s));
        const auto took = std::chrono::steady_clock::now() - sent;
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(),
                  row.withinMs);
        EXPECT_EQ(gpsd.ControlDevices(), std::vector<std::string>{}) << "gpsd keeps our source";
        if (row.fakeGpsd) {
            EXPECT_FALSE(program.ReadLine("box: ", 200ms)) << "a box for a Start cut short";
        }
    }
}

// Qt ends the process through exit(1) when the X server goes away, wherever the program is:
// the run must still be stopped, its thread joined (no abort) and its gpsd source removed.
TEST(Program, LosingTheDisplayEndsItWithOneAndLeavesNoSourceInGpsd)
{
    const struct {
        const char* legend;
        std::function<void(ChildProcess&, PtyPair& input)> getThere;
    } rows[] = {
        {"during a run", [](ChildProcess&, PtyPair&) {}},
        {"while the relay's read error box waits for OK",
         [](ChildProcess& program, PtyPair& input) {
             input.CloseMaster();
             ASSERT_TRUE(program.ReadLine("box: Read error", 20s));
         }},
        {"in Stop's pause",
         [](ChildProcess& program, PtyPair&) {
             ASSERT_TRUE(program.Tell("stop"));
             ASSERT_TRUE(program.ReadLine("stopping", 20s));
         }},
    };
    const PrivateGpsd gpsd;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        PrivateXServer display(TrayHost::kXEmbed);
        PtyPair input;
        ChildProcess program =
            ScriptedProgram({input.Path(), "4800", "GPSGate"},
                            {"DISPLAY=" + display.Display(), "QT_QPA_PLATFORM=xcb",
                             // No session bus, as on a machine without one: with DISPLAY set and
                             // no address, a desktop's dbus-x11 would start one on that display.
                             "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"});
        ASSERT_EQ(program.ReadLine("status: ", 20s), "Überwachung ist aktiv");
        ASSERT_EQ(gpsd.ControlDevices().size(), 1u) << "the run's source in gpsd";
        // Else a write to the vanished server may end it by SIGPIPE, before Qt sees the loss.
        EXPECT_TRUE(Ignores(program, SIGPIPE));
        row.getThere(program, input);
        if (::testing::Test::HasFatalFailure()) return;
        display.KillServer();
        ExpectEndedWithOne(program.Wait(20s));
        EXPECT_EQ(gpsd.ControlDevices(), std::vector<std::string>{}) << "gpsd keeps our source";
    }
}

// The program ended where nothing of its own runs: killed (SIGKILL, as by the OOM killer or a
// crash), or ended by Qt itself (_exit) when its Wayland compositor goes away. The source it
// added to gpsd must go within 5 s all the same, and before another user can take its port
// and be read by gpsd as the receiver. (While gpsd reads the source, its connection's time-wait
// keeps the port from everyone for a minute anyway; here nobody watches.)
TEST(Program, AnAbruptEndLeavesNoSourceInGpsdThatAnotherUserCouldServe)
{
    const struct {
        const char* legend;
        bool wayland;
    } rows[] = {{"killed", false}, {"its Wayland compositor killed", true}};
    const PrivateGpsd gpsd;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        std::optional<PrivateWaylandCompositor> compositor;
        if (row.wayland) compositor.emplace();
        PtyPair input;
        ChildProcess program = ScriptedProgram(
            {input.Path(), "4800", "GPSGate"},
            compositor ? compositor->ClientEnvironment() : std::vector<std::string>{});
        ASSERT_EQ(program.ReadLine("status: ", 20s), "Überwachung ist aktiv");
        const std::vector<std::string> sources = gpsd.ControlDevices();
        ASSERT_EQ(sources.size(), 1u);
        ChildProcess otherUser(  // binds the port the moment it is free
            [address = SourceAddress(sources[0])](int report) {
                const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                const auto* at = reinterpret_cast<const sockaddr*>(&address);
                for (int tries = 0; ::bind(fd, at, sizeof address) != 0; ++tries)
                    if (tries == 1500 || ::poll(nullptr, 0, 10) < 0) return 1;
                Report(report, "bound\n");
                return 0;
            },
            kOtherUid);
        if (row.wayland)
            compositor->KillCompositor();
        else
            program.Signal(SIGKILL);
        EXPECT_TRUE(program.Wait(20s).has_value());
        ASSERT_EQ(otherUser.ReadLine("", 20s), "bound") << "the port was never free";
        EXPECT_EQ(gpsd.ControlDevices(), std::vector<std::string>{}) << "listed while free";
        EXPECT_EQ(gpsd.WaitForControlDevices(NoSources, 5s), std::vector<std::string>{});
    }
}

// The test programs started from a terminal of a desktop: its session's variables set, and the
// program runs on a display and a compositor of the tests' own, and without. Nothing of that
// session may be reached.
TEST(Program, TestsRunFromADesktopTerminalReachNothingOfItsSession)
{
    const DecoySession session;
    ChildProcess tests({"/proc/self/exe", "--gtest_filter=Program.TheBinaryEndsWithOneOnSigterm:"
                                          "Program.LosingTheDisplay*:Program.AnAbruptEnd*"},
                       {.environment = session.Environment(),
                        .descriptors = {{STDERR_FILENO, STDERR_FILENO}}});
    EXPECT_EQ(tests.Wait(120s), 0);
    EXPECT_EQ(session.Reached(), std::vector<std::string>{});
}

}  // namespace
