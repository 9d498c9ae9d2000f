// The order in which an update reaches the disk through the POSIX backend:
// an installed file's name goes to its new file only after the saved copy
// (a link into the backup set) and the catalogue were flushed since the
// link was made. The power-cut model trusts this of the backend; here the
// backend's own calls are watched.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "support/Package.h"

namespace {

std::mutex traceLock;
std::vector<std::string>* trace = nullptr;  // "fsync <path>", "link <to>", "rename <to>"

void Note(const std::string& event) {
    std::lock_guard<std::mutex> hold(traceLock);
    if (trace) trace->push_back(event);
}

}  // namespace

// Every call of these in this program passes here on its way to the kernel.
extern "C" int fsync(int fd) {
    std::error_code unnamed;
    Note("fsync " + std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), unnamed).string());
    return static_cast<int>(syscall(SYS_fsync, fd));
}
extern "C" int link(const char* from, const char* to) {
    Note(std::string("link ") + to);
    return static_cast<int>(syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0));
}
extern "C" int rename(const char* from, const char* to) {
    Note(std::string("rename ") + to);
    return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0));
}

namespace yrn::test {

TEST_F(RunTest, AnInstalledFileIsReplacedOnlyAfterItsSavedCopyAndEntryAreFlushed) {
    WritePackage(root);
    std::vector<std::string> events;
    trace = &events;
    RunUpdate();
    trace = nullptr;
    const std::string set = root.Native("c/TOVR/UPDATE/OldFiles/" + BackupSets(root).at(0));
    int checked = 0;
    for (const PackageFile& f : PackageFiles()) {
        if (f.oldBytes.empty()) continue;
        const auto saved = std::find(events.begin(), events.end(), "link " + set + "/" + f.name);
        const auto renamed = std::find(saved, events.end(), "rename " + root.Native(f.native));
        ASSERT_NE(renamed, events.end()) << f.name << " saved by a link, then replaced";
        // The catalogue's first entry comes by a whole new file: flushed, then renamed into place.
        const bool dirFlushed = std::find(saved, renamed, "fsync " + set) != renamed;
        const bool entryFlushed = std::find(saved, renamed, "fsync " + set + "/BackUp.ini") != renamed ||
                                  std::find(saved, renamed, "rename " + set + "/BackUp.ini") != renamed;
        EXPECT_TRUE(dirFlushed && entryFlushed) << f.name;
        ++checked;
    }
    EXPECT_EQ(checked, 3);
}

}  // namespace yrn::test
