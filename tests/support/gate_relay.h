// A relay run into the GPS service, set up as a run with "GPSGate" as its output (input port
// opened, channel started, relay thread running), and what gpsd must report of its output.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "relay/relay_state.h"
#include "tests/support/gpsd_client.h"
#include "tests/support/pty_pair.h"

class GateRelay {
public:
    ~GateRelay() { Stop(); }

    // 1 when the port and the channel opened and the relay thread runs.
    int Start(const SentenceSelection& selection = {});
    // As the run control stops: wait for the relay thread, then close the ends.
    void Stop();
    bool WaitUntilEnded(std::chrono::milliseconds timeout);

    PtyPair input;
};

// "$...*hh" with the right checksum and a line end.
bool HasValidChecksum(const std::string& line);

// What gpsd must report of a relay's output: of every sentence written, its first line, when
// that is a sentence with a correct checksum ("$...*hh" and its line end). The rest of a
// written sentence (a '#' comment line of the capture behind it) is no NMEA, and gpsd drops
// sentences whose checksum is wrong. Lines without any checksum are left out on both sides:
// gpsd passes some of them (it tolerates sentences without one), which says nothing about us.
// A sentence the relay lost, cut or spliced, or a probe string forwarded, shows as a difference.
std::vector<std::string> ChecksummedLines(const std::string& relayOutput);

// The lines gpsd reported that have a correct checksum.
std::vector<std::string> Checksummed(const GpsdWatcher::Lines& lines);
