// tests/ui/scripted_quarnex in a child process, for the tests that end the program from outside:
// its reports are read line by line, commands written to it, signals sent, and its end awaited.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class ScriptedProgram {
public:
    // Starts `program` with `arguments`, this process's environment and `extraEnvironment`
    // ("NAME=value" entries, which win). Throws std::runtime_error when it cannot be started.
    ScriptedProgram(const std::string& program, const std::vector<std::string>& arguments,
                    const std::vector<std::string>& extraEnvironment = {});
    ~ScriptedProgram();  // kills a program still running, and waits for it
    ScriptedProgram(const ScriptedProgram&) = delete;
    ScriptedProgram& operator=(const ScriptedProgram&) = delete;

    // The rest of the next report line that begins with `prefix` (earlier lines are skipped);
    // nullopt when none came within `timeout` or the program ended.
    std::optional<std::string> WaitForReport(const std::string& prefix,
                                             std::chrono::milliseconds timeout);
    // Writes `command` and a line end to the program's standard input.
    void Tell(const std::string& command);
    void Signal(int number);
    // True when the running program ignores signal `number` (as the kernel lists it).
    bool Ignores(int number) const;
    // The program's wait status once it has ended, or nullopt when it still runs after `timeout`.
    std::optional<int> WaitForEnd(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    int pidFd_ = -1;
    int toProgram_ = -1;
    int fromProgram_ = -1;
    std::string unread_;
    std::optional<int> status_;
};
