#include "ports/serial_settings.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstdlib>

#include "ports/custom_baud_rate.h"

namespace {

// The rates Linux has a Bxxx code for: a driver holds them exactly.
constexpr int kStandardRates[] = {
    50,     75,     110,     134,     150,     200,     300,     600,     1200,    1800,
    2400,   4800,   9600,    19200,   38400,   57600,   115200,  230400,  460800,  500000,
    576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000,
};

constexpr int kLowestBaud = 50;
constexpr int kHighestBaud = 4000000;

// A UART's clock divider may round another rate; within 2 % the far end still reads every
// character, so that much is accepted. Standard rates must read back exactly.
constexpr long kCustomRateTolerancePercent = 2;

bool IsStandardRate(int baud)
{
    for (const int rate : kStandardRates)
        if (rate == baud) return true;
    return false;
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

bool SpeedHolds(long actual, int baud)
{
    if (IsStandardRate(baud)) return actual == baud;
    return std::labs(actual - baud) * 100 <= baud * kCustomRateTolerancePercent;
}

// Both speeds: a port that kept another input speed has refused the setting. A UART's driver
// reports another rate back as it was asked for, though its clock divider can only come near
// it (the 8250 runs 56000 as 57600): that rate is judged by what the divider gives.
bool RatesHold(int fd, int baud)
{
    long input = -1;
    long output = -1;
    return ReadActualBaudRates(fd, input, output) && SpeedHolds(input, baud) &&
           SpeedHolds(output, baud) &&
           (IsStandardRate(baud) || SpeedHolds(RateTheClockAllows(fd, baud), baud));
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
    if (tcsetattr(fd, TCSANOW, &settings) != 0) return 0;
    if (!SetCustomBaudRate(fd, baud)) return 0;

    termios actual{};
    if (tcgetattr(fd, &actual) != 0 || !SameLineSettings(settings, actual)) return 0;
    if (!RatesHold(fd, baud)) return 0;
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
