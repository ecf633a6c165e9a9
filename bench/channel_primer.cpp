#include "bench/channel_primer.h"

#include <chrono>
#include <string>

#include "bench/gpsd_tap.h"
#include "platform/io/fd_io.h"

namespace {

constexpr int kRounds = 50;
constexpr auto kRoundWait = std::chrono::milliseconds(200);
constexpr int kWriteTimeoutMs = 10000;

}  // namespace

bool PrimeGateChannel(int inputMaster, const GpsdNmeaTap& tap)
{
    // The relay passes a sentence on when the next one begins: two a round, so that one goes
    // out now. The last one goes out ahead of the stream.
    const std::string twice = std::string(kPrimerSentence) + std::string(kPrimerSentence);
    for (int round = 0; round < kRounds; ++round) {
        if (!WriteAllWithin(inputMaster, twice.data(), twice.size(), kWriteTimeoutMs)) return false;
        if (tap.WaitForPrimer(kRoundWait)) return true;
    }
    return false;
}
