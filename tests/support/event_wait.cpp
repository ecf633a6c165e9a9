#include "tests/support/event_wait.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
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
