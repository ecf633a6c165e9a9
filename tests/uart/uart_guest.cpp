// The program's own port and relay code inside the test guest, steered line by line from the
// host over the guest's console. `uart_guest relay INPUT OUTPUT BAUD` opens both ports as a
// run does, starts the relay and prints "run: started" (or "run: not started"); then it answers
// the host's commands:
//   settings      the line settings both ports hold, as the driver reports them
//   lines         /proc/tty/driver/serial (the UARTs' modem lines), one "serial " line each
//   reopen PATH   a second open of PATH, in this process and in another one
//   fill          fills the output's buffers through the run's own descriptor until no more fits
//   usage         the CPU time this process has spent so far (its ended threads' included) and
//                 how often it was switched out, as "usage MS VOLUNTARY INVOLUNTARY"
//   stop          stops the relay and closes both ports, says how long that took, then what
//                 the process still holds ("holds nothing" once it is back to idle)
// Message boxes come out as "message: TEXT" (also those of the other process of "reopen"), an
// end of the relay by itself as "ended".
// `uart_guest open PORT BAUD` is the other process of "reopen": it exits 0 when the port opened.
// `uart_guest await PATH` waits until a device node exists: "device PATH present" (or "absent").
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/io/fd_io.h"
#include "platform/messages/message_box.h"
#include "ports/serial_port.h"
#include "relay/relay_state.h"
#include "relay/relay_thread.h"
#include "relay/run_ends.h"
#include "tests/uart/guest_device_node.h"
#include "tests/uart/guest_line_settings.h"
#include "tests/uart/guest_process_state.h"

extern char** environ;

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

void SaySerialDriverState()
{
    std::ifstream state("/proc/tty/driver/serial");
    for (std::string line; std::getline(state, line);)
        Say("serial " + line);
}

int OpenInAnotherProcess(const std::string& path, int baud)
{
    std::string baudText = std::to_string(baud), program = "uart_guest", mode = "open", port = path;
    char* argv[] = {program.data(), mode.data(), port.data(), baudText.data(), nullptr};
    pid_t child = -1;
    if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv, environ) != 0) return -1;
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
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
        StopRelay();
        CloseRunEnds();
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
    relayState.inputPort = OpenSerialPort(session.input.c_str(), session.baud);
    const bool started = relayState.inputPort != INVALID_HANDLE_VALUE &&
                         OpenOutputEnd(session.output.c_str(), session.baud) && StartRelayThread();
    if (!started) {
        CloseRunEnds();
        Say("run: not started");
        return 1;
    }
    Say("run: started");
    ServeUntilStopped(session);
    StopRelay();  // the console went away: end as a stop would
    CloseRunEnds();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "relay" && argc == 5) return RunSession({argv[2], argv[3], std::atoi(argv[4])});
    if (mode == "open" && argc == 4) {
        SetMessagePresenter(PrintMessage);
        PortHandle port = OpenSerialPort(argv[2], std::atoi(argv[3]));
        const bool opened = port != INVALID_HANDLE_VALUE;
        CloseSerialPort(port);
        return opened ? 0 : 1;
    }
    if (mode == "await" && argc == 3) {
        // Well within the host's wait for an answer, so that "absent" reaches it.
        const bool present = WaitForDeviceNode(argv[2], 10000);
        Say(std::string("device ") + argv[2] + (present ? " present" : " absent"));
        return present ? 0 : 1;
    }
    Say("usage: uart_guest relay INPUT OUTPUT BAUD | open PORT BAUD | await PATH");
    return 2;
}
