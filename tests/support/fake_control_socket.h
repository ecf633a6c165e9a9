// Something at gpsd's control socket path that is not a well-behaved gpsd: a peer that floods
// its answer, trickles it a byte a second, never answers, answers each question correctly
// but slowly, or takes no connections at all (a frozen gpsd, its listen queue full). Served by a
// thread of the test's own, as root, so the program trusts its owner and the bounds of the exchange
// are what is tested.
#pragma once

#include <atomic>
#include <string>
#include <thread>

enum class FakeGpsd { kFlood, kTrickle, kSilent, kSlowAnswers, kFullQueue };

class FakeControlSocket {
public:
    // Listens at `path` at once; serves one connection after the other.
    FakeControlSocket(const std::string& path, FakeGpsd behaviour);
    ~FakeControlSocket();  // stops serving, closes everything and removes the socket file
    FakeControlSocket(const FakeControlSocket&) = delete;
    FakeControlSocket& operator=(const FakeControlSocket&) = delete;

    // How long a slow answer takes.
    static constexpr int kSlowAnswerMs = 1500;

private:
    void Serve();
    void Answer(int connection);
    // Waits for `events` on `fd` up to `timeoutMs` (-1: no limit); false once told to stop.
    bool WaitFor(int fd, short events, int timeoutMs);

    std::string path_;
    FakeGpsd behaviour_;
    int listener_ = -1;
    int filler_ = -1;  // the connection that fills the queue of kFullQueue
    int stop_ = -1;    // an eventfd
    std::thread server_;
};
