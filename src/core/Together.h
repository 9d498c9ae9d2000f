// Calls issued at once, so that their waits on the disk overlap: flushes
// issued together let the file system commit them in one go, where one
// after another each waits for a commit of its own.
#pragma once

#include <cstddef>
#include <functional>

namespace yrn {

// Calls each(0) ... each(count - 1) from up to 16 threads, the calling one
// among them; true when every call returned true.
bool AllTogether(size_t count, const std::function<bool(size_t)>& each);

}  // namespace yrn
