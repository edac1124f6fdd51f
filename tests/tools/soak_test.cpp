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

} // namespace
} // namespace vorkel::soak
