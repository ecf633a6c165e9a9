// An NMEA sentence with its checksum, as a receiver sends it: "$", the body, "*", the XOR of the
// body's bytes in two upper-case hex digits, CR LF. Header only, so that the generated corpus
// and the gpsd client share it without either library linking the other.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Appends to `out` and allocates nothing else: the soak builds millions of sentences this way.
inline void AppendCheckedSentence(std::string& out, std::string_view body)
{
    unsigned char checksum = 0;
    for (const char c : body)
        checksum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", checksum);
    out += '$';
    out += body;
    out += tail;
}
