// A power cut after any platform call, in the worst case: every write not
// yet made durable is lost, renames of such files included. Watches the
// calls of a FaultPlatform over the POSIX backend and keeps, after each
// call, what the disk durably holds: a write that is durable on return
// counts at once, a pending one at the next successful FlushPending, which
// may be cut too between its copies and names and the records after them.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "FaultPlatform.h"
#include "platform/posix/PosixPlatform.h"

namespace yrn::test {

struct DiskState {
    std::map<std::string, std::optional<std::string>> files;  // path below the root -> bytes (nullopt: gone)
    std::set<std::string> dirs;
};

class PowerCutModel {
public:
    // Takes the tree below posix's root as durable, then follows fp's calls.
    PowerCutModel(PosixPlatform& posix, FaultPlatform& fp);
    // The disk after a cut right after each call (0: before the first).
    const std::vector<DiskState>& Cuts() const { return cuts_; }
    // Lays a state down in an empty root.
    static void Lay(const DiskState& state, const std::string& root);

private:
    void After(const CallRecord& r);
    void Keep(const std::string& windowsPath);
    std::string Relative(const std::string& windowsPath) const;

    PosixPlatform& posix_;
    DiskState durable_;
    std::set<std::string> pendingCopies_, pendingRecords_;
    std::vector<DiskState> cuts_;
};

}  // namespace yrn::test
