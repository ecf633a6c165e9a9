// A private Wayland session: weston's headless back end (no screen, no input devices) on a
// socket in a runtime folder of the test's own, so that no user's compositor is reached.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scratch.h"

class PrivateWaylandCompositor {
public:
    PrivateWaylandCompositor();  // once its socket is there; throws when it does not come
    PrivateWaylandCompositor(const PrivateWaylandCompositor&) = delete;
    PrivateWaylandCompositor& operator=(const PrivateWaylandCompositor&) = delete;

    // A Wayland session's variables, for a program to be its client ("NAME=value").
    std::vector<std::string> ClientEnvironment() const;
    // As a crash would (SIGKILL): its clients lose their connection.
    void KillCompositor();

private:
    ScratchDirectory runtime_{"qwayland"};
    std::optional<ChildProcess> weston_;
};
