#include "tests/uart/guest_line_settings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

int DataBits(tcflag_t controlFlags)
{
    switch (controlFlags & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

char Parity(tcflag_t controlFlags)
{
    if (!(controlFlags & PARENB)) return 'N';
    return (controlFlags & PARODD) ? 'O' : 'E';
}

}  // namespace

std::string DescribeLineSettings(int fd)
{
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return "unreadable";
    std::string text = std::to_string(settings.c_ispeed) + " " + std::to_string(settings.c_ospeed) +
                       " " + std::to_string(DataBits(settings.c_cflag)) + Parity(settings.c_cflag) +
                       ((settings.c_cflag & CSTOPB) ? "2" : "1");
    if (settings.c_cflag & CRTSCTS) text += " rtscts";
    if (settings.c_iflag & (IXON | IXOFF)) text += " xonxoff";
    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) != 0) return "unreadable";
    if (lines & TIOCM_DTR) text += " dtr";
    if (lines & TIOCM_RTS) text += " rts";
    return text;
}
