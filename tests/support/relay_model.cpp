#include "tests/support/relay_model.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "tests/support/sample_sentences.h"

namespace {

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool Deselected(const std::string& sentence, const SentenceSelection& selection)
{
    const std::vector<std::pair<std::string, int>> types = {
        {"$GPGGA", selection.gga}, {"$GPVTG", selection.vtg}, {"$GPRMC", selection.rmc},
        {"$GPGLL", selection.gll}, {"$GPGSA", selection.gsa}, {"$GPGSV", selection.gsv},
        {"$GPMSS", selection.mss},
    };
    for (const auto& [tag, selected] : types)
        if (!selected && StartsWith(sentence, tag)) return true;
    return false;
}

}  // namespace

std::string ExpectedRelayOutput(const std::string& input, const SentenceSelection& selection)
{
    std::string output;
    std::size_t start = input.find('$');
    while (start != std::string::npos) {
        const std::size_t next = input.find('$', start + 1);
        if (next == std::string::npos) break;
        const std::string sentence = input.substr(start, next - start);
        start = next;
        if (sentence.size() >= 4095 || Deselected(sentence, selection)) continue;
        output += StartsWith(sentence, "$GPVTG,,") ? kFixedVtg : sentence;
    }
    return output;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string ReadCapture(const std::string& name)
{
    return ReadWholeFile(std::string(QUARNEX_TEST_DATA_DIR) + "/nmea/" + name);
}
