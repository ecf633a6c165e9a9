// The soak's input, far too long to hold: the benchmark's generated NMEA, made piece by piece
// of whole epochs. Two streams of the same length give the same bytes, so the side that feeds
// the relay and the side that checks its output each make their own.
#pragma once

#include <cstddef>
#include <string>

#include "bench/nmea_corpus.h"

inline constexpr std::size_t kSoakPieceBytes = 256 * 1024;

// Gives `buffer` room for `bytes` with its pages already touched, so that the resident size
// shows what a run adds rather than how far its buffers have grown yet.
void ReserveTouched(std::string& buffer, std::size_t bytes);

class SoakStream {
public:
    // Ends after the epoch that brings it to `sentences` sentences.
    explicit SoakStream(long long sentences) : target_(sentences) {}

    // Replaces `piece` with the next epochs, about kSoakPieceBytes of them; false (and `piece`
    // empty) once the stream has ended.
    bool Next(std::string& piece);

    long long Sentences() const { return sentences_; }  // made so far
    long long Bytes() const { return bytes_; }
    long long Target() const { return target_; }

private:
    NmeaEpochs epochs_;
    long long target_;
    long long sentences_ = 0;
    long long bytes_ = 0;
};
