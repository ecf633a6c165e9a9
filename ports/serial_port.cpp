#include "ports/serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "platform/io/fd_io.h"
#include "platform/io/unique_fd.h"
#include "platform/window/message_box.h"
#include "ports/port_names.h"
#include "ports/serial_settings.h"

namespace {

constexpr int kWriteTimeoutConstantMs = 1000;
constexpr int kWriteTimeoutPerByteMs = 10;

// The port for this process alone. flock() rather than TIOCEXCL: root passes TIOCEXCL, and a
// second open() inside one process is a new open file description that flock() does refuse.
UniqueFd OpenExclusively(const char* name)
{
    const std::string path = ResolvePortName(name);
    UniqueFd fd{::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    if (!fd || !isatty(fd.get()) || flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return {};
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

void CloseSerialPort(PortHandle& port)
{
    if (port == INVALID_HANDLE_VALUE) return;
    ::close(port);
    port = INVALID_HANDLE_VALUE;
}

int WriteSerialPort(PortHandle port, const char* bytes, std::size_t count)
{
    const long long timeout =
        kWriteTimeoutConstantMs + kWriteTimeoutPerByteMs * static_cast<long long>(count);
    return WriteAllWithin(port, bytes, count, static_cast<int>(timeout));
}
