// A GPS receiver for trying the program without one: replays an NMEA capture on a
// pseudo-terminal at the pace of a 4800-baud line (480 bytes a second), over and over, leaving
// out the capture's '#' comment lines. Programs open the pseudo-terminal like a serial port.
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
        if (!line.empty() && line[0] != '#') sentences.push_back(line + "\r\n");  // as sent
    }
    return sentences;
}

// Sleeps until `deadline` advanced by the time `bytes` take on the line.
void WaitForLine(timespec& deadline, std::size_t bytes)
{
    const long long nanoseconds =
        deadline.tv_nsec + static_cast<long long>(bytes) * 1000000000LL / kBytesPerSecond;
    deadline.tv_sec += static_cast<time_t>(nanoseconds / 1000000000LL);
    deadline.tv_nsec = static_cast<long>(nanoseconds % 1000000000LL);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR &&
           !stopRequested) {
    }
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
    while (!stopRequested) {
        for (const std::string& sentence : sentences) {
            if (stopRequested) break;
            Send(master, sentence);
            WaitForLine(deadline, sentence.size());
        }
    }
    if (argc == 3) ::unlink(argv[2]);
    ::close(master);
    return 0;
}
