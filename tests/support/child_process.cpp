#include "tests/support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace {

// This process's environment without the variables `changes` names, then the changes that set
// one: what a started program sees.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& changes)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view variable = *entry;
        const auto names = [&](const std::string& change) {
            const std::string_view name = std::string_view(change).substr(0, change.find('='));
            return variable.starts_with(name) && variable.substr(name.size()).starts_with('=');
        };
        if (std::none_of(changes.begin(), changes.end(), names)) environment.emplace_back(variable);
    }
    for (const std::string& change : changes)
        if (change.find('=') != std::string::npos) environment.push_back(change);
    return environment;
}

std::vector<char*> PointersTo(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Everything a program's child needs, made before the fork: after it, nothing may allocate.
struct Exec {
    std::vector<char*> argv, envp;
    std::vector<std::pair<int, int>> descriptors;
    std::vector<int> moved{};  // room for the descriptors on their way
    bool diesWithTest;
    pid_t parent;
};

// Each listed descriptor first out of the way of every number, then to its number: a source
// may be another one's number. dup2() leaves the placed ones open across exec.
void PlaceDescriptors(Exec& exec)
{
    int above = 0;
    for (const auto& [number, ours] : exec.descriptors)
        above = std::max({above, number + 1, ours + 1});
    for (std::size_t i = 0; i < exec.descriptors.size(); ++i)
        exec.moved[i] = ::fcntl(exec.descriptors[i].second, F_DUPFD_CLOEXEC, above);
    for (std::size_t i = 0; i < exec.descriptors.size(); ++i)
        ::dup2(exec.moved[i], exec.descriptors[i].first);
}

[[noreturn]] void BecomeProgram(Exec& exec)
{
    if (exec.diesWithTest) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != exec.parent) ::_exit(127);
        ::setpgid(0, 0);  // a Ctrl-C at the terminal is for the test alone
    }
    PlaceDescriptors(exec);
    ::execvpe(exec.argv[0], exec.argv.data(), exec.envp.data());  // glibc's searches on the stack
    ::_exit(127);
}

[[noreturn]] void BecomeUser(uid_t uid, const std::function<int(int report)>& body, int report)
{
    if (uid != ::geteuid() &&
        (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0))
        ::_exit(125);
    ::_exit(body(report));
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> arguments, const ChildSetup& setup)
    : arguments_(std::move(arguments))
{
    Start(setup, nullptr, ::geteuid());
}

ChildProcess::ChildProcess(const std::function<int(int report)>& body, uid_t uid)
{
    Start({}, body, uid);
}

void ChildProcess::Start(const ChildSetup& setup, const std::function<int(int report)>& body,
                         uid_t uid)
{
    // A socket rather than pipes: a line told to a child that has ended fails (MSG_NOSIGNAL)
    // instead of killing the test with SIGPIPE.
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw std::runtime_error("socketpair");
    socket_.reset(ends[0]);
    const UniqueFd childsEnd(ends[1]);
    ::fcntl(socket_.get(), F_SETFL, O_NONBLOCK);
    lines_ = LineReader(socket_.get());
    const UniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    std::vector<std::string> environment = ChildEnvironment(setup.environment);
    Exec exec{.argv = PointersTo(arguments_),
              .envp = PointersTo(environment),
              .descriptors = setup.descriptors,
              .diesWithTest = setup.diesWithTest,
              .parent = ::getpid()};
    for (const int number : setup.lineFds)
        exec.descriptors.push_back({number, childsEnd.get()});
    for (const int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (std::none_of(exec.descriptors.begin(), exec.descriptors.end(),
                         [standard](const auto& placed) { return placed.first == standard; }))
            exec.descriptors.push_back({standard, devNull.get()});
    exec.moved.resize(exec.descriptors.size());
    // Blocked across the fork, so that the child has them blocked before anyone can signal it.
    sigset_t blocked, unblocked;
    sigemptyset(&blocked);
    for (const int number : setup.blockedSignals)
        sigaddset(&blocked, number);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &unblocked);
    pid_ = ::fork();
    if (pid_ == 0 && body) BecomeUser(uid, body, childsEnd.get());
    if (pid_ == 0) BecomeProgram(exec);
    ::pthread_sigmask(SIG_SETMASK, &unblocked, nullptr);
    if (pid_ < 0) throw std::runtime_error("fork");
    // Through syscall(): Debian 12's <sys/pidfd.h> declares pidfd_open without C linkage.
    pidFd_.reset(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0) Stop(arguments_.empty() ? SIGKILL : SIGTERM);
}

void ChildProcess::Signal(int number) const
{
    if (pid_ > 0 && !exitCode_) ::kill(pid_, number);
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout)
{
    if (exitCode_ || pid_ <= 0) return exitCode_;
    pollfd ended{pidFd_.get(), POLLIN, 0};
    if (::poll(&ended, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return exitCode_;
}

int ChildProcess::Stop(int number, std::chrono::milliseconds grace)
{
    Signal(number);
    if (const std::optional<int> code = Wait(grace)) return *code;
    Signal(SIGKILL);
    return Wait(std::chrono::milliseconds(-1)).value_or(-1);
}

std::optional<std::string> ChildProcess::ReadLine(const std::string& prefix,
                                                  std::chrono::milliseconds timeout)
{
    const std::optional<std::string> line =
        lines_.Next([&](const std::string& text) { return text.starts_with(prefix); },
                    std::chrono::steady_clock::now() + timeout);
    if (!line) return std::nullopt;
    return line->substr(prefix.size());
}

const std::vector<std::string>& ChildProcess::AllLines(std::chrono::milliseconds timeout)
{
    lines_.Next([](const std::string&) { return false; },
                std::chrono::steady_clock::now() + timeout);
    return lines_.Lines();
}

bool ChildProcess::Tell(const std::string& line)
{
    const std::string whole = line + "\n";
    return ::send(socket_.get(), whole.data(), whole.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(whole.size());
}

void Report(int fd, const char* text)
{
    for (std::size_t left = std::strlen(text); left > 0;) {
        const ssize_t n = ::write(fd, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}
