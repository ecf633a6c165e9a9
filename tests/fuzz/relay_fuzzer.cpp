// Arbitrary bytes, cut into arbitrary reads, under an arbitrary selection, through the real
// framer and the real filter and repair, written to a real file: the file must hold exactly what
// the independent model of the rules says, byte for byte.
//
// Input layout: byte 0 selects the seven types (bit 0 GGA ... bit 6 MSS), bytes 1-2 seed the
// read sizes, the rest is the stream from the receiver.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "relay/forward_sentence.h"
#include "relay/relay_state.h"
#include "relay/sentence_framer.h"
#include "relay/sentence_types.h"
#include "tests/support/relay_model.h"

namespace {

SentenceSelection SelectionFromBits(std::uint8_t bits)
{
    SentenceSelection selection;
    int bit = 0;
    for (const SentenceType& type : kSentenceTypes)
        selection.*type.flag = (bits >> bit++) & 1;
    return selection;
}

// Read sizes from 1 to the whole buffer, some small and some large, from a tiny generator.
class ReadSizes {
public:
    explicit ReadSizes(std::uint16_t seed) : state_(seed * 2654435761u + 1) {}
    std::size_t Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return (state_ & 1) ? 1 + state_ % 16 : 1 + state_ % 4095;
    }

private:
    std::uint32_t state_;
};

std::string ReadBack(int fd)
{
    std::string bytes(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)), '\0');
    if (pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) abort();
    return bytes;
}

int OutputFile()
{
    static const int fd = memfd_create("relay-output", MFD_CLOEXEC);
    if (fd < 0) abort();
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return 0;
    const SentenceSelection selection = SelectionFromBits(data[0]);
    ReadSizes readSizes(static_cast<std::uint16_t>(data[1] | data[2] << 8));
    const std::string stream(reinterpret_cast<const char*>(data) + 3, size - 3);

    const int output = OutputFile();
    if (ftruncate(output, 0) != 0 || lseek(output, 0, SEEK_SET) != 0) abort();
    relayState.outputPort = output;
    ChooseOutputEnd();
    relayState.selection = selection;
    relayState.stopRequested.store(false);

    SentenceFramer framer(ForwardSentence, relayState.stopRequested);
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t count =
            std::min<std::size_t>({readSizes.Next(), framer.ReadRoom(), stream.size() - at});
        std::memcpy(framer.ReadPosition(), stream.data() + at, count);
        framer.Receive(count);
        at += count;
        if (framer.ReadRoom() == 0) abort();  // a full buffer would stall the relay for good
    }
    if (ReadBack(output) != ExpectedRelayOutput(stream, selection)) abort();
    return 0;
}
