#include "PowerCut.h"

#include <sys/stat.h>

#include <utility>

#include "RunFixture.h"

namespace yrn::test {
namespace {

const char* const kRegistry = "registry.reg";  // the POSIX backend's registry, below the root

void Walk(const std::string& root, const std::string& rel, DiskState& state) {
    for (const std::string& name : ListDir(root + "/" + rel)) {
        const std::string path = rel.empty() ? name : rel + "/" + name;
        struct stat st;
        if (::stat((root + "/" + path).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            state.dirs.insert(path);
            Walk(root, path, state);
        } else {
            state.files[path] = ReadFile(root + "/" + path);
        }
    }
}

}  // namespace

PowerCutModel::PowerCutModel(PosixPlatform& posix, FaultPlatform& fp) : posix_(posix) {
    Walk(posix.Root(), "", durable_);
    cuts_.push_back(durable_);
    fp.AfterCall([this](const CallRecord& r) { After(r); });
}

std::string PowerCutModel::Relative(const std::string& windowsPath) const {
    std::string native = windowsPath == kRegistry ? posix_.Root() + "/" + kRegistry : posix_.NativePath(windowsPath);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    return native.substr(posix_.Root().size() + 1);
}

void PowerCutModel::Keep(const std::string& windowsPath) {
    const std::string rel = Relative(windowsPath);
    const std::string native = posix_.Root() + "/" + rel;
    durable_.files[rel] = Exists(native) ? std::optional<std::string>(ReadFile(native)) : std::nullopt;
}

void PowerCutModel::After(const CallRecord& r) {
    if (r.ok) {
        switch (r.call) {
            case Call::CreateDir:
            case Call::ForceDirectories: {
                std::string rel = Relative(r.arg);
                for (size_t i = rel.find('/'); i != std::string::npos; i = rel.find('/', i + 1))
                    durable_.dirs.insert(rel.substr(0, i));
                durable_.dirs.insert(rel);
                break;
            }
            case Call::CopyFile:
            case Call::CopyNewFile:
            case Call::SaveCopy:
            case Call::UnshareCopy:
            case Call::WriteWholeFile:
            case Call::AppendToFile: Keep(r.arg); break;
            case Call::RegWriteInteger:
            case Call::RegWriteString: Keep(kRegistry); break;
            case Call::PlaceFile:
            case Call::CopyFilePending: pendingCopies_.insert(r.arg); break;
            case Call::WriteWholeFilePending: pendingRecords_.insert(r.arg); break;
            case Call::RegWriteIntegerPending: pendingRecords_.insert(kRegistry); break;
            case Call::FlushPending:
                for (const std::string& p : std::exchange(pendingCopies_, {})) Keep(p);
                cuts_.push_back(durable_);
                for (const std::string& p : std::exchange(pendingRecords_, {})) Keep(p);
                break;
            default: break;
        }
    }
    cuts_.push_back(durable_);
}

void PowerCutModel::Lay(const DiskState& state, const std::string& root) {
    for (const std::string& dir : state.dirs) ::mkdir((root + "/" + dir).c_str(), 0777);
    for (const auto& [path, bytes] : state.files)
        if (bytes) WriteFile(root + "/" + path, *bytes);
}

}  // namespace yrn::test
