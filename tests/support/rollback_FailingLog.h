// Test support: the POSIX backend with a run log whose write number
// failAtWrite (0-based, counted over the whole platform's life) fails, and
// every later write too, as a full disk would.
#pragma once

#include "FaultPlatform.h"
#include "platform/posix/PosixPlatform.h"

namespace yrn::test {

struct PosixBase {
    explicit PosixBase(const std::string& root) : posix(root) {}
    PosixPlatform posix;
};

class FailingLogPlatform : private PosixBase, public FaultPlatform {
public:
    FailingLogPlatform(const std::string& root, int failAtWrite) : PosixBase(root), FaultPlatform(posix) {
        FailWhen([this, failAtWrite](const CallRecord& r) { return r.call == Call::LogWrite && writes++ >= failAtWrite; });
    }
    int writes = 0;
};

}  // namespace yrn::test
