// A real gpsd of the test's own, so that tests of the GPS service output never touch a system
// gpsd or another test's: started in the foreground (`gpsd -N -D 3`) with its control socket
// (DIR/gpsd.sock) in a fresh temporary directory and its client port on a free loopback port.
// Not started with -n, so it keeps running without sources, and, like a stock system gpsd,
// opens a source only while some client watches. Its log (standard error) is kept in the
// directory; GpsdLog::kQuiet (-D 0) keeps it to failures, for long runs, of which level 3
// would log every sentence.
//
// While it lives, GPSD_SOCKET points at its control socket, so the program's client library
// finds it exactly as it finds the system gpsd. Tests that create one are not to run two at
// once in a process (the variable is process-wide); ctest runs each test in its own process.
//
// Note: every gpsd on a host attaches the same System V shared-memory keys (its SHM export and
// the NTP units), so a private gpsd writes there too while it runs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/scratch.h"

// True when a gpsd program is there to start (in /usr/sbin or on PATH).
bool GpsdInstalled();

enum class GpsdLog { kDetailed, kQuiet };

class PrivateGpsd {
public:
    // Returns once gpsd answers on its control socket; throws std::runtime_error (with gpsd's
    // log) when it does not come up.
    explicit PrivateGpsd(GpsdLog logging = GpsdLog::kDetailed);
    // Stops gpsd if it still runs, restores GPSD_SOCKET and removes the directory.
    ~PrivateGpsd();
    PrivateGpsd(const PrivateGpsd&) = delete;
    PrivateGpsd& operator=(const PrivateGpsd&) = delete;

    const std::string& ControlSocket() const { return socketPath_; }
    std::string Directory() const { return directory_.Path(); }
    int ClientPort() const { return port_; }
    pid_t Pid() const { return gpsd_ ? gpsd_->Pid() : -1; }

    // Kills gpsd as a crash would (SIGKILL) and returns once it is gone, its sockets closed.
    void Kill();
    // Stops and resumes gpsd (SIGSTOP, SIGCONT): a hung gpsd whose sockets stay open.
    void Freeze();
    void Thaw();

    // Sends one control-socket command, written out in full ("+tcp://...\n"), the way gpsd's
    // tools do. gpsd's whole reply, or "" when none came within 10 s.
    std::string Control(const std::string& command) const;
    // Adds a source as gpsd's tools do; true when gpsd carried it out (gpsd 3.22 answers "OK",
    // 3.25 {"class":"ACK"}), false when it refused (a full list of sources among others).
    bool AddSource(const std::string& path) const;
    // The sources gpsd holds, as its control socket lists them: also those that no client has
    // made gpsd open yet.
    std::vector<std::string> ControlDevices() const;
    // Asks for the sources every 10 ms (gpsd tells no one of a new one but its watchers, and
    // those make it open every source) until `done` holds for them; the last list, after
    // `timeout` at the latest.
    std::vector<std::string> WaitForControlDevices(
        const std::function<bool(const std::vector<std::string>&)>& done,
        std::chrono::milliseconds timeout) const;

    // What gpsd has written to its standard error so far; for failure messages.
    std::string Log() const;

private:
    void Start(int controlSocket, int clientSocket);
    void Stop();

    ScratchDirectory directory_{"qgpsd"};
    std::string socketPath_;
    std::string logPath_;
    bool detailedLog_;
    int port_ = 0;
    std::optional<ChildProcess> gpsd_;
    std::optional<ScopedEnvironmentVariable> socketVariable_;  // once gpsd runs
};
