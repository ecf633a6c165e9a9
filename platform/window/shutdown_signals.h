// SIGINT, SIGTERM and SIGHUP turned into a call on the GUI thread: the handler only writes to a
// pipe, and a socket notifier on the pipe's other end runs `onSignal` from the event loop. The
// previous handlers come back when the object goes.
#pragma once

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

class ShutdownSignals {
public:
    explicit ShutdownSignals(std::function<void()> onSignal);
    ~ShutdownSignals();
    ShutdownSignals(const ShutdownSignals&) = delete;
    ShutdownSignals& operator=(const ShutdownSignals&) = delete;

    static constexpr int kCount = 3;  // SIGINT, SIGTERM, SIGHUP

private:
    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previous_[kCount] {};
};
