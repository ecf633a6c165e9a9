// The whole program from WinMain() on, the built binary, and the program in a child process that
// is ended from outside: every exit, also during a run, by signal whatever box is open, and by
// losing the display, stops the run, closes what it held and ends with exit code 1.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <QComboBox>
#include <QLabel>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>

#include "platform/window/dialog.h"
#include "platform/window/program_entry.h"
#include "res/resource_ids.h"
#include "tests/support/child_process.h"
#include "tests/support/event_wait.h"
#include "tests/support/fake_control_socket.h"
#include "tests/support/gpsd_client.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/private_gpsd.h"
#include "tests/support/private_wayland_compositor.h"
#include "tests/support/private_x_server.h"
#include "tests/support/pty_pair.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/scripted_program.h"

extern char** environ;

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
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGTERM);
        sigaddset(&blocked, SIGINT);
        posix_spawnattr_setsigmask(&attributes, &blocked);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
        char program[] = QUARNEX_PROGRAM;
        char* arguments[] = {program, nullptr};
        pid_t child = -1;
        ASSERT_EQ(posix_spawn(&child, program, nullptr, &attributes, arguments, environ), 0);
        posix_spawnattr_destroy(&attributes);
        ASSERT_EQ(kill(child, number), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(status), 1);
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

// The time from the signal to the program's end, and how it ended.
struct End {
    long long milliseconds;
    std::optional<int> status;
};

End SignalAndWait(ScriptedProgram& program, int number)
{
    const auto sent = std::chrono::steady_clock::now();
    program.Signal(number);
    const std::optional<int> status = program.WaitForEnd(20s);
    const auto took = std::chrono::steady_clock::now() - sent;
    return {std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), status};
}

void ExpectEndedWithOne(const std::optional<int>& status)
{
    ASSERT_TRUE(status.has_value()) << "still running";
    EXPECT_TRUE(WIFEXITED(*status))
        << "ended by signal " << WTERMSIG(*status) << (WCOREDUMP(*status) ? ", core dumped" : "");
    EXPECT_EQ(WEXITSTATUS(*status), 1);
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
        ScriptedProgram program(SCRIPTED_PROGRAM, {input.Path(), "4800", outputName},
                                row.fakeGpsd ? std::vector<std::string>{"GPSD_SOCKET=" + fakeSocket}
                                             : std::vector<std::string>{});
        if (row.provoke) {
            ASSERT_EQ(program.WaitForReport("status: ", 20s), "Überwachung ist aktiv");
            row.provoke(input, output);
        }
        ASSERT_TRUE(program.WaitForReport(row.shows, 20s)) << "never got there";
        if (row.sourceGoesFirst) {
            EXPECT_EQ(gpsd.WaitForControlDevices(NoSources, 5s), std::vector<std::string>{});
        }
        const End end = SignalAndWait(program, row.signal);
        ExpectEndedWithOne(end.status);
        EXPECT_LT(end.milliseconds, row.withinMs);
        EXPECT_EQ(gpsd.ControlDevices(), std::vector<std::string>{}) << "gpsd keeps our source";
        if (row.fakeGpsd) {
            EXPECT_FALSE(program.WaitForReport("box: ", 200ms)) << "a box for a Start cut short";
        }
    }
}

// Qt ends the process through exit(1) when the X server goes away, wherever the program is:
// the run must still be stopped, its thread joined (no abort) and its gpsd source removed.
TEST(Program, LosingTheDisplayEndsItWithOneAndLeavesNoSourceInGpsd)
{
    const struct {
        const char* legend;
        std::function<void(ScriptedProgram&, PtyPair& input)> getThere;
    } rows[] = {
        {"during a run", [](ScriptedProgram&, PtyPair&) {}},
        {"while the relay's read error box waits for OK",
         [](ScriptedProgram& program, PtyPair& input) {
             input.CloseMaster();
             ASSERT_TRUE(program.WaitForReport("box: Read error", 20s));
         }},
        {"in Stop's pause",
         [](ScriptedProgram& program, PtyPair&) {
             program.Tell("stop");
             ASSERT_TRUE(program.WaitForReport("stopping", 20s));
         }},
    };
    const PrivateGpsd gpsd;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        PrivateXServer display(TrayHost::kXEmbed);
        PtyPair input;
        ScriptedProgram program(SCRIPTED_PROGRAM, {input.Path(), "4800", "GPSGate"},
                                {"DISPLAY=" + display.Display(), "QT_QPA_PLATFORM=xcb"});
        ASSERT_EQ(program.WaitForReport("status: ", 20s), "Überwachung ist aktiv");
        ASSERT_EQ(gpsd.ControlDevices().size(), 1u) << "the run's source in gpsd";
        // Else a write to the vanished server may end it by SIGPIPE, before Qt sees the loss.
        EXPECT_TRUE(program.Ignores(SIGPIPE));
        row.getThere(program, input);
        if (::testing::Test::HasFatalFailure()) return;
        display.KillServer();
        ExpectEndedWithOne(program.WaitForEnd(20s));
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
        ScriptedProgram program(
            SCRIPTED_PROGRAM, {input.Path(), "4800", "GPSGate"},
            compositor ? compositor->ClientEnvironment() : std::vector<std::string>{});
        ASSERT_EQ(program.WaitForReport("status: ", 20s), "Überwachung ist aktiv");
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
        EXPECT_TRUE(program.WaitForEnd(20s).has_value());
        ASSERT_EQ(otherUser.Read(6, 20s), "bound\n") << "the port was never free";
        EXPECT_EQ(gpsd.ControlDevices(), std::vector<std::string>{}) << "listed while free";
        EXPECT_EQ(gpsd.WaitForControlDevices(NoSources, 5s), std::vector<std::string>{});
    }
}

}  // namespace
