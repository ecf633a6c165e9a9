#include "tests/support/fake_control_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "tests/support/listening_socket.h"

namespace {

// Plain system calls only: this runs in the forked child. Each case ends when the program hangs
// up on it.
void Answer(int connection, FakeGpsd behaviour, int report)
{
    char buffer[4096];
    std::memset(buffer, 'x', sizeof buffer);
    switch (behaviour) {
        case FakeGpsd::kFlood:
            while (::send(connection, buffer, sizeof buffer, MSG_NOSIGNAL) > 0) {
            }
            return;
        case FakeGpsd::kTrickle:
            while (::poll(nullptr, 0, 1000) >= 0 && ::send(connection, "O", 1, MSG_NOSIGNAL) > 0) {
            }
            return;
        case FakeGpsd::kSilent: {  // reads the command, then holds on until the other side closes
            long received = 0;
            for (ssize_t n; (n = ::read(connection, buffer, sizeof buffer)) > 0;)
                received += n;
            pollfd closed{connection, 0, 0};  // a closed peer shows as POLLHUP
            ::poll(&closed, 1, -1);
            char line[32];
            std::snprintf(line, sizeof line, "received %ld\n", received);
            Report(report, line);
            return;
        }
        case FakeGpsd::kSlowAnswers:  // the command to its end, then a free slot's list and OK
            while (::read(connection, buffer, sizeof buffer) > 0) {
            }
            ::poll(nullptr, 0, FakeControlSocket::kSlowAnswerMs);
            ::send(connection, "\nOK\n", 4, MSG_NOSIGNAL);
            return;
        case FakeGpsd::kFullQueue:
            return;
    }
}

int Serve(const sockaddr_un& address, FakeGpsd behaviour, int report)
{
    // A queue of no more than one connection, which the fake fills itself and never takes.
    const bool full = behaviour == FakeGpsd::kFullQueue;
    const UniqueFd listener = Listen(address, full ? 0 : 4);
    const UniqueFd filler{full ? ::socket(AF_UNIX, SOCK_STREAM, 0) : -1};
    if (!listener || (full && ::connect(filler.get(), reinterpret_cast<const sockaddr*>(&address),
                                        sizeof address) != 0))
        return 1;
    ::chmod(address.sun_path, 0777);  // for a fake of another user's, that anyone may connect
    Report(report, "listening\n");
    while (!full) {
        const UniqueFd connection{::accept(listener.get(), nullptr, nullptr)};
        if (connection) Answer(connection.get(), behaviour, report);
    }
    return ::pause();
}

}  // namespace

FakeControlSocket::FakeControlSocket(const std::string& path, FakeGpsd behaviour, uid_t uid)
    : path_(path),
      server_([address = UnixAddress(path.c_str()),
               behaviour](int report) { return Serve(address, behaviour, report); },
              uid)
{
    if (server_.ReadLine("", std::chrono::seconds(10)) != "listening")
        throw std::runtime_error("fake control socket at " + path);
}

long FakeControlSocket::Received(std::chrono::milliseconds timeout)
{
    const std::optional<std::string> count = server_.ReadLine("received ", timeout);
    return count ? std::stol(*count) : -1;
}

FakeControlSocket::~FakeControlSocket()
{
    server_.Stop(SIGKILL);
    ::unlink(path_.c_str());
}
