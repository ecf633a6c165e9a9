// Descriptor I/O shared by the serial ports and the GPS service channel. EINTR is retried here
// once for everyone, and a write either goes out whole or fails by a deadline: the relay must
// never sit forever on an output that stopped taking data.
#pragma once

#include <sys/types.h>

#include <cstddef>

// Milliseconds on the monotonic clock (never jumps with the wall clock).
long long MonotonicMilliseconds();

// read() retried on EINTR; otherwise its result and errno unchanged.
ssize_t ReadRetrying(int fd, void* buffer, std::size_t count);

// poll() retried on EINTR with the remaining time; otherwise its result and errno unchanged.
int PollRetrying(struct pollfd* fds, unsigned count, int timeoutMs);

// How long a writer waits for an output before it counts as failed: 1 s plus 10 ms per byte,
// the serial port's bound, which the GPS service channel keeps too.
inline constexpr int kWriteTimeoutConstantMs = 1000;
inline constexpr int kWriteTimeoutPerByteMs = 10;
constexpr int WriteTimeoutMs(std::size_t count)
{
    const std::size_t ms = kWriteTimeoutConstantMs + kWriteTimeoutPerByteMs * count;
    return ms < 0x7fffffff ? static_cast<int>(ms) : 0x7fffffff;
}

enum class WriteTarget { kDevice, kSocket };

// Writes all `count` bytes to the non-blocking descriptor `fd` within `timeoutMs`. Returns 1 when
// every byte went out, 0 otherwise with errno set: ETIMEDOUT when the time ran out, ECANCELED
// when `stopFd` (if not -1) became readable while the write waited for room, or the system's
// reason (EIO when a device went away, EPIPE when a peer closed). Bytes that fit go out even
// when `stopFd` is readable; only waiting ends. Sockets are written with MSG_NOSIGNAL, so a
// vanished peer gives EPIPE instead of killing the process.
int WriteAllWithin(int fd, const void* bytes, std::size_t count, int timeoutMs,
                   WriteTarget target = WriteTarget::kDevice, int stopFd = -1);
