#include "tests/support/fake_control_socket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "platform/io/unique_fd.h"
#include "tests/support/listening_socket.h"

FakeControlSocket::FakeControlSocket(const std::string& path, FakeGpsd behaviour)
    : path_(path), behaviour_(behaviour)
{
    const sockaddr_un address = UnixAddress(path.c_str());
    // A queue of no more than one connection, which the fake fills itself and never takes.
    const bool full = behaviour == FakeGpsd::kFullQueue;
    listener_ = Listen(address, full ? 0 : 4).release();
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    if (listener_ < 0 || stop_ < 0) throw std::runtime_error("fake control socket at " + path);
    if (full) {
        filler_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(filler_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("filling the queue of " + path);
    }
    server_ = std::thread([this] { Serve(); });
}

FakeControlSocket::~FakeControlSocket()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(stop_, &one, sizeof one);
    server_.join();
    if (filler_ >= 0) ::close(filler_);
    ::close(listener_);
    ::close(stop_);
    ::unlink(path_.c_str());
}

bool FakeControlSocket::WaitFor(int fd, short events, int timeoutMs)
{
    pollfd waits[2] = {{fd, events, 0}, {stop_, POLLIN, 0}};
    ::poll(waits, 2, timeoutMs);
    return !(waits[1].revents & POLLIN);
}

void FakeControlSocket::Serve()
{
    if (behaviour_ == FakeGpsd::kFullQueue) {
        WaitFor(-1, 0, -1);  // until told to stop
        return;
    }
    while (WaitFor(listener_, POLLIN, -1)) {
        const UniqueFd connection{::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)};
        if (connection) Answer(connection.get());
    }
}

void FakeControlSocket::Answer(int connection)
{
    char buffer[4096];
    std::memset(buffer, 'x', sizeof buffer);
    switch (behaviour_) {
        case FakeGpsd::kFlood:  // until the other side hangs up
            while (WaitFor(connection, POLLOUT, -1) &&
                   ::send(connection, buffer, sizeof buffer, MSG_NOSIGNAL) > 0) {
            }
            return;
        case FakeGpsd::kTrickle:
            while (WaitFor(connection, 0, 1000) && ::send(connection, "O", 1, MSG_NOSIGNAL) > 0) {
            }
            return;
        case FakeGpsd::kSilent:  // reads the command, then holds on until the other side closes
            while (WaitFor(connection, POLLIN, -1) &&
                   ::read(connection, buffer, sizeof buffer) > 0) {
            }
            WaitFor(connection, 0, -1);  // a closed peer shows as POLLHUP
            return;
        case FakeGpsd::kSlowAnswers:  // the command to its end, then a free slot's list and OK
            while (WaitFor(connection, POLLIN, -1) &&
                   ::read(connection, buffer, sizeof buffer) > 0) {
            }
            if (WaitFor(connection, 0, kSlowAnswerMs))
                ::send(connection, "\nOK\n", 4, MSG_NOSIGNAL);
            return;
        case FakeGpsd::kFullQueue:
            return;
    }
}
