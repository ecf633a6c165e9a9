#include "tests/support/held_resources.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/thread_usage.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kResidentSizeTells = false;
#else
constexpr bool kResidentSizeTells = true;
#endif

}  // namespace

void ExpectNothingLeftBehindByRepeating(int times, const std::function<void()>& cycle)
{
    cycle();
    const int descriptors = OpenDescriptorCount();
    const int threads = ThreadCount();
    const long resident = ResidentKiB();
    for (int round = 1; round <= times && !::testing::Test::HasFatalFailure(); ++round) {
        SCOPED_TRACE("cycle " + std::to_string(round));
        cycle();
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ThreadCount(), threads);
    if (kResidentSizeTells) {
        EXPECT_LT(ResidentKiB() - resident, kMemoryGrowthTargetKiB)
            << "KiB more resident after " << times << " cycles";
    }
}
