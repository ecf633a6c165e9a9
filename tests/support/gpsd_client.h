// A client of gpsd's own JSON protocol, to see from the outside what reached gpsd, as any
// program that reads GPS data would see it.
//
// GpsdWatcher keeps what a GpsdReader with kWatchEverything hands it: gpsd then opens its
// sources and reports every NMEA sentence it accepted, exactly as it came in (line end
// included), and its JSON reports (TPV, SKY, DEVICE, ...), one per line.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/gpsd_reader.h"

class GpsdWatcher {
public:
    using Lines = std::vector<std::string>;

    // Returns once gpsd has confirmed the watch; throws std::runtime_error when it does not.
    explicit GpsdWatcher(int port);

    // Every line gpsd has sent so far, in order, each with its own line end.
    Lines AllLines() const;
    // Only the NMEA sentences among them.
    Lines NmeaLines() const;
    // Drops the lines so far, so that a long run's log does not grow without bound.
    void Forget();

    // Waits until `done` holds for the lines so far; false after `timeout`.
    bool WaitUntil(const std::function<bool(const Lines&)>& done,
                   std::chrono::milliseconds timeout) const;
    // Waits until gpsd has closed the connection (it ended, or dropped this client).
    bool WaitUntilDisconnected(std::chrono::milliseconds timeout) const
    {
        return reader_.WaitUntilDisconnected(timeout);
    }
    // Waits for a TPV report with a position fix (mode 2 or 3).
    bool WaitForFix(std::chrono::milliseconds timeout) const;
    // Waits until gpsd has sent exactly `line`, line end included.
    bool WaitForLine(const std::string& line, std::chrono::milliseconds timeout) const;
    // Waits until gpsd reports a source open (one it opened, or one open when the watch began);
    // its path, or "" after `timeout`.
    std::string WaitForSourceOpened(std::chrono::milliseconds timeout) const;
    // Waits for the DEVICE report that gpsd closed the source `path`.
    bool WaitForSourceClosed(const std::string& path, std::chrono::milliseconds timeout) const;

private:
    bool WaitForAnyLine(const std::function<bool(const std::string&)>& matches,
                        std::chrono::milliseconds timeout) const;

    mutable std::mutex guard_;
    mutable std::condition_variable arrived_;
    Lines lines_;
    GpsdReader reader_;  // last: its thread fills the lines
};

// Asks gpsd with ?DEVICES; on a connection of its own that watches nothing (so gpsd opens no
// source for it): the paths of the sources gpsd holds. Throws when gpsd does not answer.
std::vector<std::string> QueryGpsdDevices(int port);

// The text of a top-level member of one JSON report line: a string without its quotes, a
// number or other value as written; "" when the line has no such member.
std::string JsonMember(const std::string& line, const std::string& name);

// The address of one of our sources as gpsd lists it, "tcp://ADDRESS:PORT".
sockaddr_in SourceAddress(const std::string& source);

// True for a line that holds an NMEA sentence (begins with '$' or '!').
bool IsNmeaLine(const std::string& line);
