#include "bench/baseline_loops.h"

#include <unistd.h>

#include <cstring>
#include <iterator>
#include <string_view>

#include "platform/io/fd_io.h"
#include "relay/forward_sentence.h"
#include "relay/sentence_types.h"

namespace {

constexpr std::size_t kBufferSize = 65536;

bool WriteWhole(int fd, const char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// The relay's rules in their plainest form: a sentence starting with a deselected tag is
// dropped, one starting "$GPVTG,," becomes the fixed VTG sentence.
struct SentenceRules {
    std::string_view deselected[std::size(kSentenceTypes)];
    int deselectedCount = 0;

    explicit SentenceRules(const SentenceSelection& s)
    {
        for (const SentenceType& type : kSentenceTypes)
            if (!(s.*type.flag)) deselected[deselectedCount++] = type.tag;
    }

    // False when the write failed.
    bool Send(int out, std::string_view sentence) const
    {
        for (int i = 0; i < deselectedCount; ++i)
            if (sentence.starts_with(deselected[i])) return true;
        if (sentence.starts_with("$GPVTG,,"))
            return WriteWhole(out, kFixedVtgSentence, sizeof kFixedVtgSentence - 1);
        return WriteWhole(out, sentence.data(), sentence.size());
    }
};

}  // namespace

ThreadUsage CopyLoop(int inputSlave, int outputSlave)
{
    const ThreadUsage start = ReadThreadUsage(CurrentThreadId());
    char buffer[kBufferSize];
    for (;;) {
        const ssize_t n = ReadRetrying(inputSlave, buffer, sizeof buffer);
        if (n <= 0 || !WriteWhole(outputSlave, buffer, static_cast<std::size_t>(n))) break;
    }
    return ReadThreadUsage(CurrentThreadId()) - start;
}

ThreadUsage OneWritePerSentenceLoop(int inputSlave, int outputSlave,
                                    const SentenceSelection& selection)
{
    const ThreadUsage start = ReadThreadUsage(CurrentThreadId());
    const SentenceRules rules(selection);
    char buffer[kBufferSize];
    std::size_t pending = 0;  // bytes of a sentence whose end has not come yet
    for (;;) {
        const ssize_t n = ReadRetrying(inputSlave, buffer + pending, sizeof buffer - pending);
        if (n <= 0) break;
        const std::string_view data(buffer, pending + static_cast<std::size_t>(n));
        std::size_t first = data.find('$');
        if (first == std::string_view::npos) first = data.size();  // no sentence has begun
        bool failed = false;
        for (std::size_t next; !failed && (next = data.find('$', first + 1)) != data.npos;
             first = next)
            failed = !rules.Send(outputSlave, data.substr(first, next - first));
        if (failed) break;
        pending = data.size() - first;
        if (pending == sizeof buffer) pending = 0;  // a "sentence" longer than any: drop it
        std::memmove(buffer, buffer + first, pending);
    }
    return ReadThreadUsage(CurrentThreadId()) - start;
}
