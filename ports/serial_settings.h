// The termios side of a serial port: line settings, immediate reads, and the rates allowed.
// Every setting is read back, because a tty driver reports success for settings it ignored.
#pragma once

// 50 to 4,000,000 baud: the span of Linux's own rate codes. Everything else (0, negative,
// absurd values from a mistyped baud field) is refused before the device is touched.
bool IsSupportedBaudRate(int baud);

// Raw 8N1 at `baud`, receiver on, modem control lines ignored, no hardware or software flow
// control, DTR and RTS dropped where the device has them. 1 when all of it holds on read-back.
int ApplyLineSettings(int fd, int baud);

// Reads return at once with whatever has arrived (VMIN 0, VTIME 0). 1 when it holds.
int ApplyImmediateReads(int fd);
