// What a UART in the guest holds after the program set it up, read with the kernel's termios2
// call on the program's own descriptor: the rates the 8250 driver re-encoded from the divisor it
// chose, and the character frame. Kept apart from <termios.h>, which <asm/termbits.h> clashes
// with.
#pragma once

#include <string>

// "ISPEED OSPEED FRAME", e.g. "14400 14400 8N1"; FRAME gains " rtscts" or " xonxoff" when
// flow control is on. "unreadable" when the settings cannot be read.
std::string DescribeLineSettings(int fd);
