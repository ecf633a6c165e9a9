// Which control socket the program asks gpsd on when GPSD_SOCKET does not say, the way gpsd's
// own tools choose: root's system gpsd, or a user's own one in /tmp. Every other test sets the
// variable, so only this one sees the choice itself.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/gpsd/gpsd_control.h"
#include "tests/support/child_process.h"
#include "tests/support/scratch.h"

namespace {

// The path chosen by a child process that runs as `uid` (root's child stays root); "" when the
// child could not say.
std::string PathChosenAs(uid_t uid)
{
    ChildProcess child(
        [](int report) {
            char path[128];
            if (!GpsdControlSocketPath(path, sizeof path)) return 1;
            Report(report, path);
            Report(report, "\n");
            return 0;
        },
        uid);
    return child.ReadLine("", std::chrono::seconds(10)).value_or("");
}

TEST(GpsdControlSocket, WithoutGpsdSocketRootAsksTheSystemsGpsdAndAUserTheirOwn)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run as root and as another user";
    const struct {
        const char* legend;
        const char* variable;  // GPSD_SOCKET, nullptr for unset
        uid_t uid;
        const char* path;
    } rows[] = {
        {"root, unset", nullptr, 0, "/run/gpsd.sock"},
        {"a user (nobody), unset", nullptr, 65534, "/tmp/gpsd.sock"},
        {"root, set but empty", "", 0, "/run/gpsd.sock"},
        {"a user, set but empty", "", 65534, "/tmp/gpsd.sock"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        const ScopedEnvironmentVariable variable("GPSD_SOCKET", row.variable);
        EXPECT_EQ(PathChosenAs(row.uid), row.path);
    }
}

}  // namespace
