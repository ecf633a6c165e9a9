#include "tests/uart/guest_machine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace {

// TCG: this machine's KVM hangs a guest at boot. "quiet" keeps the kernel's messages off the
// console the tests read; panic=-1 with -no-reboot turns a guest panic into QEMU's exit, which
// the next wait sees at once.
std::vector<std::string> QemuArguments(const std::string& imageDir, const std::string& ttyS1,
                                       const std::string& ttyS2)
{
    // The machine, what it boots, then its three UARTs in order: ttyS0, ttyS1, ttyS2.
    // clang-format off
    return {"qemu-system-x86_64",
            "-accel", "tcg", "-m", "256",
            "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
            "-kernel", imageDir + "/vmlinuz",
            "-initrd", imageDir + "/initramfs.cpio.gz",
            "-append", "console=ttyS0 quiet panic=-1",
            "-chardev", "stdio,id=console,signal=off", "-serial", "chardev:console",
            "-chardev", "serial,id=ttyS1,path=" + ttyS1, "-serial", "chardev:ttyS1",
            "-chardev", "serial,id=ttyS2,path=" + ttyS2, "-serial", "chardev:ttyS2"};
    // clang-format on
}

// The child's side of the fork: only calls that are safe between fork and exec.
[[noreturn]] void BecomeQemu(pid_t parent, int console, char* const* argv)
{
    // Killed with the test process, also when that is killed itself (ctest's time-out).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);  // a group of its own: a Ctrl-C at the terminal is for the test alone
    dup2(console, STDIN_FILENO);
    dup2(console, STDOUT_FILENO);
    dup2(console, STDERR_FILENO);
    execvp(argv[0], argv);
    _exit(127);
}

}  // namespace

GuestMachine::GuestMachine(const std::string& imageDir)
{
    // A socket rather than a pipe: a write to a QEMU that has ended fails with EPIPE
    // (MSG_NOSIGNAL) instead of killing the test with SIGPIPE.
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::runtime_error("socketpair");
    console_.reset(ends[0]);
    const UniqueFd guestEnd(ends[1]);
    fcntl(console_.get(), F_SETFL, O_NONBLOCK);

    std::vector<std::string> arguments = QemuArguments(imageDir, input_->Path(), output_->Path());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    qemu_ = fork();
    if (qemu_ < 0) throw std::runtime_error("fork");
    if (qemu_ == 0) BecomeQemu(parent, guestEnd.get(), argv.data());
}

GuestMachine::~GuestMachine()
{
    if (qemu_ <= 0) return;
    if (kill(-qemu_, SIGKILL) != 0) kill(qemu_, SIGKILL);  // its process group, or it alone
    waitpid(qemu_, nullptr, 0);
}

void GuestMachine::Send(const std::string& line)
{
    const std::string whole = line + "\n";
    // A guest that reads nothing any more fills the socket: give up rather than wait forever.
    if (hung_ || ::send(console_.get(), whole.data(), whole.size(), MSG_NOSIGNAL) !=
                     static_cast<ssize_t>(whole.size()))
        hung_ = true;
}

std::optional<std::string> GuestMachine::WaitForLine(const std::string& prefix,
                                                     std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!hung_) {
        for (; nextLine_ < lines_.size(); ++nextLine_)
            if (lines_[nextLine_].rfind(prefix, 0) == 0) return lines_[nextLine_++];
        if (!ReadConsole(deadline)) hung_ = true;
    }
    return std::nullopt;
}

// Reads what the console has; false at the deadline or when QEMU has gone.
bool GuestMachine::ReadConsole(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{console_.get(), POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(std::max<long long>(0, left.count())));
    if (polled < 0 && errno == EINTR) return true;
    if (polled <= 0) return false;
    char buffer[4096];
    const ssize_t count = ::read(console_.get(), buffer, sizeof buffer);
    if (count <= 0) return count < 0 && errno == EAGAIN;
    partialLine_.append(buffer, static_cast<std::size_t>(count));
    for (std::size_t end; (end = partialLine_.find('\n')) != std::string::npos;) {
        std::string line = partialLine_.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(line);
        partialLine_.erase(0, end + 1);
    }
    return true;
}

std::string GuestMachine::Tail() const
{
    std::string tail = "console (last lines):\n";
    for (std::size_t i = lines_.size() > 30 ? lines_.size() - 30 : 0; i < lines_.size(); ++i)
        tail += "  " + lines_[i] + "\n";
    if (hung_) tail += "(the guest missed a deadline or QEMU ended; later waits fail at once)\n";
    return tail;
}
