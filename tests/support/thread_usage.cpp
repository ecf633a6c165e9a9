#include "tests/support/thread_usage.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string TaskFile(pid_t tid, const char* name)
{
    return "/proc/self/task/" + std::to_string(tid) + "/" + name;
}

// The value of the "key:" line of a /proc status file, -1 without one.
long StatusField(const std::string& path, const std::string& key)
{
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        if (line.starts_with(key + ":")) return std::stol(line.substr(key.size() + 1));
    return -1;
}

}  // namespace

ThreadUsage operator-(const ThreadUsage& later, const ThreadUsage& earlier)
{
    return {later.cpuMs - earlier.cpuMs, later.voluntarySwitches - earlier.voluntarySwitches,
            later.involuntarySwitches - earlier.involuntarySwitches};
}

pid_t CurrentThreadId()
{
    return gettid();
}

ThreadUsage ReadThreadUsage(pid_t tid)
{
    ThreadUsage usage;
    // schedstat's first field is the time on the CPU in ns, exact where the tick-based
    // utime/stime of stat are 10 ms coarse.
    unsigned long long ns = 0;
    if (std::ifstream(TaskFile(tid, "schedstat")) >> ns)
        usage.cpuMs = static_cast<double>(ns) / 1e6;
    const std::string status = TaskFile(tid, "status");
    usage.voluntarySwitches = std::max(0L, StatusField(status, "voluntary_ctxt_switches"));
    usage.involuntarySwitches = std::max(0L, StatusField(status, "nonvoluntary_ctxt_switches"));
    return usage;
}

std::vector<pid_t> ListThreads()
{
    std::vector<pid_t> threads;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        threads.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    std::sort(threads.begin(), threads.end());
    return threads;
}

pid_t NewThreadSince(const std::vector<pid_t>& before)
{
    std::vector<pid_t> added;
    const std::vector<pid_t> now = ListThreads();
    std::set_difference(now.begin(), now.end(), before.begin(), before.end(),
                        std::back_inserter(added));
    return added.size() == 1 ? added.front() : -1;
}

double ProcessCpuMs(pid_t pid)
{
    FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!file) return -1;
    char line[1024] = "";
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    // The command name in parentheses may hold spaces; utime and stime are the 12th and 13th
    // fields after it.
    const char* after = read ? std::strrchr(line, ')') : nullptr;
    unsigned long long user = 0, system = 0;
    if (!after || std::sscanf(after + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu",
                              &user, &system) != 2)
        return -1;
    return static_cast<double>(user + system) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long ResidentKiB()
{
    return StatusField("/proc/self/status", "VmRSS");
}

int OpenDescriptorCount()
{
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<int>(std::distance(begin(entries), end(entries)));
}

int ThreadCount()
{
    return static_cast<int>(ListThreads().size());
}
