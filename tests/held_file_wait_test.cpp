// The waits for files held open by another process, on a simulated clock:
// each case is a run of files, each held for a while after its first try.
#include <gtest/gtest.h>

#include <string>

#include "core/HeldFileWait.h"

namespace yrn {
namespace {

// F: held for good.
constexpr uint64_t F = UINT64_MAX, kRefused = UINT64_MAX - 1;

TEST(HeldFileWait, WaitsWithinTheFilesAndTheRunsBounds) {
    struct Case {
        const char* name;
        // Per file; kRefused: fails without being held.
        std::vector<uint64_t> heldMs;
        // Per file: + done, - failed.
        std::string done;
        uint64_t totalMs;
    } cases[] = {
        {"free", {0}, "+", 0},
        {"refused", {kRefused}, "-", 0},
        {"released after 2900 ms", {2900}, "+", 2900},
        {"held for good fails after 5 s", {F}, "-", 5000},
        {"the run waits 30 s, then fails the rest at once", {F, F, F, F, F, F, F, 100, 0}, "--------+", 30000},
        {"the run's budget shortens the last wait", {F, F, F, F, F, 2900, F}, "-----+-", 30000},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        uint64_t now = 0;
        int betweens = 0, sleeps = 0;
        HeldFileWait wait([&] { return now; }, [&](uint32_t ms) {
            EXPECT_LE(ms, HeldFileWait::kStepMs);
            // The window repaints before each wait.
            EXPECT_EQ(++sleeps, betweens);
            now += ms;
        });
        std::string done;
        for (auto held : c.heldMs) {
            auto free = held >= kRefused ? F : now + held;
            auto attempt = [&] { return held == kRefused ? Attempt::Failed : now >= free ? Attempt::Done : Attempt::Held; };
            done += wait.Retry(attempt, [&] { ++betweens; }) ? '+' : '-';
        }
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(now, c.totalMs);
    }
}

}
}
