// What a thread has cost so far, read from /proc, so that the relay thread (which the bench did
// not write) and the baseline loops are measured the same way: CPU time and how often the
// scheduler switched the thread out, voluntarily (it went to sleep) or not (it was preempted).
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
