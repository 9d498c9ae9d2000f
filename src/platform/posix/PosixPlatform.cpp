#include "PosixPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <ctime>
#include <system_error>
#include <utility>
#include <vector>

#include "RegFile.h"
#include "pe/PeVersion.h"
#include "core/Together.h"
#include "core/text.h"

extern char** environ;

namespace yrn {
namespace {

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string DirName(const std::string& nativePath) {
    size_t slash = nativePath.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return nativePath.substr(0, slash);
}

bool SyncDirectory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// A temp file beside target: hidden (dot) name, so directory searches skip it.
int CreateTempBeside(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string dir = DirName(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = dir + "/.~yrn" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Gives the finished temp file the target's name only while that name is
// free. link() refuses an existing name on every file system that has hard
// links; where it has none, renameat2's no-replace flag does the same.
bool RenameNoReplace(const std::string& tempPath, const std::string& target) {
    if (::link(tempPath.c_str(), target.c_str()) == 0) {
        ::unlink(tempPath.c_str());
        return true;
    }
    if (errno == EEXIST) return false;
#ifdef RENAME_NOREPLACE
    return ::renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0;
#else
    return false;
#endif
}

// Moves a finished temp file to target, durably: its bytes before it takes
// the name (never a torn file under it), then the name.
bool Commit(int fd, const std::string& tempPath, const std::string& target) {
    bool ok = ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(tempPath.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    return SyncDirectory(DirName(target));
}

class PosixTextFile : public TextFile {
public:
    explicit PosixTextFile(int fd) : fd_(fd) {}
    ~PosixTextFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Write(const std::string& bytes) override { return fd_ >= 0 && WriteAll(fd_, bytes.data(), bytes.size()); }
    bool Flush() override { return fd_ >= 0; }  // no user-space buffer: every write is with the system
    bool Close() override {
        if (fd_ < 0) return false;
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

class PosixRegistryKey : public RegistryKey {
public:
    // onDisk: the file's bytes when they are exactly data's text, else empty.
    PosixRegistryKey(std::string file, RegFile data, std::string key, std::string onDisk)
        : file_(std::move(file)), data_(std::move(data)), key_(std::move(key)), onDisk_(std::move(onDisk)) {}

    bool ValueExists(const std::string& name) override { return Value(name) != nullptr; }
    RegRead ReadString(const std::string& name, std::string& value) override {
        const RegValue* v = Value(name);
        if (!v) return RegRead::Missing;
        if (v->type != RegType::String) return RegRead::WrongType;
        value = v->text;
        return RegRead::Ok;
    }
    RegRead ReadInteger(const std::string& name, int32_t& value) override {
        const RegValue* v = Value(name);
        if (!v) return RegRead::Missing;
        if (v->type != RegType::Dword) return RegRead::WrongType;
        value = static_cast<int32_t>(v->dword);
        return RegRead::Ok;
    }
    bool WriteString(const std::string& name, const std::string& value) override {
        return Write(name, [&](RegKeyData& k) { RegFile::SetString(k, name, value); });
    }
    bool WriteInteger(const std::string& name, int32_t value) override {
        return Write(name, [&](RegKeyData& k) { RegFile::SetDword(k, name, static_cast<uint32_t>(value)); });
    }
    // The file written once for all of them.
    bool WriteIntegers(const std::vector<std::pair<std::string, int32_t>>& values) override {
        RegFile changed = data_;
        RegKeyData& key = changed.AddKey(key_);
        for (const auto& [name, value] : values) RegFile::SetDword(key, name, static_cast<uint32_t>(value));
        std::string text = changed.Text();
        if (!NativeWriteAtomic(file_, text)) return false;
        data_ = std::move(changed);
        onDisk_ = std::move(text);
        return true;
    }
    void Close() override {}

private:
    const RegValue* Value(const std::string& name) {
        RegKeyData* k = data_.FindKey(key_);
        return k ? RegFile::FindValue(*k, name) : nullptr;
    }
    template <class Change>
    bool Write(const std::string& name, Change change) {
        RegFile changed = data_;
        RegKeyData& key = changed.AddKey(key_);
        const bool added = !RegFile::FindValue(key, name);
        change(key);
        std::string text = changed.Text();
        if (!(added && AppendAtTail(text)) && !NativeWriteAtomic(file_, text)) return false;
        data_ = std::move(changed);
        onDisk_ = std::move(text);
        return true;
    }
    // A new value that lands just before the file's closing blank line
    // changes only the file's tail: written in place with one fsync instead
    // of the whole file, which grows with every installed file.
    bool AppendAtTail(const std::string& text) {
        if (onDisk_.size() < 2 || text.size() <= onDisk_.size()) return false;
        const size_t keep = onDisk_.size() - 2;
        if (onDisk_.compare(keep, 2, "\r\n") != 0 || text.compare(0, keep, onDisk_, 0, keep) != 0 ||
            text.compare(text.size() - 2, 2, "\r\n") != 0)
            return false;
        return RewriteTail(keep, text.substr(keep));
    }
    bool RewriteTail(size_t offset, const std::string& tail) {
        int fd = ::open(file_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return false;
        struct stat st;
        bool ok = ::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) == onDisk_.size();
        if (ok) {
            ssize_t n;
            do n = ::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(offset));
            while (n < 0 && errno == EINTR);
            ok = n == static_cast<ssize_t>(tail.size()) && ::fsync(fd) == 0;
            // What is on disk is now unknown: the next write rewrites the whole file.
            if (!ok) onDisk_.clear();
        }
        return ::close(fd) == 0 && ok;
    }

    std::string file_;
    RegFile data_;
    std::string key_;
    std::string onDisk_;
};

bool ReadNative(const std::string& native, std::string& bytes, size_t limit = SIZE_MAX) {
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > limit) {
        ::close(fd);
        return false;
    }
    bytes.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
        if (bytes.size() > limit) {
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

}  // namespace

bool NativeWriteAtomic(const std::string& native, const std::string& bytes) {
    std::string temp;
    int fd = CreateTempBeside(native, temp);
    if (fd < 0) return false;
    if (!WriteAll(fd, bytes.data(), bytes.size())) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    ::fchmod(fd, 0644);
    return Commit(fd, temp, native);
}

namespace {

// Resolves "." and ".." in the part of a drive path after "X:", never above
// the drive's root, as Windows does: "C:\..\..\etc" is "C:\etc", and so
// stays below the prefix root here.
std::string ClampToDrive(const std::string& rest) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t slash = rest.find('/', pos);
        if (slash == std::string::npos) slash = rest.size();
        std::string part = rest.substr(pos, slash - pos);
        if (part == "..") {
            if (!parts.empty() && !parts.back().empty()) parts.pop_back();
        } else if (part != "." || slash == rest.size()) {
            parts.push_back(part == "." ? std::string() : part);
        }
        pos = slash + 1;
    }
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
    return out;
}

}  // namespace

PosixPlatform::PosixPlatform(std::string root) : root_(std::move(root)) {
    if (root_.empty()) {
        if (const char* r = std::getenv("YRN_ROOT"); r && *r) root_ = r;
        else if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) root_ = std::string(x) + "/yrnupdate";
        else if (const char* h = std::getenv("HOME"); h && *h) root_ = std::string(h) + "/.local/share/yrnupdate";
        else root_ = "./yrnupdate";
    }
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

std::string PosixPlatform::NativePath(const std::string& path) const {
    std::string p = path;
    if (!p.empty() && p[0] == '/') return Cp1251ToUtf8(p);
    std::string out;
    if (p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'))) {
        out = root_ + "/" + static_cast<char>(p[0] | 0x20);
        p = p.substr(2);
        if (!p.empty() && p[0] != '\\') out += '/';
    }
    for (char& c : p)
        if (c == '\\') c = '/';
    if (!out.empty()) p = ClampToDrive(p);
    return out + Cp1251ToUtf8(p);
}

bool PosixPlatform::FileExists(const std::string& path) {
    struct stat st;
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PosixPlatform::DirectoryExists(const std::string& path) {
    struct stat st;
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixPlatform::CreateDir(const std::string& path) {
    std::string native = NativePath(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    // The new entry is made durable in its parent: a backup set must not
    // vanish on power loss after its first saved file was reported done.
    return ::mkdir(native.c_str(), 0777) == 0 && SyncDirectory(DirName(native));
}

bool PosixPlatform::ForceDirectories(const std::string& path) {
    std::string native = NativePath(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    if (native.empty()) return false;
    for (size_t i = 1; i <= native.size(); ++i) {
        if (i < native.size() && native[i] != '/') continue;
        std::string part = native.substr(0, i);
        struct stat st;
        if (::stat(part.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return false;
            continue;
        }
        if (::mkdir(part.c_str(), 0777) == 0) SyncDirectory(DirName(part));
        else if (errno != EEXIST) return false;
    }
    return true;
}

namespace {

// The platform's name of a temp made beside target: target's directory and
// the temp's own (plain ASCII) name.
std::string TempName(const std::string& target, const std::string& nativeTemp) {
    return target.substr(0, target.find_last_of("\\/") + 1) + nativeTemp.substr(nativeTemp.find_last_of('/') + 1);
}

}  // namespace

bool PosixPlatform::CopyToTemp(const std::string& src, const std::string& target, std::string& temp) {
    const std::string from = NativePath(src);
    std::string native;
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    int out = -1;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode) || (out = CreateTempBeside(NativePath(target), native)) < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    off_t remaining = st.st_size;
    while (ok && remaining > 0) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(remaining), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // not supported here, or the file shrank: finish with read/write
        remaining -= n;
    }
    char buf[1 << 16];
    while (ok) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        ok = WriteAll(out, buf, static_cast<size_t>(n));
    }
    ::close(in);
    if (ok) ok = ::fchmod(out, st.st_mode & 07777) == 0;
    ok = ::close(out) == 0 && ok;
    if (ok) ok = CopiedAsExpected(from, native);
    if (!ok) ::unlink(native.c_str());
    temp = TempName(target, native);
    return ok;
}

bool PosixPlatform::WriteTemp(const std::string& target, const std::string& bytes, std::string& temp) {
    std::string native;
    int fd = CreateTempBeside(NativePath(target), native);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fchmod(fd, 0644) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok) ::unlink(native.c_str());
    temp = TempName(target, native);
    return ok;
}

bool PosixPlatform::Append(const std::string& path, const std::string& bytes) {
    int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, bytes.data(), bytes.size());
    return ::close(fd) == 0 && ok;
}

bool PosixPlatform::Rename(const std::string& from, const std::string& to, bool replace) {
    const std::string source = NativePath(from), target = NativePath(to);
    return replace ? ::rename(source.c_str(), target.c_str()) == 0 : RenameNoReplace(source, target);
}

bool PosixPlatform::LinkSole(const std::string& from, const std::string& to) {
    // A name elsewhere could write into the file in place, and so into
    // the second name: only a file with one name is linked.
    const std::string source = NativePath(from);
    struct stat st;
    return ::lstat(source.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
           ::link(source.c_str(), NativePath(to).c_str()) == 0;
}

int PosixPlatform::LinkCount(const std::string& path) {
    struct stat st;
    if (::lstat(NativePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<int>(st.st_nlink);
}

uint64_t PosixPlatform::FileSize(const std::string& path) {
    struct stat st;
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
}

bool PosixPlatform::Remove(const std::string& path) { return ::unlink(NativePath(path).c_str()) == 0; }

// A path that cannot be opened fails the call.
bool PosixPlatform::Flush(const std::vector<std::string>& paths) {
    std::vector<int> fds;
    bool opened = true;
    for (const std::string& path : paths) {
        const int f = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
        if (f >= 0) fds.push_back(f);
        opened = opened && f >= 0;
    }
    const bool ok = AllTogether(fds.size(), [&](size_t i) { return ::fsync(fds[i]) == 0; }) && opened;
    for (int f : fds) ::close(f);
    return ok;
}

// One syncfs per file system, not one fsync per file.
bool PosixPlatform::FlushVolumes(const std::vector<std::string>& paths) {
    std::set<std::string> dirs;
    for (const std::string& path : paths) dirs.insert(DirName(NativePath(path) + (path.ends_with('\\') ? "." : "")));
    std::set<dev_t> synced;
    bool ok = true;
    for (const std::string& dir : dirs) {
        int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        ok = fd >= 0 && ::fstat(fd, &st) == 0 && (!synced.insert(st.st_dev).second || ::syncfs(fd) == 0) && ok;
        if (fd >= 0) ::close(fd);
    }
    return ok;
}

std::vector<std::string> PosixPlatform::FindFiles(const std::string& dir, const std::string& pattern) {
    std::vector<std::string> names;
    const std::string native = NativePath(dir);
    DIR* d = ::opendir(native.empty() ? "." : native.c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name.empty() || name[0] == '.') continue;  // hidden entries, "." and ".."
        std::string text = Utf8To1251(name);
        if (WildcardMatch(pattern, text)) names.push_back(text);
    }
    ::closedir(d);
    return names;
}

bool PosixPlatform::ReadWholeFile(const std::string& path, std::string& bytes) {
    return ReadNative(NativePath(path), bytes);
}

std::unique_ptr<TextFile> PosixPlatform::OpenAppend(const std::string& path) {
    int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixTextFile>(fd);
}

DateTime PosixPlatform::Now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::unique_ptr<RegistryKey> PosixPlatform::OpenExistingRegistryKey(const std::string& key) {
    std::string bytes;
    if (!ReadNative(root_ + "/registry.reg", bytes) || !RegFile::IsRegedit4(bytes)) return nullptr;
    if (!RegFile::Parse(bytes).FindKey("HKEY_LOCAL_MACHINE\\" + key)) return nullptr;
    return OpenRegistryKey(key);
}

std::unique_ptr<RegistryKey> PosixPlatform::OpenRegistryKey(const std::string& key) {
    if (!ForceDirectories(root_)) return nullptr;
    const std::string file = root_ + "/registry.reg";
    std::string bytes;
    RegFile data;
    struct stat st;
    if (::stat(file.c_str(), &st) == 0) {
        // Anything else in its place is somebody's file: never replaced.
        if (!ReadNative(file, bytes) || !RegFile::IsRegedit4(bytes)) return nullptr;
        data = RegFile::Parse(bytes);
    }
    const std::string full = "HKEY_LOCAL_MACHINE\\" + key;
    std::string text = data.Text();
    if (!data.FindKey(full)) {
        data.AddKey(full);
        text = data.Text();
        if (!NativeWriteAtomic(file, text)) return nullptr;
    } else if (text != bytes) {
        text.clear();
    }
    return std::make_unique<PosixRegistryKey>(file, std::move(data), full, std::move(text));
}

bool PosixPlatform::WaitForProcess(uint32_t pid) {
    // Waiting on ourselves, or on a process group, would never end.
    if (pid == 0 || pid > 0x7FFFFFFFu || static_cast<pid_t>(pid) == ::getpid()) return false;
    const pid_t p = static_cast<pid_t>(pid);
#ifdef SYS_pidfd_open
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, p, 0));
    if (fd >= 0) {
        pollfd pfd{fd, POLLIN, 0};
        while (::poll(&pfd, 1, -1) < 0 && errno == EINTR) {
        }
        ::close(fd);
        return true;
    }
    if (errno == ESRCH) return false;
#endif
    if (::kill(p, 0) != 0) return false;
    while (::kill(p, 0) == 0) {
        timespec ts{0, 50 * 1000 * 1000};
        ::nanosleep(&ts, nullptr);
    }
    return true;
}

std::vector<std::string> SplitWindowsCommandLine(const std::string& s) {
    std::vector<std::string> args;
    size_t i = 0;
    for (;;) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i >= s.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < s.size()) {
            char c = s[i];
            if (!quoted && (c == ' ' || c == '\t')) break;
            if (c == '\\') {
                size_t n = 0;
                while (i < s.size() && s[i] == '\\') ++n, ++i;
                if (i < s.size() && s[i] == '"') {
                    arg.append(n / 2, '\\');
                    if (n % 2) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(n, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += c;
            ++i;
        }
        args.push_back(arg);
    }
    return args;
}

bool PosixPlatform::StartProcess(const std::string& program, const std::string& params) {
    const std::string native = NativePath(program);
    std::vector<std::string> args{native};
    for (const std::string& a : SplitWindowsCommandLine(params)) args.push_back(Cp1251ToUtf8(a));
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child;
    return ::posix_spawn(&child, native.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

uint32_t PosixPlatform::VersionInfoSize(const std::string& path, uint32_t& handle) {
    handle = 0;
    // Only an image ("MZ") has a version block: any other file is not read whole to learn that.
    const std::string native = NativePath(path);
    char head[2] = {};
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    const bool image = fd >= 0 && ::read(fd, head, 2) == 2 && head[0] == 'M' && head[1] == 'Z';
    if (fd >= 0) ::close(fd);
    std::string bytes;
    if (!image || !ReadNative(native, bytes, kMaxVersionFileSize)) return 0;
    return PeVersionInfoSize(bytes);
}

bool PosixPlatform::VersionInfo(const std::string& path, uint32_t, uint32_t size, uint8_t* data) {
    std::string bytes;
    if (!ReadNative(NativePath(path), bytes, kMaxVersionFileSize)) return false;
    return PeVersionInfo(bytes, size, data);
}

bool PosixPlatform::VersionQuery(uint8_t* data, uint32_t size, const std::string& subBlock, const uint8_t*& value,
                                 uint32_t& length) {
    return QueryVersionBlock(data, size, subBlock, value, length);
}

}  // namespace yrn
