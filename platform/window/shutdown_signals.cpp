#include "platform/window/shutdown_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cerrno>

#include "platform/io/fd_io.h"

namespace {

int pipeEnds[2] = {-1, -1};

void WriteSignalNumber(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t ignored = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

void Catch(int number, struct sigaction* previous)
{
    struct sigaction action {};
    action.sa_handler = WriteSignalNumber;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, previous);
}

}  // namespace

ShutdownSignals::ShutdownSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal))
{
    if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        unsigned char numbers[16];
        while (ReadRetrying(pipeEnds[0], numbers, sizeof numbers) > 0) {
        }
        onSignal_();
    });
    Catch(SIGINT, &previousInterrupt_);
    Catch(SIGTERM, &previousTerminate_);
    // A parent may have started us with these blocked; they must still end the program.
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGINT);
    sigaddset(&handled, SIGTERM);
    pthread_sigmask(SIG_UNBLOCK, &handled, nullptr);
}

ShutdownSignals::~ShutdownSignals()
{
    if (!notifier_) return;
    sigaction(SIGINT, &previousInterrupt_, nullptr);
    sigaction(SIGTERM, &previousTerminate_, nullptr);
    notifier_.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}
