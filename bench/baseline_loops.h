// The two loops the relay's flood is measured against, run between the same two pty hops:
//  - a plain copy: big reads from the input, each written out whole;
//  - one write per sentence: the input cut at each '$', and every sentence the relay would
//    send (same selection, same VTG repair) written with a write call of its own, as the
//    relay writes them. That is the floor of the relay's I/O pattern.
// Both run until the input hangs up and report what their thread cost.
#pragma once

#include "relay/relay_state.h"
#include "tests/support/thread_usage.h"

ThreadUsage CopyLoop(int inputSlave, int outputSlave);

ThreadUsage OneWritePerSentenceLoop(int inputSlave, int outputSlave,
                                    const SentenceSelection& selection);
