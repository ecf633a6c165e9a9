// The rates through termios2, which <asm/termbits.h> must keep apart from <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

bool ReadFarEndRates(int master, unsigned long& input, unsigned long& output)
{
    struct termios2 settings {};
    if (ioctl(master, TCGETS2, &settings) != 0) return false;
    input = settings.c_ispeed;
    output = settings.c_ospeed;
    return true;
}
