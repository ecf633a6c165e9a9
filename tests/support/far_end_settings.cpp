#include "tests/support/far_end_settings.h"

bool ReadFarEndRates(int master, unsigned long& input, unsigned long& output);

bool ReadFarEndSettings(int master, FarEndSettings& settings)
{
    return tcgetattr(master, &settings.lines) == 0 &&
           ReadFarEndRates(master, settings.inputBaud, settings.outputBaud);
}
