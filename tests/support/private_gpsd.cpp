#include "tests/support/private_gpsd.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "tests/support/relay_model.h"

extern char** environ;

namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr int kControlTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 10000;
// gpsd says this once its control socket and client ports listen, and the other when one of
// its ports was taken: then a client on 127.0.0.1 might reach another program, so it is a
// failed start too.
constexpr char kListeningMarker[] = "listening on port";
constexpr char kPortTakenMarker[] = "can't bind";

// A loopback port that is free now. gpsd binds it a moment later; when another process was
// quicker, gpsd fails to start and the constructor tries again with a new one.
int FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Debian installs gpsd in /usr/sbin, which a user's PATH often lacks.
std::string GpsdProgram()
{
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

PrivateGpsd::PrivateGpsd()
{
    if (!GpsdInstalled())
        throw std::runtime_error("gpsd is not installed (not in /usr/sbin, not on PATH)");
    char directory[] = "/tmp/qgpsd-XXXXXX";
    if (!mkdtemp(directory)) throw std::runtime_error("mkdtemp failed");
    directory_ = directory;
    socketPath_ = directory_ + "/gpsd.sock";
    logPath_ = directory_ + "/gpsd.log";
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (Launch() && WaitUntilListening() && !Control("?devices\n").empty()) break;
        Stop();
    }
    if (pid_ < 0) {
        const std::string log = Log();
        std::filesystem::remove_all(directory_);
        throw std::runtime_error("private gpsd did not start:\n" + log);
    }
    const char* saved = std::getenv("GPSD_SOCKET");
    hadSocketVariable_ = saved != nullptr;
    if (saved) savedSocketVariable_ = saved;
    setenv("GPSD_SOCKET", socketPath_.c_str(), 1);
}

PrivateGpsd::~PrivateGpsd()
{
    Stop();
    if (hadSocketVariable_)
        setenv("GPSD_SOCKET", savedSocketVariable_.c_str(), 1);
    else
        unsetenv("GPSD_SOCKET");
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

bool PrivateGpsd::Launch()
{
    port_ = FreeLoopbackPort();
    const std::string program = GpsdProgram();
    if (program.empty()) return false;
    const std::string port = std::to_string(port_);
    const char* argv[] = {program.c_str(),     "-N", "-D",         "3",    "-F",
                          socketPath_.c_str(), "-S", port.c_str(), nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    const int spawned = posix_spawnp(&pid_, program.c_str(), &files, nullptr,
                                     const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) {
        pid_ = -1;
        return false;
    }
    // Through syscall(): Debian 12's <sys/pidfd.h> declares pidfd_open without C linkage.
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    return pidFd_ >= 0;
}

// Sleeps in the kernel until gpsd's log grows (inotify) or gpsd ends (pidfd).
bool PrivateGpsd::WaitUntilListening()
{
    const int changes = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (changes < 0) return false;
    inotify_add_watch(changes, logPath_.c_str(), IN_MODIFY);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    bool listening = false;
    while (!(listening = Log().find(kListeningMarker) != std::string::npos)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd waits[2] = {{changes, POLLIN, 0}, {pidFd_, POLLIN, 0}};
        if (left.count() <= 0 || ::poll(waits, 2, static_cast<int>(left.count())) <= 0 ||
            (waits[1].revents & POLLIN))
            break;
        char events[4096];
        while (::read(changes, events, sizeof events) > 0) {
        }
    }
    ::close(changes);
    return listening && Log().find(kPortTakenMarker) == std::string::npos;
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

std::vector<std::string> PrivateGpsd::ControlDevices() const
{
    // The reply is one line per device slot (empty for a free one), then "OK".
    std::vector<std::string> devices;
    std::istringstream lines(Control("?devices\n"));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line != "OK") devices.push_back(line);
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
