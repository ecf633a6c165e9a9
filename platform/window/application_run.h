// What every program with windows runs inside: the application object, and message boxes shown
// as windows (from any thread) while it lives.
#pragma once

#include <functional>

// Creates the application object, which keeps running while the windows are hidden to the tray,
// installs the window message boxes, runs `body` and returns its result. `argc` must outlive
// the call, as the application object keeps a reference to it. SIGPIPE is ignored from then
// on: a peer that went away (the X server) fails a write instead of ending the process.
int RunInApplication(int& argc, char** argv, const std::function<int()>& body);
