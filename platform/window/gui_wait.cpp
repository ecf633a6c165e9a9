#include "platform/window/gui_wait.h"

#include <poll.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/io/fd_io.h"

void WaitForDescriptor(int fd)
{
    if (fd < 0) return;
    pollfd ready{fd, POLLIN, 0};
    if (PollRetrying(&ready, 1, 0) > 0) return;
    QEventLoop loop;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    loop.exec();
}

void PauseMilliseconds(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
