// A pseudo-terminal standing in for a serial cable: the program opens Path() like any serial
// device, and the test plays the other end through the master. The slave starts raw, so bytes
// pass both ways unchanged even before the program has set the port up; or, for tests of what
// the program sets, as far from that as a pseudo-terminal goes (kMessy).
#pragma once

#include <chrono>
#include <random>
#include <string>
#include <string_view>

class PtyPair {
public:
    // kMessy: cooked (canonical, echo, CR to NL, output processing), modem control lines heeded
    // (CLOCAL off), two stop bits, RTS/CTS and XON/XOFF flow control, 7 bits with parity asked
    // for (a pseudo-terminal keeps 8 bits without parity, but keeps the rest).
    enum Start { kRaw, kMessy };
    explicit PtyPair(Start start = kRaw);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& Path() const { return path_; }
    int Master() const { return master_; }

    // Plays the receiver: writes all bytes to the master (blocks while the pty is full).
    void Write(std::string_view bytes);
    // Writes what fits now without waiting; the count written.
    std::size_t WriteSome(std::string_view bytes);
    // The same, cut into chunks of 1 to `maxChunk` bytes at random.
    void WriteInRandomChunks(std::string_view bytes, std::mt19937& random, int maxChunk = 700);

    // Reads from the master until `count` bytes have arrived or `timeout` has passed.
    std::string ReadBytes(std::size_t count, std::chrono::milliseconds timeout);
    // Whatever has arrived by now, without waiting.
    std::string ReadAvailable();

    // Fills the pty from the program's end until it takes no more, as if the program had written
    // and nobody had read (before the program opens it); the count of bytes, all 'F'.
    std::size_t FillFromProgramEnd();

    // Unplugs the cable: the program's end sees a hang-up.
    void CloseMaster();
    // True while nothing holds the program's end (Path()) open, as after the program closed its
    // port: the master then sees a hang-up. Looks once, without waiting.
    bool ProgramEndClosed() const;

private:
    int master_ = -1;
    std::string path_;
};
