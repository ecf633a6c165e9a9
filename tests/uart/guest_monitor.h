// QEMU's machine protocol (QMP) on a socket QEMU was given at its start: how a test changes the
// machine under the running guest, as a hand at the hardware would (an adapter pulled out and
// plugged back in). Each command waits for QEMU's answer under a deadline.
#pragma once

#include <string>

#include "platform/io/unique_fd.h"
#include "tests/support/line_reader.h"

class GuestMonitor {
public:
    // `socket` is non-blocking; QEMU's end of it is a "-chardev socket,fd=N" with "-mon
    // mode=control".
    explicit GuestMonitor(UniqueFd socket);

    // Adds the device described by `json` (a -device argument in QEMU's JSON form); true once
    // QEMU has accepted it.
    bool AddDevice(const std::string& json);
    // Removes device `id`; true once QEMU reports it deleted, after which its id and backend
    // are free for AddDevice again.
    bool DeleteDevice(const std::string& id);

private:
    bool Execute(const std::string& command, const std::string& arguments);

    UniqueFd socket_;
    LineReader replies_;
    bool negotiated_ = false;
};
