#include "tests/support/private_gpsd.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/io/unique_fd.h"
#include "tests/support/relay_model.h"

extern char** environ;

namespace {

constexpr int kControlTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 10000;
// gpsd's listen queue length, as it sets its own.
constexpr int kListenQueue = 5;

// A listening socket of this process that gpsd takes over; -1 when it cannot be had. Its
// number is above those it is handed on as (3 and 4), so that placing one cannot overwrite the
// other.
UniqueFd ListeningSocket(int domain, const sockaddr* address, socklen_t length)
{
    const UniqueFd fd{::socket(domain, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (!fd || ::bind(fd.get(), address, length) != 0 || ::listen(fd.get(), kListenQueue) != 0)
        return {};
    return UniqueFd{::fcntl(fd.get(), F_DUPFD_CLOEXEC, 10)};
}

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

// Waits for the process behind `pidFd` to end; true once it has.
bool WaitForExit(int pidFd, int timeoutMs)
{
    pollfd ended{pidFd, POLLIN, 0};
    return ::poll(&ended, 1, timeoutMs) == 1;
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
    // Connections wait in the sockets' queues until gpsd serves them: an answer means it runs.
    if (!Launch() || Control("?devices\n").empty()) Stop();
    if (pid_ < 0) throw std::runtime_error("private gpsd did not start:\n" + Log());
    socketVariable_.emplace("GPSD_SOCKET", socketPath_.c_str());
}

PrivateGpsd::~PrivateGpsd()
{
    Stop();  // before the members restore GPSD_SOCKET and remove the directory
}

// gpsd is handed its control socket and client port already listening, as systemd hands them
// to a socket-activated gpsd (LISTEN_FDS, LISTEN_PID = its own pid, which the shell's exec
// keeps): clients can connect at once, no port can be taken by another program in between, and
// nothing has to be waited for but gpsd's first answer.
bool PrivateGpsd::Launch()
{
    sockaddr_un control{};
    control.sun_family = AF_UNIX;
    std::strncpy(control.sun_path, socketPath_.c_str(), sizeof control.sun_path - 1);
    sockaddr_in client{};
    client.sin_family = AF_INET;
    client.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof client;
    const UniqueFd controlSocket =
        ListeningSocket(AF_UNIX, reinterpret_cast<sockaddr*>(&control), sizeof control);
    const UniqueFd clientSocket =
        ListeningSocket(AF_INET, reinterpret_cast<sockaddr*>(&client), sizeof client);
    if (!controlSocket || !clientSocket ||
        ::getsockname(clientSocket.get(), reinterpret_cast<sockaddr*>(&client), &length) != 0)
        return false;
    port_ = ntohs(client.sin_port);
    return Spawn(controlSocket.get(), clientSocket.get());
}

bool PrivateGpsd::Spawn(int controlSocket, int clientSocket)
{
    const std::string program = GpsdProgram();
    const std::string root = GpsdRoot();
    // Level 3 logs every report to every client besides the start-up; 0 only failures. In
    // another release's root, chroot execs gpsd in its own place, so LISTEN_PID still holds.
    const char* level = detailedLog_ ? "3" : "0";
    const char* host[] = {"/bin/sh",       "-c",   "LISTEN_PID=$$ exec \"$0\" \"$@\"",
                          program.c_str(), "-N",   "-D",
                          level,           nullptr};
    const char* chrooted[] = {"/bin/sh",
                              "-c",
                              "LISTEN_PID=$$ exec chroot \"$0\" \"$@\"",
                              root.c_str(),
                              program.c_str(),
                              "-N",
                              "-D",
                              level,
                              nullptr};
    const char* const* argv = root.empty() ? host : chrooted;
    std::vector<char*> environment;
    for (char** variable = environ; *variable; ++variable)
        if (std::strncmp(*variable, "LISTEN_", 7) != 0) environment.push_back(*variable);
    char listenFds[] = "LISTEN_FDS=2";  // fd 3 the control socket, fd 4 the client port
    environment.push_back(listenFds);
    environment.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&files, controlSocket, 3);
    posix_spawn_file_actions_adddup2(&files, clientSocket, 4);
    const int spawned = posix_spawn(&pid_, argv[0], &files, nullptr, const_cast<char* const*>(argv),
                                    environment.data());
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        pid_ = -1;
        return false;
    }
    // Through syscall(): Debian 12's <sys/pidfd.h> declares pidfd_open without C linkage.
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    return pidFd_ >= 0;
}

void PrivateGpsd::Stop()
{
    if (pid_ < 0) return;
    ::kill(pid_, SIGTERM);
    ::kill(pid_, SIGCONT);  // a frozen gpsd must run to act on SIGTERM
    if (!WaitForExit(pidFd_, kStopTimeoutMs)) ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    ::close(pidFd_);
    pid_ = pidFd_ = -1;
}

void PrivateGpsd::Kill()
{
    if (pid_ < 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    ::close(pidFd_);
    pid_ = pidFd_ = -1;
}

void PrivateGpsd::Freeze()
{
    if (pid_ >= 0) ::kill(pid_, SIGSTOP);
}

void PrivateGpsd::Thaw()
{
    if (pid_ >= 0) ::kill(pid_, SIGCONT);
}

std::string PrivateGpsd::Control(const std::string& command) const
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath_.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval limit{kControlTimeoutMs / 1000, 0};  // also bounds the connect
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
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
