#include "ports/serial_settings.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstdlib>

#include "ports/custom_baud_rate.h"

namespace {

struct RateCode {
    int baud;
    speed_t code;
};

constexpr RateCode kRateCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr int kLowestBaud = 50;
constexpr int kHighestBaud = 4000000;

// A UART's clock divider may round a custom rate; within 2 % the far end still reads every
// character, so that much is accepted. Standard rates must read back exactly.
constexpr long kCustomRateTolerancePercent = 2;

// 0 when `baud` has no Bxxx code.
speed_t RateCodeFor(int baud)
{
    for (const RateCode& rate : kRateCodes)
        if (rate.baud == baud) return rate.code;
    return 0;
}

constexpr tcflag_t kCheckedControlFlags = CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD;
constexpr tcflag_t kCheckedInputFlags =
    IXON | IXOFF | IXANY | ISTRIP | INPCK | ICRNL | INLCR | IGNCR | IGNBRK | BRKINT | PARMRK;
constexpr tcflag_t kCheckedLocalFlags = ICANON | ECHO | ECHONL | ISIG | IEXTEN;

void MakeRaw8N1(termios& settings)
{
    cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
}

bool SameLineSettings(const termios& wanted, const termios& actual)
{
    return (wanted.c_cflag & kCheckedControlFlags) == (actual.c_cflag & kCheckedControlFlags) &&
           (wanted.c_iflag & kCheckedInputFlags) == (actual.c_iflag & kCheckedInputFlags) &&
           (wanted.c_lflag & kCheckedLocalFlags) == (actual.c_lflag & kCheckedLocalFlags) &&
           (wanted.c_oflag & OPOST) == (actual.c_oflag & OPOST);
}

bool RateHolds(int fd, int baud, bool custom)
{
    const long actual = ReadActualBaudRate(fd);
    if (actual < 0) return false;
    if (!custom) return actual == baud;
    return std::labs(actual - baud) * 100 <= baud * kCustomRateTolerancePercent;
}

// Modem lines low, as on a port whose DTR and RTS are disabled. A pseudo-terminal has no modem
// lines at all (ENOTTY, or EINVAL from some drivers); that is not a failure.
bool DropModemLines(int fd)
{
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIC, &lines) == 0) return true;
    return errno == ENOTTY || errno == EINVAL;
}

}  // namespace

bool IsSupportedBaudRate(int baud)
{
    return baud >= kLowestBaud && baud <= kHighestBaud;
}

int ApplyLineSettings(int fd, int baud)
{
    if (!IsSupportedBaudRate(baud)) return 0;
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return 0;
    MakeRaw8N1(settings);
    const speed_t code = RateCodeFor(baud);
    if (code != 0 && (cfsetispeed(&settings, code) != 0 || cfsetospeed(&settings, code) != 0))
        return 0;
    if (tcsetattr(fd, TCSANOW, &settings) != 0) return 0;
    if (code == 0 && !SetCustomBaudRate(fd, baud)) return 0;

    termios actual{};
    if (tcgetattr(fd, &actual) != 0 || !SameLineSettings(settings, actual)) return 0;
    if (!RateHolds(fd, baud, code == 0)) return 0;
    return DropModemLines(fd) ? 1 : 0;
}

int ApplyImmediateReads(int fd)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return 0;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &settings) != 0) return 0;
    termios actual{};
    if (tcgetattr(fd, &actual) != 0) return 0;
    return actual.c_cc[VMIN] == 0 && actual.c_cc[VTIME] == 0 ? 1 : 0;
}
