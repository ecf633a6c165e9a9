#include "relay/sentence_framer.h"

#include <cstring>

namespace {

// Each sentence is handed on from here with a 0 byte behind it. Only the relay thread uses it.
constexpr std::size_t kSentenceBufferSize = 32768;
char sentenceBuffer[kSentenceBufferSize];

// Searched by count: a 0 byte from the receiver must not hide a later '$'.
const char* FindDollar(const char* from, const char* end)
{
    return static_cast<const char*>(std::memchr(from, '$', static_cast<std::size_t>(end - from)));
}

}  // namespace

void SentenceFramer::Receive(std::size_t count)
{
    writePosition_ += count;
    receiveBuffer_[writePosition_] = '\0';
    const char* const end = receiveBuffer_ + writePosition_;

    const char* first = FindDollar(receiveBuffer_, end);
    if (!first) {  // no sentence has begun: nothing here can ever be handed on
        KeepFrom(writePosition_);
        return;
    }
    // All sentences of this read are cut first and the rest moved down once, not after each.
    for (const char* next; (next = FindDollar(first + 1, end)); first = next) {
        if (stopRequested_.load(std::memory_order_relaxed)) break;
        const std::size_t length = static_cast<std::size_t>(next - first);
        std::memcpy(sentenceBuffer, first, length);
        sentenceBuffer[length] = '\0';
        handOn_(sentenceBuffer, length);
    }
    KeepFrom(static_cast<std::size_t>(first - receiveBuffer_));

    // Full with one sentence that never ends (4095 bytes without a second '$'): no read has
    // room left, so drop it and go on with what comes next.
    if (ReadRoom() == 0) KeepFrom(writePosition_);
}

void SentenceFramer::KeepFrom(std::size_t start)
{
    const std::size_t kept = writePosition_ - start;
    if (start > 0) std::memmove(receiveBuffer_, receiveBuffer_ + start, kept + 1);  // + terminator
    writePosition_ = kept;
}
