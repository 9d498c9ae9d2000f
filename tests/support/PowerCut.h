// A power cut after any platform call, in the worst case: every write not
// yet made durable is lost, renames of such files included. Watches the
// calls of a FaultPlatform over the POSIX backend and keeps, after each
// call, what the disk durably holds: a write that is durable on return
// counts at once, a staged one at the next successful PlaceFile, a pending
// one at the next successful FlushPending, which may be cut too between its
// copies and names and the records after them. A placed file's new name may
// reach the disk at once: that state is a cut of its own.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FaultPlatform.h"
#include "RunFixture.h"
#include "platform/posix/PosixPlatform.h"

namespace yrn::test {

struct DiskState {
    std::map<std::string, std::optional<std::string>> files;  // path below the root -> bytes (nullopt: gone)
    std::set<std::string> dirs;
};

class PowerCutModel {
public:
    // Takes the tree below posix's root as durable, then follows fp's calls.
    PowerCutModel(PosixPlatform& posix, FaultPlatform& fp) : posix_(posix) {
        namespace fs = std::filesystem;
        for (const auto& e : fs::recursive_directory_iterator(posix.Root())) {
            const std::string rel = fs::relative(e.path(), posix.Root());
            if (e.is_directory()) durable_.dirs.insert(rel);
            else durable_.files[rel] = ReadFile(e.path());
        }
        cuts_.push_back(durable_);
        fp.AfterCall([this](const CallRecord& r) { After(r); });
    }

    // The disk after a cut right after each call (0: before the first).
    const std::vector<DiskState>& Cuts() const { return cuts_; }

    // Lays a state down in an empty root.
    static void Lay(const DiskState& state, const std::string& root) {
        for (const std::string& dir : state.dirs) ::mkdir((root + "/" + dir).c_str(), 0777);
        for (const auto& [path, bytes] : state.files)
            if (bytes) WriteFile(root + "/" + path, *bytes);
    }

private:
    static constexpr const char* kRegistry = "registry.reg";  // the POSIX backend's registry, below the root

    void After(const CallRecord& r) {
        auto is = [&r](std::initializer_list<Call> calls) {
            return r.ok && std::find(calls.begin(), calls.end(), r.call) != calls.end();
        };
        if (is({Call::CreateDir, Call::ForceDirectories})) {
            const std::string rel = Relative(r.arg);
            for (size_t i = rel.find('/'); i != std::string::npos; i = rel.find('/', i + 1))
                durable_.dirs.insert(rel.substr(0, i));
            durable_.dirs.insert(rel);
        }
        if (is({Call::CopyFile, Call::CopyNewFile, Call::SaveCopy, Call::UnshareCopy, Call::WriteWholeFile, Call::AppendToFile}))
            Keep(r.arg, durable_);
        if (is({Call::RegWriteInteger, Call::RegWriteString})) Keep(kRegistry, durable_);
        if (is({Call::SaveCopyStaged, Call::AppendToFileStaged})) staged_.insert(r.arg);
        if (is({Call::PlaceFile})) {
            for (const std::string& p : std::exchange(staged_, {})) Keep(p, durable_);
            DiskState early = durable_;
            Keep(r.arg, early);
            cuts_.push_back(early);
        }
        if (is({Call::PlaceFile, Call::CopyFilePending})) pendingCopies_.insert(r.arg);
        if (is({Call::WriteWholeFilePending})) pendingRecords_.insert(r.arg);
        if (is({Call::RegWriteIntegerPending})) pendingRecords_.insert(kRegistry);
        if (is({Call::FlushPending})) {
            for (const std::string& p : std::exchange(pendingCopies_, {})) Keep(p, durable_);
            for (const std::string& p : std::exchange(staged_, {})) Keep(p, durable_);
            cuts_.push_back(durable_);
            for (const std::string& p : std::exchange(pendingRecords_, {})) Keep(p, durable_);
        }
        cuts_.push_back(durable_);
    }

    void Keep(const std::string& windowsPath, DiskState& state) {
        const std::string rel = Relative(windowsPath), native = posix_.Root() + "/" + rel;
        state.files[rel] = Exists(native) ? std::optional<std::string>(ReadFile(native)) : std::nullopt;
    }

    std::string Relative(const std::string& windowsPath) const {
        std::string native = windowsPath == kRegistry ? posix_.Root() + "/" + kRegistry : posix_.NativePath(windowsPath);
        while (native.size() > 1 && native.back() == '/') native.pop_back();
        return native.substr(posix_.Root().size() + 1);
    }

    PosixPlatform& posix_;
    DiskState durable_;
    std::set<std::string> staged_, pendingCopies_, pendingRecords_;
    std::vector<DiskState> cuts_;
};

}  // namespace yrn::test
