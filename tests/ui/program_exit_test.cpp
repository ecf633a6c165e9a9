// The whole program from WinMain() on, the built binary, and the program in a child process that
// is ended from outside: every exit, also during a run, by signal whatever box is open, and by
// losing the display, stops the run, closes what it held and ends with exit code 1.
#include <gtest/gtest.h>

#include <spawn.h>
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
#include "tests/support/event_wait.h"
#include "tests/support/fake_control_socket.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/private_gpsd.h"
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
    bool silentGpsd = false;  // gpsd's control socket accepts but never answers
    long long withinMs = 3000;
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
     [](PtyPair& input, PtyPair&) { input.CloseMaster(); }},
    {"a run feeding gpsd", SIGTERM, "GPSGate", "status: Überwachung ist aktiv", nullptr},
    // Its wait for gpsd's answer gives up at once (what is left is the end's pause of a
    // second), and the cut-short Start shows no box.
    {"a Start waiting for gpsd's answer", SIGTERM, "GPSGate", "starting", nullptr, true, 1500},
};

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
        const std::string silentSocket = gpsd.Directory() + "/silent.sock";
        std::optional<FakeControlSocket> silent;
        if (row.silentGpsd) silent.emplace(silentSocket, FakeGpsd::kSilent);
        ScriptedProgram program(
            SCRIPTED_PROGRAM, {input.Path(), "4800", outputName},
            row.silentGpsd ? std::vector<std::string>{"GPSD_SOCKET=" + silentSocket}
                           : std::vector<std::string>{});
        if (row.provoke) {
            ASSERT_EQ(program.WaitForReport("status: ", 20s), "Überwachung ist aktiv");
            row.provoke(input, output);
        }
        ASSERT_TRUE(program.WaitForReport(row.shows, 20s)) << "never got there";
        const End end = SignalAndWait(program, row.signal);
        ExpectEndedWithOne(end.status);
        EXPECT_LT(end.milliseconds, row.withinMs);
        EXPECT_EQ(gpsd.ControlDevices(), std::vector<std::string>{}) << "gpsd keeps our source";
        if (row.silentGpsd) {
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

}  // namespace
