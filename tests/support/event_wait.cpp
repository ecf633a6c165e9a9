#include "tests/support/event_wait.h"

#include <poll.h>

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

bool RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    if (done()) return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto connection = QObject::connect(QAbstractEventDispatcher::instance(),
                                             &QAbstractEventDispatcher::aboutToBlock, &loop, [&] {
                                                 if (done()) loop.quit();
                                             });
    deadline.start(timeout);
    loop.exec();
    QObject::disconnect(connection);
    return done();
}

bool RunEventsUntilReadable(int fd, std::chrono::milliseconds timeout)
{
    const QSocketNotifier wake(fd, QSocketNotifier::Read);
    return RunEventsUntil(
        [fd] {
            pollfd ready{fd, POLLIN, 0};
            return ::poll(&ready, 1, 0) == 1;
        },
        timeout);
}
