// Where a test, the benchmark and the tools get the NMEA 0183 checksum: the XOR of the bytes
// between '$' and '*', written behind the '*' in two upper-case hex digits. Sentences made with
// it, and the check of what gpsd reports, which passes on only sentences whose checksum is right.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// `body` is what stands between '$' and '*'.
constexpr unsigned char NmeaChecksum(std::string_view body)
{
    unsigned char sum = 0;
    for (const char c : body)
        sum ^= static_cast<unsigned char>(c);
    return sum;
}

// "$" `body` "*" checksum CR LF, as a receiver sends it, appended to `out`. Allocates nothing
// else: the soak makes millions of sentences this way.
inline void AppendCheckedSentence(std::string& out, std::string_view body)
{
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", NmeaChecksum(body));
    out += '$';
    out += body;
    out += tail;
}

inline std::string CheckedSentence(std::string_view body)
{
    std::string sentence;
    AppendCheckedSentence(sentence, body);
    return sentence;
}

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
