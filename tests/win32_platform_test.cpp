// The Win32 backend on the real API (Windows, or Wine's implementation of it).
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <process.h>
#include <thread>

#include "core/text.h"
#include "platform/win32/Win32Handle.h"
#include "platform/win32/Win32Platform.h"
#include "support/win32_Files.h"

namespace yrn::test {
namespace {

// ---------------------------------------------------------------- registry

std::string Utf16Bytes(const std::u16string& s) {  // with the NUL
    return std::string(reinterpret_cast<const char*>(s.data()), (s.size() + 1) * 2);
}

// Values written raw, then read through the backend; the backend's own
// writes are read back raw as "type:bytes". The backend keeps its keys in the
// 32-bit view, which a 64-bit build of the tests opens explicitly.
TEST(Win32Registry, TypesAsStoredAndTypedReads) {
    const std::string sub = "Quenbrit\\YRN\\Win32Test" + std::to_string(::GetCurrentProcessId());
    const std::wstring wkey = Wide(sub);
    HKEY software = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &software), ERROR_SUCCESS);
    ::RegDeleteTreeW(software, wkey.c_str());
    auto k = Win32Platform().OpenRegistryKey("SOFTWARE\\" + sub);
    ASSERT_TRUE(k);
    const auto raw = [&](const std::string& name) {
        DWORD type = 0, size = 4096;
        std::string data(size, '\0');
        return ::RegGetValueW(software, wkey.c_str(), Wide(name).c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                              data.data(), &size) == ERROR_SUCCESS ? std::to_string(type) + ":" + data.substr(0, size) : "";
    };
    const std::string path = W("C:\\ЮКСВЕЛ\\Пакет ёЁ\\");
    ASSERT_TRUE(k->WriteString("UpdatePath", path) && k->WriteInteger("swType", -7) && k->WriteInteger(W("Смена.exe"), 5));
    EXPECT_EQ(raw("UpdatePath"), "1:" + Utf16Bytes(u"C:\\ЮКСВЕЛ\\Пакет ёЁ\\"));
    EXPECT_EQ(raw("swType"), std::string("4:\xF9\xFF\xFF\xFF", 6));
    EXPECT_EQ(raw(W("Смена.exe")), std::string("4:\x05\0\0\0", 6));
    const struct {
        std::string name;
        DWORD type;
        std::string data;
        RegRead asString, asInteger;
        std::string text;
        int32_t number;
    } cases[] = {
        {"text", REG_SZ, Utf16Bytes(u"12"), RegRead::Ok, RegRead::WrongType, "12", 0},
        {"expand", REG_EXPAND_SZ, Utf16Bytes(u"%TEMP%"), RegRead::Ok, RegRead::WrongType, "%TEMP%", 0},
        {"number", REG_DWORD, std::string("\xF9\xFF\xFF\xFF", 4), RegRead::WrongType, RegRead::Ok, "", -7},
        {"binary", REG_BINARY, "\x01\x02\x03\x04", RegRead::WrongType, RegRead::WrongType, "", 0},
        {"multi", REG_MULTI_SZ, std::string("a\0\0\0\0\0", 6), RegRead::WrongType, RegRead::WrongType, "", 0},
        {"empty", REG_SZ, "", RegRead::Ok, RegRead::WrongType, "", 0},
        {"missing", REG_NONE, "", RegRead::Missing, RegRead::Missing, "", 0},
        {"UpdatePath", REG_NONE, "", RegRead::Ok, RegRead::WrongType, path, 0},
        {W("СМЕНА.EXE"), REG_NONE, "", RegRead::WrongType, RegRead::Ok, "", 5},  // names ignore letter case
    };
    for (const auto& c : cases) {
        if (c.type != REG_NONE) {
            ASSERT_EQ(::RegSetKeyValueW(software, wkey.c_str(), Wide(c.name).c_str(), c.type, c.data.data(),
                                        static_cast<DWORD>(c.data.size())), ERROR_SUCCESS);
        }
        SCOPED_TRACE(c.name);
        std::string s = "unchanged";
        int32_t i = -1;
        EXPECT_EQ(k->ReadString(c.name, s), c.asString);
        EXPECT_EQ(s, c.asString == RegRead::Ok ? c.text : "unchanged");
        EXPECT_EQ(k->ReadInteger(c.name, i), c.asInteger);
        EXPECT_EQ(i, c.asInteger == RegRead::Ok ? c.number : -1);
        EXPECT_EQ(k->ValueExists(c.name), c.asString != RegRead::Missing);
    }
    ::RegDeleteTreeW(software, wkey.c_str());
    ::RegCloseKey(software);
}

// ------------------------------------------------------------------- files

class Win32Files : public ::testing::Test {
protected:
    Win32TempDir dir;
    Win32Platform platform;
};

TEST_F(Win32Files, ExistsAndDirectories) {
    ASSERT_TRUE(PutFile(dir / "f.txt", "x"));
    EXPECT_TRUE(platform.FileExists(dir / "f.txt") && platform.DirectoryExists(dir.Path()));
    EXPECT_FALSE(platform.DirectoryExists(dir / "f.txt") || platform.FileExists(dir.Path()));
    EXPECT_FALSE(platform.FileExists(dir / "none.txt") || platform.DirectoryExists(dir / "none"));
    EXPECT_FALSE(platform.CreateDir(dir / "a\\b") || platform.DirectoryExists(dir / "a")) << "CreateDir makes one level";
    EXPECT_TRUE(platform.CreateDir(dir / "a"));
    EXPECT_FALSE(platform.CreateDir(dir / "a")) << "already there";
    EXPECT_TRUE(platform.ForceDirectories(dir / W("x\\Каталог с пробелом\\z\\")));
    EXPECT_TRUE(platform.DirectoryExists(dir / W("x\\Каталог с пробелом\\z")));
    EXPECT_TRUE(platform.ForceDirectories(dir / "x")) << "an existing directory";
    EXPECT_FALSE(platform.ForceDirectories(dir / "f.txt\\sub"));
}

// The time of path's last change (100 ns steps), set first when given.
uint64_t LastChange(const std::string& path, uint64_t set = 0) {
    FileHandle h(::CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    FILETIME t{static_cast<DWORD>(set), static_cast<DWORD>(set >> 32)};
    if (set) ::SetFileTime(h.Get(), nullptr, nullptr, &t);
    ::GetFileTime(h.Get(), nullptr, nullptr, &t);
    return uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime;
}
constexpr uint64_t kOldTime = 0x01D0000012345600u;

// How CopyFile(src, dst) and CopyNewFile end for each state of the target,
// and when the source or the target is held open, sharing nothing, for 2.5 s
// or for good: a momentary hold is waited out, one held for good fails after
// about 5 s, nothing else waits. A done copy carries the source's time of
// last change; no temporary file is left.
struct CopyCase {
    const char* what;
    bool sourceThere;
    enum Target { Missing, Older, ReadOnly, Hidden, NoDirectory } target;
    bool onlyNew, ok;  // onlyNew: CopyNewFile
    const char* held = nullptr;  // or "source", "target"
    int holdMs = 0;  // 0: for good
};
void PrintTo(const CopyCase& c, std::ostream* os) { *os << c.what; }

class Win32Copy : public Win32Files, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(Win32Copy, ReplacesOrLeavesTheTargetWhole) {
    const CopyCase& c = GetParam();
    const std::string fresh = "new content\r\n" + std::string(3000, 'n'), old(9000, 'o');
    const std::string source = dir / W("Новый.exe");
    if (c.sourceThere) { ASSERT_TRUE(PutFile(source, fresh) && LastChange(source, kOldTime) == kOldTime); }
    ASSERT_TRUE(platform.CreateDir(dir / "to"));
    const std::string target = dir / (c.target == CopyCase::NoDirectory ? "absent\\Shift.exe" : "to\\Shift.exe");
    const bool hadOld = c.target != CopyCase::Missing && c.target != CopyCase::NoDirectory;
    if (hadOld) { ASSERT_TRUE(PutFile(target, old)); }
    if (c.target == CopyCase::ReadOnly) { ASSERT_TRUE(SetAttributes(target, FILE_ATTRIBUTE_READONLY)); }
    if (c.target == CopyCase::Hidden) { ASSERT_TRUE(SetAttributes(target, FILE_ATTRIBUTE_HIDDEN)); }
    FileHandle held(c.held ? ::CreateFileW(Wide(c.held == std::string("source") ? source : target).c_str(), GENERIC_READ,
                                           0, nullptr, OPEN_EXISTING, 0, nullptr) : INVALID_HANDLE_VALUE);
    ASSERT_EQ(held.Valid(), c.held != nullptr);
    std::thread release([&] {
        ::Sleep(c.holdMs);
        if (c.holdMs) held.Close();
    });

    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(c.onlyNew ? platform.CopyNewFile(source, target) : platform.CopyFile(source, target), c.ok);
    const ULONGLONG took = ::GetTickCount64() - start;
    release.join();
    held.Close();
    EXPECT_GE(took, !c.held ? 0u : c.holdMs ? c.holdMs - 1000u : 4900u);
    EXPECT_LE(took, !c.held ? 1000u : c.holdMs ? c.holdMs + 1000u : 5600u);
    EXPECT_EQ(GetFile(target), c.ok ? fresh : hadOld ? old : "");
    EXPECT_FALSE(platform.DirectoryExists(dir / "absent")) << "no directory is created";
    EXPECT_EQ(AllNames(dir / "to\\"), c.ok || hadOld ? Names{"Shift.exe"} : Names{}) << "no temporary file is left";
    if (c.ok) { EXPECT_FALSE(::GetFileAttributesW(Wide(target).c_str()) & FILE_ATTRIBUTE_HIDDEN) << "hidden like its temporary"; }
    if (c.ok) { EXPECT_EQ(LastChange(target), kOldTime) << "the source's time of last change"; }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Win32Copy,
    ::testing::Values(CopyCase{"new", true, CopyCase::Missing, false, true},
                      CopyCase{"over", true, CopyCase::Older, false, true},
                      CopyCase{"readonly", true, CopyCase::ReadOnly, false, false},
                      CopyCase{"hidden", true, CopyCase::Hidden, false, false},
                      CopyCase{"nodir", true, CopyCase::NoDirectory, false, false},
                      CopyCase{"nosource", false, CopyCase::Older, false, false},
                      CopyCase{"only_new_free", true, CopyCase::Missing, true, true},
                      CopyCase{"only_new_taken", true, CopyCase::Older, true, false},
                      CopyCase{"target_unshared_2500ms", true, CopyCase::Older, false, true, "target", 2500},
                      CopyCase{"source_unshared_2500ms", true, CopyCase::Older, false, true, "source", 2500},
                      CopyCase{"target_unshared_for_good", true, CopyCase::Older, false, false, "target", 0}),
    [](const auto& info) { return std::string(info.param.what); });

// Which installed files SaveCopy links: only one nothing but a new file
// taking its name can change (no read-only flag, no other name, no other
// handle that writes into it or keeps it from being replaced). Any other
// is copied: a saved copy with bytes of its own.
struct SaveCase {
    const char* what;
    DWORD attributes;
    bool secondName;
    DWORD heldAccess, heldShare;  // heldAccess 0: not held
    int savedLinks;
};
void PrintTo(const SaveCase& c, std::ostream* os) { *os << c.what; }

class Win32SaveCopy : public Win32Files, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(Win32SaveCopy, LinksOnlyAFileNothingElseChanges) {
    const SaveCase& c = GetParam();
    const std::string live = dir / "Shift.exe", saved = dir / "saved.exe";
    ASSERT_TRUE(PutFile(live, "old shift") && SetAttributes(live, c.attributes));
    if (c.secondName) { ASSERT_TRUE(::CreateHardLinkW(Wide(dir / "other.exe").c_str(), Wide(live).c_str(), nullptr)); }
    FileHandle held(c.heldAccess ? ::CreateFileW(Wide(live).c_str(), c.heldAccess, c.heldShare, nullptr, OPEN_EXISTING, 0, nullptr)
                                 : INVALID_HANDLE_VALUE);
    ASSERT_EQ(held.Valid(), c.heldAccess != 0);
    ASSERT_TRUE(platform.SaveCopy(live, saved));
    EXPECT_EQ(platform.LinkCount(saved), c.savedLinks);
    EXPECT_EQ(GetFile(saved), "old shift");
    EXPECT_FALSE(platform.SaveCopy(live, saved)) << "a taken name";
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
INSTANTIATE_TEST_SUITE_P(
    Cases, Win32SaveCopy,
    ::testing::Values(SaveCase{"plain", FILE_ATTRIBUTE_NORMAL, false, 0, 0, 2},
                      SaveCase{"read_only", FILE_ATTRIBUTE_READONLY, false, 0, 0, 1},
                      SaveCase{"second_name", FILE_ATTRIBUTE_NORMAL, true, 0, 0, 1},
                      SaveCase{"held_the_fopen_way", FILE_ATTRIBUTE_NORMAL, false, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 1},
                      SaveCase{"held_by_a_writer_sharing_all", FILE_ATTRIBUTE_NORMAL, false, GENERIC_WRITE, kShareAll, 1}),
    [](const auto& info) { return std::string(info.param.what); });

// A linked saved copy keeps the old bytes once a copy replaces its file.
// Unsharing gives it bytes of its own, or, where it cannot, leaves it as it
// was; RemoveFile takes it away.
TEST_F(Win32Files, LinkedSavedCopyReplacedUnsharedRemoved) {
    ASSERT_TRUE(PutFile(dir / "Shift.exe", "old shift") && PutFile(dir / "Lib.dll", "old lib") && PutFile(dir / "new", "new"));
    ASSERT_TRUE(platform.SaveCopy(dir / "Shift.exe", dir / "saved-Shift.exe") && platform.SaveCopy(dir / "Lib.dll", dir / "saved-Lib.dll"));
    ASSERT_TRUE(platform.CopyFile(dir / "new", dir / "Shift.exe"));
    EXPECT_EQ(GetFile(dir / "saved-Shift.exe"), "old shift");
    EXPECT_EQ(platform.LinkCount(dir / "saved-Shift.exe"), 1);
    ASSERT_TRUE(platform.CreateDir(dir / "saved-Lib.dll.~yrn")) << "the unsharing's temp name taken";
    EXPECT_FALSE(platform.UnshareCopy(dir / "saved-Lib.dll"));
    EXPECT_EQ(platform.LinkCount(dir / "saved-Lib.dll"), 2);
    ASSERT_TRUE(::RemoveDirectoryW(Wide(dir / "saved-Lib.dll.~yrn").c_str()));
    EXPECT_TRUE(platform.UnshareCopy(dir / "saved-Lib.dll"));
    EXPECT_EQ(platform.LinkCount(dir / "Lib.dll"), 1);
    EXPECT_EQ(GetFile(dir / "saved-Lib.dll"), "old lib");
    EXPECT_TRUE(platform.RemoveFile(dir / "saved-Lib.dll"));
    EXPECT_FALSE(platform.RemoveFile(dir / "saved-Lib.dll") || platform.UnshareCopy(dir / "saved-Lib.dll"));
    EXPECT_EQ(platform.LinkCount(dir / "saved-Lib.dll"), 0);
    EXPECT_EQ(AllNames(dir.Path()), (Names{"Lib.dll", "Shift.exe", "new", "saved-Shift.exe"}));
}

// A read-only package file installs a file without the flag, so that the
// next update of it and its rollback go through.
TEST_F(Win32Files, ReadOnlyPackageFileInstallsAWritableFile) {
    const std::string package = dir / "package.dll", installed = dir / "Lib.dll";
    ASSERT_TRUE(PutFile(package, "v2") && PutFile(installed, "v1") && PutFile(dir / "v3", "v3"));
    ASSERT_TRUE(SetAttributes(package, FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(platform.PlaceFile(package, installed));
    EXPECT_FALSE(::GetFileAttributesW(Wide(installed).c_str()) & FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(platform.SaveCopy(installed, dir / "saved.dll"));
    EXPECT_TRUE(platform.PlaceFile(dir / "v3", installed)) << "the next update";
    EXPECT_TRUE(platform.PlaceFile(dir / "saved.dll", installed)) << "its rollback";
    EXPECT_EQ(GetFile(installed), "v2");
}

// Whole files where none can be, and the log opened for appending again
// and again. (The profile-file comparison writes, appends and reads files.)
TEST_F(Win32Files, WholeFilesAndAppends) {
    std::string bytes;
    EXPECT_FALSE(platform.ReadWholeFile(dir / "x.ini", bytes));
    EXPECT_FALSE(platform.AppendToFile(dir / "x.ini", "a")) << "appends only to a file that is there";
    EXPECT_FALSE(platform.WriteWholeFile(dir / "none\\x.ini", "x") || platform.OpenAppend(dir / "none\\YRNUpdate.log"));
    for (const char* text : {"\r\nfirst\r\n", "second\r\n"}) {
        std::unique_ptr<TextFile> f = platform.OpenAppend(dir / "YRNUpdate.log");
        ASSERT_TRUE(f);
        EXPECT_TRUE(f->Write(text) && f->Flush() && f->Close());
        EXPECT_FALSE(f->Write("after close"));
    }
    EXPECT_EQ(GetFile(dir / "YRNUpdate.log"), "\r\nfirst\r\nsecond\r\n");
    EXPECT_EQ(AllNames(dir.Path()), Names{"YRNUpdate.log"});
}

TEST_F(Win32Files, FindFilesSkipsHiddenAndSystemEntries) {
    for (const std::string& name : Names{"a.txt", "b.ini", "h.txt", "s.txt", W("Отчёт.txt")}) ASSERT_TRUE(PutFile(dir / name, "x"));
    ASSERT_TRUE(platform.CreateDir(dir / "22-03-05 14-07") && platform.CreateDir(dir / "hidden dir"));
    ASSERT_TRUE(SetAttributes(dir / "h.txt", FILE_ATTRIBUTE_HIDDEN) && SetAttributes(dir / "s.txt", FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetAttributes(dir / "hidden dir", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY));
    const std::pair<const char*, Names> cases[] = {
        {"*", {"22-03-05 14-07", "a.txt", "b.ini", W("Отчёт.txt")}}, {"*.txt", {"a.txt", W("Отчёт.txt")}},
        {"?.ini", {"b.ini"}}, {"*-*-* *-*", {"22-03-05 14-07"}}, {"none*", {}},
    };
    for (const auto& [pattern, names] : cases) {
        Names found = platform.FindFiles(dir.Path(), pattern);
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, names) << pattern;
    }
    EXPECT_TRUE(platform.FindFiles(dir / "none\\", "*").empty());
}

// The Windows directory without its final "\"; the time against the C
// library's clock, taken back from local fields.
TEST(Win32System, WindowsDirectoryAndLocalTime) {
    wchar_t buf[MAX_PATH];
    std::string expected = Narrow(std::wstring(buf, ::GetWindowsDirectoryW(buf, MAX_PATH)));
    if (expected.back() == '\\') expected.pop_back();
    EXPECT_EQ(Win32Platform().WindowsDirectory(), expected);
    EXPECT_TRUE(Win32Platform().DirectoryExists(expected + "\\System32"));
    const DateTime now = Win32Platform().Now();
    std::tm f{now.second, now.minute, now.hour, now.day, now.month - 1, now.year - 1900, 0, 0, -1};
    EXPECT_LE(std::fabs(std::difftime(std::mktime(&f), std::time(nullptr))), 2.0);
}

// --------------------------------------------------------------- processes

// A wait refuses its own and unknown processes and waits for others; a
// start of what is no program fails. (The end-to-end run starts a program
// in a directory with a blank beside a file the path's prefix names.)
TEST(Win32Process, WaitAndStart) {
    EXPECT_EQ(StartCommandLine("C:\\TOVR\\Shift.exe", ""), "C:\\TOVR\\Shift.exe ");
    EXPECT_EQ(StartCommandLine("C:\\Tab\there.exe", "a \"b c\""), "\"C:\\Tab\there.exe\" a \"b c\"");
    Win32Platform platform;
    for (uint32_t pid : {static_cast<uint32_t>(::GetCurrentProcessId()), 0u, 0xFFFFFFF0u}) EXPECT_FALSE(platform.WaitForProcess(pid)) << pid;
    Win32TempDir dir;
    ASSERT_TRUE(platform.CopyFile(BuiltProgram("yrn_marker.exe"), dir / "Marker.exe") && PutFile(dir / "data.exe", "not a program"));
    const std::wstring program = Wide(dir / "Marker.exe");
    const auto marker = reinterpret_cast<HANDLE>(::_wspawnl(_P_NOWAIT, program.c_str(), L"Marker", L"sleep:700", nullptr));
    ASSERT_NE(marker, INVALID_HANDLE_VALUE);
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(platform.WaitForProcess(::GetProcessId(marker)));
    EXPECT_GE(::GetTickCount() - start, 500u);
    EXPECT_NE(GetFile(dir / "started.txt"), "") << "the process had finished its work";
    EXPECT_EQ(::WaitForSingleObject(marker, 0), WAIT_OBJECT_0);
    ::CloseHandle(marker);
    EXPECT_FALSE(platform.StartProcess(dir / "none.exe", "") || platform.StartProcess(dir / "data.exe", ""));
}

// The start's clean-up removes the names this program's own file was moved
// aside to, and no other name like them.
TEST(Win32SelfUpdate, CleanupRemovesOnlyMovedAsideNames) {
    wchar_t self[MAX_PATH];
    const std::string own = Narrow(std::wstring(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH)));
    const std::pair<std::string, bool> cases[] = {  // name, removed
        {MovedAsideName(own, 1), true}, {own + ".42.~old", true}, {own + ".x.~old", false},
        {own + ".1x.~old", false},      {own + "..~old", false},
    };
    for (const auto& [name, removed] : cases) ASSERT_TRUE(PutFile(name, "x"));
    RemoveMovedAsideFiles();
    for (const auto& [name, removed] : cases) {
        EXPECT_NE(Win32Platform().FileExists(name), removed) << name;
        ::DeleteFileW(Wide(name).c_str());
    }
}

}  // namespace
}  // namespace yrn::test
