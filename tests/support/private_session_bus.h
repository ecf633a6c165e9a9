// A private D-Bus session bus for the tests of the real tray: a dbus-daemon of the test's own,
// with its socket in a scratch directory and DBUS_SESSION_BUS_ADDRESS pointing at it while the
// object lives. Its configuration starts no services on demand, so nothing a client asks for
// (an accessibility bus, a settings daemon) starts programs the test would not know to stop;
// and a desktop's own bus, with whatever tray it serves, stays out of the test.
#pragma once

#include <optional>

#include "tests/support/child_process.h"
#include "tests/support/scratch.h"

class PrivateSessionBus {
public:
    PrivateSessionBus();  // throws std::runtime_error when the bus cannot be started
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

private:
    ScratchDirectory directory_;
    std::optional<ChildProcess> daemon_;
    std::optional<ScopedEnvironmentVariable> address_;
};
