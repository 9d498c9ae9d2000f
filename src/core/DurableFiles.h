// When each write of a run reaches the disk, and in what order: the one
// place that decides it, over the few steps a platform offers (write a temp,
// flush a set of paths together, rename, link). Every file takes its name
// from a temp, so a name always holds old bytes or complete new ones.
//
// Three speeds:
// - durable: on disk when the call returns;
// - staged: on disk with the next copy whose bytes must be, issued in the
//   same flush (a saved copy and its catalogue entry go with the new file
//   that replaces the installed one, before it takes the name);
// - pending: on disk by FlushPending at the end of the run, the copies and
//   names first, then the records (whole files, registry values) that list
//   them. A failed flush drops what waits and refuses every later pending
//   write: a second flush proves nothing (Linux reports a lost write once).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform.h"

namespace yrn {

class DurableFiles {
public:
    explicit DurableFiles(Platform& platform) : platform_(platform) {}

    // Copies src over dst, durably.
    bool CopyFile(const std::string& src, const std::string& dst);
    // As CopyFile, but only onto a name that is free: fails, leaving dst as
    // it is, when dst exists. Used where the caller believes dst is missing,
    // so that a wrong belief can never overwrite a file nobody saved.
    bool CopyNewFile(const std::string& src, const std::string& dst);
    // Saves the file src under the free name dst, durably, without copying
    // a byte where the platform can link it: src then keeps its old bytes
    // only while it is replaced by a new file taking its name (as every
    // copy here does), never written in place. Else as CopyNewFile.
    bool SaveCopy(const std::string& src, const std::string& dst);
    // Gives the file at path bytes of its own when it shares them with
    // another name: a copy of it, durable, takes the name. False when that
    // fails; path is then as it was.
    bool UnshareCopy(const std::string& path);
    // Removes the file at path, durably.
    bool RemoveFile(const std::string& path);
    // Replaces path with bytes, durably.
    bool WriteWholeFile(const std::string& path, const std::string& bytes);
    // Appends bytes to an existing file, durably.
    bool AppendToFile(const std::string& path, const std::string& bytes);

    // As SaveCopy and AppendToFile, but staged.
    bool SaveCopyStaged(const std::string& src, const std::string& dst);
    bool AppendToFileStaged(const std::string& path, const std::string& bytes);

    // As CopyFile, but its new bytes are durable before it takes the name,
    // the name itself pending: after a power cut dst holds its old bytes or
    // the complete new ones, never a mix.
    bool PlaceFile(const std::string& src, const std::string& dst);
    // As CopyFile, but pending: a power cut before FlushPending may leave
    // dst missing or torn.
    bool CopyFilePending(const std::string& src, const std::string& dst);
    // As WriteWholeFile, but pending: held here, written by FlushPending; a
    // power cut before it leaves the file as it was.
    bool WriteWholeFilePending(const std::string& path, const std::string& bytes);
    // Group commit: several new files prepared, then committed together.
    // Each prepared file's new bytes wait in a temp; CommitPrepared flushes
    // them with the staged writes in one batch, then gives each its name in
    // the order prepared (the name itself pending, as PlaceFile's). A file
    // not committed is as PlaceFile leaves one that failed.
    //
    // Prepares the copy of src that is to replace dst; false when its new
    // bytes cannot be had (it then fails at the commit).
    bool PrepareFile(const std::string& src, const std::string& dst);
    size_t PreparedFiles() const { return prepared_.size(); }
    uint64_t PreparedBytes() const { return preparedBytes_; }
    // Whether each prepared file, in order, took its name.
    std::vector<bool> CommitPrepared();
    // Forgets the prepared files, their temps removed.
    void DropPrepared();

    // A holder of records that wait for FlushPending (a registry key).
    class PendingWriter {
    public:
        virtual bool WritePending() = 0;
        virtual void DropPending() = 0;

    protected:
        ~PendingWriter() = default;
    };
    void AddPendingWriter(PendingWriter* writer) { writers_.insert(writer); }
    void DropPendingWriter(PendingWriter* writer) { writers_.erase(writer); }
    bool HasPendingWriter(PendingWriter* writer) const { return writers_.count(writer) > 0; }
    // Makes every pending write durable: first the copies and names, then
    // the whole files and the writers' records.
    bool FlushPending();
    bool FlushFailed() const { return flushFailed_; }

    // The file system as the run sees it, whole files held here included.
    bool FileExists(const std::string& path);
    bool ReadWholeFile(const std::string& path, std::string& bytes);

private:
    // durable: on disk on return, else pending.
    bool Copy(const std::string& src, const std::string& dst, bool replace, bool durable);
    bool Save(const std::string& src, const std::string& dst, bool staged);
    bool WriteNow(const std::string& path, const std::string& bytes);
    void VolumesFlushFailed();
    // Gives temp the name dst; temp is gone either way.
    bool Commit(const std::string& temp, const std::string& dst, bool replace);

    Platform& platform_;
    // Files and directories flushed with the next copy whose bytes must be durable.
    std::set<std::string> staged_;
    // Files and directories whose writes wait for FlushPending.
    std::set<std::string> pending_;
    std::map<std::string, std::string> pendingWholeFiles_;
    std::set<PendingWriter*> writers_;
    bool flushFailed_ = false;
    struct Prepared {
        std::string temp, dst;  // temp empty: the copy failed
    };
    std::vector<Prepared> prepared_;
    uint64_t preparedBytes_ = 0;
};

// The directory of path with its trailing separator ("C:\a\b" -> "C:\a\"); ".\" for a bare name.
std::string DirOf(const std::string& path);

}  // namespace yrn
