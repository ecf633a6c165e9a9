// A baseline loop at work on a thread of its own between two fresh pty hops, set up like a
// relay run so that both are measured alike: the bench plays the receiver on InputMaster() and
// the reading program on OutputMaster().
#pragma once

#include <thread>

#include "bench/pty_link.h"
#include "relay/relay_state.h"
#include "tests/support/pty_pair.h"
#include "tests/support/thread_usage.h"

enum class BaselineLoop { kCopy, kOneWritePerSentence };

class BaselineRun {
public:
    // Throws std::runtime_error when the ptys cannot be had.
    BaselineRun(BaselineLoop loop, const SentenceSelection& selection);
    ~BaselineRun();  // Stop()
    BaselineRun(const BaselineRun&) = delete;
    BaselineRun& operator=(const BaselineRun&) = delete;

    int InputMaster() const { return input_.Master(); }
    int OutputMaster() const { return output_.Master(); }

    // Hangs up both hops, so that the loop ends whether it waits to read or to write, and
    // joins it. What its thread cost from start to end.
    ThreadUsage Stop();

private:
    PtyPair input_;
    PtyPair output_;
    UniqueFd inputSlave_ = OpenSlave(input_.Path());
    UniqueFd outputSlave_ = OpenSlave(output_.Path());
    ThreadUsage used_;
    std::thread loop_;
};
