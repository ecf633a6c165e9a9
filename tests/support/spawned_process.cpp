#include "tests/support/spawned_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

extern char** environ;

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        bool replaced = false;
        for (const std::string& own : extra)
            replaced |= variable.compare(0, own.find('=') + 1, own, 0, own.find('=') + 1) == 0;
        if (!replaced) environment.push_back(variable);
    }
    environment.insert(environment.end(), extra.begin(), extra.end());
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

namespace {

pid_t Spawn(std::vector<std::string> arguments, const std::vector<std::string>& extraEnvironment,
            int lineWriteEnd, int lineFd)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (lineWriteEnd >= 0) posix_spawn_file_actions_adddup2(&actions, lineWriteEnd, lineFd);
    std::vector<std::string> environment = ChildEnvironment(extraEnvironment);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, arguments[0].c_str(), &actions, nullptr,
                                    PointersTo(arguments).data(), PointersTo(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed) throw std::runtime_error("cannot start " + arguments[0]);
    return pid;
}

std::string ReadLine(int fd, const std::string& program)
{
    std::string line;
    char c;
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 30000) <= 0 || read(fd, &c, 1) != 1)
            throw std::runtime_error(program + " did not come up");
        if (c == '\n') return line;
        line += c;
    }
}

}  // namespace

pid_t SpawnQuietly(std::vector<std::string> arguments,
                   const std::vector<std::string>& extraEnvironment)
{
    return Spawn(std::move(arguments), extraEnvironment, -1, -1);
}

std::string SpawnReady(std::vector<std::string> arguments, int lineFd, pid_t& pid)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const std::string program = arguments[0];
    pid = -1;
    try {
        pid = Spawn(std::move(arguments), {}, ends[1], lineFd);
        close(ends[1]);
        ends[1] = -1;
        std::string line = ReadLine(ends[0], program);
        close(ends[0]);
        return line;
    } catch (...) {
        if (ends[1] >= 0) close(ends[1]);
        close(ends[0]);
        StopSpawned(pid);
        pid = -1;
        throw;
    }
}

int RunQuietly(std::vector<std::string> arguments, const std::vector<std::string>& extraEnvironment)
{
    const pid_t pid = SpawnQuietly(std::move(arguments), extraEnvironment);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

void StopSpawned(pid_t pid, int number)
{
    if (pid <= 0) return;
    kill(pid, number);
    waitpid(pid, nullptr, 0);
}
