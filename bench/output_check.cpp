#include "bench/output_check.h"

#include "tests/support/relay_model.h"

namespace {

// How far ahead a sentence is looked for after a gap: thousands of sentences, far more than a
// socket's buffer that a reader could have lost at once.
constexpr std::size_t kLookAheadBytes = 4 << 20;
// Enough to hold the longest sentence the relay passes on, and the '$' behind it.
constexpr std::size_t kLongestSentence = 4096;
// Compared bytes are dropped from the front once there are this many.
constexpr std::size_t kKeptBehind = 1 << 20;
// A run that has gone wrong throughout is not searched sentence by sentence to its end.
constexpr long long kMostSearches = 10000;

SentenceBytes& operator+=(SentenceBytes& sum, SentenceBytes more)
{
    sum.sentences += more.sentences;
    sum.bytes += more.bytes;
    return sum;
}

SentenceBytes Measure(std::string_view bytes)
{
    return {static_cast<long long>(CountSentences(bytes)), static_cast<long long>(bytes.size())};
}

}  // namespace

OutputCheck::OutputCheck(long long inputSentences, const SentenceSelection& selection)
    : source_(inputSentences), selection_(selection)
{
    ReserveTouched(piece_, kSoakPieceBytes + 4096);
    ReserveTouched(expectedBytes_, kKeptBehind + kLookAheadBytes + 2 * kSoakPieceBytes);
    ReserveTouched(partial_, kLongestSentence);
}

void OutputCheck::Consume(std::string_view bytes)
{
    while (!bytes.empty()) {
        // A '$' at the very start begins the pending sentence rather than ending it.
        const std::size_t end = bytes.find('$', partial_.empty() ? 1 : 0);
        const std::size_t taken = end == std::string_view::npos ? bytes.size() : end;
        partial_.append(bytes.substr(0, taken));
        bytes.remove_prefix(taken);
        // The last sentence of a stream has no '$' behind it: it is judged once it is whole.
        if (end != std::string_view::npos || partial_ == NextExpected()) Judge();
    }
}

void OutputCheck::Finish()
{
    if (!partial_.empty()) Judge();
    for (;;) {
        CountLost(expectedBytes_.size());
        expectedBytes_.clear();
        cursor_ = 0;
        if (source_.Sentences() >= source_.Target()) return;
        MakeAhead(1);
    }
}

bool OutputCheck::AllArrived() const
{
    return source_.Sentences() >= source_.Target() && cursor_ == expectedBytes_.size() &&
           partial_.empty();
}

void OutputCheck::Judge()
{
    const std::string_view sentence = partial_;
    const std::string_view next = NextExpected();
    if (!next.empty() && sentence.starts_with(next)) {
        delivered_ += Measure(next);
        cursor_ += next.size();
        // Bytes behind it count alike whether they came in the same read or a later one.
        if (sentence.size() > next.size())
            corrupted_ += {1, static_cast<long long>(sentence.size() - next.size())};
    } else if (!SkipTo(sentence)) {
        corrupted_ += {1, static_cast<long long>(sentence.size())};
    }
    partial_.clear();
}

// Finds `sentence` as a whole expected sentence a little further on; the ones before it were
// lost.
bool OutputCheck::SkipTo(std::string_view sentence)
{
    if (!sentence.starts_with('$') || searches_ >= kMostSearches) return false;
    ++searches_;
    MakeAhead(kLookAheadBytes + kLongestSentence);
    const std::string_view expected = expectedBytes_;
    for (std::size_t at = expected.find(sentence, cursor_);
         at != std::string_view::npos && at - cursor_ < kLookAheadBytes;
         at = expected.find(sentence, at + 1)) {
        const std::size_t end = at + sentence.size();
        if (end < expected.size() && expected[end] != '$') continue;  // only the start of one
        CountLost(at);
        delivered_ += Measure(sentence);
        cursor_ = end;
        return true;
    }
    return false;
}

std::string_view OutputCheck::NextExpected()
{
    MakeAhead(kLongestSentence);
    const std::string_view ahead = std::string_view(expectedBytes_).substr(cursor_);
    return ahead.substr(0, ahead.find('$', 1));
}

// Makes expected output until `bytes` of it lie ahead of the cursor, or the stream has ended.
void OutputCheck::MakeAhead(std::size_t bytes)
{
    if (expectedBytes_.size() - cursor_ >= bytes) return;
    if (cursor_ >= kKeptBehind) {
        expectedBytes_.erase(0, cursor_);
        cursor_ = 0;
    }
    while (expectedBytes_.size() - cursor_ < bytes && source_.Next(piece_)) {
        piece_.push_back('$');  // the next piece's first sentence ends this piece's last
        const std::string more = ExpectedRelayOutput(piece_, selection_);
        expected_ += Measure(more);
        expectedBytes_ += more;
    }
}

void OutputCheck::CountLost(std::size_t end)
{
    lost_ += Measure(std::string_view(expectedBytes_).substr(cursor_, end - cursor_));
    cursor_ = end;
}
