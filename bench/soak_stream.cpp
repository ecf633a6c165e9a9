#include "bench/soak_stream.h"

void ReserveTouched(std::string& buffer, std::size_t bytes)
{
    buffer.resize(bytes);
    buffer.clear();
}

bool SoakStream::Next(std::string& piece)
{
    piece.clear();
    while (piece.size() < kSoakPieceBytes && sentences_ < target_) {
        const std::size_t start = piece.size();
        epochs_.AppendNext(piece);
        sentences_ += static_cast<long long>(CountSentences(std::string_view(piece).substr(start)));
    }
    bytes_ += static_cast<long long>(piece.size());
    return !piece.empty();
}
