// A QEMU guest with three 16550A UARTs on the kernel's 8250 driver and an FTDI USB serial adapter
// (QEMU's usb-serial on an xHCI controller, run by the kernel's ftdi_sio driver): ttyS0 is the
// console, on which the guest runs every line it is sent as a shell command; ttyS1, ttyS2 and
// ttyUSB0 are backed by pseudo-terminals here, so a test plays the far end of each port through
// FarEnd(). QEMU applies each port's rate and frame to those, where a test reads them back.
// The adapter can be pulled out and plugged back in through QEMU's monitor.
//
// Every wait has a deadline; once one has been missed, the guest counts as hung and every later
// wait fails at once, so a stuck guest fails the tests instead of stalling them. The QEMU process
// dies with this object, and with this process however it ends (PR_SET_PDEATHSIG).
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scratch.h"
#include "tests/uart/guest_monitor.h"

inline constexpr char kInputUart[] = "/dev/ttyS1";
inline constexpr char kOutputUart[] = "/dev/ttyS2";
inline constexpr char kAdapterPort[] = "/dev/ttyUSB0";

class GuestMachine {
public:
    // Starts QEMU on IMAGE_DIR/vmlinuz and IMAGE_DIR/initramfs.cpio.gz. Throws when it cannot.
    explicit GuestMachine(const std::string& imageDir);
    GuestMachine(const GuestMachine&) = delete;
    GuestMachine& operator=(const GuestMachine&) = delete;

    // The far end of kInputUart, kOutputUart or kAdapterPort.
    PtyPair& FarEnd(const std::string& guestPort);

    // Pulls the adapter out (true once QEMU has deleted it) and plugs it back in.
    bool UnplugAdapter();
    bool PlugAdapter();
    // The line rate the adapter runs at, as QEMU works it out from the clock divisor the guest's
    // driver last wrote to it; -1 before the first.
    long AdapterLineRate() const;

    // Writes one command line to the guest's console.
    void Send(const std::string& line);

    // The next console line starting with `prefix`, skipping (but keeping) the lines before it;
    // nothing when the deadline passed, the guest is hung or QEMU has ended.
    std::optional<std::string> WaitForLine(const std::string& prefix,
                                           std::chrono::milliseconds timeout);

    // Every console line so far; lines from Mark() on are those that arrive after the call.
    const std::vector<std::string>& Lines() const { return qemu_->Lines(); }
    std::size_t Mark() const { return Lines().size(); }
    // The last lines of the console, for a failure's message.
    std::string Tail() const;

private:
    std::unique_ptr<PtyPair> input_ = std::make_unique<PtyPair>();
    std::unique_ptr<PtyPair> output_ = std::make_unique<PtyPair>();
    std::unique_ptr<PtyPair> adapter_ = std::make_unique<PtyPair>();
    ScratchDirectory logs_{"quarnex-uart"};  // QEMU's trace of the adapter's settings
    std::unique_ptr<GuestMonitor> monitor_;
    std::optional<ChildProcess> qemu_;
    bool hung_ = false;
};
