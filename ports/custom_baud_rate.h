// Rates without a Bxxx code (14400 among them) go through termios2's BOTHER. This lives in its
// own file because <asm/termbits.h> cannot be included beside <termios.h>.
#pragma once

// Sets input and output rate to `baud`; 1 on success.
int SetCustomBaudRate(int fd, int baud);

// The output rate the driver actually holds, in baud, or -1 when it cannot be read.
long ReadActualBaudRate(int fd);
