#include "platform/window/shutdown_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cerrno>
#include <iterator>

#include "platform/io/fd_io.h"
#include "platform/io/program_ending.h"

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
static_assert(std::size(kSignals) == ShutdownSignals::kCount);

// Made once and never closed: a handler still running while its object goes (on another thread)
// writes here, and never to a descriptor number that was closed and given to another file.
int pipeEnds[2] = {-1, -1};

bool OpenPipeOnce()
{
    static const bool opened = pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) == 0;
    return opened;
}

void DrainPipe()
{
    unsigned char numbers[16];
    while (ReadRetrying(pipeEnds[0], numbers, sizeof numbers) > 0) {
    }
}

void WriteSignalNumber(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t ignored = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

ShutdownSignals::ShutdownSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal))
{
    if (!OpenPipeOnce()) return;
    DrainPipe();  // what an earlier dialog's signals left is not for this one
    notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        DrainPipe();
        onSignal_();
    });
    struct sigaction action {};
    action.sa_handler = WriteSignalNumber;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigset_t handled;
    sigemptyset(&handled);
    for (int i = 0; i < kCount; ++i) {
        sigaction(kSignals[i], &action, &previous_[i]);
        sigaddset(&handled, kSignals[i]);
    }
    // A parent may have started us with these blocked; they must still end the program.
    pthread_sigmask(SIG_UNBLOCK, &handled, nullptr);
    SetProgramEndingFd(pipeEnds[0]);
}

ShutdownSignals::~ShutdownSignals()
{
    if (!notifier_) return;
    SetProgramEndingFd(-1);
    for (int i = 0; i < kCount; ++i)
        sigaction(kSignals[i], &previous_[i], nullptr);
    notifier_.reset();
}
