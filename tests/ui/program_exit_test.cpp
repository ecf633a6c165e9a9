// The whole program from WinMain() on, and the built binary: every exit, also during a run and
// by signal, stops the run, removes the tray icon and ends with exit code 1.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <QComboBox>
#include <QLabel>
#include <QTimer>

#include <csignal>
#include <functional>

#include "platform/window/dialog.h"
#include "platform/window/program_entry.h"
#include "res/resource_ids.h"
#include "tests/support/event_wait.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/pty_pair.h"

extern char** environ;

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

}  // namespace
