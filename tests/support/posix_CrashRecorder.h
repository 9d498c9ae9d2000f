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

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace yrn::test {

// The bytes of a file whose lost write left it torn.
extern const char* const kTorn;

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
    void Start(const std::string& root, const std::set<std::string>& unflushed = {});
    void Stop();
    // Makes the calls for which fail says so fail with EIO, doing nothing.
    // It sees the function's name, the native path and how many times this
    // call was made on that path, this one included.
    using Fault = bool (*)(const std::string& call, const std::string& path, int nth);
    void FailWhen(Fault fail);

    // Every distinct state a power cut at any point of the recording may leave.
    std::vector<CrashState> States() const;
    // What the disk holds after the last call, were everything flushed.
    CrashState Now() const;
    // Whether anything written by the recording is not yet durable.
    bool Pending() const;

    static void Lay(const CrashState& state, const std::string& root);

    // The hooks of the interposed calls.
    void Created(const std::string& path, int fd);
    void MadeDir(const std::string& path);
    // rename, else a link
    void Named(const std::string& from, const std::string& to, bool rename);
    void Unlinked(const std::string& path);
    void Wrote(int fd);
    void Flushed(int fd, bool ok);
    void FlushedAll(bool ok);
    bool Recording() const { return !root_.empty(); }
    bool ShouldFail(const std::string& call, const std::string& path);
    bool Below(const std::string& path) const;

private:
    struct Inode {
        // durable null: never flushed
        std::shared_ptr<const std::string> now, durable;
        bool torn = false;
    };
    enum class Kind { Create, Mkdir, Rename, Link, Unlink };
    struct Op {
        Kind kind;
        // relative; to for Create, Mkdir, Unlink
        std::string from, to;
        int id;
        // the point from which the change is durable, or lost
        size_t durableAt = SIZE_MAX, lostAt = SIZE_MAX;
    };
    struct Point {
        size_t ops;
        std::map<int, Inode> inodes;
    };

    std::string Rel(const std::string& path) const;
    int IdOf(int fd) const;
    void AddOp(Kind kind, const std::string& from, const std::string& to, int id);
    void Settle(const std::function<bool(const Op&)>& covered, bool ok);
    void Mark();
    // flushed: as if everything was, lost writes too.
    CrashState StateAt(const Point& point, size_t index, size_t extra, int variant, bool flushed = false) const;

    std::string root_;
    CrashState initial_;
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
CrashRecorder& Recorder();

// While set, flushes outside a recording return at once: checking a state
// needs no durability.
void SkipFlushes(bool skip);

}  // namespace yrn::test
