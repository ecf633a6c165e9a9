#include "tests/support/message_recorder.h"

#include <condition_variable>
#include <mutex>

#include "platform/messages/message_box.h"

namespace {

std::mutex guard;
std::condition_variable shown;
std::vector<RecordedMessage> recorded;

void Record(const char* caption, const char* text)
{
    std::lock_guard lock(guard);
    recorded.push_back({caption, text, std::this_thread::get_id()});
    shown.notify_all();
}

}  // namespace

MessageRecorder::MessageRecorder()
{
    std::lock_guard lock(guard);
    recorded.clear();
    SetMessagePresenter(Record);
}

MessageRecorder::~MessageRecorder()
{
    SetMessagePresenter(nullptr);
}

std::vector<RecordedMessage> MessageRecorder::Messages() const
{
    std::lock_guard lock(guard);
    return recorded;
}

std::vector<std::string> MessageRecorder::Texts() const
{
    std::vector<std::string> texts;
    for (const RecordedMessage& message : Messages())
        texts.push_back(message.text);
    return texts;
}

bool MessageRecorder::WaitForCount(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(guard);
    return shown.wait_for(lock, timeout, [&] { return recorded.size() >= count; });
}
