#include "tests/support/gpsd_reader.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <stdexcept>

#include "platform/io/fd_io.h"
#include "tests/support/listening_socket.h"

namespace {

constexpr auto kAnswerTimeout = std::chrono::seconds(10);
// Several seconds of gpsd's output at full speed, as far as the system lets a user ask.
constexpr int kReceiveBufferBytes = 16 << 20;
constexpr std::size_t kReadBytes = 256 * 1024;

// A connection to gpsd's client port on 127.0.0.1; throws when gpsd does not take it.
int ConnectToGpsd(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = TcpAddress("127.0.0.1", port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot connect to gpsd on port " + std::to_string(port));
    }
    return fd;
}

}  // namespace

GpsdReader::GpsdReader(int port, std::string_view request, LineSink sink)
    : fd_(ConnectToGpsd(port)),
      wake_(eventfd(0, EFD_CLOEXEC)),
      sink_(std::move(sink)),
      answer_("{\"class\":\"" + std::string(request.substr(1, request.find_first_of("=;") - 1)))
{
    setsockopt(fd_.get(), SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
    carried_.reserve(4096);
    thread_ = std::thread(&GpsdReader::Run, this);
    std::unique_lock lock(guard_);
    if (::send(fd_.get(), request.data(), request.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(request.size()) ||
        !changed_.wait_for(lock, kAnswerTimeout, [&] { return answered_ || disconnected_; }) ||
        !answered_) {
        lock.unlock();
        EndThread();  // which the members' own destruction would not do
        throw std::runtime_error("gpsd did not answer " + std::string(request));
    }
}

GpsdReader::~GpsdReader()
{
    EndThread();
}

void GpsdReader::EndThread()
{
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_.get(), &one, sizeof one);
    thread_.join();
}

bool GpsdReader::WaitUntilDisconnected(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(guard_);
    return changed_.wait_for(lock, timeout, [&] { return disconnected_; });
}

// Cuts what arrived into lines; the last, unfinished one is carried to the next read.
void GpsdReader::Split(std::string_view data, Clock::time_point arrived)
{
    for (std::size_t end; (end = data.find('\n')) != std::string_view::npos;) {
        std::string_view line = data.substr(0, end + 1);
        data.remove_prefix(end + 1);
        if (!carried_.empty()) line = carried_.append(line);
        sink_(line, arrived);
        if (!answered_ && line.starts_with(answer_)) {  // once the sink has it
            std::lock_guard lock(guard_);
            answered_ = true;
            changed_.notify_all();
        }
        carried_.clear();
    }
    carried_.append(data);
}

// Sleeps in poll() until gpsd sends or the destructor wakes it.
void GpsdReader::Run()
{
    const auto buffer = std::make_unique<char[]>(kReadBytes);
    for (;;) {
        pollfd waits[2] = {{fd_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        if (PollRetrying(waits, 2, -1) < 0 || waits[1].revents) return;
        const ssize_t count = ReadRetrying(fd_.get(), buffer.get(), kReadBytes);
        if (count <= 0) break;
        Split({buffer.get(), static_cast<std::size_t>(count)}, Clock::now());
    }
    std::lock_guard lock(guard_);
    disconnected_ = true;
    changed_.notify_all();
}
