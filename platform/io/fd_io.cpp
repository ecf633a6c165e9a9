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

int WriteAllWithin(int fd, const void* bytes, std::size_t count, int timeoutMs, WriteTarget target)
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
        const long long remaining = deadline - MonotonicMilliseconds();
        if (remaining <= 0) {
            errno = ETIMEDOUT;
            return 0;
        }
        // A hang-up or error shows up in revents; the next write then reports the real errno.
        pollfd ready{fd, POLLOUT, 0};
        const int result = PollRetrying(&ready, 1, static_cast<int>(remaining));
        if (result < 0) return 0;
        if (result == 0) {
            errno = ETIMEDOUT;
            return 0;
        }
        if (ready.revents & POLLNVAL) {
            errno = EBADF;
            return 0;
        }
        hungUp = (ready.revents & (POLLHUP | POLLERR)) != 0;
    }
    return 1;
}
