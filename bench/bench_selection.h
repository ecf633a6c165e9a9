// The selection every figure relays the generated stream with: GSV deselected, so that the
// filter drops a third of the bytes and the VTG repair still meets every epoch's VTG.
#pragma once

#include "relay/relay_state.h"

inline SentenceSelection BenchSelection()
{
    SentenceSelection selection;
    selection.gsv = 0;
    return selection;
}
