#include "tests/support/private_gpsd.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/io/unique_fd.h"
#include "tests/support/listening_socket.h"
#include "tests/support/relay_model.h"

using namespace std::chrono_literals;

namespace {

constexpr int kControlTimeoutMs = 10000;
// gpsd's listen queue length, as it sets its own.
constexpr int kListenQueue = 5;

// The root of another release whose gpsd the test runs instead of the host's (see
// tools/other_gpsd_root.sh), or "" for the host's own.
std::string GpsdRoot()
{
    const char* root = std::getenv("QUARNEX_GPSD_ROOT");
    return root ? root : "";
}

// Debian installs gpsd in /usr/sbin, which a user's PATH often lacks. Inside another release's
// root it is always there.
std::string GpsdProgram()
{
    if (const std::string root = GpsdRoot(); !root.empty())
        return ::access((root + "/usr/sbin/gpsd").c_str(), X_OK) == 0 ? "/usr/sbin/gpsd" : "";
    if (::access("/usr/sbin/gpsd", X_OK) == 0) return "/usr/sbin/gpsd";
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && ::access((folder + "/gpsd").c_str(), X_OK) == 0)
            return folder + "/gpsd";
    return "";
}

}  // namespace

bool GpsdInstalled()
{
    return !GpsdProgram().empty();
}

PrivateGpsd::PrivateGpsd(GpsdLog logging) : detailedLog_(logging == GpsdLog::kDetailed)
{
    if (!GpsdInstalled())
        throw std::runtime_error(GpsdRoot().empty()
                                     ? "gpsd is not installed (not in /usr/sbin, not on PATH)"
                                     : "no gpsd in QUARNEX_GPSD_ROOT " + GpsdRoot());
    socketPath_ = Directory() + "/gpsd.sock";
    logPath_ = Directory() + "/gpsd.log";
    // gpsd is handed its control socket and client port already listening, as systemd hands
    // them to a socket-activated gpsd (LISTEN_FDS, LISTEN_PID = its own pid, which the shell's
    // exec keeps): clients can connect at once, no port can be taken by another program in
    // between, and nothing has to be waited for but gpsd's first answer.
    sockaddr_in client = TcpAddress("127.0.0.1");
    const UniqueFd controlSocket = Listen(UnixAddress(socketPath_.c_str()), kListenQueue);
    const UniqueFd clientSocket = Listen(client, kListenQueue);
    port_ = ntohs(client.sin_port);
    if (controlSocket && clientSocket) Start(controlSocket.get(), clientSocket.get());
    // Connections wait in the sockets' queues until gpsd serves them: an answer means it runs.
    if (Control("?devices\n").empty()) Stop();
    if (!gpsd_) throw std::runtime_error("private gpsd did not start:\n" + Log());
    socketVariable_.emplace("GPSD_SOCKET", socketPath_.c_str());
}

PrivateGpsd::~PrivateGpsd()
{
    Stop();  // before the members restore GPSD_SOCKET and remove the directory
}

void PrivateGpsd::Start(int controlSocket, int clientSocket)
{
    const std::string program = GpsdProgram();
    const std::string root = GpsdRoot();
    // Level 3 logs every report to every client besides the start-up; 0 only failures. In
    // another release's root, chroot execs gpsd in its own place, so LISTEN_PID still holds.
    std::vector<std::string> arguments{"/bin/sh", "-c", "LISTEN_PID=$$ exec \"$@\"", "gpsd"};
    if (!root.empty()) arguments.insert(arguments.end(), {"chroot", root});
    arguments.insert(arguments.end(), {program, "-N", "-D", detailedLog_ ? "3" : "0"});
    const UniqueFd log(::open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    // fd 3 the control socket, fd 4 the client port.
    gpsd_.emplace(
        std::move(arguments),
        ChildSetup{.environment = {"LISTEN_FDS=2", "LISTEN_PID", "LISTEN_FDNAMES"},
                   .descriptors = {{2, log.get()}, {3, controlSocket}, {4, clientSocket}}});
}

void PrivateGpsd::Stop()
{
    if (!gpsd_) return;
    gpsd_->Signal(SIGCONT);  // a frozen gpsd must run to act on SIGTERM
    gpsd_->Stop(SIGTERM, 10s);
    gpsd_.reset();
}

void PrivateGpsd::Kill()
{
    if (gpsd_) gpsd_->Stop(SIGKILL);
    gpsd_.reset();
}

void PrivateGpsd::Freeze()
{
    if (gpsd_) gpsd_->Signal(SIGSTOP);
}

void PrivateGpsd::Thaw()
{
    if (gpsd_) gpsd_->Signal(SIGCONT);
}

std::string PrivateGpsd::Control(const std::string& command) const
{
    const sockaddr_un address = UnixAddress(socketPath_.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval limit{kControlTimeoutMs / 1000, 0};  // also bounds the connect
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    std::string reply;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::write(fd, command.data(), command.size()) == static_cast<ssize_t>(command.size()) &&
        ::shutdown(fd, SHUT_WR) == 0) {
        char buffer[1024];
        pollfd ready{fd, POLLIN, 0};
        while (::poll(&ready, 1, kControlTimeoutMs) == 1) {
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count <= 0) break;
            reply.append(buffer, static_cast<std::size_t>(count));
        }
    }
    ::close(fd);
    return reply;
}

bool PrivateGpsd::AddSource(const std::string& path) const
{
    const std::string reply = Control("+" + path + "\n");
    return reply.starts_with("OK\n") || reply.starts_with("{\"class\":\"ACK\"}\r\n");
}

std::vector<std::string> PrivateGpsd::ControlDevices() const
{
    // The reply is one line per device slot (empty for a free one), then "OK\n" (3.22) or
    // {"class":"OK"}\r\n (3.25).
    std::vector<std::string> devices;
    std::istringstream lines(Control("?devices\n"));
    for (std::string line; std::getline(lines, line);) {
        if (line == "OK" || line == "{\"class\":\"OK\"}\r") break;
        if (!line.empty()) devices.push_back(line);
    }
    return devices;
}

std::vector<std::string> PrivateGpsd::WaitForControlDevices(
    const std::function<bool(const std::vector<std::string>&)>& done,
    std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<std::string> devices = ControlDevices();
    while (!done(devices) && std::chrono::steady_clock::now() < deadline) {
        pollfd nothing{-1, 0, 0};
        ::poll(&nothing, 1, 10);
        devices = ControlDevices();
    }
    return devices;
}

std::string PrivateGpsd::Log() const
{
    try {
        return ReadWholeFile(logPath_);
    } catch (const std::runtime_error&) {
        return "";
    }
}
