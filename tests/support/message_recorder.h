// Sees every message box the program shows: caption, text, and the thread that showed it.
// Boxes return at once, as if the user had pressed OK straight away.
#pragma once

#include <chrono>
#include <string>
#include <thread>
#include <vector>

struct RecordedMessage {
    std::string caption;
    std::string text;
    std::thread::id thread;
};

class MessageRecorder {
public:
    MessageRecorder();   // installs itself as the message presenter
    ~MessageRecorder();  // restores standard error

    std::vector<RecordedMessage> Messages() const;
    std::vector<std::string> Texts() const;
    // Waits until at least `count` boxes were shown; false after `timeout`.
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout) const;
};
