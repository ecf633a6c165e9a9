#include "tests/support/path_wait.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "platform/io/fd_io.h"
#include "platform/io/unique_fd.h"

bool WaitForPath(const std::string& path, std::chrono::milliseconds timeout)
{
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    const UniqueFd changes{inotify_init1(IN_CLOEXEC | IN_NONBLOCK)};
    // Watching before the first look: a file made in between is seen either way.
    if (!changes || inotify_add_watch(changes.get(), folder.c_str(), IN_CREATE) < 0) return false;
    const long long deadline = MonotonicMilliseconds() + timeout.count();
    while (access(path.c_str(), F_OK) != 0) {
        const long long left = deadline - MonotonicMilliseconds();
        pollfd changed{changes.get(), POLLIN, 0};
        if (left <= 0 || PollRetrying(&changed, 1, static_cast<int>(left)) <= 0) return false;
        char events[4096];
        while (ReadRetrying(changes.get(), events, sizeof events) > 0) {
        }
    }
    return true;
}
