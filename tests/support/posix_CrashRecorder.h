// What a power cut may leave of a run, worked out from the system calls the
// POSIX backend really makes. The test program interposes the calls that
// change a file system (open with O_CREAT, write, pwrite, copy_file_range,
// fsync, fdatasync, syncfs, rename, renameat2, link, unlink, mkdir); while a
// recording runs, those on files below its root are noted, and after each
// one the recorder keeps what the disk may then hold.
//
// The disk model, ext4 with data=ordered, taken at its weakest:
// - A file's bytes are durable once the file was flushed (fsync, fdatasync)
//   or its file system was (syncfs) after they were written. Bytes not yet
//   durable may be on disk as they were last flushed (nothing, for a file
//   never flushed), as they are now, or cut short part way.
// - A change of a directory entry (a file created, a directory made, a
//   rename, a link, an unlink) is durable once its directory was flushed
//   after it, or its file system. Changes not yet durable reach the disk in
//   the order they were made, any number of them, while later ones that are
//   durable stay: a durable entry in a directory whose own entry did not
//   reach the disk is gone with it. A rename is never half done.
// - A flush that fails loses what it was to make durable: those entries
//   never reach the disk, those bytes are torn, whatever is flushed later.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "RunFixture.h"

namespace yrn::test {

struct CrashState {
    // relative to the root
    std::set<std::string> dirs;
    struct File {
        // names of one file share it
        int id;
        std::string bytes;
    };
    std::map<std::string, File> files;
};

class CrashRecorder {
public:
    // Takes the tree below root as durable, but for the files named in
    // unflushed (relative paths), whose bytes a program wrote just before,
    // and notes the calls from now on. The log file below root/cwd is not noted.
    void Start(std::string root, const std::set<std::string>& unflushed = {}) {
        *this = CrashRecorder();
        root_ = root;
        for (auto& e : fs::recursive_directory_iterator(root)) {
            auto rel = Rel(e.path());
            struct stat st;
            if (e.is_directory()) initialDirs_.insert(rel);
            if (e.is_directory() || !Below(e.path()) || ::stat(e.path().c_str(), &st) != 0) continue;
            auto [it, added] = ids_.emplace(st.st_ino, nextId_);
            auto now = std::make_shared<const std::string>(ReadFile(e.path()));
            if (added) inodes_[nextId_++] = {now, unflushed.count(rel) ? std::make_shared<const std::string>(kTorn) : now};
            initialNames_[rel] = names_[rel] = it->second;
        }
        Mark();
    }
    void Stop() {
        root_.clear();
        fail_ = nullptr;
    }
    // Makes the calls for which fail says so fail with EIO, doing nothing.
    // It sees the function's name, the native path and how many times this
    // call was made on that path, this one included.
    using Fault = bool (*)(const std::string& call, const std::string& path, int nth);
    void FailWhen(Fault fail) { fail_ = fail; }

    // Every distinct state a power cut at any point of the recording may leave.
    std::vector<CrashState> States() const {
        std::vector<CrashState> states;
        std::unordered_set<size_t> seen;
        std::hash<std::string> hash;
        for (size_t i = 0; i < points_.size(); ++i)
            for (size_t k = 0; k <= points_[i].ops; ++k)
                for (int variant = 0; variant < 3; ++variant) {
                    // the change before k settled by then: the same state as one change fewer
                    if (k > 0 && ops_[k - 1].SettledAt() <= i) break;
                    auto s = StateAt(i, k, variant);
                    std::string key;
                    for (auto& d : s.dirs) key += d + '\n';
                    // the hidden files of unfinished copies cannot change what a check finds
                    for (auto& [name, file] : s.files)
                        if (name.find("/.~yrn") == std::string::npos) key += name + '\t' + std::to_string(file.id) + '\t' + std::to_string(hash(file.bytes)) + '\n';
                    if (seen.insert(hash(key)).second) states.push_back(std::move(s));
                }
        return states;
    }
    // What the disk holds after the last call, were everything flushed.
    CrashState Now() const {
        auto s = StateAt(points_.size() - 1, 0, 1, true);
        for (const Op& op : ops_)
            if (op.kind == Mkdir) s.dirs.insert(op.to);
        for (auto& [name, file] : s.files) file.bytes = *inodes_.at(file.id).now;
        return s;
    }
    // Whether anything written by the recording is not yet durable.
    bool Pending() const {
        for (const Op& op : ops_)
            if (op.SettledAt() == SIZE_MAX) return true;
        for (auto& [name, id] : names_) {
            const Inode& inode = inodes_.at(id);
            if (!inode.torn && (!inode.durable || *inode.durable != *inode.now)) return true;
        }
        return false;
    }

    // Lays state down below root, the names of one file as links of it.
    static void Lay(const CrashState& state, std::string root) {
        for (auto& dir : state.dirs) ::mkdir((root + "/" + dir).c_str(), 0777);
        std::map<int, std::string> first;
        for (auto& [name, file] : state.files) {
            auto path = root + "/" + name;
            if (auto [it, added] = first.emplace(file.id, path); added) WriteFile(path, file.bytes);
            else ::link(it->second.c_str(), path.c_str());
        }
    }

    // The hooks of the interposed calls.
    bool Recording() const { return !root_.empty(); }
    bool Below(std::string path) const {
        return Recording() && path.starts_with(root_ + "/") && path != root_ + "/cwd/YRNUpdate.log";
    }
    bool ShouldFail(std::string call, std::string path) {
        std::lock_guard hold(lock_);
        return fail_ && Below(path) && fail_(call, path, ++calls_[call + " " + path]);
    }
    enum Kind { Create, Mkdir, Rename, Link, Unlink };
    // A change of a directory entry that was made: path created (open as fd),
    // made a directory or unlinked, or from's file named path too (a link) or instead.
    void Note(Kind kind, std::string path, std::string from, int fd) {
        std::lock_guard hold(lock_);
        struct stat st;
        if (!Below(path) || (kind == Create && ::fstat(fd, &st) != 0)) return;
        int id = -1;
        if (kind == Create) {
            id = ids_[st.st_ino] = nextId_++;
            inodes_[id].now = std::make_shared<std::string>();
        } else if (kind != Mkdir) {
            auto named = names_.find(Rel(kind == Unlink ? path : from));
            if (named == names_.end()) return;
            id = named->second;
            if (kind != Link) names_.erase(named);
        }
        if (kind != Mkdir && kind != Unlink) names_[Rel(path)] = id;
        ops_.push_back({kind, Rel(from), Rel(path), id});
        Mark();
    }
    // After a write of n bytes to fd; returns n.
    long Wrote(int fd, long n) {
        std::lock_guard hold(lock_);
        struct stat st;
        if (n > 0 && Recording() && ::fstat(fd, &st) == 0 && ids_.count(st.st_ino)) {
            inodes_[ids_.at(st.st_ino)].now = std::make_shared<std::string>(ReadFile("/proc/self/fd/" + std::to_string(fd)));
            Mark();
        }
        return n;
    }
    // A flush by call of the file or directory fd, or with all of its whole file
    // system; whether it did not fail.
    bool Flushed(int fd, std::string call, bool all) {
        std::lock_guard hold(lock_);
        std::error_code ec;
        const std::string path = fs::read_symlink("/proc/self/fd/" + std::to_string(fd), ec);
        bool ok = !ShouldFail(call, path);
        struct stat st;
        if (!all && ((!Below(path) && path != root_) || ::fstat(fd, &st) != 0)) return ok;
        bool dir = !all && S_ISDIR(st.st_mode);
        int file = !all && !dir && ids_.count(st.st_ino) ? ids_.at(st.st_ino) : -1;
        for (Op& op : ops_)
            if (op.SettledAt() == SIZE_MAX && (all || (dir && Parent(op.to) == Rel(path)))) (ok ? op.durableAt : op.lostAt) = points_.size();
        for (auto& [id, inode] : inodes_) {
            if (!all && id != file) continue;
            if (ok) inode.durable = inode.now;
            inode.torn |= !ok && inode.durable != inode.now;
        }
        Mark();
        return ok;
    }

private:
    struct Inode {
        // durable null: never flushed
        std::shared_ptr<const std::string> now, durable;
        bool torn = false;
    };
    struct Op {
        Kind kind;
        // relative; to for Create, Mkdir, Unlink
        std::string from, to;
        int id;
        // the point from which the change is durable, or lost
        size_t durableAt = SIZE_MAX, lostAt = SIZE_MAX;
        size_t SettledAt() const { return std::min(durableAt, lostAt); }
    };
    struct Point {
        size_t ops;
        std::map<int, Inode> inodes;
    };

    static inline const std::string kTorn = "<torn: a write that never reached the disk>";
    // The hooks may be called from several threads of a run at once; the rest
    // only before and after a run.
    static inline std::recursive_mutex lock_;

    static std::string Parent(std::string rel) {
        size_t slash = rel.rfind('/');
        return slash == std::string::npos ? "" : rel.substr(0, slash);
    }
    // the root itself: ""
    std::string Rel(std::string path) const { return path.substr(std::min(path.size(), root_.size() + 1)); }
    void Mark() { points_.push_back({ops_.size(), inodes_}); }

    // variant 0: bytes not yet durable are lost; 1: they all reached the disk; 2: cut half way.
    // flushed: as if everything was, lost writes too.
    CrashState StateAt(size_t index, size_t extra, int variant, bool flushed = false) const {
        const Point& point = points_[index];
        CrashState s{initialDirs_, {}};
        auto names = initialNames_;
        auto hasParent = [&](std::string rel) { return Parent(rel).empty() || s.dirs.count(Parent(rel)); };
        for (size_t j = 0; j < point.ops; ++j) {
            const Op& op = ops_[j];
            if (!flushed && (op.lostAt <= index || (op.durableAt > index && j >= extra))) continue;
            if (op.kind == Unlink) names.erase(op.to);
            // with no directory to hold it, the change is gone
            else if (!hasParent(op.to)) continue;
            else if (op.kind == Mkdir) s.dirs.insert(op.to);
            else if (op.kind == Create) names[op.to] = op.id;
            else if (names.count(op.from)) {
                names[op.to] = names[op.from];
                if (op.kind == Rename) names.erase(op.from);
            }
        }
        for (auto it = s.dirs.begin(); it != s.dirs.end();) it = hasParent(*it) ? std::next(it) : s.dirs.erase(it);
        for (auto& [name, id] : names) {
            if (!hasParent(name)) continue;
            auto& inode = point.inodes.at(id);
            auto& now = *inode.now;
            const std::string durable = inode.durable ? *inode.durable : "";
            // bytes that were durable stay as they are in every variant
            std::string bytes = variant == 1 ? now : durable;
            size_t same = std::mismatch(now.begin(), now.end(), durable.begin(), durable.end()).first - now.begin();
            if (variant == 2 && same < now.size()) bytes = now.substr(0, (same + now.size() + 1) / 2);
            s.files[name] = {id, inode.torn ? kTorn : bytes};
        }
        return s;
    }

    std::string root_;
    std::set<std::string> initialDirs_;
    std::map<std::string, int> initialNames_;
    std::map<ino_t, int> ids_;
    // the names below the root now
    std::map<std::string, int> names_;
    std::map<int, Inode> inodes_;
    std::vector<Op> ops_;
    std::vector<Point> points_;
    Fault fail_ = nullptr;
    // call and path -> times made
    std::map<std::string, int> calls_;
    int nextId_ = 0;
};

// The one recorder the interposed calls report to.
inline CrashRecorder& Recorder() {
    static CrashRecorder recorder;
    return recorder;
}

// While set, flushes outside a recording return at once: checking a state
// needs no durability.
inline bool skipFlushes = false;
inline void SkipFlushes(bool skip) { skipFlushes = skip; }

}
