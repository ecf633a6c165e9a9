#include "platform/gpsd/gpsd_guardian.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/gpsd/gpsd_exchange.h"
#include "platform/io/fd_io.h"

namespace {

// What the program and the guardian say to each other on the pair, one byte each.
constexpr char kStandDown = 'S';  // program: nothing to take out
constexpr char kRemoved = 'R';    // guardian: gpsd has been asked to take the source out

constexpr int kShutdownSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

// Everything the guardian needs, copied before the fork: after it, nothing may allocate.
struct Orders {
    char controlPath[108];
    char command[64];  // "-tcp://...\n"
    GpsdOwners owners;
};

// A descriptor of 3 or above: 0 to 2 get /dev/null.
int AboveStandardStreams(int fd)
{
    return fd > STDERR_FILENO ? fd : fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
}

// Closes every descriptor but the standard streams (on /dev/null from here), `a` and `b`.
void KeepOnly(int a, int b)
{
    if (a > b) std::swap(a, b);
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream)
        if (null >= 0) dup2(null, stream);
    if (a > STDERR_FILENO + 1) close_range(STDERR_FILENO + 1, static_cast<unsigned>(a) - 1, 0);
    if (b > a + 1) close_range(static_cast<unsigned>(a) + 1, static_cast<unsigned>(b) - 1, 0);
    close_range(static_cast<unsigned>(b) + 1, ~0u, 0);
}

// Shutdown signals, blocked since before the fork, arrive on a descriptor instead; a program
// that ignores one of them (nohup) must not make the guardian deaf to it.
int ShutdownSignalDescriptor()
{
    sigset_t signals;
    sigemptyset(&signals);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (const int number : kShutdownSignals) {
        sigaddset(&signals, number);
        sigaction(number, &byDefault, nullptr);
    }
    return signalfd(-1, &signals, SFD_CLOEXEC);
}

// Asks gpsd to take the source out, again while it gives no answer, for kGuardianRemoveMs at
// most. A gpsd that is not there holds no source.
void RemoveSource(const Orders& orders)
{
    const long long end = MonotonicMilliseconds() + kGuardianRemoveMs;
    for (;;) {
        const long long now = MonotonicMilliseconds();
        GpsdExchange exchange;
        GpsdExchangeState state =
            BeginGpsdExchange(exchange, orders.controlPath, orders.command, orders.owners,
                              std::min(now + kGpsdControlTimeoutMs, end));
        if (state == GpsdExchangeState::kPending) state = FinishGpsdExchange(exchange);
        if (state == GpsdExchangeState::kAnswered || exchange.error != ETIMEDOUT ||
            MonotonicMilliseconds() >= end)
            return;
    }
}

// The guardian's whole life. Only calls that are safe in the child of a threaded program.
[[noreturn]] void Guard(int listener, int program, const Orders& orders)
{
    prctl(PR_SET_NAME, "quarnex-guard");
    setsid();  // no terminal: its hang-up and Ctrl-C are the program's to handle
    [[maybe_unused]] const int atRoot = chdir("/");
    listener = AboveStandardStreams(listener);
    program = AboveStandardStreams(program);
    KeepOnly(listener, program);
    pollfd waits[2] = {{program, POLLIN, 0}, {ShutdownSignalDescriptor(), POLLIN, 0}};
    PollRetrying(waits, 2, -1);
    char order = 0;
    if ((waits[0].revents & POLLIN) && ReadRetrying(program, &order, 1) == 1 && order == kStandDown)
        _exit(0);
    RemoveSource(orders);
    send(program, &kRemoved, 1, MSG_NOSIGNAL);
    _exit(0);  // the port goes with the last descriptor of the listener
}

}  // namespace

UniqueFd StartGpsdGuardian(int listener, const char* controlPath, const char* source,
                           const GpsdOwners& owners)
{
    Orders orders{};
    std::snprintf(orders.controlPath, sizeof orders.controlPath, "%s", controlPath);
    std::snprintf(orders.command, sizeof orders.command, "-%s\n", source);
    orders.owners = owners;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return {};
    UniqueFd ours{pair[0]};
    const UniqueFd theirs{pair[1]};

    // With every signal blocked across the fork, no handler of the program's runs in the child
    // (one would write to the program's own descriptors, which the child holds until it has
    // closed them).
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    const pid_t first = fork();
    if (first == 0) {
        const pid_t second = fork();
        if (second == 0) Guard(listener, theirs.get(), orders);
        _exit(second < 0 ? 1 : 0);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (first < 0) {
        errno = forkError;
        return {};
    }
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(first, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited == first && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
        errno = EAGAIN;  // the second fork failed
        return {};
    }
    return ours;
}

void StandDownGpsdGuardian(UniqueFd& guardian)
{
    send(guardian.get(), &kStandDown, 1, MSG_NOSIGNAL);
    guardian.reset();
}

void ReleaseToGpsdGuardian(int guardian)
{
    shutdown(guardian, SHUT_WR);
}

bool AwaitGpsdGuardian(UniqueFd& guardian)
{
    pollfd report{guardian.get(), POLLIN, 0};
    char byte = 0;
    const bool inHand = PollRetrying(&report, 1, kGpsdControlTimeoutMs) == 0 ||
                        (ReadRetrying(guardian.get(), &byte, 1) == 1 && byte == kRemoved);
    guardian.reset();
    return inHand;
}
