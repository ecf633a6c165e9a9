// The line settings of a pseudo-terminal as its far end (the master) sees them, read with the
// kernel's own calls, so a test checks what the device holds rather than what the program meant.
#pragma once

#include <termios.h>

struct FarEndSettings {
    termios lines;
    unsigned long inputBaud;
    unsigned long outputBaud;
};

// False when the settings cannot be read.
bool ReadFarEndSettings(int master, FarEndSettings& settings);
