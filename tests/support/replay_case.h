// One row of a replay table: a capture from tests/data/nmea and the selection it is relayed
// with. Each row is its own ctest case, named after its capture, so a failure names its file.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "relay/relay_state.h"

struct Replay {
    const char* capture;
    SentenceSelection selection;  // {} the initial one; {.gsv = 0} the same without GSV
};

void PrintTo(const Replay& replay, std::ostream* out);

// "nl551e_log", "nl551e_log_without_GSV": the test name of a row.
std::string ReplayName(const ::testing::TestParamInfo<Replay>& info);
