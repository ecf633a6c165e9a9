// The line settings of a tty as the kernel holds them, read with its own calls (the rates with
// termios2), so a test checks what the device holds rather than what the program meant: from a
// pseudo-terminal's far end (the master), or from the program's own descriptor in the UART guest.
#pragma once

#include <termios.h>

struct FarEndSettings {
    termios lines;
    unsigned long inputBaud;
    unsigned long outputBaud;
};

// False when the settings cannot be read.
bool ReadFarEndSettings(int fd, FarEndSettings& settings);
