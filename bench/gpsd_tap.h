// What gpsd passes on to its clients, as one of them sees it: a watch of gpsd's raw NMEA
// reports (?WATCH={"enable":true,"nmea":true}, no JSON reports), read on a thread of its own.
// gpsd writes to a client without waiting: when the client's socket is full it drops what does
// not fit, so the reader must never stall behind the one who judges the lines. The sink runs
// on the reader thread and must keep up; the socket's large receive buffer bridges short spells.
// Primer sentences (bench/channel_primer.h) never reach the sink: the tap counts them itself.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string_view>

class GpsdNmeaTap {
public:
    using Clock = std::chrono::steady_clock;
    // One NMEA line as gpsd sent it (line end included) and when it was read.
    using Sink = std::function<void(std::string_view line, Clock::time_point arrived)>;

    // Returns once gpsd has confirmed the watch; throws std::runtime_error when it does not.
    GpsdNmeaTap(int port, Sink sink);
    ~GpsdNmeaTap();  // ends the reader thread and closes the connection
    GpsdNmeaTap(const GpsdNmeaTap&) = delete;
    GpsdNmeaTap& operator=(const GpsdNmeaTap&) = delete;

    // True once gpsd has closed the connection (it dropped this client, or ended).
    bool Disconnected() const;
    // Waits up to `timeout` until gpsd has reported a primer; false when none has come by then.
    bool WaitForPrimer(std::chrono::milliseconds timeout) const;

private:
    struct Reader;
    std::unique_ptr<Reader> reader_;
};
