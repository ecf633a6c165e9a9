// Where a test or the benchmark gets a gpsd reader: a client on gpsd's port that asks gpsd a
// question (a watch, mostly) and then reads everything gpsd sends on a thread of its own,
// handing each line (line end included) to a callback there. gpsd writes to a client without
// waiting and drops what does not fit into a slow client's socket, so the reader never waits for
// whoever judges the lines: the callback must keep up, and the socket's large receive buffer
// bridges short spells.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/io/unique_fd.h"

// Every report and every NMEA sentence gpsd accepted, as it came in.
inline constexpr char kWatchEverything[] = "?WATCH={\"enable\":true,\"json\":true,\"nmea\":true}\n";
// gpsd's raw NMEA alone.
inline constexpr char kWatchNmea[] = "?WATCH={\"enable\":true,\"json\":false,\"nmea\":true}\n";

class GpsdReader {
public:
    using Clock = std::chrono::steady_clock;
    using LineSink = std::function<void(std::string_view line, Clock::time_point arrived)>;

    // Connects to gpsd's client port on 127.0.0.1, sends `request` ("?WATCH=...", "?DEVICES;")
    // and returns once `sink` has been handed gpsd's answer, the report of the request's class
    // (WATCH, DEVICES). Throws std::runtime_error when gpsd does not take the connection or
    // answer.
    GpsdReader(int port, std::string_view request, LineSink sink);
    ~GpsdReader();  // ends the reader thread and closes the connection
    GpsdReader(const GpsdReader&) = delete;
    GpsdReader& operator=(const GpsdReader&) = delete;

    // True once gpsd has closed the connection (it dropped this client, or ended), within
    // `timeout`.
    bool WaitUntilDisconnected(std::chrono::milliseconds timeout) const;

private:
    void Run();
    void EndThread();
    void Split(std::string_view data, Clock::time_point arrived);

    UniqueFd fd_;
    UniqueFd wake_;  // an eventfd: readable once the destructor asks the thread to end
    LineSink sink_;
    std::string answer_;   // how the answer to the request begins
    std::string carried_;  // the start of a line whose end has not come yet
    mutable std::mutex guard_;
    mutable std::condition_variable changed_;
    bool answered_ = false;
    bool disconnected_ = false;
    std::thread thread_;  // last: it starts once everything else is there
};
