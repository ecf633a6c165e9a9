// A QEMU guest with three 16550A UARTs on the kernel's 8250 driver: ttyS0 is the console, on
// which the guest runs every line it is sent as a shell command; ttyS1 and ttyS2 are backed by
// pseudo-terminals here, so a test plays the far end of each port through Port(1) and Port(2).
// QEMU applies the guest UART's rate and frame to those, where a test reads them back.
//
// Every wait has a deadline; once one has been missed, the guest counts as hung and every later
// wait fails at once, so a stuck guest fails the tests instead of stalling them. The QEMU process
// dies with this object, and with this process however it ends (PR_SET_PDEATHSIG).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/io/unique_fd.h"
#include "tests/support/pty_pair.h"

class GuestMachine {
public:
    // Starts QEMU on IMAGE_DIR/vmlinuz and IMAGE_DIR/initramfs.cpio.gz. Throws when it cannot.
    explicit GuestMachine(const std::string& imageDir);
    ~GuestMachine();
    GuestMachine(const GuestMachine&) = delete;
    GuestMachine& operator=(const GuestMachine&) = delete;

    // The far end of ttyS1 (1) or ttyS2 (2).
    PtyPair& Port(int number) { return number == 1 ? *input_ : *output_; }

    // Writes one command line to the guest's console.
    void Send(const std::string& line);

    // The next console line starting with `prefix`, skipping (but keeping) the lines before it;
    // nothing when the deadline passed, the guest is hung or QEMU has ended.
    std::optional<std::string> WaitForLine(const std::string& prefix,
                                           std::chrono::milliseconds timeout);

    // Every console line so far; lines from Mark() on are those that arrive after the call.
    const std::vector<std::string>& Lines() const { return lines_; }
    std::size_t Mark() const { return lines_.size(); }
    // The last lines of the console, for a failure's message.
    std::string Tail() const;

private:
    bool ReadConsole(std::chrono::steady_clock::time_point deadline);

    std::unique_ptr<PtyPair> input_ = std::make_unique<PtyPair>();
    std::unique_ptr<PtyPair> output_ = std::make_unique<PtyPair>();
    UniqueFd console_;  // the guest's console both ways, and QEMU's own messages
    pid_t qemu_ = -1;
    std::string partialLine_;
    std::vector<std::string> lines_;
    std::size_t nextLine_ = 0;
    bool hung_ = false;
};
