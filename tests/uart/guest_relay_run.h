// One run of the program's relay inside the guest, from ttyS1 to ttyS2 unless told otherwise,
// steered over the guest's console (see uart_guest.cpp for the commands). The far ends are
// emptied first, so a run starts with nothing left over from the one before.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/thread_usage.h"
#include "tests/uart/guest_machine.h"

inline constexpr std::chrono::milliseconds kGuestReplyTimeout{20000};

class GuestRelayRun {
public:
    // Opens both ports at `baud` and starts the relay, as Start does; Started() tells whether
    // it did.
    GuestRelayRun(GuestMachine& guest, int baud, const std::string& input = kInputUart,
                  const std::string& output = kOutputUart);
    ~GuestRelayRun();  // stops a run that the test left running
    GuestRelayRun(const GuestRelayRun&) = delete;
    GuestRelayRun& operator=(const GuestRelayRun&) = delete;

    bool Started() const { return started_; }

    // Sends `command` and returns the first reply line starting with `prefix`, or "" when none
    // came in time.
    std::string Ask(const std::string& command, const std::string& prefix,
                    std::chrono::milliseconds timeout = kGuestReplyTimeout);
    // The next line starting with `prefix`, or "".
    std::string Reply(const std::string& prefix,
                      std::chrono::milliseconds timeout = kGuestReplyTimeout);

    // The CPU time the guest program has spent so far and how often it was switched out, its
    // ended threads' included; false when no answer came in time.
    bool Usage(ThreadUsage& usage);

    // Stops the relay and closes both ports, as Stop does: the milliseconds that took in the
    // guest, or -1 when no answer came in time.
    long long Stop(std::chrono::milliseconds timeout = kGuestReplyTimeout);
    // What the guest program said it still held after Stop: "holds nothing" when it is idle.
    const std::string& HeldAfterStop() const { return heldAfterStop_; }

    // The texts of the message boxes the run has shown so far, in order.
    std::vector<std::string> Messages() const;

private:
    GuestMachine& guest_;
    std::size_t firstLine_;
    bool started_ = false;
    bool running_ = false;  // the guest program still reads commands
    std::string heldAfterStop_;
};
