#include "Together.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace yrn {

bool AllTogether(size_t count, const std::function<bool(size_t)>& each) {
    std::vector<char> ok(count, 0);
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i; (i = next++) < count;) ok[i] = each(i);
    };
    std::vector<std::thread> helpers;
    try {
        const size_t threads = std::min<size_t>(count, 16);
        helpers.reserve(threads);  // no throw while threads run
        for (size_t i = 1; i < threads; ++i) helpers.emplace_back(work);
    } catch (const std::exception&) {
        // No thread to spare: this one does the rest.
    }
    work();
    for (std::thread& t : helpers) t.join();
    return std::all_of(ok.begin(), ok.end(), [](char c) { return c != 0; });
}

}  // namespace yrn
