// A GPS receiver for trying the program without one: replays an NMEA capture on a
// pseudo-terminal at the pace of a 4800-baud line (480 bytes a second) and at most one epoch
// (the sentences that share a captured time) a second, over and over, leaving out the
// capture's '#' comment lines. Programs open the pseudo-terminal like a serial port. Each epoch
// carries the UTC time at which it is sent, and today's date, in place of the capture's, so a
// years-old capture shows fixes of now.
//
// Usage: simulated_receiver CAPTURE [LINK]
//   prints the pseudo-terminal's path; with LINK, also makes LINK a symbolic link to it (for
//   example $QUARNEX_PORTS_DIR/COM1, so that "COM1:" opens it). Runs until SIGINT or SIGTERM.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "tools/restamp_sentence.h"

namespace {

constexpr long kBytesPerSecond = 480;  // 4800 baud, 10 bits a byte

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int)
{
    stopRequested = 1;
}

std::vector<std::string> ReadSentences(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> sentences;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] != '#') sentences.push_back(line);
    }
    return sentences;
}

void SleepUntil(const timespec& deadline)
{
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR &&
           !stopRequested) {
    }
}

timespec Later(timespec when, long long nanoseconds)
{
    nanoseconds += when.tv_nsec;
    when.tv_sec += static_cast<time_t>(nanoseconds / 1000000000LL);
    when.tv_nsec = static_cast<long>(nanoseconds % 1000000000LL);
    return when;
}

// Sleeps until `deadline` advanced by the time `bytes` take on the line.
void WaitForLine(timespec& deadline, std::size_t bytes)
{
    deadline = Later(deadline, static_cast<long long>(bytes) * 1000000000LL / kBytesPerSecond);
    SleepUntil(deadline);
}

// Sleeps until the next epoch is due, a second after the last one began: a receiver sends one
// a second, and two epochs stamped in the same second would be two fixes of one time.
void WaitForEpoch(timespec& deadline, timespec& nextEpoch)
{
    if (deadline.tv_sec < nextEpoch.tv_sec ||
        (deadline.tv_sec == nextEpoch.tv_sec && deadline.tv_nsec < nextEpoch.tv_nsec))
        deadline = nextEpoch;
    SleepUntil(deadline);
    nextEpoch = Later(deadline, 1000000000LL);
}

std::tm UtcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    return utc;
}

// A line with no reader behind it drops what does not fit, as a real serial line would.
void Send(int master, const std::string& sentence)
{
    [[maybe_unused]] const ssize_t ignored = ::write(master, sentence.data(), sentence.size());
    char discarded[256];  // nothing should come back; keep the pty from filling if it does
    while (::read(master, discarded, sizeof discarded) > 0) {
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s CAPTURE [LINK]\n", argv[0]);
        return 2;
    }
    const std::vector<std::string> sentences = ReadSentences(argv[1]);
    if (sentences.empty()) {
        std::fprintf(stderr, "%s: no sentences in %s\n", argv[0], argv[1]);
        return 1;
    }
    int master = -1;
    int slave = -1;
    char path[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    if (openpty(&master, &slave, path, &raw, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    ::close(slave);  // the program opens its own end by path
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    if (argc == 3) {
        ::unlink(argv[2]);
        if (::symlink(path, argv[2]) != 0) {
            std::perror(argv[2]);
            return 1;
        }
    }
    std::printf("%s\n", path);
    std::fflush(stdout);

    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    timespec nextEpoch = deadline;
    while (!stopRequested) {
        std::string_view epoch;  // the captured time of the epoch being sent
        std::tm stamp = UtcNow();
        for (const std::string& sentence : sentences) {
            if (stopRequested) break;
            const std::string_view captured = CapturedTime(sentence);
            if (!captured.empty() && captured != epoch) {
                WaitForEpoch(deadline, nextEpoch);
                epoch = captured;
                stamp = UtcNow();
            }
            const std::string line = RestampSentence(sentence, stamp) + "\r\n";
            Send(master, line);
            WaitForLine(deadline, line.size());
        }
    }
    if (argc == 3) ::unlink(argv[2]);
    ::close(master);
    return 0;
}
