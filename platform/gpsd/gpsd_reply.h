// gpsd's answers on its control socket, as each version gives them. gpsd 3.22 (Debian 12)
// answers "OK\n" or "ERROR\n"; gpsd 3.25 (Debian 13) answers in JSON, {"class":"ACK"}\r\n to an
// add or remove carried out, {"class":"OK"}\r\n after a list and {"class":"ERROR"}\r\n to a
// command refused. The list ("?devices") comes first, one line per source slot, a free slot as
// an empty line.
//
// 3.25 handles each read() of a control connection as a command of its own, so a command that
// arrives in two pieces is answered twice: the second answer, {"class":"ERROR"} for the empty
// rest, follows the real one. So the first status line decides, and what follows it is ignored.
#pragma once

#include <cstddef>

enum class GpsdReplyStatus {
    kDone,       // carried out: "OK", {"class":"ACK"}, {"class":"OK"}
    kRefused,    // "ERROR", {"class":"ERROR"}
    kMalformed,  // no status line at all: whatever answered is not gpsd
};

struct GpsdReply {
    GpsdReplyStatus status;
    std::size_t listLength;  // the bytes of the lines before the status line
};

// Reads the `length` bytes of a whole reply.
GpsdReply ParseGpsdReply(const char* reply, std::size_t length);

// True when the list at the start of `reply` (`listLength` bytes) has a line that is `source`.
bool GpsdListHolds(const char* reply, std::size_t listLength, const char* source);
