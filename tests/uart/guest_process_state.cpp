#include "tests/uart/guest_process_state.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "relay/run.h"

namespace {

// The entries of a /proc folder but those named in `skip`: " NAME" each, " NAME (TARGET)" for a
// link.
std::string ListProcEntries(const char* folder, const std::vector<std::string>& skip)
{
    DIR* listing = opendir(folder);
    if (!listing) return " unreadable";
    const std::string own = std::to_string(dirfd(listing));
    std::string entries;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name == own ||
            std::find(skip.begin(), skip.end(), name) != skip.end())
            continue;
        char target[PATH_MAX] = {};
        const std::string path = std::string(folder) + "/" + name;
        const bool isLink = readlink(path.c_str(), target, sizeof target - 1) > 0;
        entries += " " + name + (isLink ? " (" + std::string(target) + ")" : "");
    }
    closedir(listing);
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
