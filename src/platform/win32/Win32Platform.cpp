#include "Win32Platform.h"

#include <deque>
#include <map>
#include <vector>

#include "Win32Api.h"

#include "Win32Handle.h"
#include "core/Together.h"
#include "WideText.h"

namespace yrn {
namespace {

constexpr DWORD kChunk = 64 * 1024;
constexpr size_t kMaxWholeFile = size_t{256} << 20;

DWORD Attributes(const std::string& path) { return ::GetFileAttributesW(Wide(path).c_str()); }

bool WriteAll(HANDLE h, const char* data, size_t size) {
    while (size > 0) {
        const DWORD n = size > kChunk ? kChunk : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(h, data, n, &written, nullptr) || written != n) return false;
        data += n;
        size -= n;
    }
    return true;
}

void RemoveTemp(const std::wstring& temp) {
    ::SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(temp.c_str());
}

// Creates the hidden temp beside target; it stays out of directory
// searches until it has taken target's place.
HANDLE CreateTemp(const std::wstring& temp) {
    return ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
}

// How a step that failed with error on path ends: Held when another process
// holds the file open (a running program's file counts), to be tried again.
Attempt Failure(DWORD error, const std::wstring& path) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return Attempt::Held;
    if (error != ERROR_ACCESS_DENIED) return Attempt::Failed;
    // Access denied also stands for a lasting refusal (rights, read-only):
    // held only when an open for a change meets another's handle.
    FileHandle probe(::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
    if (probe.Valid()) return Attempt::Failed;
    const DWORD why = ::GetLastError();
    return why == ERROR_SHARING_VIOLATION || why == ERROR_LOCK_VIOLATION ? Attempt::Held : Attempt::Failed;
}

// Copies src into the hidden temp, not flushed, with src's time of last change
// and attributes, as CopyFile does, but never read-only: a read-only file
// would refuse the next replacement of the copy and its restore. The temp
// is gone unless Done.
Attempt WriteTempCopy(const std::wstring& src, DWORD srcAttributes, const std::wstring& temp) {
    FileHandle in(::CreateFileW(src.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.Valid()) return Failure(::GetLastError(), src);
    FileHandle out(CreateTemp(temp));
    if (!out.Valid()) return Attempt::Failed;
    Attempt outcome = Attempt::Done;
    std::vector<char> chunk(kChunk);
    char* buffer = chunk.data();
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(in.Get(), buffer, kChunk, &got, nullptr)) {
            outcome = Failure(::GetLastError(), src);
            break;
        }
        if (got == 0) break;
        if (!WriteAll(out.Get(), buffer, got)) {
            outcome = Attempt::Failed;
            break;
        }
    }
    FILETIME created, accessed, written;
    if (outcome == Attempt::Done && ::GetFileTime(in.Get(), &created, &accessed, &written))
        ::SetFileTime(out.Get(), nullptr, nullptr, &written);
    if (!out.Close() && outcome == Attempt::Done) outcome = Attempt::Failed;
    if (outcome != Attempt::Done) {
        RemoveTemp(temp);
        return outcome;
    }
    const DWORD keep = srcAttributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    ::SetFileAttributesW(temp.c_str(), keep ? keep : FILE_ATTRIBUTE_NORMAL);
    return Attempt::Done;
}

bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    FileHandle h(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    return h.Valid() && ::GetFileInformationByHandle(h.Get(), &info);
}

std::wstring OwnModulePath() {
    std::wstring path(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n < path.size() ? n : 0);
    return path;
}

// True when path is the file this process runs from: the same volume and
// file index, whatever name or link reaches it.
bool IsOwnModule(const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION target, own;
    return FileIdentity(path, target) && FileIdentity(OwnModulePath(), own) &&
           target.dwVolumeSerialNumber == own.dwVolumeSerialNumber && target.nFileIndexHigh == own.nFileIndexHigh &&
           target.nFileIndexLow == own.nFileIndexLow;
}

// A running program's file cannot be overwritten but may be renamed: the
// program's own file moves aside in its directory (removed at the next
// start) and the complete temp takes its name. Held when the move aside
// is refused; when the temp cannot follow, the file goes back.
Attempt ReplaceOwnModule(const std::wstring& temp, const std::wstring& target) {
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    std::wstring aside;
    for (int n = 1; n <= 99 && aside.empty(); ++n) {
        const std::wstring name = Wide(MovedAsideName(Narrow(target), n));
        if (::MoveFileExW(target.c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH)) {
            aside = name;
        } else {
            const DWORD error = ::GetLastError();
            if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return Failure(error, target);
        }
    }
    if (aside.empty()) return Attempt::Failed;
    ::SetFileAttributesW(aside.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
    if (::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return Attempt::Done;
    if (::MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
        ::SetFileAttributesW(target.c_str(), attributes);
    return Attempt::Failed;
}

// Whether name is ownName + "." + digits + ".~old", as MovedAsideName
// writes it (letter case ignored, as in file names).
bool IsMovedAsideName(const std::wstring& name, const std::wstring& ownName) {
    const std::wstring tail = L".~old";
    if (name.size() < ownName.size() + 2 + tail.size()) return false;
    const auto same = [](const std::wstring& a, const std::wstring& b) {
        return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                      TRUE) == CSTR_EQUAL;
    };
    const size_t digitsEnd = name.size() - tail.size();
    if (!same(name.substr(0, ownName.size()), ownName) || name[ownName.size()] != L'.' ||
        !same(name.substr(digitsEnd), tail))
        return false;
    for (size_t i = ownName.size() + 1; i < digitsEnd; ++i)
        if (name[i] < L'0' || name[i] > L'9') return false;
    return true;
}

class Win32TextFile : public TextFile {
public:
    explicit Win32TextFile(HANDLE h) : file_(h) {}
    bool Write(const std::string& bytes) override { return file_.Valid() && WriteAll(file_.Get(), bytes.data(), bytes.size()); }
    // No buffer of our own: each write is with the system already, as on POSIX.
    bool Flush() override { return file_.Valid(); }
    bool Close() override { return file_.Valid() && file_.Close(); }

private:
    FileHandle file_;
};

}  // namespace

std::string ReplacementTempName(const std::string& path) { return path + ".~yrn"; }

std::string MovedAsideName(const std::string& path, int n) { return path + "." + std::to_string(n) + ".~old"; }

void RemoveMovedAsideFiles() {
    const std::wstring own = OwnModulePath();
    const size_t cut = own.find_last_of(L'\\');
    if (own.empty() || cut == std::wstring::npos) return;
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW((own + L".*.~old").c_str(), &data));
    if (!find.Valid()) return;
    const std::wstring ownName = own.substr(cut + 1);
    do {
        if (!IsMovedAsideName(data.cFileName, ownName)) continue;
        // One still in use (its program has not ended yet) waits for the next start.
        const std::wstring path = own.substr(0, cut + 1) + data.cFileName;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!::DeleteFileW(path.c_str())) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    } while (::FindNextFileW(find.Get(), &data));
}

Win32Platform::Win32Platform()
    : heldFileWait_([] { return static_cast<uint64_t>(::GetTickCount64()); }, [](uint32_t ms) { ::Sleep(ms); }) {}

bool Win32Platform::FileExists(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Platform::DirectoryExists(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32Platform::CreateDir(const std::string& path) { return ::CreateDirectoryW(Wide(path).c_str(), nullptr) != 0; }

bool Win32Platform::ForceDirectories(const std::string& path) {
    std::string dir = path;
    while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    if (dir.empty()) return false;
    if (DirectoryExists(dir)) return true;
    const size_t cut = dir.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0) {
        const std::string parent = dir.substr(0, cut);
        const bool driveRoot = parent.size() == 2 && parent[1] == ':';
        if (!driveRoot && !ForceDirectories(parent)) return false;
    }
    return CreateDir(dir) || DirectoryExists(dir);
}

bool Win32Platform::CopyToTemp(const std::string& src, const std::string& target, std::string& temp) {
    temp = ReplacementTempName(target);
    const std::wstring wsrc = Wide(src), wtemp = Wide(temp);
    const DWORD srcAttributes = ::GetFileAttributesW(wsrc.c_str());
    if (srcAttributes == INVALID_FILE_ATTRIBUTES || (srcAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    const bool done = heldFileWait_.Retry(
        [&] {
            const Attempt written = WriteTempCopy(wsrc, srcAttributes, wtemp);
            return written != Attempt::Done || CopiedAsExpected(src, wtemp) ? written : Attempt::Failed;
        },
        whileWaiting_);
    if (!done) RemoveTemp(wtemp);
    return done;
}

bool Win32Platform::WriteTemp(const std::string& target, const std::string& bytes, std::string& temp) {
    temp = ReplacementTempName(target);
    const std::wstring wtemp = Wide(temp);
    FileHandle out(CreateTemp(wtemp));
    if (!out.Valid()) return false;
    bool ok = WriteAll(out.Get(), bytes.data(), bytes.size());
    ok = out.Close() && ok;
    if (ok) ok = ::SetFileAttributesW(wtemp.c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
    if (!ok) RemoveTemp(wtemp);
    return ok;
}

bool Win32Platform::Append(const std::string& path, const std::string& bytes) {
    FileHandle out(::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.Valid()) return false;
    const bool ok = WriteAll(out.Get(), bytes.data(), bytes.size());
    return out.Close() && ok;
}

bool Win32Platform::Rename(const std::string& from, const std::string& to, bool replace) {
    const std::wstring wfrom = Wide(from), wto = Wide(to);
    // As CopyFile: a hidden or read-only target is refused, not replaced.
    const DWORD toAttributes = ::GetFileAttributesW(wto.c_str());
    if (toAttributes != INVALID_FILE_ATTRIBUTES &&
        (!replace || (toAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))))
        return false;
    // A write-through move returns once the new name is on disk: the
    // directory needs no flush of its own. Without replace the move fails
    // when to exists: the name is taken only while it is free.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return heldFileWait_.Retry(
        [&] {
            if (::MoveFileExW(wfrom.c_str(), wto.c_str(), flags)) return Attempt::Done;
            const Attempt moved = Failure(::GetLastError(), wto);
            return moved == Attempt::Held && replace && IsOwnModule(wto) ? ReplaceOwnModule(wfrom, wto) : moved;
        },
        whileWaiting_);
}

bool Win32Platform::LinkSole(const std::string& from, const std::string& to) {
    // Linked only when nothing but a new file taking the name can change the
    // file: a copy may replace it later (not read-only, hidden or system), it
    // has no other name, and no other handle may write into it or keep it
    // from being replaced (the open asks for write and delete access and
    // lets no other writer in; a running program's file is copied).
    const std::wstring wfrom = Wide(from);
    const DWORD attributes = ::GetFileAttributesW(wfrom.c_str());
    constexpr DWORD kKeptAsIs =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kKeptAsIs)) return false;
    FileHandle file(::CreateFileW(wfrom.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    return file.Valid() && ::GetFileInformationByHandle(file.Get(), &info) && info.nNumberOfLinks == 1 &&
           ::CreateHardLinkW(Wide(to).c_str(), wfrom.c_str(), nullptr);
}

int Win32Platform::LinkCount(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info;
    return FileIdentity(Wide(path), info) ? static_cast<int>(info.nNumberOfLinks) : 0;
}

uint64_t Win32Platform::FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool Win32Platform::Remove(const std::string& path) {
    // No call makes a deletion durable; a write-through move does take the
    // name away for good. What it moved to goes next, or at least hides.
    const std::wstring wpath = Wide(path), temp = Wide(ReplacementTempName(path));
    const DWORD attributes = ::GetFileAttributesW(wpath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (!::MoveFileExW(wpath.c_str(), temp.c_str(), MOVEFILE_WRITE_THROUGH | MOVEFILE_REPLACE_EXISTING)) return false;
    if (!::DeleteFileW(temp.c_str())) ::SetFileAttributesW(temp.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
    return true;
}

namespace {

HANDLE OpenToFlush(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
}

bool FlushFile(const std::wstring& path) {
    FileHandle file(OpenToFlush(path));
    return file.Valid() && ::FlushFileBuffers(file.Get());
}

// Directories have nothing to flush: every move here is written through.
std::vector<std::wstring> FilesAmong(const std::vector<std::string>& paths) {
    std::vector<std::wstring> files;
    for (const std::string& path : paths)
        if (!path.empty() && path.back() != '\\' && path.back() != '/') files.push_back(Wide(path));
    return files;
}

// The volume a file lies on, as a name that opens the volume itself
// ("\\?\Volume{...}", no final backslash); "" when it has none.
std::wstring VolumeOf(const std::wstring& file) {
    wchar_t mount[MAX_PATH];
    wchar_t volume[64];
    if (!::GetVolumePathNameW(file.c_str(), mount, MAX_PATH) ||
        !::GetVolumeNameForVolumeMountPointW(mount, volume, 64))
        return L"";
    std::wstring name = volume;
    if (!name.empty() && name.back() == L'\\') name.pop_back();
    return name;
}

// One flush of the whole volume, which covers the files open on it; it
// needs administrative rights (and Wine does not offer it).
bool FlushWholeVolume(const std::wstring& volume) {
    if (volume.empty()) return false;
    FileHandle device(::CreateFileW(volume.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    return device.Valid() && ::FlushFileBuffers(device.Get());
}

}  // namespace

// The files' flushes are issued together.
bool Win32Platform::Flush(const std::vector<std::string>& paths) {
    const std::vector<std::wstring> files = FilesAmong(paths);
    return AllTogether(files.size(), [&](size_t i) { return FlushFile(files[i]); });
}

// Each volume in one call while its files are held open, where this
// program may; otherwise, or when that call fails, each file on its own.
bool Win32Platform::FlushVolumes(const std::vector<std::string>& paths) {
    std::map<std::wstring, std::vector<std::wstring>> byVolume;
    for (const std::wstring& file : FilesAmong(paths)) byVolume[VolumeOf(file)].push_back(file);
    bool ok = true;
    for (const auto& [volume, files] : byVolume) {
        std::deque<FileHandle> held;
        for (const std::wstring& file : files) {
            held.emplace_back(OpenToFlush(file));
            ok = ok && held.back().Valid();
        }
        if (FlushWholeVolume(volume)) continue;
        ok = AllTogether(held.size(), [&](size_t i) { return held[i].Valid() && ::FlushFileBuffers(held[i].Get()); }) && ok;
    }
    return ok;
}

std::vector<std::string> Win32Platform::FindFiles(const std::string& dir, const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    FindHandle find(::FindFirstFileW(Wide(dir + pattern).c_str(), &data));
    if (!find.Valid()) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
        names.push_back(Narrow(name));
    } while (::FindNextFileW(find.Get(), &data));
    return names;
}

std::string Win32Platform::WindowsDirectory() {
    wchar_t buf[MAX_PATH + 1];
    const UINT n = ::GetWindowsDirectoryW(buf, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return {};
    std::string dir = Narrow(std::wstring(buf, n));
    while (!dir.empty() && dir.back() == '\\') dir.pop_back();
    return dir;
}

bool Win32Platform::ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    FileHandle in(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.Valid()) return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(in.Get(), &size) || size.QuadPart < 0 || static_cast<uint64_t>(size.QuadPart) > kMaxWholeFile)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t left = bytes.size() - done;
        DWORD got = 0;
        if (!::ReadFile(in.Get(), &bytes[done], left > kChunk ? kChunk : static_cast<DWORD>(left), &got, nullptr))
            return false;
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return true;
}

std::unique_ptr<TextFile> Win32Platform::OpenAppend(const std::string& path) {
    HANDLE h = ::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32TextFile>(h);
}

DateTime Win32Platform::Now() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return DateTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace yrn
