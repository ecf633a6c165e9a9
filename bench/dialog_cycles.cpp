// dialog_cycles: Start and Stop pressed in the real dialog, a thousand times over (--cycles N),
// each run relaying one sentence between two pseudo-terminals. Prints, every 100 cycles, the
// descriptors, threads and resident memory the process holds, and at the end whether they came
// back to what they were after the first cycle. Stop pauses a second, as the dialog's Stop does,
// so a thousand cycles take about 17 minutes.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/verdict.h"
#include "platform/window/application_run.h"
#include "res/resource_ids.h"
#include "tests/support/desktop_session.h"
#include "tests/support/gui_test_run.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/pty_pair.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/thread_usage.h"

using namespace std::chrono_literals;

namespace {

struct Held {
    int descriptors;
    int threads;
    long residentKiB;
};

Held Count()
{
    return {OpenDescriptorCount(), ThreadCount(), ResidentKiB()};
}

void Print(int cycle, const Held& held)
{
    std::printf("%8d %12d %8d %14ld\n", cycle, held.descriptors, held.threads, held.residentKiB);
    std::fflush(stdout);
}

// One run: Start, one sentence through, Stop. False when the sentence did not arrive whole or
// a message box came up.
bool Cycle(MonitorDialog& main, PtyPair& input, PtyPair& output)
{
    main.Click(IDC_START);
    input.Write(kGga + "$");
    const bool relayed = output.ReadBytes(kGga.size(), 10s) == kGga;
    main.Click(IDC_STOP);
    return relayed && main.boxes().Seen().empty();
}

int RunCycles(int cycles)
{
    PtyPair input, output;
    MonitorDialog main;
    main.Type(IDC_INPUT_PORT, input.Path());
    main.Type(IDC_OUTPUT_PORT, output.Path());
    std::printf("   cycle  descriptors  threads  VmRSS (KiB)\n");
    // The first cycle settles what stays for the life of the process (Qt's caches, the first
    // thread stack); the counts after it are the baseline.
    if (!Cycle(main, input, output)) {
        std::printf("cycle 1 failed\n");
        return 1;
    }
    const Held start = Count();
    Print(1, start);
    for (int cycle = 2; cycle <= cycles; ++cycle) {
        if (!Cycle(main, input, output)) {
            std::printf("cycle %d failed: sentence not relayed or a message shown\n", cycle);
            return 1;
        }
        if (cycle % 100 == 0 || cycle == cycles) Print(cycle, Count());
    }
    const Held end = Count();
    const long growth = end.residentKiB - start.residentKiB;
    const bool held = end.descriptors == start.descriptors && end.threads == start.threads &&
                      growth < kMemoryGrowthTargetKiB;
    std::printf(
        "after %d cycles: descriptors %+d, threads %+d, resident %+ld KiB (target: 0, 0, "
        "under %ld) %s\n",
        cycles, end.descriptors - start.descriptors, end.threads - start.threads, growth,
        kMemoryGrowthTargetKiB, Verdict(held));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int cycles = 1000;
    if (argc == 3 && std::strcmp(argv[1], "--cycles") == 0) {
        cycles = std::atoi(argv[2]);
    } else if (argc != 1) {
        std::fputs("usage: dialog_cycles [--cycles N]   (default 1000)\n", stderr);
        return 2;
    }
    if (cycles < 1) {
        std::fputs("dialog_cycles: N must be a positive count\n", stderr);
        return 2;
    }
    LeaveTheDesktopSession();
    const PrivateRuntimeDirectory runtimeDirectory;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return RunInApplication(argc, argv, [cycles] { return RunCycles(cycles); });
}
