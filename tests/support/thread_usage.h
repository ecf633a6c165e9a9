// What a thread has cost so far and what this process holds, read from /proc, so that the relay
// thread (which neither the tests nor the bench wrote) and the bench's baseline loops are
// measured the same way: CPU time and how often the scheduler switched the thread out,
// voluntarily (it went to sleep) or not (it was preempted); descriptors, threads and memory.
#pragma once

#include <sys/types.h>

#include <vector>

struct ThreadUsage {
    double cpuMs = 0;
    long voluntarySwitches = 0;
    long involuntarySwitches = 0;

    long Switches() const { return voluntarySwitches + involuntarySwitches; }
};

ThreadUsage operator-(const ThreadUsage& later, const ThreadUsage& earlier);

pid_t CurrentThreadId();

// The usage of thread `tid` of this process; all zero when it cannot be read (the thread ended).
ThreadUsage ReadThreadUsage(pid_t tid);

// The ids of this process's threads now. A thread started in between is the one that
// NewThreadSince() finds; -1 when there is no single new one.
std::vector<pid_t> ListThreads();
pid_t NewThreadSince(const std::vector<pid_t>& before);

// The CPU time of another process (all its threads) in ms, at the kernel's tick resolution;
// -1 when it cannot be read.
double ProcessCpuMs(pid_t pid);

// The process's resident set size (VmRSS) in KiB, -1 when it cannot be read.
long ResidentKiB();

int OpenDescriptorCount();
int ThreadCount();

// What a run may leave resident: a leak of even one byte per sentence shows as several hundred
// KiB over a flood; a few pages for the relay thread's stack and buffers are not growth.
inline constexpr long kMemoryGrowthTargetKiB = 256;
