#include "platform/window/window_message_box.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QMessageBox>
#include <QSocketNotifier>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/io/fd_io.h"
#include "platform/window/message_box.h"

namespace {

// A box asked for by another thread; it lives on that thread's stack while it waits.
struct BoxRequest {
    const char* caption;
    const char* text;
    bool answered = false;
};

// The hand-off between the threads is guarded by a mutex and condition variable of our own,
// so the order of events is plain to see (also for ThreadSanitizer): the raising thread never
// touches Qt, it only queues its request and rings the GUI thread's event descriptor.
std::mutex guard;
std::condition_variable answered;
std::deque<BoxRequest*> waiting;
int wakeFd = -1;
std::thread::id guiThread;
std::unique_ptr<QSocketNotifier> wakeNotifier;

QMessageBox* NewBox(const char* caption, const char* text)
{
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString::fromUtf8(caption),
                                QString::fromUtf8(text), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

void MarkAnswered(BoxRequest* request)
{
    {
        std::lock_guard lock(guard);
        request->answered = true;
    }
    answered.notify_all();
}

void ShowWaitingBoxes()
{
    std::uint64_t rings;
    [[maybe_unused]] const ssize_t ignored = ReadRetrying(wakeFd, &rings, sizeof rings);
    std::deque<BoxRequest*> taken;
    {
        std::lock_guard lock(guard);
        taken.swap(waiting);
    }
    for (BoxRequest* request : taken) {
        QMessageBox* box = NewBox(request->caption, request->text);
        box->setWindowModality(Qt::NonModal);
        QObject::connect(box, &QMessageBox::finished, [request] { MarkAnswered(request); });
        box->show();
    }
}

void Present(const char* caption, const char* text)
{
    if (std::this_thread::get_id() == guiThread) {
        NewBox(caption, text)->exec();
        return;
    }
    BoxRequest request{caption, text};
    std::unique_lock lock(guard);
    waiting.push_back(&request);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeFd, &one, sizeof one);
    answered.wait(lock, [&] { return request.answered; });
}

}  // namespace

void InstallWindowMessagePresenter()
{
    guiThread = std::this_thread::get_id();
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    wakeNotifier = std::make_unique<QSocketNotifier>(wakeFd, QSocketNotifier::Read);
    QObject::connect(wakeNotifier.get(), &QSocketNotifier::activated, ShowWaitingBoxes);
    SetMessagePresenter(Present);
}

void RemoveWindowMessagePresenter()
{
    SetMessagePresenter(nullptr);
    wakeNotifier.reset();
    ::close(wakeFd);
    wakeFd = -1;
}
