// The waits for files held open by another process, on a simulated clock:
// each case is a run of files, each held for a while after its first try.
#include <gtest/gtest.h>

#include "core/HeldFileWait.h"

namespace yrn {
namespace {

constexpr uint64_t F = UINT64_MAX, kRefused = UINT64_MAX - 1;  // F: held for good

struct HeldCase {
    const char* name;
    std::vector<uint64_t> heldMs;  // per file; kRefused: fails without being held
    std::vector<bool> done;
    uint64_t totalMs;
};
void PrintTo(const HeldCase& c, std::ostream* os) { *os << c.name; }

class HeldFileWaitTest : public ::testing::TestWithParam<HeldCase> {};

TEST_P(HeldFileWaitTest, WaitsWithinTheFilesAndTheRunsBounds) {
    const HeldCase& c = GetParam();
    uint64_t now = 0;
    int betweens = 0, sleeps = 0;
    HeldFileWait wait([&] { return now; }, [&](uint32_t ms) {
        EXPECT_LE(ms, HeldFileWait::kStepMs);
        EXPECT_EQ(++sleeps, betweens) << "the window repaints before each wait";
        now += ms;
    });
    std::vector<bool> done;
    for (const uint64_t held : c.heldMs) {
        const uint64_t free = held >= kRefused ? F : now + held;
        done.push_back(wait.Retry([&] { return held == kRefused ? Attempt::Failed : now >= free ? Attempt::Done : Attempt::Held; },
                                  [&] { ++betweens; }));
    }
    EXPECT_EQ(done, c.done);
    EXPECT_EQ(now, c.totalMs);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, HeldFileWaitTest,
    ::testing::Values(HeldCase{"free", {0}, {true}, 0}, HeldCase{"refused", {kRefused}, {false}, 0},
                      HeldCase{"released_after_2900ms", {2900}, {true}, 2900},
                      HeldCase{"held_for_good_fails_after_5s", {F}, {false}, 5000},
                      HeldCase{"run_waits_30s_then_fails_the_rest_at_once", {F, F, F, F, F, F, F, 100, 0},
                               {false, false, false, false, false, false, false, false, true}, 30000},
                      HeldCase{"run_budget_shortens_the_last_wait", {F, F, F, F, F, 2900, F},
                               {false, false, false, false, false, true, false}, 30000}),
    [](const ::testing::TestParamInfo<HeldCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace yrn
