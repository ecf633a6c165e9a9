// Something at gpsd's control socket path that is not a well-behaved gpsd: a peer that floods
// its answer, trickles it a byte a second, never answers, answers each question correctly
// but slowly, or takes no connections at all (a frozen gpsd, its listen queue full). Served by a
// child process of the test's own, as root, so the program trusts its owner and the bounds of the
// exchange are what is tested; or as another user, whom the program must tell nothing.
#pragma once

#include <string>

#include "tests/support/child_process.h"

enum class FakeGpsd { kFlood, kTrickle, kSilent, kSlowAnswers, kFullQueue };

class FakeControlSocket {
public:
    // Returns once the fake listens at `path` as `uid`; serves one connection after the other.
    // Throws std::runtime_error when it cannot listen there.
    FakeControlSocket(const std::string& path, FakeGpsd behaviour, uid_t uid = ::geteuid());
    ~FakeControlSocket();  // ends the fake and removes the socket file

    // kSilent: the bytes the next connection brought once the program closed it; -1 when none
    // ended within `timeout`.
    long Received(std::chrono::milliseconds timeout);

    // How long a slow answer takes.
    static constexpr int kSlowAnswerMs = 1500;

private:
    std::string path_;
    ChildProcess server_;
};
