// The benchmark's readings of /proc: were a field misread as 0, the relay would pass "no
// wake-ups while silent" and "no memory growth" without being measured at all.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/io/unique_fd.h"
#include "tests/support/thread_usage.h"

namespace {

constexpr int kWakeUps = 20;

TEST(ThreadUsage, FindsANewThreadAndCountsEachTimeItWokeUp)
{
    int toThread[2], fromThread[2];
    ASSERT_EQ(pipe2(toThread, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(fromThread, O_CLOEXEC), 0);
    const UniqueFd in(toThread[0]), out(fromThread[0]), outWrite(fromThread[1]);
    UniqueFd inWrite(toThread[1]);

    const std::vector<pid_t> before = ListThreads();
    std::atomic<pid_t> ownId{-1};
    std::thread sleeper([&] {
        ownId = CurrentThreadId();
        char byte = 0;
        [[maybe_unused]] ssize_t n = write(outWrite.get(), &byte, 1);  // started
        while (read(in.get(), &byte, 1) == 1)  // sleeps in the kernel until each byte
            n = write(outWrite.get(), &byte, 1);
    });
    char byte = 0;
    ASSERT_EQ(read(out.get(), &byte, 1), 1);
    const pid_t found = NewThreadSince(before);
    EXPECT_EQ(found, ownId);

    const ThreadUsage start = ReadThreadUsage(found);
    for (int i = 0; i < kWakeUps; ++i) {
        ASSERT_EQ(write(inWrite.get(), &byte, 1), 1);
        ASSERT_EQ(read(out.get(), &byte, 1), 1);  // it has answered, so it woke up
    }
    const ThreadUsage used = ReadThreadUsage(found) - start;
    inWrite.reset();  // its read sees the end, and it returns
    sleeper.join();

    // Whether each round trip shows as a voluntary switch (it slept in read()) or an involuntary
    // one (the woken main thread preempted it on the same CPU) depends on the scheduler; that
    // it shows at all does not, bar a rare round trip in which it never had to wait.
    EXPECT_GE(used.Switches(), kWakeUps / 2);
    EXPECT_GT(used.cpuMs, 0.0);
}

TEST(ThreadUsage, ResidentSizeGrowsByWhatIsTouched)
{
    constexpr long kTouchedKiB = 16 * 1024;
    const long before = ResidentKiB();
    ASSERT_GT(before, 0);
    std::vector<char> touched(kTouchedKiB * 1024, 1);
    const long after = ResidentKiB();
    EXPECT_GE(after - before, kTouchedKiB * 9 / 10) << "VmRSS is read in KiB";
    EXPECT_LT(after - before, kTouchedKiB * 2);
    EXPECT_EQ(touched[touched.size() / 2], 1);  // kept alive up to here
}

}  // namespace
