// The program's own port and relay code inside the test guest, steered line by line from the
// host over the guest's console. `uart_guest relay INPUT OUTPUT BAUD` opens both ports as a
// run does, starts the relay and prints "run: started" (or "run: not started"); then it answers
// the host's commands:
//   settings      the line settings both ports hold, as the driver reports them
//   lines         /proc/tty/driver/serial (the UARTs' modem lines), one "serial " line each
//   reopen PATH   a second open of PATH, in this process and in a forked one
//   fill          fills the output's buffers through the run's own descriptor until no more fits
//   usage         the CPU time this process has spent so far (its ended threads' included) and
//                 how often it was switched out, as "usage MS VOLUNTARY INVOLUNTARY"
//   stop          stops the relay and closes both ports, says how long that took, then what
//                 the process still holds ("holds nothing" once it is back to idle)
// Message boxes come out as "message: TEXT" (also those of the other process of "reopen"), an
// end of the relay by itself as "ended".
// `uart_guest await PATH` waits until a device node exists: "device PATH present" (or "absent").
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/io/fd_io.h"
#include "platform/messages/message_box.h"
#include "ports/serial_port.h"
#include "relay/relay_state.h"
#include "relay/relay_thread.h"
#include "relay/run.h"
#include "tests/support/child_process.h"
#include "tests/support/far_end_settings.h"
#include "tests/support/path_wait.h"

namespace {

// One write() a line, so that lines from the relay thread and this one never interleave.
void Say(const std::string& line)
{
    const std::string whole = line + "\n";
    [[maybe_unused]] const ssize_t ignored = ::write(STDOUT_FILENO, whole.data(), whole.size());
}

void PrintMessage(const char*, const char* text)
{
    Say(std::string("message: ") + text);
}

struct Session {
    std::string input;
    std::string output;
    int baud;
};

// What a port holds after the program set it up, as the driver reports it on the program's own
// descriptor: "ISPEED OSPEED FRAME", e.g. "14400 14400 8N1" (the rates the driver re-encoded from
// the divisor it chose); FRAME gains " rtscts" or " xonxoff" when flow control is on, " dtr" or
// " rts" while the driver holds that line raised.
std::string DescribeLineSettings(int fd)
{
    FarEndSettings settings{};
    int lines = 0;
    if (!ReadFarEndSettings(fd, settings) || ioctl(fd, TIOCMGET, &lines) != 0) return "unreadable";
    const tcflag_t control = settings.lines.c_cflag;
    std::string text = std::to_string(settings.inputBaud) + " " +
                       std::to_string(settings.outputBaud) + " " +
                       char('5' + (control & CSIZE) / CS6) +  // CS5 to CS8 count up by CS6
                       (!(control & PARENB)  ? 'N'
                        : (control & PARODD) ? 'O'
                                             : 'E') +
                       ((control & CSTOPB) ? '2' : '1');
    if (control & CRTSCTS) text += " rtscts";
    if (settings.lines.c_iflag & (IXON | IXOFF)) text += " xonxoff";
    if (lines & TIOCM_DTR) text += " dtr";
    if (lines & TIOCM_RTS) text += " rts";
    return text;
}

void SaySerialDriverState()
{
    std::ifstream state("/proc/tty/driver/serial");
    for (std::string line; std::getline(state, line);)
        Say("serial " + line);
}

// Its exit code: 0 when the port opened, 1 when it did not (its message comes out as ours).
int OpenInAnotherProcess(const std::string& path, int baud)
{
    ChildProcess other(
        [&](int) { return OpenSerialPort(path.c_str(), baud) == INVALID_HANDLE_VALUE ? 1 : 0; });
    return other.Wait(std::chrono::seconds(20)).value_or(-1);
}

void ReopenTwice(const std::string& path, int baud)
{
    PortHandle second = OpenSerialPort(path.c_str(), baud);
    Say("reopen " + path + (second != INVALID_HANDLE_VALUE ? " opened" : " refused"));
    CloseSerialPort(second);
    Say("other process exit " + std::to_string(OpenInAnotherProcess(path, baud)));
}

// Writes until the output takes nothing more: the far end has stopped reading and every buffer
// between here and there (tty, driver, UART FIFO, emulator) is full. "No room now" is not
// enough: while the emulator's own writes to a full pseudo-terminal trickle on, the driver's
// buffer still drains slowly. Full means that not one byte left it for a second.
long long FillOutput(int fd)
{
    const std::string filler(4096, 'x');
    long long total = 0;
    while (total < (256 << 10)) {
        const ssize_t written = ::write(fd, filler.data(), filler.size());
        if (written > 0) {
            total += written;
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN) return -1;
        int queuedBefore = 0, queuedAfter = 0;
        pollfd room{fd, POLLOUT, 0};
        if (ioctl(fd, TIOCOUTQ, &queuedBefore) != 0 || PollRetrying(&room, 1, 1000) < 0 ||
            ioctl(fd, TIOCOUTQ, &queuedAfter) != 0)
            return -1;
        if (room.revents == 0 && queuedAfter == queuedBefore) return total;
    }
    return -1;  // the far end keeps reading
}

// The listing's own descriptor is gone by the time its entry is read, and left out.
std::string ListProcEntries(const char* folder, const std::vector<std::string>& skip)
{
    std::vector<std::filesystem::path> listed;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        listed.push_back(entry.path());
    std::string entries;
    for (const std::filesystem::path& path : listed) {
        std::error_code gone;
        const std::filesystem::path target = std::filesystem::read_symlink(path, gone);
        if (gone || std::find(skip.begin(), skip.end(), path.filename()) != skip.end()) continue;
        // Appended piece by piece: GCC 12 warns of an overlap (-Wrestrict) that " " + string is not.
        entries.append(" ").append(path.filename().string()).append(" (").append(target.string())
            .append(")");
    }
    return entries;
}

// "usage MS VOLUNTARY INVOLUNTARY": the CPU time this process has spent so far, its ended
// threads' included, and how often it was switched out.
std::string DescribeUsage()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long long micros = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL +
                             usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
    return "usage " + std::to_string(micros / 1000.0) + " " + std::to_string(usage.ru_nvcsw) + " " +
           std::to_string(usage.ru_nivcsw);
}

// "holds nothing" once the process is back to what it was before a run; otherwise "holds" and
// what is left: "run" (its thread, a port or the channel, as RunIsHeld says), "descriptors N
// (TARGET)...". What the dialog's idle look stands for: no relay thread (nor its descriptors), no
// port, no channel; and, as the kernel lists them, no descriptor but the console's three. Threads
// are taken from the program's own account alone: a thread just joined may still be listed in /proc
// for a moment while the kernel finishes its exit.
std::string DescribeWhatIsHeld()
{
    std::string held;
    if (RunIsHeld()) held += " run";
    if (const std::string fds = ListProcEntries("/proc/self/fd", {"0", "1", "2"}); !fds.empty())
        held += " descriptors" + fds;
    return held.empty() ? "holds nothing" : "holds" + held;
}

// False once the session is over.
bool Serve(const Session& session, const std::string& command)
{
    if (command == "settings") {
        Say("settings " + session.input + " " + DescribeLineSettings(relayState.inputPort));
        Say("settings " + session.output + " " + DescribeLineSettings(relayState.outputPort));
    } else if (command == "lines") {
        SaySerialDriverState();
    } else if (command.rfind("reopen ", 0) == 0) {
        ReopenTwice(command.substr(7), session.baud);
    } else if (command == "fill") {
        Say("filled " + std::to_string(FillOutput(relayState.outputPort)));
    } else if (command == "usage") {
        Say(DescribeUsage());
    } else if (command == "stop") {
        const long long start = MonotonicMilliseconds();
        StopRun();
        Say("stopped " + std::to_string(MonotonicMilliseconds() - start));
        Say(DescribeWhatIsHeld());
        return false;
    } else {
        Say("unknown command: " + command);
    }
    return true;
}

void ServeUntilStopped(const Session& session)
{
    std::string pending;
    bool endedSaid = false;
    for (;;) {
        pollfd waits[2] = {{STDIN_FILENO, POLLIN, 0},
                           {endedSaid ? -1 : RelayEndedDescriptor(), POLLIN, 0}};
        if (PollRetrying(waits, 2, -1) < 0) return;
        if (waits[1].revents & POLLIN) {
            Say("ended");
            endedSaid = true;
        }
        if (!(waits[0].revents & (POLLIN | POLLHUP))) continue;
        char buffer[512];
        const ssize_t count = ReadRetrying(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) return;
        pending.append(buffer, static_cast<std::size_t>(count));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string command = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!Serve(session, command)) return;
        }
    }
}

int RunSession(const Session& session)
{
    SetMessagePresenter(PrintMessage);
    if (!StartRun(session.input.c_str(), session.output.c_str(), session.baud, {})) {
        Say("run: not started");
        return 1;
    }
    Say("run: started");
    ServeUntilStopped(session);
    StopRun();  // the console went away: end as a stop would
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "relay" && argc == 5) return RunSession({argv[2], argv[3], std::atoi(argv[4])});
    if (mode == "await" && argc == 3) {
        // Well within the host's wait for an answer, so that "absent" reaches it.
        const bool present = WaitForPath(argv[2], std::chrono::seconds(10));
        Say(std::string("device ") + argv[2] + (present ? " present" : " absent"));
        return present ? 0 : 1;
    }
    Say("usage: uart_guest relay INPUT OUTPUT BAUD | await PATH");
    return 2;
}
