#include "tests/support/replay_case.h"

#include <cctype>

void PrintTo(const Replay& replay, std::ostream* out)
{
    *out << replay.capture << (replay.selection.gsv ? "" : " without GSV");
}

std::string ReplayName(const ::testing::TestParamInfo<Replay>& info)
{
    std::string name = info.param.capture;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name + (info.param.selection.gsv ? "" : "_without_GSV");
}
