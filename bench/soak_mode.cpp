#include "bench/soak_mode.h"

#include <cstdio>
#include <exception>
#include <memory>

#include "bench/bench_selection.h"
#include "bench/soak_leg.h"
#include "bench/verdict.h"
#include "tests/support/private_gpsd.h"

namespace {

constexpr double kMB = 1e6;  // the soak counts in decimal megabytes, as disks and links do

void PrintCount(const char* what, SentenceBytes count)
{
    std::printf("%s %lld bytes (%lld sentences)", what, count.bytes, count.sentences);
}

bool PrintLeg(const LegFigures& f)
{
    const double inputMB = static_cast<double>(f.input.bytes) / kMB;
    std::printf("  in: %lld sentences, %.1f MB, in %.1f s: %.2f MB/s, %.0f sentences/s\n",
                f.input.sentences, inputMB, f.seconds, inputMB / f.seconds,
                static_cast<double>(f.input.sentences) / f.seconds);
    PrintCount("  expected out:", f.expected);
    PrintCount(", delivered exactly:", f.delivered);
    std::printf("\n");
    const bool intact = f.lost.bytes == 0 && f.corrupted.bytes == 0 && f.expected.bytes > 0;
    PrintCount("  lost:", f.lost);
    std::printf(" (target 0: %s)", Verdict(f.lost.bytes == 0));
    PrintCount(", corrupted:", f.corrupted);
    std::printf(" (target 0: %s)\n", Verdict(f.corrupted.bytes == 0));
    const long growth = f.rssEndKiB - f.rssFlowingKiB;
    std::printf(
        "  VmRSS %ld KiB once the flood flows (10%% of the input fed), %ld KiB at its end "
        "(%+ld KiB; target no growth, <= %ld KiB of noise: %s)\n",
        f.rssFlowingKiB, f.rssEndKiB, growth, kMemoryGrowthTargetKiB,
        Verdict(growth <= kMemoryGrowthTargetKiB));
    std::printf("  CPU: relay thread %.4f s per MB of input", f.relayCpuMs / 1000 / inputMB);
    if (f.gpsdCpuMs >= 0) std::printf(", gpsd %.4f s per MB", f.gpsdCpuMs / 1000 / inputMB);
    std::printf(" (MB = 10^6 bytes)\n");
    if (f.watchDropped) std::printf("  gpsd closed the watch: it dropped this client\n");
    return intact;
}

bool RunPtyLeg(const SoakSettings& settings, const SentenceSelection& selection)
{
    std::printf(
        "pty -> relay -> pty: the output's bytes, cut at each '$', compared sentence by sentence "
        "with the model's output\n");
    std::fflush(stdout);
    return PrintLeg(RunSoakLeg(settings.sentences, selection, nullptr));
}

bool RunGpsdLeg(const SoakSettings& settings, const SentenceSelection& selection)
{
    std::printf(
        "pty -> relay -> gpsd: every sentence gpsd reported to a raw NMEA watch, line end "
        "included, compared in order with the model's output. Every generated sentence has a "
        "valid checksum and fits gpsd's length limit, so gpsd must report each one as written; "
        "the watch is read on a thread of its own, as gpsd drops what a slow client cannot "
        "take.\n");
    if (!GpsdInstalled()) {
        std::printf("  skipped: gpsd is not installed (Debian package gpsd)\n");
        return true;
    }
    std::fflush(stdout);
    const PrivateGpsd gpsd(GpsdLog::kQuiet);  // level 3 would log every sentence twice
    return PrintLeg(RunSoakLeg(settings.sentences, selection, &gpsd));
}

}  // namespace

int RunSoak(const SoakSettings& settings)
{
    const SentenceSelection selection = BenchSelection();
    std::printf(
        "Soak: %lld sentences of generated NMEA at least, flat out, GSV deselected; the output "
        "checked as it arrives against the model of the rules run over the same stream\n",
        settings.sentences);
    try {
        bool intact = RunPtyLeg(settings, selection);
        intact = RunGpsdLeg(settings, selection) && intact;
        if (intact) return 0;
        std::fprintf(stderr, "relay_bench: output lost or corrupted\n");
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "relay_bench: %s\n", failure.what());
    }
    return 1;
}
