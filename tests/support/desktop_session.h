// The desktop a test command may be run from. A terminal of a desktop session has DISPLAY,
// WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR set (the bus also answers at
// $XDG_RUNTIME_DIR/bus), and a desktop's dbus-x11 lets any X client without a bus start one on
// its display. No test may reach that session: a test that needs a display, a compositor or a
// bus starts its own (PrivateXServer, PrivateWaylandCompositor, PrivateSessionBus), and
// everything else runs with the session's variables unset.
#pragma once

#include <string>
#include <vector>

#include "platform/io/unique_fd.h"
#include "tests/support/scratch.h"

// Unsets the session's variables in this process. Every test program's main() calls it first,
// before anything of it reads them or starts a child.
void LeaveTheDesktopSession();

// A stand-in for a user's session that notices whoever reaches it: listening sockets where its
// X display (":N", with the lock file an X server keeps), its Wayland compositor and its session
// bus would be, in a runtime directory of its own. Nothing ever answers on them.
class DecoySession {
public:
    DecoySession();  // throws std::runtime_error when it cannot be set up
    ~DecoySession();
    DecoySession(const DecoySession&) = delete;
    DecoySession& operator=(const DecoySession&) = delete;

    // The variables a terminal of this session has, for a ChildSetup.
    std::vector<std::string> Environment() const;
    // What of it was reached: "the X display", "the Wayland compositor", "the session bus", and
    // each file that something made in its runtime directory. Empty when nothing.
    std::vector<std::string> Reached() const;

private:
    ScratchDirectory runtime_;
    int display_ = -1;
    UniqueFd displaySocket_;
    UniqueFd compositorSocket_;
    UniqueFd busSocket_;
};
