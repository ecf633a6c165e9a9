#include "tests/support/private_x_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

extern char** environ;

namespace {

constexpr int kDisplayFd = 9;  // where Xvfb writes its display number once it accepts clients

pid_t Spawn(std::vector<std::string> arguments, const std::vector<std::string>& extraEnvironment,
            int displayPipe = -1)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (displayPipe >= 0) posix_spawn_file_actions_adddup2(&actions, displayPipe, kDisplayFd);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment(extraEnvironment);
    for (char** entry = environ; *entry; ++entry)
        environment.emplace_back(*entry);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) throw std::runtime_error("cannot start " + arguments[0]);
    return pid;
}

void Stop(pid_t pid, int number = SIGTERM)
{
    if (pid <= 0) return;
    kill(pid, number);
    waitpid(pid, nullptr, 0);
}

// The display (":" and the number that Xvfb writes once it is ready); the time-out is a guard
// against a server that never comes up, not a pace. Built by appending: g++ 12 warns falsely
// (-Wrestrict) inside libstdc++ for ":" + std::string in an optimised build.
std::string ReadDisplay(int fd)
{
    std::string display = ":";
    char c;
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 30000) <= 0 || read(fd, &c, 1) != 1)
            throw std::runtime_error("Xvfb did not come up");
        if (c == '\n') return display;
        display += c;
    }
}

}  // namespace

PrivateXServer::PrivateXServer()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    try {
        xvfb_ = Spawn({"Xvfb", "-displayfd", std::to_string(kDisplayFd), "-screen", "0",
                       "800x600x24", "-nolisten", "tcp"},
                      {}, ends[1]);
        close(ends[1]);
        display_ = ReadDisplay(ends[0]);
        close(ends[0]);
        trayer_ = Spawn({"trayer", "--edge", "bottom", "--align", "right", "--height", "32",
                         "--widthtype", "request"},
                        {"DISPLAY=" + display_});
    } catch (...) {
        Stop(xvfb_);
        throw;
    }
}

PrivateXServer::~PrivateXServer()
{
    Stop(trayer_);
    Stop(xvfb_);
}

void PrivateXServer::KillServer()
{
    Stop(xvfb_, SIGKILL);
    xvfb_ = -1;
}
