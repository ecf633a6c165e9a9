#include "tests/support/far_end_settings.h"

bool ReadFarEndRates(int master, unsigned long& input, unsigned long& output);

bool ReadFarEndSettings(int fd, FarEndSettings& settings)
{
    return tcgetattr(fd, &settings.lines) == 0 &&
           ReadFarEndRates(fd, settings.inputBaud, settings.outputBaud);
}
