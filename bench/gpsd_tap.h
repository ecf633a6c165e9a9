// What gpsd passes on to its clients, as one of them sees it: the kit's gpsd reader on gpsd's raw
// NMEA, with the primers set aside. gpsd reads the GPS service channel only once it has
// connected to the channel's source, which can take seconds after the run's start, and a
// measured stream must start when gpsd reads it. A measured run into gpsd therefore begins with
// a primer: a sentence of its own, written into the relay's input until gpsd reports it; only
// then does the stream follow. The primer is no type the relay filters, and the generated stream
// never holds it.
#pragma once

#include <condition_variable>
#include <mutex>

#include "tests/support/gpsd_reader.h"

class GpsdNmeaTap {
public:
    using Clock = GpsdReader::Clock;
    // One NMEA line as gpsd sent it (line end included) and when it was read: on the reader's
    // thread, where it must keep up.
    using Sink = GpsdReader::LineSink;

    // Returns once gpsd has confirmed the watch; throws std::runtime_error when it does not.
    GpsdNmeaTap(int port, Sink sink);

    // Writes primers into the relay's input until gpsd has reported one; false when gpsd has
    // reported none after about ten seconds.
    bool Prime(int inputMaster);
    // True once gpsd has closed the connection (it dropped this client, or ended).
    bool Disconnected() const { return reader_.WaitUntilDisconnected(std::chrono::seconds(0)); }

private:
    void Take(std::string_view line, Clock::time_point arrived);

    Sink sink_;
    std::mutex guard_;
    std::condition_variable primerReported_;
    long long primers_ = 0;
    GpsdReader reader_;  // last: its thread feeds the rest
};
