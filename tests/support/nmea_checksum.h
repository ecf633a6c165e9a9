// What gpsd must report of a relay's output, judged by the sentences' checksums.
#pragma once

#include <string>
#include <vector>

// "$...*hh" with the right checksum and a line end.
bool HasValidChecksum(const std::string& line);

// What gpsd must report of a relay's output: of every sentence written, its first line, when
// that is a sentence with a correct checksum ("$...*hh" and its line end). The rest of a
// written sentence (a '#' comment line of the capture behind it) is no NMEA, and gpsd drops
// sentences whose checksum is wrong. Lines without any checksum are left out on both sides:
// gpsd passes some of them (it tolerates sentences without one), which says nothing about us.
// A sentence the relay lost, cut or spliced, or a probe string forwarded, shows as a difference.
std::vector<std::string> ChecksummedLines(const std::string& relayOutput);

// The lines among `lines` (gpsd's reports) that have a correct checksum.
std::vector<std::string> Checksummed(const std::vector<std::string>& lines);
