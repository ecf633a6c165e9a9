// Which control socket the program asks gpsd on when GPSD_SOCKET does not say, the way gpsd's
// own tools choose: root's system gpsd, or a user's own one in /tmp. Every other test sets the
// variable, so only this one sees the choice itself.
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/gpsd/gpsd_control.h"
#include "tests/support/scratch.h"

namespace {

// The path chosen by a child process that runs as `uid` (root's child stays root); "" when the
// child could not say.
std::string PathChosenAs(uid_t uid)
{
    int ends[2];
    if (pipe(ends) != 0) return "";
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        if (uid != 0 && (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0))
            _exit(1);
        char path[128];
        if (!GpsdControlSocketPath(path, sizeof path)) _exit(1);
        const bool written = write(ends[1], path, std::strlen(path)) > 0;
        _exit(written ? 0 : 1);
    }
    close(ends[1]);
    char path[128] = {};
    const ssize_t length = child > 0 ? read(ends[0], path, sizeof path - 1) : -1;
    close(ends[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "";
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
