// A long, realistic NMEA 0183 stream to relay: one-second epochs of a receiver that alternates
// between standing and driving, each epoch GGA, GSA, a GSV burst, RMC, VTG (with a course while
// moving, with an empty course while standing), GLL, ZDA and a proprietary sentence, every
// checksum valid. The same seed gives the same bytes, so figures from different runs compare.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

struct CorpusReceiver;

// The stream epoch by epoch, for a stream too long to hold: two objects of the same seed
// append the same bytes.
class NmeaEpochs {
public:
    explicit NmeaEpochs(unsigned seed = 1);
    ~NmeaEpochs();
    NmeaEpochs(const NmeaEpochs&) = delete;
    NmeaEpochs& operator=(const NmeaEpochs&) = delete;

    // Appends the next one-second epoch (8 to 11 whole sentences).
    void AppendNext(std::string& stream);

private:
    std::unique_ptr<CorpusReceiver> receiver_;
};

// The first epochs of the stream, at least `minimumBytes` of them.
std::string GenerateNmeaCorpus(std::size_t minimumBytes, unsigned seed = 1);

// The longest start of `stream` of at most `maxBytes` that ends just before a '$' (so its last
// sentence is whole); `stream` itself when it is shorter.
std::string_view WholeSentencesWithin(std::string_view stream, std::size_t maxBytes);

// How many sentences (counted by their '$') `stream` holds.
std::size_t CountSentences(std::string_view stream);
