// The rescan itself: which configuration-manager results count as done.
#include <gtest/gtest.h>

#include "Rescan.h"
#include "SetupTestSupport.h"

namespace setup::testing {
namespace {

struct RescanCase {
    const char* name;
    CONFIGRET locate;
    CONFIGRET reenumerate;
    bool rescanned;
    std::vector<std::string> events;
};

void PrintTo(const RescanCase& c, std::ostream* os) { *os << c.name; }

class RescanResults : public ::testing::TestWithParam<RescanCase> {};

TEST_P(RescanResults, StrictOnlyOnSuccessOfBoth) {
    const RescanCase& c = GetParam();
    FakeSystem fake;
    fake.locateResult = c.locate;
    fake.reenumerateResult = c.reenumerate;
    fake.rootNode = 0x42;
    Context context(fake);
    EXPECT_EQ(RescanHardware(context), c.rescanned);
    EXPECT_EQ(fake.events, c.events);
}

INSTANTIATE_TEST_SUITE_P(
    Results, RescanResults,
    ::testing::Values(RescanCase{"Done", CR_SUCCESS, CR_SUCCESS, true, {"locate", "reenumerate"}},
                      RescanCase{"RootNotFound", 19, CR_SUCCESS, false, {"locate"}},
                      RescanCase{"ReenumerationFails", CR_SUCCESS, 19, false, {"locate", "reenumerate"}},
                      RescanCase{"AnyOtherResultFails", CR_SUCCESS, 1, false, {"locate", "reenumerate"}}),
    [](const ::testing::TestParamInfo<RescanCase>& info) { return std::string(info.param.name); });

TEST(RescanStep, TolerantFormAlwaysPausesFiveSeconds) {
    for (CONFIGRET locate : {CR_SUCCESS, CONFIGRET{19}}) {
        FakeSystem fake;
        fake.locateResult = locate;
        fake.reenumerateResult = 19;
        Context context(fake);
        RunTolerantRescan(context);
        EXPECT_EQ(fake.sleeps, (std::vector<DWORD>{1000, 4000}));
        EXPECT_EQ(fake.console, "");
    }
}

TEST(RescanStep, StrictFormFailureSkipsTheSecondPause) {
    FakeSystem fake;
    fake.reenumerateResult = 19;
    Context context(fake);
    try {
        RunStrictRescan(context);
        FAIL() << "the run goes on after a failed rescan";
    } catch (const RunEnded& ended) {
        EXPECT_EQ(ended.exitCode, 4);
    }
    EXPECT_EQ(fake.sleeps, std::vector<DWORD>{1000});
    EXPECT_EQ(fake.console, "Failed scan for hardware changes\n");
}

}  // namespace
}  // namespace setup::testing
