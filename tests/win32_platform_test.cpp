// The Win32 backend on the real API (Windows, or Wine's implementation of it).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <ctime>
#include <process.h>
#include <thread>

#include "core/text.h"
#include "platform/win32/Win32Handle.h"
#include "core/DurableFiles.h"
#include "platform/win32/Win32Platform.h"
#include "support/win32_Files.h"

namespace yrn::test {
namespace {

// ---------------------------------------------------------------- registry

// The backend's writes read raw as "type:bytes" (text in UTF-16 with its
// NUL), then each answer of a read; names ignore letter case, and a closed
// key fails. The keys live in the 32-bit view, which a 64-bit build of the
// tests opens explicitly.
TEST(Win32Registry, WritesAsStoredAndEachReadAnswer) {
    auto sub = L"Quenbrit\\YRN\\Win32Test";
    HKEY software{};
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &software), ERROR_SUCCESS);
    auto k = Win32Platform().OpenRegistryKey("SOFTWARE\\" + Narrow(sub));
    ASSERT_TRUE(k);
    auto raw = [&](string name) {
        DWORD type = 0, size = 4096;
        string data(size, '\0');
        RegGetValueW(software, sub, Wide(name).c_str(), RRF_RT_ANY, &type, data.data(), &size);
        return std::to_string(type) + ":" + data.substr(0, size);
    };
    auto path = W("C:\\Пакет ёЁ\\");
    const char16_t wide[] = u"C:\\Пакет ёЁ\\";
    ASSERT_TRUE(k->WriteString("UpdatePath", path) && k->WriteInteger(W("Смена.exe"), -7));
    EXPECT_EQ(raw("UpdatePath"), "1:" + string(reinterpret_cast<const char*>(wide), sizeof wide));
    EXPECT_EQ(raw(W("Смена.exe")), "4:\xF9\xFF\xFF\xFF");
    using enum RegRead;
    struct {
        string name;
        RegRead asString, asInteger;
        // By default the read leaves both as they were.
        int32_t number = -1;
        string text = "unchanged";
    } cases[] = {
        {"UpdatePath", Ok, WrongType, -1, path},
        {W("СМЕНА.EXE"), WrongType, Ok, -7},
        {"missing", Missing, Missing},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        string s = "unchanged";
        int32_t i = -1;
        EXPECT_EQ(k->ReadString(c.name, s), c.asString);
        EXPECT_EQ(k->ReadInteger(c.name, i), c.asInteger);
        EXPECT_EQ(s, c.text);
        EXPECT_EQ(i, c.number);
        EXPECT_EQ(k->ValueExists(c.name), c.asString != Missing);
    }
    k->Close();
    string s;
    EXPECT_EQ(k->ReadString("UpdatePath", s), Failed);
    RegDeleteTreeW(software, sub);
    RegCloseKey(software);
}

// ------------------------------------------------------------------- files

struct Win32Files : testing::Test {
    Win32TempDir dir;
    Win32Platform p;
    DurableFiles& files = p.Files();
};

TEST_F(Win32Files, ExistsAndDirectories) {
    auto f = dir / "f";
    ASSERT_TRUE(PutFile(f, "x"));
    EXPECT_TRUE(p.FileExists(f) && p.DirectoryExists(dir.path));
    EXPECT_FALSE(p.DirectoryExists(f) || p.FileExists(dir.path) || p.FileExists(dir / "none") || p.DirectoryExists(dir / "none"));
    // CreateDir makes one level.
    EXPECT_FALSE(p.CreateDir(dir / "a\\b") || p.DirectoryExists(dir / "a"));
    EXPECT_TRUE(p.CreateDir(dir / "a"));
    EXPECT_TRUE(p.ForceDirectories(dir / "x\\y z\\z\\") && p.DirectoryExists(dir / "x\\y z\\z"));
    EXPECT_FALSE(p.ForceDirectories(f + "\\sub"));
}

// The time of path's last change (100 ns steps), set first when given.
uint64_t LastChange(string path, uint64_t set = 0) {
    FileHandle h(Open(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES));
    auto t = std::bit_cast<FILETIME>(set);
    if (set) SetFileTime(h.Get(), nullptr, nullptr, &t);
    GetFileTime(h.Get(), nullptr, nullptr, &t);
    return std::bit_cast<uint64_t>(t);
}
constexpr auto kOldTime = 0x01D0000012345600u;

// How CopyFile(src, dst) of a read-only source ends for each kind of target,
// and when the source or the target is held open, sharing nothing, for 2.5 s
// or for good: a momentary hold is waited out, one held for good fails after
// about 5 s, nothing else waits. A done copy carries the source's time of
// last change and is neither read-only nor hidden (as its temporary is); no
// temporary file is left and no directory is created.
TEST_F(Win32Files, CopyReplacesOrLeavesTheTargetWhole) {
    enum Target { Older, ReadOnly, NoDirectory, NoSource };
    struct {
        const char* name;
        Target target;
        bool ok;
        // Or "source", "target"; holdMs 0: for good.
        const char* held = nullptr;
        int holdMs = 0;
        // The time the copy takes, in milliseconds.
        unsigned minMs = 0, maxMs = 1000;
    } cases[] = {
        {"readonly", ReadOnly, false},
        {"nodir", NoDirectory, false},
        {"nosource", NoSource, false},
        {"source_unshared_2500ms", Older, true, "source", 2500, 1500, 3500},
        {"target_unshared_for_good", Older, false, "target", 0, 4900, 5600},
    };
    string fresh(3000, 'n'), old(9000, 'o');
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto d = dir / c.name + "\\", source = d + W("Новый");
        ASSERT_TRUE(p.ForceDirectories(d + "to"));
        if (c.target != NoSource) { ASSERT_TRUE(PutFile(source, fresh) && LastChange(source, kOldTime) == kOldTime && SetAttributes(source, FILE_ATTRIBUTE_READONLY)); }
        bool hadOld = c.target != NoDirectory;
        auto target = d + (hadOld ? "to" : "absent") + "\\Shift.exe";
        if (hadOld) { ASSERT_TRUE(PutFile(target, old)); }
        if (c.target == ReadOnly) { ASSERT_TRUE(SetAttributes(target, FILE_ATTRIBUTE_READONLY)); }
        FileHandle held(c.held ? Open(c.held == string("source") ? source : target, GENERIC_READ) : INVALID_HANDLE_VALUE);
        std::thread release([&] {
            Sleep(c.holdMs);
            if (c.holdMs) held.Close();
        });

        auto start = GetTickCount64();
        EXPECT_EQ(files.CopyFile(source, target), c.ok);
        auto took = GetTickCount64() - start;
        release.join();
        held.Close();
        EXPECT_GE(took, c.minMs);
        EXPECT_LE(took, c.maxMs);
        EXPECT_EQ(GetFile(target), c.ok ? fresh : hadOld ? old : "");
        EXPECT_FALSE(p.DirectoryExists(d + "absent"));
        EXPECT_EQ(AllNames(d + "to\\"), hadOld ? Names{"Shift.exe"} : Names{});
        if (c.ok) {
            EXPECT_FALSE(GetFileAttributesW(Wide(target).c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
            EXPECT_EQ(LastChange(target), kOldTime);
        }
    }
}

// SaveCopy links only a file nothing but a new file taking its name can
// change (the linked case: below). A read-only one, one with another name,
// one another handle writes into (as fopen's "r+" does) or keeps from being
// replaced is copied: a saved copy with bytes of its own. A taken name fails.
TEST_F(Win32Files, SaveCopyCopiesAFileSomethingElseMayChange) {
    for (string kind : {"read_only", "second_name", "held"}) {
        SCOPED_TRACE(kind);
        auto live = dir / kind, saved = live + ".saved";
        ASSERT_TRUE(PutFile(live, "old"));
        if (kind == "read_only") { ASSERT_TRUE(SetAttributes(live, FILE_ATTRIBUTE_READONLY)); }
        if (kind == "second_name") fs::create_hard_link(Fs(live), Fs(live + ".2"));
        FileHandle held(kind == "held" ? Open(live, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE) : INVALID_HANDLE_VALUE);
        ASSERT_TRUE(files.SaveCopy(live, saved));
        EXPECT_EQ(p.LinkCount(saved), 1);
        EXPECT_EQ(GetFile(saved), "old");
        EXPECT_FALSE(files.SaveCopy(live, saved));
    }
}

// A linked saved copy: unsharing gives it bytes of its own, or, where it
// cannot (its temporary name taken), leaves it as it was; RemoveFile takes
// it away. (That a copy replacing the file leaves the linked saved copy its
// old bytes: the end-to-end run's backup set.)
TEST_F(Win32Files, LinkedSavedCopyUnsharedRemoved) {
    auto lib = dir / "Lib.dll", saved = dir / "saved.dll";
    ASSERT_TRUE(PutFile(lib, "old") && files.SaveCopy(lib, saved));
    ASSERT_TRUE(p.CreateDir(saved + ".~yrn"));
    EXPECT_FALSE(files.UnshareCopy(saved));
    EXPECT_EQ(p.LinkCount(saved), 2);
    ASSERT_TRUE(fs::remove(Fs(saved + ".~yrn")));
    EXPECT_TRUE(files.UnshareCopy(saved));
    EXPECT_EQ(p.LinkCount(lib), 1);
    EXPECT_EQ(GetFile(saved), "old");
    EXPECT_TRUE(files.RemoveFile(saved));
    EXPECT_FALSE(files.RemoveFile(saved) || files.UnshareCopy(saved));
    EXPECT_EQ(p.LinkCount(saved), 0);
    EXPECT_EQ(AllNames(dir.path), Names{"Lib.dll"});
}

// Whole files where none can be, appends only to a file that is there, and
// the log opened for appending again and again. (The profile-file
// comparison writes, appends and reads files.)
TEST_F(Win32Files, WholeFilesAndAppends) {
    string bytes;
    EXPECT_FALSE(p.ReadWholeFile(dir / "x.ini", bytes) || files.AppendToFile(dir / "x.ini", "a") || files.WriteWholeFile(dir / "none\\x.ini", "x") || p.OpenAppend(dir / "none\\log"));
    for (auto text : {"\r\nfirst\r\n", "second\r\n"}) {
        auto f = p.OpenAppend(dir / "log");
        ASSERT_TRUE(f);
        EXPECT_TRUE(f->Write(text) && f->Flush() && f->Close());
        EXPECT_FALSE(f->Write("x"));
    }
    EXPECT_EQ(GetFile(dir / "log"), "\r\nfirst\r\nsecond\r\n");
    EXPECT_EQ(AllNames(dir.path), Names{"log"});
}

// Many files flushed at once, by their volume where it may be; a file that
// cannot be opened fails the flush, the others are still flushed.
TEST_F(Win32Files, FlushVolumesFailsOnlyForAFileNotThere) {
    ASSERT_TRUE(PutFile(dir / "a", "a") && PutFile(dir / "b", "b"));
    EXPECT_TRUE(p.FlushVolumes({dir / "a", dir.path, dir / "b"}));
    EXPECT_FALSE(p.FlushVolumes({dir / "a", dir / "none"}));
    EXPECT_TRUE(p.FlushVolumes({}));
}

TEST_F(Win32Files, FindFilesSkipsHiddenAndSystemEntries) {
    auto set = "22-03-05 14-07";
    for (auto name : {"a.txt", "h.txt", "s.txt"}) ASSERT_TRUE(PutFile(dir / name, "x"));
    ASSERT_TRUE(p.CreateDir(dir / set) && SetAttributes(dir / "h.txt", FILE_ATTRIBUTE_HIDDEN) && SetAttributes(dir / "s.txt", FILE_ATTRIBUTE_SYSTEM));
    auto all = p.FindFiles(dir.path, "*");
    std::ranges::sort(all);
    EXPECT_EQ(all, (Names{set, "a.txt"}));
    EXPECT_TRUE(p.FindFiles(dir / "none\\", "*").empty());
}

// The Windows directory, without a final "\"; the time against the C
// library's clock, taken back from local fields.
TEST_F(Win32Files, WindowsDirectoryAndLocalTime) {
    auto windows = p.WindowsDirectory();
    EXPECT_TRUE(p.DirectoryExists(windows + "\\System32") && windows.back() != '\\');
    auto now = p.Now();
    std::tm f{now.second, now.minute, now.hour, now.day, now.month - 1, now.year - 1900, 0, 0, -1};
    EXPECT_NEAR(std::difftime(std::mktime(&f), std::time(nullptr)), 0, 2);
}

// --------------------------------------------------------------- processes

// A wait refuses its own and unknown processes and waits for others until
// they have finished their work; a start of what is no program fails. (The
// end-to-end run starts a program in a directory with a blank beside a file
// the path's prefix names.) Only a program with a blank is quoted.
TEST_F(Win32Files, WaitAndStart) {
    EXPECT_EQ(StartCommandLine("C:\\TOVR\\Shift.exe", "a \"b c\""), "C:\\TOVR\\Shift.exe a \"b c\"");
    EXPECT_FALSE(p.WaitForProcess(GetCurrentProcessId()) || p.WaitForProcess(0xFFFFFFF0u));
    ASSERT_TRUE(files.CopyFile(BuiltProgram("yrn_marker.exe"), dir / "Marker.exe") && PutFile(dir / "data.exe", "x"));
    auto marker = reinterpret_cast<HANDLE>(_spawnl(_P_NOWAIT, (dir / "Marker.exe").c_str(), "Marker", "sleep:700", nullptr));
    EXPECT_TRUE(p.WaitForProcess(GetProcessId(marker)) && WaitForSingleObject(marker, 0) == WAIT_OBJECT_0);
    CloseHandle(marker);
    EXPECT_FALSE(p.StartProcess(dir / "data.exe", ""));
}

// The start's clean-up removes the names this program's own file was moved
// aside to (true), and no other name like them.
TEST_F(Win32Files, CleanupRemovesOnlyMovedAsideNames) {
    auto own = OwnPath();
    std::pair<string, bool> cases[] = {
        {MovedAsideName(own, 1), true},
        {own + ".1x.~old", false},
        {own + "..~old", false},
    };
    for (auto& [name, removed] : cases) ASSERT_TRUE(PutFile(name, "x"));
    RemoveMovedAsideFiles();
    for (auto& [name, removed] : cases) {
        EXPECT_NE(p.FileExists(name), removed) << name;
        DeleteFileW(Wide(name).c_str());
    }
}

}
}
