#include "platform/io/fd_io.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

long long MonotonicMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

ssize_t ReadRetrying(int fd, void* buffer, std::size_t count)
{
    ssize_t n;
    do {
        n = ::read(fd, buffer, count);
    } while (n < 0 && errno == EINTR);
    return n;
}

int PollRetrying(pollfd* fds, unsigned count, int timeoutMs)
{
    const long long deadline = timeoutMs < 0 ? 0 : MonotonicMilliseconds() + timeoutMs;
    for (;;) {
        int left = timeoutMs;
        if (timeoutMs >= 0) {
            const long long remaining = deadline - MonotonicMilliseconds();
            left = remaining > 0 ? static_cast<int>(remaining) : 0;
        }
        const int result = ::poll(fds, count, left);
        if (result >= 0 || errno != EINTR) return result;
    }
}

static ssize_t WriteOnce(int fd, const char* bytes, std::size_t count, WriteTarget target)
{
    if (target == WriteTarget::kSocket) return ::send(fd, bytes, count, MSG_NOSIGNAL);
    return ::write(fd, bytes, count);
}

namespace {

enum class Room { kReady, kHungUp, kTimedOut, kStopped, kFailed };

// Sleeps until `fd` takes bytes, `stopFd` (ignored when -1) becomes readable, or `deadline`.
Room WaitForRoom(int fd, int stopFd, long long deadline)
{
    const long long remaining = deadline - MonotonicMilliseconds();
    if (remaining <= 0) return Room::kTimedOut;
    pollfd waits[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};  // poll() skips a negative fd
    const int result = PollRetrying(waits, 2, static_cast<int>(remaining));
    if (result < 0) return Room::kFailed;
    if (result == 0) return Room::kTimedOut;
    if (waits[1].revents & POLLIN) return Room::kStopped;
    if (waits[0].revents & POLLNVAL) {
        errno = EBADF;
        return Room::kFailed;
    }
    // A hang-up or error shows up in revents; the next write then reports the real errno.
    return (waits[0].revents & (POLLHUP | POLLERR)) ? Room::kHungUp : Room::kReady;
}

}  // namespace

int WriteAllWithin(int fd, const void* bytes, std::size_t count, int timeoutMs, WriteTarget target,
                   int stopFd)
{
    const char* next = static_cast<const char*>(bytes);
    std::size_t left = count;
    const long long deadline = MonotonicMilliseconds() + timeoutMs;
    bool hungUp = false;
    while (left > 0) {
        const ssize_t written = WriteOnce(fd, next, left, target);
        if (written > 0) {
            next += written;
            left -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return 0;
        if (hungUp) {  // still no room after a hang-up: it will never come
            errno = EIO;
            return 0;
        }
        switch (WaitForRoom(fd, stopFd, deadline)) {
            case Room::kReady:
                break;
            case Room::kHungUp:
                hungUp = true;
                break;
            case Room::kTimedOut:
                errno = ETIMEDOUT;
                return 0;
            case Room::kStopped:
                errno = ECANCELED;
                return 0;
            case Room::kFailed:
                return 0;
        }
    }
    return 1;
}
