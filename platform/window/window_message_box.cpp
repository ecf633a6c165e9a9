#include "platform/window/window_message_box.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/io/fd_io.h"
#include "platform/messages/message_box.h"

namespace {

// A box asked for by another thread; it lives on that thread's stack while it waits.
struct BoxRequest {
    const char* caption;
    const char* text;
    bool answered = false;
};

// The hand-off between the threads is guarded by a mutex and condition variable of our own,
// so the order of events is plain to see (also for ThreadSanitizer): the raising thread never
// touches Qt, it only queues its request and rings the GUI thread.
std::mutex guard;
std::condition_variable answered;
std::deque<BoxRequest*> waiting;   // asked for, not shown yet
std::vector<BoxRequest*> showing;  // shown, not answered yet
bool dismissing = false;           // boxes are answered at once
int wakeFd = -1;
std::thread::id guiThread;
std::unique_ptr<QSocketNotifier> wakeNotifier;
std::vector<QPointer<QMessageBox>> boxWindows;  // GUI thread only

QMessageBox* NewBox(const char* caption, const char* text)
{
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString::fromUtf8(caption),
                                QString::fromUtf8(text), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    std::erase_if(boxWindows, [](const QPointer<QMessageBox>& gone) { return gone.isNull(); });
    boxWindows.emplace_back(box);
    return box;
}

// Once for each request: a box closed after the request was let go finds it gone from
// `showing` and leaves it alone (its thread may have moved on).
void MarkAnswered(BoxRequest* request)
{
    {
        std::lock_guard lock(guard);
        const auto shown = std::find(showing.begin(), showing.end(), request);
        if (shown == showing.end()) return;
        showing.erase(shown);
        request->answered = true;
    }
    answered.notify_all();
}

void ShowWaitingBoxes()
{
    if (wakeFd >= 0) {
        std::uint64_t rings;
        [[maybe_unused]] const ssize_t ignored = ReadRetrying(wakeFd, &rings, sizeof rings);
    }
    std::deque<BoxRequest*> taken;
    {
        std::lock_guard lock(guard);
        taken.swap(waiting);
        showing.insert(showing.end(), taken.begin(), taken.end());
    }
    for (BoxRequest* request : taken) {
        QMessageBox* box = NewBox(request->caption, request->text);
        box->setWindowModality(Qt::NonModal);
        QObject::connect(box, &QMessageBox::finished, [request] { MarkAnswered(request); });
        box->show();
    }
}

// Without an eventfd (none to be had when the presenter came up) a ring is an event posted to
// this object on the GUI thread, which needs no descriptor. Qt hands the event over under a lock
// of its own that ThreadSanitizer cannot see; the ringing thread posts it holding `guard`, so
// taking `guard` before the event is looked at makes the hand-over plain to it as well.
class RingReceiver : public QObject {
public:
    static constexpr QEvent::Type kRing = QEvent::User;

protected:
    bool event(QEvent* event) override
    {
        {
            const std::lock_guard lock(guard);
        }
        if (event->type() != kRing) return QObject::event(event);
        ShowWaitingBoxes();
        return true;
    }
};
std::unique_ptr<RingReceiver> ringReceiver;

void RingGuiThread()
{
    if (wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeFd, &one, sizeof one);
        return;
    }
    QCoreApplication::postEvent(ringReceiver.get(), new QEvent(RingReceiver::kRing));
}

void AnswerWithoutABox(const char* caption, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

void Present(const char* caption, const char* text)
{
    if (std::this_thread::get_id() == guiThread) {
        bool ending;
        {
            std::lock_guard lock(guard);
            ending = dismissing;
        }
        if (ending) return AnswerWithoutABox(caption, text);
        NewBox(caption, text)->exec();
        return;
    }
    BoxRequest request{caption, text};
    std::unique_lock lock(guard);
    if (dismissing) return AnswerWithoutABox(caption, text);
    waiting.push_back(&request);
    RingGuiThread();
    answered.wait(lock, [&] { return request.answered; });
}

}  // namespace

void InstallWindowMessagePresenter()
{
    guiThread = std::this_thread::get_id();
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd >= 0) {
        wakeNotifier = std::make_unique<QSocketNotifier>(wakeFd, QSocketNotifier::Read);
        QObject::connect(wakeNotifier.get(), &QSocketNotifier::activated, ShowWaitingBoxes);
    } else {
        ringReceiver = std::make_unique<RingReceiver>();
    }
    SetMessagePresenter(Present);
}

void RemoveWindowMessagePresenter()
{
    SetMessagePresenter(nullptr);
    wakeNotifier.reset();
    ringReceiver.reset();
    if (wakeFd >= 0) ::close(wakeFd);
    wakeFd = -1;
}

void ReleaseMessageBoxWaiters()
{
    {
        std::lock_guard lock(guard);
        dismissing = true;
        for (BoxRequest* request : waiting)
            request->answered = true;
        for (BoxRequest* request : showing)
            request->answered = true;
        waiting.clear();
        showing.clear();
    }
    answered.notify_all();
}

void DismissMessageBoxes()
{
    ReleaseMessageBoxWaiters();
    const std::vector<QPointer<QMessageBox>> open = boxWindows;
    for (const QPointer<QMessageBox>& box : open)
        if (box && box->isVisible()) box->done(QMessageBox::Ok);
}

void ResumeMessageBoxes()
{
    std::lock_guard lock(guard);
    dismissing = false;
}
