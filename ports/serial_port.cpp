#include "ports/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "platform/io/fd_io.h"
#include "platform/io/unique_fd.h"
#include "platform/messages/message_box.h"
#include "ports/port_names.h"
#include "ports/serial_settings.h"

namespace {

// The port for this process alone, against two kinds of other openers. flock() refuses anyone
// who locks, root included, and also a second open() inside this process (a new open file
// description). TIOCEXCL refuses every later open() of the tty by a program without
// CAP_SYS_ADMIN, locking or not (cat, a hotplug script), which would otherwise split the stream.
UniqueFd OpenExclusively(const char* name)
{
    const std::string path = ResolvePortName(name);
    UniqueFd fd{::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    if (!fd || !isatty(fd.get()) || flock(fd.get(), LOCK_EX | LOCK_NB) != 0 ||
        ioctl(fd.get(), TIOCEXCL) != 0)
        return {};
    return fd;
}

}  // namespace

PortHandle OpenSerialPort(const char* name, int baud)
{
    UniqueFd fd = OpenExclusively(name);
    if (!fd) {
        ShowMessageBox(kOpenPortFailedText);
        return INVALID_HANDLE_VALUE;
    }
    if (!ApplyLineSettings(fd.get(), baud)) {
        ShowMessageBox(kConfigurePortFailedText);
        return INVALID_HANDLE_VALUE;  // fd closes itself
    }
    if (!ApplyImmediateReads(fd.get())) {
        ShowMessageBox(kTimeoutsFailedText);
        return INVALID_HANDLE_VALUE;
    }
    return fd.release();
}

// The exclusive flag belongs to the tty, not to our descriptor, and would outlive the close.
// Unsent output is dropped first: close() waits until the driver has sent what it holds, up to
// its closing time (30 s by default on a UART), and a line that has not drained during Stop's
// pause has stalled.
void CloseSerialPort(PortHandle& port)
{
    if (port == INVALID_HANDLE_VALUE) return;
    ioctl(port, TIOCNXCL);
    tcflush(port, TCOFLUSH);
    ::close(port);
    port = INVALID_HANDLE_VALUE;
}

void DrainSerialPort(PortHandle port)
{
    // The kernel has no drain with a time-out (tcdrain() waits for ever on a stalled line), so
    // the queue is looked at every 10 ms, sleeping in between.
    constexpr int kLookEveryMs = 10;
    int queued = 0;
    long long lastProgress = MonotonicMilliseconds();
    for (int before = -1; ioctl(port, TIOCOUTQ, &queued) == 0 && queued > 0; before = queued) {
        const long long now = MonotonicMilliseconds();
        if (before < 0 || queued < before) lastProgress = now;
        if (now - lastProgress >= kWriteTimeoutConstantMs) return;
        pollfd nothing{-1, 0, 0};
        PollRetrying(&nothing, 1, kLookEveryMs);
    }
}

int WriteSerialPort(PortHandle port, const char* bytes, std::size_t count, int stopFd)
{
    return WriteAllWithin(port, bytes, count, WriteTimeoutMs(count), WriteTarget::kDevice, stopFd);
}
