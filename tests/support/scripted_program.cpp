#include "tests/support/scripted_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

#include "tests/support/spawned_process.h"

ScriptedProgram::ScriptedProgram(const std::string& program,
                                 const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& extraEnvironment)
{
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if (pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp = ChildEnvironment(extraEnvironment);
    const int failed = posix_spawn(&pid_, program.c_str(), &actions, nullptr,
                                   PointersTo(argv).data(), PointersTo(envp).data());
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    toProgram_ = input[1];
    fromProgram_ = output[0];
    if (failed) throw std::runtime_error("cannot start " + program);
    pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    if (pidFd_ < 0) throw std::runtime_error("pidfd_open");
}

ScriptedProgram::~ScriptedProgram()
{
    if (!status_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (const int fd : {pidFd_, toProgram_, fromProgram_})
        if (fd >= 0) close(fd);
}

std::optional<std::string> ScriptedProgram::WaitForReport(const std::string& prefix,
                                                          std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (std::size_t end; (end = unread_.find('\n')) != std::string::npos;) {
            const std::string line = unread_.substr(0, end);
            unread_.erase(0, end + 1);
            if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready{fromProgram_, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) != 1)
            return std::nullopt;
        char buffer[512];
        const ssize_t n = read(fromProgram_, buffer, sizeof buffer);
        if (n <= 0) return std::nullopt;  // the program ended
        unread_.append(buffer, static_cast<std::size_t>(n));
    }
}

void ScriptedProgram::Tell(const std::string& command)
{
    const std::string line = command + "\n";
    if (write(toProgram_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("cannot tell the program " + command);
}

bool ScriptedProgram::Ignores(int number) const
{
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("SigIgn:"))
            return (std::stoull(line.substr(7), nullptr, 16) >> (number - 1)) & 1;
    return false;
}

void ScriptedProgram::Signal(int number)
{
    kill(pid_, number);
}

std::optional<int> ScriptedProgram::WaitForEnd(std::chrono::milliseconds timeout)
{
    if (status_) return status_;
    pollfd ended{pidFd_, POLLIN, 0};
    if (poll(&ended, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_) return std::nullopt;
    status_ = status;
    return status_;
}
