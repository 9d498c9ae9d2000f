#include "DurableFiles.h"

#include <iterator>
#include <utility>

namespace yrn {

Platform::Platform() = default;
Platform::~Platform() = default;

DurableFiles& Platform::Files() {
    if (!files_) files_ = std::make_unique<DurableFiles>(*this);
    return *files_;
}

std::string DirOf(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string(".\\") : path.substr(0, cut + 1);
}

bool DurableFiles::CopyFile(const std::string& src, const std::string& dst) { return Copy(src, dst, true, true); }

bool DurableFiles::CopyNewFile(const std::string& src, const std::string& dst) {
    return Copy(src, dst, false, true);
}

// A group commit of one file (and of any prepared before it).
bool DurableFiles::PlaceFile(const std::string& src, const std::string& dst) {
    PrepareFile(src, dst);
    return CommitPrepared().back();
}

bool DurableFiles::CopyFilePending(const std::string& src, const std::string& dst) { return Copy(src, dst, true, false); }

bool DurableFiles::Commit(const std::string& temp, const std::string& dst, bool replace) {
    if (platform_.Rename(temp, dst, replace)) return true;
    platform_.Remove(temp);
    return false;
}

bool DurableFiles::Copy(const std::string& src, const std::string& dst, bool replace, bool durable) {
    std::string temp;
    if (!platform_.CopyToTemp(src, dst, temp)) return false;
    if (!durable) {
        pending_.insert({DirOf(dst), dst});
    } else {
        // The staged writes go with these bytes, and go whatever the
        // outcome: one gone since must not fail every later copy, and a
        // flush that failed cannot be trusted when tried again.
        std::vector<std::string> flush(staged_.begin(), staged_.end());
        staged_.clear();
        flush.push_back(temp);
        if (!platform_.Flush(flush)) {
            platform_.Remove(temp);
            return false;
        }
    }
    if (!Commit(temp, dst, replace)) return false;
    return !durable || platform_.Flush({DirOf(dst)});
}

bool DurableFiles::PrepareFile(const std::string& src, const std::string& dst) {
    std::string temp;
    const bool ok = platform_.CopyToTemp(src, dst, temp);
    prepared_.push_back({ok ? temp : std::string(), dst});
    if (!ok) return false;
    preparedBytes_ += platform_.FileSize(temp);
    pending_.insert(DirOf(dst));
    return true;
}

std::vector<bool> DurableFiles::CommitPrepared() {
    std::vector<Prepared> batch = std::exchange(prepared_, {});
    preparedBytes_ = 0;
    std::vector<bool> placed(batch.size(), false);
    std::vector<std::string> flush(staged_.begin(), staged_.end());
    staged_.clear();
    for (const Prepared& p : batch)
        if (!p.temp.empty()) flush.push_back(p.temp);
    // Many files are flushed cheaper by their volumes in one call than each
    // on its own.
    const bool many = batch.size() > 1;
    const bool durable = flush.empty() || (many ? platform_.FlushVolumes(flush) : platform_.Flush(flush));
    if (many && !durable) VolumesFlushFailed();
    std::set<std::string> cleared;
    for (size_t i = 0; i < batch.size(); ++i) {
        if (batch[i].temp.empty()) continue;
        if (durable) placed[i] = Commit(batch[i].temp, batch[i].dst, true);
        else if (platform_.Remove(batch[i].temp)) cleared.insert(DirOf(batch[i].dst));
    }
    // No temp of a failed batch comes back after a power cut.
    if (!cleared.empty()) platform_.Flush(std::vector<std::string>(cleared.begin(), cleared.end()));
    return placed;
}

void DurableFiles::DropPrepared() {
    for (const Prepared& p : std::exchange(prepared_, {}))
        if (!p.temp.empty()) platform_.Remove(p.temp);
    preparedBytes_ = 0;
}

bool DurableFiles::SaveCopy(const std::string& src, const std::string& dst) { return Save(src, dst, false); }

bool DurableFiles::SaveCopyStaged(const std::string& src, const std::string& dst) { return Save(src, dst, true); }

bool DurableFiles::Save(const std::string& src, const std::string& dst, bool staged) {
    // The link's bytes (a program may have written them just before) and
    // its name are made durable, at once or with the next durable copy.
    if (!platform_.LinkSole(src, dst)) return Copy(src, dst, false, true);
    if (staged) {
        staged_.insert({dst, DirOf(dst)});
        pending_.insert(DirOf(dst));
        return true;
    }
    if (platform_.Flush({dst, DirOf(dst)})) return true;
    platform_.Remove(dst);
    return false;
}

bool DurableFiles::UnshareCopy(const std::string& path) {
    const int links = platform_.LinkCount(path);
    return links == 1 || (links > 1 && CopyFile(path, path));
}

bool DurableFiles::RemoveFile(const std::string& path) {
    return platform_.Remove(path) && platform_.Flush({DirOf(path)});
}

bool DurableFiles::WriteWholeFile(const std::string& path, const std::string& bytes) {
    pendingWholeFiles_.erase(path);
    return WriteNow(path, bytes);
}

bool DurableFiles::WriteNow(const std::string& path, const std::string& bytes) {
    std::string temp;
    if (!platform_.WriteTemp(path, bytes, temp)) return false;
    if (!platform_.Flush({temp})) {
        platform_.Remove(temp);
        return false;
    }
    return Commit(temp, path, true) && platform_.Flush({DirOf(path)});
}

bool DurableFiles::AppendToFile(const std::string& path, const std::string& bytes) {
    return platform_.Append(path, bytes) && platform_.Flush({path});
}

bool DurableFiles::AppendToFileStaged(const std::string& path, const std::string& bytes) {
    if (!platform_.Append(path, bytes)) return false;
    staged_.insert(path);
    pending_.insert(DirOf(path));
    return true;
}

// Held until FlushPending: a record rewritten once per installed file then
// costs no write at all until the end.
bool DurableFiles::WriteWholeFilePending(const std::string& path, const std::string& bytes) {
    if (flushFailed_ || !platform_.DirectoryExists(DirOf(path)) || platform_.DirectoryExists(path)) return false;
    pendingWholeFiles_[path] = bytes;
    return true;
}

bool DurableFiles::FlushPending() {
    const bool flushed = pending_.empty() || platform_.FlushVolumes({pending_.begin(), pending_.end()});
    pending_.clear();
    staged_.clear();  // flushed with their volumes
    // After a failed flush, files placed since still get their names on
    // disk, but no record goes.
    if (flushFailed_) return false;
    if (!flushed) {
        VolumesFlushFailed();
        return false;
    }
    bool ok = true;
    for (auto it = pendingWholeFiles_.begin(); it != pendingWholeFiles_.end();) {
        const bool done = WriteNow(it->first, it->second);
        ok = ok && done;
        it = done ? pendingWholeFiles_.erase(it) : std::next(it);
    }
    for (PendingWriter* w : std::set<PendingWriter*>(writers_)) ok = w->WritePending() && ok;
    return ok;
}

// A volume's flush that failed may have lost any write that waited on it,
// and the next one says nothing of that (Linux reports a lost write once):
// the records that would list such writes are dropped, and nothing more is
// written pending.
void DurableFiles::VolumesFlushFailed() {
    flushFailed_ = true;
    pending_.clear();
    staged_.clear();
    pendingWholeFiles_.clear();
    for (PendingWriter* w : std::exchange(writers_, {})) w->DropPending();
}

bool DurableFiles::FileExists(const std::string& path) {
    return pendingWholeFiles_.count(path) || platform_.FileExists(path);
}

bool DurableFiles::ReadWholeFile(const std::string& path, std::string& bytes) {
    if (auto it = pendingWholeFiles_.find(path); it != pendingWholeFiles_.end()) {
        bytes = it->second;
        return true;
    }
    return platform_.ReadWholeFile(path, bytes);
}

}  // namespace yrn
