// The soak (tools/soak) for a few seconds with a fixed seed. The faults it has found are
// replayed, step by step, by the tests of the flows they were in.
#include "soak.h"

#include <gtest/gtest.h>

namespace vorkel::soak {
namespace {

TEST(Soak, aShortRunInjectsEveryKindOfFaultAndBreaksNothing) {
    SoakOptions options;
    options.seed = 2;
    options.exchanges = 12000;
    const SoakResult result = runSoak(options);
    ASSERT_TRUE(result.ok()) << describeFailure(result);
    for (const char* kind : {"dropped reply", "corrupted checksum", "noise before reply",
                             "split reply", "late reply", "late reply while a box was open",
                             "sensor restart during a command", "bit-rate change",
                             "pull during a poll", "pull during a command",
                             "pull while a box was open", "quick replug"}) {
        EXPECT_GT(result.faults.count(kind), 0u) << kind;
    }
    EXPECT_GE(result.clicks.size(), 9u);
}

// A quick replug while the failed reopen's box was open left the program silent at exchange
// 3357 of this seed.
TEST(Soak, theSeedOfTheReplugUnderTheBoxRunsClean) {
    SoakOptions options;
    options.seed = 20261208;
    options.exchanges = 4000;
    const SoakResult result = runSoak(options);
    ASSERT_TRUE(result.ok()) << describeFailure(result);
}

} // namespace
} // namespace vorkel::soak
