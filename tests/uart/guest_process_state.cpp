#include "tests/uart/guest_process_state.h"

#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "relay/run.h"

namespace {

// The entries of a /proc folder but those named in `skip`: " NAME" each, " NAME (TARGET)" for a
// link.
// The listing's own descriptor is gone by the time its entry is read, and left out.
std::string ListProcEntries(const char* folder, const std::vector<std::string>& skip)
{
    std::vector<std::filesystem::path> listed;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        listed.push_back(entry.path());
    std::string entries;
    for (const std::filesystem::path& path : listed) {
        std::error_code gone;
        const std::filesystem::path target = std::filesystem::read_symlink(path, gone);
        if (gone || std::find(skip.begin(), skip.end(), path.filename()) != skip.end()) continue;
        entries += " " + path.filename().string() + " (" + target.string() + ")";
    }
    return entries;
}

}  // namespace

std::string DescribeUsage()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long long micros = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL +
                             usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
    return "usage " + std::to_string(micros / 1000.0) + " " + std::to_string(usage.ru_nvcsw) + " " +
           std::to_string(usage.ru_nivcsw);
}

// What the dialog's idle look stands for: no relay thread (nor its descriptors), no port, no
// channel; and, as the kernel lists them, no descriptor but the console's three. Threads are
// taken from the program's own account alone: a thread just joined may still be listed in
// /proc for a moment while the kernel finishes its exit.
std::string DescribeWhatIsHeld()
{
    std::string held;
    if (RunIsHeld()) held += " run";
    if (const std::string fds = ListProcEntries("/proc/self/fd", {"0", "1", "2"}); !fds.empty())
        held += " descriptors" + fds;
    return held.empty() ? "holds nothing" : "holds" + held;
}
