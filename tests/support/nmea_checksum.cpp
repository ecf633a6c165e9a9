#include "tests/support/nmea_checksum.h"

bool HasValidChecksum(const std::string& line)
{
    const std::size_t star = line.find('*');
    const std::size_t end = line.find_first_of("\r\n");
    if (line.empty() || line[0] != '$' || star == std::string::npos || end != star + 3)
        return false;
    return std::stoul(line.substr(star + 1, 2), nullptr, 16) ==
               NmeaChecksum(std::string_view(line).substr(1, star - 1)) &&
           line.substr(end) == (line[end] == '\r' ? "\r\n" : "\n");
}

std::vector<std::string> ChecksummedLines(const std::string& relayOutput)
{
    std::vector<std::string> lines;
    for (std::size_t start = relayOutput.find('$'); start != std::string::npos;) {
        const std::size_t next = relayOutput.find('$', start + 1);
        const std::size_t lineEnd = relayOutput.find('\n', start);
        if (lineEnd < next) {
            const std::string line = relayOutput.substr(start, lineEnd + 1 - start);
            if (HasValidChecksum(line)) lines.push_back(line);
        }
        start = next;
    }
    return lines;
}

std::vector<std::string> Checksummed(const std::vector<std::string>& lines)
{
    std::vector<std::string> kept;
    for (const std::string& line : lines)
        if (HasValidChecksum(line)) kept.push_back(line);
    return kept;
}
