#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace {

termios StartingSettings(PtyPair::Start start)
{
    termios settings{};
    if (start == PtyPair::kRaw) {
        cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        return settings;
    }
    settings.c_iflag = ICRNL | IXON | IXOFF | INPCK | ISTRIP;
    settings.c_oflag = OPOST | ONLCR;
    settings.c_cflag = CS7 | PARENB | CSTOPB | CRTSCTS | CREAD | HUPCL;
    settings.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    settings.c_cc[VMIN] = 1;
    cfsetispeed(&settings, B38400);
    cfsetospeed(&settings, B38400);
    return settings;
}

}  // namespace

PtyPair::PtyPair(Start start)
{
    int slave = -1;
    char name[256] = {};
    termios settings = StartingSettings(start);
    if (openpty(&master_, &slave, name, &settings, nullptr) != 0)
        throw std::runtime_error("openpty");
    ::close(slave);  // the program opens its own end by path; keeping one here would hide hang-ups
    path_ = name;
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    CloseMaster();
}

void PtyPair::Write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            // A full pty whose program end nobody holds open any more never drains: poll()
            // reports only the hang-up then, and waiting on would spin.
            pollfd room{master_, POLLOUT, 0};
            if (::poll(&room, 1, 10000) <= 0) throw std::runtime_error("pty stays full");
            if (!(room.revents & POLLOUT))
                throw std::runtime_error("pty full and its program end closed");
        } else {
            throw std::runtime_error("write to pty master failed");
        }
    }
}

std::size_t PtyPair::WriteSome(std::string_view bytes)
{
    const ssize_t n = ::write(master_, bytes.data(), bytes.size());
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void PtyPair::WriteInRandomChunks(std::string_view bytes, std::mt19937& random, int maxChunk)
{
    std::uniform_int_distribution<int> size(1, maxChunk);
    while (!bytes.empty()) {
        const std::size_t chunk = std::min<std::size_t>(bytes.size(), size(random));
        Write(bytes.substr(0, chunk));
        bytes.remove_prefix(chunk);
    }
}

std::string PtyPair::ReadBytes(std::size_t count, std::chrono::milliseconds timeout)
{
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    while (received.size() < count) {
        const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - received.size()));
        if (n > 0) {
            received.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;  // EIO: nobody at the other end
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{master_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) < 0) break;
    }
    return received;
}

std::string PtyPair::ReadAvailable()
{
    return ReadBytes(std::string::npos, std::chrono::milliseconds(0));
}

std::size_t PtyPair::FillFromProgramEnd()
{
    const int programEnd = ::open(path_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (programEnd < 0) throw std::runtime_error("cannot open " + path_);
    const std::string block(4096, 'F');
    std::size_t filled = 0;
    for (ssize_t n; (n = ::write(programEnd, block.data(), block.size())) > 0;)
        filled += static_cast<std::size_t>(n);
    ::close(programEnd);
    return filled;
}

void PtyPair::CloseMaster()
{
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool PtyPair::ProgramEndClosed() const
{
    pollfd state{master_, POLLIN, 0};
    return ::poll(&state, 1, 0) == 1 && (state.revents & POLLHUP);
}
