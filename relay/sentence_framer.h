// Cuts the byte stream from the receiver into sentences: a sentence runs from one '$' up to,
// not including, the next '$', so it carries its own line end and whatever else came before
// that next '$'. A sentence is handed on only once the '$' behind it has arrived, whole and in
// order; bytes before the first '$' are never handed on.
//
// The relay thread reads straight into ReadPosition() and reports the count to Receive().
#pragma once

#include <atomic>
#include <cstddef>

using SentenceSink = void (*)(const char* text, std::size_t length);

class SentenceFramer {
public:
    static constexpr std::size_t kReceiveBufferSize = 4096;

    // Nothing is handed on once `stopRequested` is set (the run's, for the relay thread).
    SentenceFramer(SentenceSink handOn, const std::atomic<bool>& stopRequested)
        : handOn_(handOn), stopRequested_(stopRequested)
    {
    }

    // Where the next read puts its bytes, and how many fit (always at least one).
    char* ReadPosition() { return receiveBuffer_ + writePosition_; }
    std::size_t ReadRoom() const { return kReceiveBufferSize - 1 - writePosition_; }

    // Takes `count` bytes just read to ReadPosition() and hands on every sentence they complete,
    // up to a stop request.
    void Receive(std::size_t count);

    std::size_t PendingBytes() const { return writePosition_; }

private:
    void KeepFrom(std::size_t start);

    SentenceSink handOn_;
    const std::atomic<bool>& stopRequested_;
    std::size_t writePosition_ = 0;
    // The pending bytes, with a 0 byte always kept behind them.
    char receiveBuffer_[kReceiveBufferSize] = {};
};
