#include "platform/gpsd/gate_error_text.h"

#include <cstring>
#include <string>

namespace {

constexpr std::size_t kMaxLength = GateApi::kGateErrorTextSize - 1;
constexpr char kElided[] = "...";

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The last `room` bytes of `subject` behind "...", starting at a whole character.
std::string Shortened(const std::string& subject, std::size_t room)
{
    if (room <= std::strlen(kElided)) return kElided;
    std::size_t start = subject.size() - (room - std::strlen(kElided));
    while (start < subject.size() && IsContinuationByte(subject[start]))
        ++start;
    return kElided + subject.substr(start);
}

// The length of the first `limit` bytes of `text`, less a character cut in half.
std::size_t WholeCharacters(const char* text, std::size_t limit)
{
    std::size_t length = strnlen(text, limit + 1);
    if (length <= limit) return length;
    length = limit;
    while (length > 0 && IsContinuationByte(text[length]))
        --length;
    return length;
}

}  // namespace

void FormatGateErrorText(char (&text)[GateApi::kGateErrorTextSize], const char* what,
                         const char* subject, const char* reason)
{
    std::string head = what;
    std::string tail = *reason ? std::string(": ") + reason : std::string();
    std::string middle = subject;
    if (!middle.empty()) {
        const std::size_t fixed = head.size() + 1 + tail.size();
        if (fixed + middle.size() > kMaxLength)
            middle = Shortened(middle, fixed < kMaxLength ? kMaxLength - fixed : 0);
        head += " " + middle;
    }
    const std::string whole = head + tail;
    const std::size_t length = WholeCharacters(whole.c_str(), kMaxLength);
    std::memcpy(text, whole.data(), length);
    text[length] = '\0';
}

int CopyGateErrorText(const char* text, char* buffer, int size)
{
    if (!buffer || size <= 0) return 0;
    const std::size_t length = WholeCharacters(text, static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

const char* SystemReason(int error)
{
    const char* description = strerrordesc_np(error);
    return description ? description : "unknown system error";
}
