// Where a test or the benchmark gets a child process: another program, or a function of this one
// run in a forked child, optionally as another user (the tests run as root, so a child can drop
// to any uid), for what another program or user on the machine does to ours. Either way the
// child talks to the test over one socket: what it writes there is read here line by line under
// a deadline, and it reads the lines Tell() writes. Its end is awaited in the kernel (a pidfd),
// and a child still running when the object goes is stopped and reaped: a program with SIGTERM
// first, a function at once with SIGKILL.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/io/unique_fd.h"
#include "tests/support/line_reader.h"

// A uid with no account on a test machine, for "another user".
inline constexpr uid_t kOtherUid = 1001;

// How a program starts. Its standard input, output and error are /dev/null unless listed in
// `descriptors`; no other descriptor of ours reaches it (ours are all close-on-exec).
struct ChildSetup {
    // Over this process's environment: "NAME=value", or "NAME" to drop the variable.
    std::vector<std::string> environment{};
    std::vector<std::pair<int, int>> descriptors{};  // {its number, our descriptor}
    std::vector<int> lineFds{};  // the numbers at which it has its end of the socket to the test
    std::vector<int> blockedSignals{};
    // Killed when this process ends, however it ends; in a process group of its own.
    bool diesWithTest = false;
};

class ChildProcess {
public:
    // Starts `arguments` (the program found on PATH). Throws std::runtime_error when it cannot.
    explicit ChildProcess(std::vector<std::string> arguments, const ChildSetup& setup = {});
    // Runs `body(report)` in a forked child, as `uid` (and gid) unless it is the test's own; the
    // child exits with the body's result. The body runs right after fork(): only plain system
    // calls belong in it.
    explicit ChildProcess(const std::function<int(int report)>& body, uid_t uid = ::geteuid());
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int number) const;
    // Its exit code once it has ended (128 + the signal's number when a signal ended it);
    // nullopt while it still runs after `timeout`.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    // Sends `number`, waits up to `grace`, then kills it; its exit code.
    int Stop(int number = SIGTERM, std::chrono::milliseconds grace = std::chrono::seconds(5));

    // The rest of the next report line that begins with `prefix` (earlier lines are skipped);
    // nullopt when none came within `timeout` or the child closed its end.
    std::optional<std::string> ReadLine(const std::string& prefix,
                                        std::chrono::milliseconds timeout);
    // Every line so far, without reading on.
    const std::vector<std::string>& Lines() const { return lines_.Lines(); }
    // Every line, once the child has closed its end (or `timeout` has passed).
    const std::vector<std::string>& AllLines(std::chrono::milliseconds timeout);
    // Writes `line` and a line end to the socket without waiting; false when it did not fit or
    // the child has closed its end.
    bool Tell(const std::string& line);

private:
    void Start(const ChildSetup& setup, const std::function<int(int report)>& body, uid_t uid);

    std::vector<std::string> arguments_;
    pid_t pid_ = -1;
    UniqueFd pidFd_;
    UniqueFd socket_;  // our end
    LineReader lines_{-1};
    std::optional<int> exitCode_;
};

// Writes all of `text` to `fd` from a child (no allocation, no exceptions).
void Report(int fd, const char* text);
