#include "HeldFileWait.h"

#include <algorithm>

namespace yrn {

bool HeldFileWait::Retry(const std::function<Attempt()>& attempt, const std::function<void()>& between) {
    Attempt outcome = attempt();
    if (outcome != Attempt::Held) return outcome == Attempt::Done;
    // Only the time since the file was first found held counts.
    const uint64_t since = nowMs_();
    for (;;) {
        const uint64_t waited = nowMs_() - since;
        const uint64_t runLeft = spentMs_ + waited < kPerRunMs ? kPerRunMs - spentMs_ - waited : 0;
        const uint64_t left = std::min(waited < kPerFileMs ? kPerFileMs - waited : 0, runLeft);
        if (outcome != Attempt::Held || left == 0) {
            spentMs_ += waited;
            return outcome == Attempt::Done;
        }
        if (between) between();
        sleepMs_(static_cast<uint32_t>(std::min<uint64_t>(kStepMs, left)));
        outcome = attempt();
    }
}

}  // namespace yrn
