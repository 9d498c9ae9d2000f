#include "posix_CrashRecorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <unordered_set>

namespace yrn::test {
namespace {

std::recursive_mutex lock;
bool skipFlushes = false;

std::string FdPath(int fd) {
    char buf[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string ReadFd(int fd) {
    const int in = static_cast<int>(::syscall(SYS_openat, AT_FDCWD, ("/proc/self/fd/" + std::to_string(fd)).c_str(),
                                              O_RDONLY | O_CLOEXEC, 0));
    std::string bytes;
    char buf[65536];
    for (ssize_t n; in >= 0 && (n = ::read(in, buf, sizeof buf)) > 0;) bytes.append(buf, static_cast<size_t>(n));
    if (in >= 0) ::close(in);
    return bytes;
}

std::string Parent(const std::string& rel) {
    const size_t slash = rel.rfind('/');
    return slash == std::string::npos ? std::string() : rel.substr(0, slash);
}

bool HasDir(const CrashState& s, const std::string& dir) { return dir.empty() || s.dirs.count(dir) > 0; }

// Whether a file can change what a check of a state finds: the hidden files
// of unfinished copies cannot.
bool Matters(const std::string& rel) { return rel.find("/.~yrn") == std::string::npos; }

int Fail() {
    errno = EIO;
    return -1;
}

}  // namespace

const char* const kTorn = "<torn: a write that never reached the disk>";

CrashRecorder& Recorder() {
    static CrashRecorder recorder;
    return recorder;
}

void SkipFlushes(bool skip) { skipFlushes = skip; }

void CrashRecorder::Start(const std::string& root, const std::set<std::string>& unflushed) {
    namespace fs = std::filesystem;
    std::lock_guard<std::recursive_mutex> hold(lock);
    *this = CrashRecorder();
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root);
        if (e.is_directory()) {
            initial_.dirs.insert(rel);
            continue;
        }
        if (rel == "cwd/YRNUpdate.log") continue;
        struct stat st;
        ::stat(e.path().c_str(), &st);
        auto [it, added] = ids_.emplace(st.st_ino, nextId_);
        if (added) {
            std::ifstream in(e.path(), std::ios::binary);
            Inode& inode = inodes_[nextId_++];
            inode.now = std::make_shared<std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            inode.durable = unflushed.count(rel) ? std::make_shared<std::string>(kTorn) : inode.now;
        }
        initial_.files[rel] = {it->second, {}};
        names_[rel] = it->second;
    }
    root_ = root;
    Mark();
}

void CrashRecorder::Stop() {
    std::lock_guard<std::recursive_mutex> hold(lock);
    root_.clear();
    fail_ = nullptr;
}

void CrashRecorder::FailWhen(Fault fail) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    fail_ = fail;
}

bool CrashRecorder::ShouldFail(const std::string& call, const std::string& path) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return Recording() && fail_ && Below(path) && fail_(call, path, ++calls_[call + " " + path]);
}

bool CrashRecorder::Below(const std::string& path) const {
    return Recording() && path.rfind(root_ + "/", 0) == 0 && path != root_ + "/cwd/YRNUpdate.log";
}

std::string CrashRecorder::Rel(const std::string& path) const { return path.substr(root_.size() + 1); }

int CrashRecorder::IdOf(int fd) const {
    struct stat st;
    if (::fstat(fd, &st) != 0) return -1;
    auto it = ids_.find(st.st_ino);
    return it == ids_.end() ? -1 : it->second;
}

void CrashRecorder::AddOp(Kind kind, const std::string& from, const std::string& to, int id) {
    ops_.push_back({kind, from.empty() ? from : Rel(from), Rel(to), id});
    Mark();
}

void CrashRecorder::Mark() { points_.push_back({ops_.size(), inodes_}); }

void CrashRecorder::Created(const std::string& path, int fd) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    struct stat st;
    if (!Below(path) || ::fstat(fd, &st) != 0) return;
    const int id = ids_[st.st_ino] = nextId_++;
    inodes_[id].now = std::make_shared<std::string>();
    names_[Rel(path)] = id;
    AddOp(Kind::Create, {}, path, id);
}

void CrashRecorder::MadeDir(const std::string& path) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    if (Below(path)) AddOp(Kind::Mkdir, {}, path, -1);
}

void CrashRecorder::Named(const std::string& from, const std::string& to, bool rename) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    auto it = names_.find(Rel(from));
    if (!Below(to) || it == names_.end()) return;
    const int id = it->second;
    if (rename) names_.erase(it);
    names_[Rel(to)] = id;
    AddOp(rename ? Kind::Rename : Kind::Link, from, to, id);
}

void CrashRecorder::Unlinked(const std::string& path) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    if (!Below(path) || !names_.count(Rel(path))) return;
    const int id = names_[Rel(path)];
    names_.erase(Rel(path));
    AddOp(Kind::Unlink, {}, path, id);
}

void CrashRecorder::Wrote(int fd) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    const int id = Recording() ? IdOf(fd) : -1;
    if (id < 0) return;
    inodes_[id].now = std::make_shared<std::string>(ReadFd(fd));
    Mark();
}

void CrashRecorder::Settle(const std::function<bool(const Op&)>& covered, bool ok) {
    for (Op& op : ops_)
        if (op.durableAt == SIZE_MAX && op.lostAt == SIZE_MAX && covered(op)) (ok ? op.durableAt : op.lostAt) = points_.size();
}

void CrashRecorder::Flushed(int fd, bool ok) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    struct stat st;
    const std::string path = FdPath(fd);
    if (!(Below(path) || (Recording() && path == root_)) || ::fstat(fd, &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        const std::string dir = path == root_ ? std::string() : Rel(path);
        Settle([&](const Op& op) { return Parent(op.to) == dir; }, ok);
    } else if (const int id = IdOf(fd); id >= 0) {
        Inode& inode = inodes_[id];
        if (ok) inode.durable = inode.now;
        inode.torn = inode.torn || (!ok && inode.durable != inode.now);
    }
    Mark();
}

void CrashRecorder::FlushedAll(bool ok) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    if (!Recording()) return;
    Settle([](const Op&) { return true; }, ok);
    for (auto& [id, inode] : inodes_) {
        if (ok) inode.durable = inode.now;
        inode.torn = inode.torn || (!ok && inode.durable != inode.now);
    }
    Mark();
}

// variant 0: bytes not yet durable are lost; 1: they all reached the disk; 2: cut half way.
CrashState CrashRecorder::StateAt(const Point& point, size_t index, size_t extra, int variant, bool flushed) const {
    CrashState s = initial_;
    std::map<std::string, int> names;
    for (const auto& [name, file] : initial_.files) names[name] = file.id;
    for (size_t j = 0; j < point.ops; ++j) {
        const Op& op = ops_[j];
        if (!flushed && (op.lostAt <= index || (op.durableAt > index && j >= extra))) continue;
        const bool parent = HasDir(s, Parent(op.to));
        if (op.kind == Kind::Mkdir && parent) s.dirs.insert(op.to);
        if (op.kind == Kind::Create && parent) names[op.to] = op.id;
        if ((op.kind == Kind::Rename || op.kind == Kind::Link) && parent && names.count(op.from)) {
            names[op.to] = names[op.from];
            if (op.kind == Kind::Rename) names.erase(op.from);
        }
        if (op.kind == Kind::Unlink) names.erase(op.to);
    }
    for (auto it = s.dirs.begin(); it != s.dirs.end();) it = HasDir(s, Parent(*it)) ? std::next(it) : s.dirs.erase(it);
    s.files.clear();
    for (const auto& [name, id] : names) {
        if (!HasDir(s, Parent(name))) continue;
        const Inode& inode = point.inodes.at(id);
        const std::string& now = *inode.now;
        const std::string durable = inode.durable ? *inode.durable : std::string();
        std::string bytes = variant == 1 ? now : durable;
        if (variant == 2 && durable != now) {
            size_t same = 0;
            while (same < now.size() && same < durable.size() && now[same] == durable[same]) ++same;
            bytes = now.size() > same ? now.substr(0, (same + now.size() + 1) / 2) : durable;
        }
        s.files[name] = {id, inode.torn ? std::string(kTorn) : durable == now ? now : bytes};
    }
    return s;
}

std::vector<CrashState> CrashRecorder::States() const {
    std::lock_guard<std::recursive_mutex> hold(lock);
    std::vector<CrashState> states;
    std::unordered_set<size_t> seen;
    for (size_t i = 0; i < points_.size(); ++i) {
        for (size_t k = 0; k <= points_[i].ops; ++k) {
            const bool settled = k > 0 && (ops_[k - 1].durableAt <= i || ops_[k - 1].lostAt <= i);
            // the same state as one op fewer
            if (settled) continue;
            for (int variant = 0; variant < 3; ++variant) {
                CrashState s = StateAt(points_[i], i, k, variant);
                std::string key;
                for (const std::string& d : s.dirs) key += d + '\n';
                for (const auto& [name, file] : s.files)
                    if (Matters(name)) key += name + '\t' + std::to_string(file.id) + '\t' + std::to_string(std::hash<std::string>()(file.bytes)) + '\n';
                if (seen.insert(std::hash<std::string>()(key)).second) states.push_back(std::move(s));
            }
        }
    }
    return states;
}

CrashState CrashRecorder::Now() const {
    std::lock_guard<std::recursive_mutex> hold(lock);
    CrashState s = StateAt(points_.back(), points_.size() - 1, 0, 1, true);
    for (const Op& op : ops_)
        if (op.kind == Kind::Mkdir) s.dirs.insert(op.to);
    for (auto& [name, file] : s.files) file.bytes = *inodes_.at(file.id).now;
    return s;
}

bool CrashRecorder::Pending() const {
    std::lock_guard<std::recursive_mutex> hold(lock);
    for (const Op& op : ops_)
        if (op.durableAt == SIZE_MAX && op.lostAt == SIZE_MAX) return true;
    for (const auto& [name, id] : names_) {
        const Inode& inode = inodes_.at(id);
        if (!inode.torn && (!inode.durable || *inode.durable != *inode.now)) return true;
    }
    return false;
}

void CrashRecorder::Lay(const CrashState& state, const std::string& root) {
    for (const std::string& dir : state.dirs) ::mkdir((root + "/" + dir).c_str(), 0777);
    std::map<int, std::string> first;
    for (const auto& [name, file] : state.files) {
        const std::string path = root + "/" + name;
        if (auto [it, added] = first.emplace(file.id, path); !added) {
            ::link(it->second.c_str(), path.c_str());
            continue;
        }
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        if (::write(fd, file.bytes.data(), file.bytes.size()) < 0) ::unlink(path.c_str());
        ::close(fd);
    }
}

}  // namespace yrn::test

using yrn::test::Recorder;

// Every call of these in this program passes here on its way to the kernel.
extern "C" int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    const bool creates = (flags & O_CREAT) && Recorder().Below(path) && ::access(path, F_OK) != 0;
    if (creates && Recorder().ShouldFail("open", path)) return yrn::test::Fail();
    const int fd = static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags, mode));
    if (fd >= 0 && creates) Recorder().Created(path, fd);
    return fd;
}
namespace {
ssize_t Wrote(int fd, long n) {
    if (n > 0 && Recorder().Recording()) Recorder().Wrote(fd);
    return n;
}
int Flush(int fd, long call, const char* name) {
    if (!Recorder().Recording()) return yrn::test::skipFlushes ? 0 : static_cast<int>(::syscall(call, fd));
    // The disk model, not the disk, says what is durable: no need to wait for it.
    const int r = Recorder().ShouldFail(name, yrn::test::FdPath(fd)) ? yrn::test::Fail() : 0;
    if (call == SYS_syncfs) Recorder().FlushedAll(r == 0);
    else Recorder().Flushed(fd, r == 0);
    return r;
}
// A change of names: fails when the recorder says so, else is made and noted.
template <class Make, class Note>
int Change(const char* call, const char* path, Make make, Note note) {
    if (Recorder().ShouldFail(call, path)) return yrn::test::Fail();
    const int r = static_cast<int>(make());
    if (r == 0) note();
    return r;
}
}  // namespace
extern "C" ssize_t write(int fd, const void* data, size_t size) { return Wrote(fd, ::syscall(SYS_write, fd, data, size)); }
extern "C" ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    return Wrote(fd, ::syscall(SYS_pwrite64, fd, data, size, offset));
}
extern "C" ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t size, unsigned flags) {
    return Wrote(out, ::syscall(SYS_copy_file_range, in, inOffset, out, outOffset, size, flags));
}
extern "C" int fsync(int fd) { return Flush(fd, SYS_fsync, "fsync"); }
extern "C" int fdatasync(int fd) { return Flush(fd, SYS_fdatasync, "fdatasync"); }
extern "C" int syncfs(int fd) { return Flush(fd, SYS_syncfs, "syncfs"); }
extern "C" int renameat2(int, const char* from, int, const char* to, unsigned flags) {
    const auto make = [&] { return ::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, flags); };
    return Change("rename", to, make, [&] { Recorder().Named(from, to, true); });
}
extern "C" int rename(const char* from, const char* to) { return renameat2(AT_FDCWD, from, AT_FDCWD, to, 0); }
extern "C" int link(const char* from, const char* to) {
    const auto make = [&] { return ::syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0); };
    return Change("link", to, make, [&] { Recorder().Named(from, to, false); });
}
extern "C" int unlink(const char* path) {
    return Change("unlink", path, [&] { return ::syscall(SYS_unlinkat, AT_FDCWD, path, 0); }, [&] { Recorder().Unlinked(path); });
}
extern "C" int mkdir(const char* path, mode_t mode) {
    return Change("mkdir", path, [&] { return ::syscall(SYS_mkdirat, AT_FDCWD, path, mode); }, [&] { Recorder().MadeDir(path); });
}
