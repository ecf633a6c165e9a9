#include "bench/gpsd_tap.h"

#include <string>
#include <string_view>

#include "platform/io/fd_io.h"

namespace {

constexpr std::string_view kPrimerSentence = "$PQNXP,primer*7A\r\n";
constexpr int kPrimerRounds = 50;
constexpr auto kPrimerRoundWait = std::chrono::milliseconds(200);
constexpr int kWriteTimeoutMs = 10000;

}  // namespace

GpsdNmeaTap::GpsdNmeaTap(int port, Sink sink)
    : sink_(std::move(sink)),
      reader_(port, kWatchNmea,
              [this](std::string_view line, Clock::time_point arrived) { Take(line, arrived); })
{
}

// gpsd's greeting, device list and watch confirmation say nothing about the sentences.
void GpsdNmeaTap::Take(std::string_view line, Clock::time_point arrived)
{
    if (line == kPrimerSentence) {
        std::lock_guard lock(guard_);
        ++primers_;
        primerReported_.notify_all();
    } else if (line.starts_with('$') || line.starts_with('!')) {
        sink_(line, arrived);
    }
}

bool GpsdNmeaTap::Prime(int inputMaster)
{
    // The relay passes a sentence on when the next one begins: two a round, so that one goes
    // out now. The last one goes out ahead of the stream.
    const std::string twice = std::string(kPrimerSentence) + std::string(kPrimerSentence);
    for (int round = 0; round < kPrimerRounds; ++round) {
        if (!WriteAllWithin(inputMaster, twice.data(), twice.size(), kWriteTimeoutMs)) return false;
        std::unique_lock lock(guard_);
        if (primerReported_.wait_for(lock, kPrimerRoundWait, [&] { return primers_ > 0; }))
            return true;
    }
    return false;
}
