// How long a copy waits for a file that another process holds open for a
// moment (a virus scan, a program of the suite that is still closing): a
// short wait clears most of them; a file held for good must fail, and a run
// with many such files must not stand still for minutes.
#pragma once

#include <cstdint>
#include <functional>

namespace yrn {

enum class Attempt { Done, Failed, Held };

class HeldFileWait {
public:
    static constexpr uint64_t kPerFileMs = 5000;  // one file waits at most this long
    static constexpr uint64_t kPerRunMs = 30000;  // all files of a process together
    static constexpr uint32_t kStepMs = 100;

    // nowMs: a steady clock in milliseconds; sleepMs: waits that long.
    HeldFileWait(std::function<uint64_t()> nowMs, std::function<void(uint32_t)> sleepMs)
        : nowMs_(std::move(nowMs)), sleepMs_(std::move(sleepMs)) {}

    // Repeats attempt while it reports Held, within the file's and the
    // run's time left; between() is called before each wait. True when an
    // attempt reported Done.
    bool Retry(const std::function<Attempt()>& attempt, const std::function<void()>& between);

private:
    std::function<uint64_t()> nowMs_;
    std::function<void(uint32_t)> sleepMs_;
    uint64_t spentMs_ = 0;
};

}  // namespace yrn
