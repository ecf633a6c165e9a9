// gpsd's answers on its control socket, as gpsd 3.22 and 3.25 give them: the first status line
// decides, what follows it is ignored, and an answer without one is none of gpsd's.
#include "platform/gpsd/gpsd_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ReplyRow {
    const char* legend;
    std::string reply;
    GpsdReplyStatus status;
    std::size_t listLength;
};

TEST(GpsdReplies, TheFirstStatusLineDecides)
{
    const std::string list = "tcp://127.113.110.120:4000\n\n\n\n";
    const ReplyRow rows[] = {
        {"3.22: carried out", "OK\n", GpsdReplyStatus::kDone, 0},
        {"3.22: refused", "ERROR\n", GpsdReplyStatus::kRefused, 0},
        {"3.22: a list", list + "OK\n", GpsdReplyStatus::kDone, list.size()},
        {"3.25: added or removed", "{\"class\":\"ACK\"}\r\n", GpsdReplyStatus::kDone, 0},
        {"3.25: refused", "{\"class\":\"ERROR\"}\r\n", GpsdReplyStatus::kRefused, 0},
        {"3.25: a list", list + "\n\n{\"class\":\"OK\"}\r\n", GpsdReplyStatus::kDone,
         list.size() + 2},
        {"3.25: the rest of a command in two pieces answered as well",
         "{\"class\":\"ACK\"}\r\n{\"class\":\"ERROR\"}\r\n", GpsdReplyStatus::kDone, 0},
        {"3.25: a refusal, then more", "{\"class\":\"ERROR\"}\r\n{\"class\":\"ACK\"}\r\n",
         GpsdReplyStatus::kRefused, 0},
        {"no status line", "hello\n", GpsdReplyStatus::kMalformed, 0},
        {"a status line cut short", "OK", GpsdReplyStatus::kMalformed, 0},
        {"nothing at all", "", GpsdReplyStatus::kMalformed, 0},
        {"a status word inside a line", "not OK\n", GpsdReplyStatus::kMalformed, 0},
        {"JSON of another class", "{\"class\":\"VERSION\"}\r\n", GpsdReplyStatus::kMalformed, 0},
    };
    for (const ReplyRow& row : rows) {
        SCOPED_TRACE(row.legend);
        const GpsdReply reply = ParseGpsdReply(row.reply.data(), row.reply.size());
        EXPECT_EQ(reply.status, row.status);
        if (row.status != GpsdReplyStatus::kMalformed) {
            EXPECT_EQ(reply.listLength, row.listLength);
        }
    }
}

TEST(GpsdReplies, ASourceIsListedOnlyAsAWholeLine)
{
    const std::string reply = "tcp://127.113.110.120:40001\n\n{\"class\":\"OK\"}\r\n";
    const GpsdReply parsed = ParseGpsdReply(reply.data(), reply.size());
    EXPECT_TRUE(GpsdListHolds(reply.data(), parsed.listLength, "tcp://127.113.110.120:40001"));
    EXPECT_FALSE(GpsdListHolds(reply.data(), parsed.listLength, "tcp://127.113.110.120:4000"));
    EXPECT_FALSE(GpsdListHolds(reply.data(), parsed.listLength, "tcp://127.113.110.120:400011"));
}

}  // namespace
