// The two ways relay_bench runs: the benchmark (default), or `--relay`, which relays between
// two given ports until the input hangs up, so that an outside harness can time this relay
// beside other tools.
#pragma once

#include <cstddef>
#include <string>

#include "relay/relay_state.h"

inline constexpr char kUsage[] =
    "usage: relay_bench [--quick] [--rounds N]\n"
    "       relay_bench --soak [--sentences N]\n"
    "       relay_bench --relay --input PATH --output PATH|GPSGate [--baud N]"
    " [--deselect GSV,MSS,...]\n";

// How long and how much the benchmark runs. --quick is a smoke run of a few seconds.
struct BenchSettings {
    std::size_t corpusBytes = 32u << 20;
    int rounds = 5;
    double pacedSeconds = 10;
    int latencySamples = 2000;
    double idleSeconds = 5;
};

// About 1 GB of the generated stream.
struct SoakSettings {
    long long sentences = 18'000'000;
};

struct RelayModeOptions {
    std::string input;
    std::string output;  // a port, or any text containing "GPSGate" for the GPS service
    int baud = 4800;
    SentenceSelection selection;  // --deselect: exactly the listed types off; else the default
};

enum class BenchMode { kBenchmark, kSoak, kRelay };

struct CommandLine {
    BenchMode mode = BenchMode::kBenchmark;
    BenchSettings bench;
    SoakSettings soak;
    RelayModeOptions relay;
};

// False when the arguments are not understood (the caller prints kUsage).
bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line);
