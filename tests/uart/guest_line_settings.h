// What a serial port in the guest holds after the program set it up, read with the kernel's
// termios2 call on the program's own descriptor: the rates the driver re-encoded from the divisor
// it chose, the character frame and the modem lines it drives. Kept apart from <termios.h>, which
// <asm/termbits.h> clashes with.
#pragma once

#include <string>

// "ISPEED OSPEED FRAME", e.g. "14400 14400 8N1"; FRAME gains " rtscts" or " xonxoff" when
// flow control is on, " dtr" or " rts" while the driver holds that line raised. "unreadable"
// when the settings cannot be read.
std::string DescribeLineSettings(int fd);
