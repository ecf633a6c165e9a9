#include "ports/custom_baud_rate.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

int SetCustomBaudRate(int fd, int baud)
{
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = static_cast<speed_t>(baud);
    settings.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &settings) == 0 ? 1 : 0;
}

bool ReadActualBaudRates(int fd, long& input, long& output)
{
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return false;
    input = static_cast<long>(settings.c_ispeed);
    output = static_cast<long>(settings.c_ospeed);
    return true;
}

long RateTheClockAllows(int fd, long baud)
{
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0 || serial.baud_base <= 0 || baud <= 0) return baud;
    const long divisor = (serial.baud_base + baud / 2) / baud;
    return divisor > 0 ? serial.baud_base / divisor : serial.baud_base;
}
