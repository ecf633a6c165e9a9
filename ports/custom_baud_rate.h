// Every rate goes through termios2 as a number (BOTHER, a "custom" rate to the kernel), for
// the input and the output speed alike: a standard rate set through the old Bxxx codes leaves
// an input speed of an earlier custom rate in place. This lives in its own file because
// <asm/termbits.h> cannot be included beside <termios.h>.
#pragma once

// Sets input and output rate to `baud`; 1 on success.
int SetCustomBaudRate(int fd, int baud);

// The input and output rates the driver actually holds, in baud; false when they cannot be read.
bool ReadActualBaudRates(int fd, long& input, long& output);

// The rate a UART runs when asked for `baud`: its clock (baud_base, from TIOCGSERIAL) divided by
// the nearest whole divisor. `baud` itself for devices that name no clock (pseudo-terminals,
// many USB adapters).
long RateTheClockAllows(int fd, long baud);
