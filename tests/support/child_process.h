// A forked child of the test, optionally as another user, that reports back through a pipe:
// for what another program or another user on the machine does to ours (connect to our
// listener, serve a socket at a path we use). The tests run as root, so the child can drop to
// any uid. The body runs right after fork(): only plain system calls belong in it.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

// A uid with no account on a test machine, for "another user".
inline constexpr uid_t kOtherUid = 1001;

class ChildProcess {
public:
    // Runs `body(report)` in the child, as `uid` (and gid) unless it is the test's own; the
    // child exits with the body's result. Throws std::runtime_error when it cannot fork.
    ChildProcess(const std::function<int(int report)>& body, uid_t uid = ::geteuid());
    ~ChildProcess();  // kills the child if it still runs, and reaps it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // What the child wrote to `report` up to `count` bytes, waiting at most `timeout`.
    std::string Read(std::size_t count, std::chrono::milliseconds timeout);
    // The child's exit code once it has ended, or -1 after `timeout`.
    int Wait(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    int pidFd_ = -1;
    int report_ = -1;
};

// Writes all of `text` to `fd` from the child (no allocation, no exceptions).
void Report(int fd, const char* text);
