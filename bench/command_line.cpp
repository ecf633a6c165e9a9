#include "bench/command_line.h"

#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "relay/sentence_types.h"

namespace {

bool ParseInt(const char* text, int& value)
{
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

int* SelectionFlag(SentenceSelection& selection, std::string_view name)
{
    for (const SentenceType& type : kSentenceTypes)
        if (name.size() == std::strlen(type.label) &&
            strncasecmp(name.data(), type.label, name.size()) == 0)
            return &(selection.*type.flag);
    return nullptr;
}

// "GSV,MSS": these types off, every other one on. An empty list turns every type on.
bool ParseDeselection(std::string_view list, SentenceSelection& selection)
{
    for (const SentenceType& type : kSentenceTypes)
        selection.*type.flag = 1;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        int* flag = SelectionFlag(selection, list.substr(0, comma));
        if (!flag) return false;
        *flag = 0;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
        if (list.empty()) return false;  // a trailing comma names nothing
    }
    return true;
}

bool ParseRelayOption(std::string_view option, const char* value, RelayModeOptions& relay)
{
    if (option == "--input")
        relay.input = value;
    else if (option == "--output")
        relay.output = value;
    else if (option == "--baud")
        return ParseInt(value, relay.baud);
    else if (option == "--deselect")
        return ParseDeselection(value, relay.selection);
    else
        return false;
    return true;
}

BenchSettings QuickSettings()
{
    return {.corpusBytes = 1u << 20,
            .rounds = 1,
            .pacedSeconds = 1,
            .latencySamples = 100,
            .idleSeconds = 0.5};
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line)
{
    line = {};
    bool quick = false, benchOption = false, relayOption = false, soakOption = false;
    int rounds = 0, sentences = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (option == "--relay" || option == "--soak") {
            if (line.mode != BenchMode::kBenchmark) return false;
            line.mode = option == "--relay" ? BenchMode::kRelay : BenchMode::kSoak;
        } else if (option == "--quick") {
            quick = benchOption = true;
        } else if (option == "--rounds" && value) {
            if (!ParseInt(value, rounds) || rounds < 1) return false;
            benchOption = true;
            ++i;
        } else if (option == "--sentences" && value) {
            if (!ParseInt(value, sentences) || sentences < 1) return false;
            soakOption = true;
            ++i;
        } else if (value && ParseRelayOption(option, value, line.relay)) {
            relayOption = true;
            ++i;
        } else {
            return false;
        }
    }
    if (quick) line.bench = QuickSettings();
    if (rounds > 0) line.bench.rounds = rounds;
    if (sentences > 0) line.soak.sentences = sentences;
    switch (line.mode) {
        case BenchMode::kBenchmark:
            return !relayOption && !soakOption;
        case BenchMode::kSoak:
            return !relayOption && !benchOption;
        case BenchMode::kRelay:
            return !benchOption && !soakOption && !line.relay.input.empty() &&
                   !line.relay.output.empty();
    }
    return false;
}
