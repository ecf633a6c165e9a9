// Checks a relay's output, as it arrives, against what the relay's rules make of a SoakStream,
// without holding either whole: the expected bytes are made piece by piece (the same stream
// run through the independent model) a little ahead of the output.
//
// The output is cut into sentences at each '$' and each is compared with the next expected one.
// Equal: delivered (bytes behind it, before the next '$', are corrupted). Not equal, but equal
// to one a little further on (within 4 MiB): the ones in between were lost. Equal to none: its
// bytes arrived corrupted, and the sentence it replaced counts as lost once a later one is
// found. Sentences after the last expected one are corrupted too; what has not arrived by
// Finish() is lost.
#pragma once

#include <string>
#include <string_view>

#include "bench/soak_stream.h"
#include "relay/relay_state.h"

struct SentenceBytes {
    long long sentences = 0;
    long long bytes = 0;
};

class OutputCheck {
public:
    OutputCheck(long long inputSentences, const SentenceSelection& selection);

    // The output's next bytes, in the order they arrived, cut anywhere.
    void Consume(std::string_view bytes);
    // The output has ended: its last sentence is judged, and what never came is lost.
    void Finish();

    // Every expected sentence has been delivered or counted lost, and nothing is pending.
    bool AllArrived() const;

    SentenceBytes Expected() const { return expected_; }  // all of it, after Finish()
    SentenceBytes Delivered() const { return delivered_; }
    SentenceBytes Lost() const { return lost_; }
    SentenceBytes Corrupted() const { return corrupted_; }

private:
    void Judge();
    bool SkipTo(std::string_view sentence);
    std::string_view NextExpected();
    void MakeAhead(std::size_t bytes);
    void CountLost(std::size_t end);

    SoakStream source_;
    SentenceSelection selection_;
    std::string piece_;
    std::string expectedBytes_;  // expected output from cursor_ on, and some already compared
    std::size_t cursor_ = 0;
    std::string partial_;  // the output's current sentence, until its end is known
    long long searches_ = 0;
    SentenceBytes expected_, delivered_, lost_, corrupted_;
};
