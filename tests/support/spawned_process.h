// Programs a test starts beside itself (an X server, a bus, a tray host, a one-shot tool): found
// on PATH, their output thrown away, with the test's environment plus a few entries of their
// own. A server is started ready: it writes a line on a descriptor of ours once it accepts
// clients (Xvfb -displayfd, dbus-daemon --print-address), and that line is its address. Each is
// stopped by its own process id.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

// This process's environment without the variables that `extra` ("NAME=value") sets, then
// `extra`: what a started program sees.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra);

// The argv or envp form of `texts` (which must outlive it): their pointers and a null one.
std::vector<char*> PointersTo(std::vector<std::string>& texts);

// Starts `arguments` (throws std::runtime_error when it cannot be started).
pid_t SpawnQuietly(std::vector<std::string> arguments,
                   const std::vector<std::string>& extraEnvironment = {});

// Starts a server that writes one line on its descriptor `lineFd` once it is ready, and waits
// for that line (a guard against a server that never comes up, not a pace): the line without
// its line end, and the server's process id in `pid`. Throws, leaving nothing running, when the
// server cannot be started or says nothing within 30 s.
std::string SpawnReady(std::vector<std::string> arguments, int lineFd, pid_t& pid);

// Runs a one-shot program to its end: its exit code, or -1 when a signal ended it.
int RunQuietly(std::vector<std::string> arguments,
               const std::vector<std::string>& extraEnvironment = {});

// Ends a program with `number` (SIGTERM, or SIGKILL as a crash would) and waits for it; nothing
// for pid <= 0.
void StopSpawned(pid_t pid, int number = SIGTERM);
