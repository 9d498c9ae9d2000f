// The POSIX backend's own answers: drive paths under the prefix root, whole
// files read back, directory searches and the registry file's failures.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "core/SavedCopies.h"
#include "platform/posix/pe/PeVersion.h"
#include "support/PeImages.h"
#include "support/RunFixture.h"
#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

TEST_F(RunTest, NativePathMapsEveryDriveLetterOnly) {
    std::string report;
    for (auto path : {"A:\\x",
                      "Z:\\x",
                      "a:x",
                      "z:",
                      "C:\\..\\..\\etc\\passwd",
                      "C:..\\x",
                      "C:\\a\\.\\..\\b\\",
                      "@:\\x",
                      "[:\\x",
                      "`:\\x",
                      "{:\\x",
                      "/etc\\x"}) {
        auto native = platform.NativePath(path);
        report += path + (" -> " + (native.starts_with(root.Path()) ? "<root>" + native.substr(root.Path().size()) : native)) + "\n";
    }
    ExpectGolden(report, "native_paths.txt");
}

// Whole files are read from regular files only; searches skip hidden entries.
TEST_F(RunTest, FilesAndDirectories) {
    std::string big(200000, 'b');
    for (auto name : {"c/d/a.exe", "c/d/.hidden.exe", "c/d/Папка/x"}) WriteFile(root.Native(name), big);
    std::string bytes = "old";
    // left by some earlier call: the end of the file still ends the read
    errno = EINTR;
    EXPECT_TRUE(platform.ReadWholeFile("C:\\d\\a.exe", bytes) && bytes == big && !platform.ReadWholeFile("C:\\d", bytes) &&
                !platform.ReadWholeFile("C:\\missing", bytes));
    EXPECT_TRUE(!platform.FileExists("C:\\d") && platform.DirectoryExists("C:\\d") && platform.FileExists("C:\\d\\a.exe") &&
                !platform.DirectoryExists("C:\\d\\a.exe"));
    auto found = platform.FindFiles("C:\\d\\", "*");
    std::ranges::sort(found);
    EXPECT_EQ(found, (std::vector<std::string>{"a.exe", W("Папка")}));
    EXPECT_EQ(platform.FindFiles("C:\\d\\", "*.EXE"), std::vector<std::string>{"a.exe"});
    EXPECT_TRUE(platform.FindFiles("C:\\none\\", "*").empty() && platform.CreateDir("C:\\d\\f\\") && !platform.CreateDir("C:\\d\\f"));
    EXPECT_EQ(platform.FileSize("C:\\d\\a.exe") + platform.FileSize("C:\\d"), big.size());
    EXPECT_TRUE(platform.ForceDirectories("C:\\d\\e\\g") && platform.DirectoryExists("C:\\d\\e\\g") && !platform.ForceDirectories("") && platform.ForceDirectories("/") &&
                !platform.ForceDirectories("C:\\d\\" + std::string(300, 'n') + "\\x"));
}

// The log's file refuses every use once closed.
TEST_F(RunTest, LogFileRefusesUseOnceClosed) {
    EXPECT_FALSE(platform.OpenAppend("C:\\none\\x.log"));
    auto log = platform.OpenAppend("x.log");
    EXPECT_TRUE(log && log->Write("a") && log->Flush() && log->Close() && !log->Write("b") && !log->Flush() && !log->Close());
    EXPECT_EQ(ReadFile(root.Native("cwd/x.log")), "a");
}

// Only a file within the size limit is read for its version.
TEST_F(RunTest, VersionFilesUpToTheSizeLimit) {
    auto image = PeImageBytes("two.exe");
    uint32_t handle = 1;
    for (size_t extra : {0, 1}) {
        image.resize(kMaxVersionFileSize + extra);
        WriteFile(root.Native("c/big.exe"), image);
        EXPECT_EQ(platform.VersionInfoSize("C:\\big.exe", handle) != 0, extra == 0);
    }
}

// The clock reads local time.
TEST_F(RunTest, ClockReadsLocalTime) {
    auto t = std::time(nullptr);
    auto tm = *std::localtime(&t);
    auto now = platform.Now();
    // Unless midnight came in between.
    EXPECT_TRUE(now.day != tm.tm_mday || (now.year == tm.tm_year + 1900 && now.month == tm.tm_mon + 1));
}

// A temporary name another file already has is passed over; a source that
// is not there is copied to no temporary file.
TEST_F(RunTest, TempNameTakenIsPassedOver) {
    WriteFile(root.Native("c/a"), "a");
    std::string first, second;
    ASSERT_TRUE(platform.CopyToTemp("C:\\a", "C:\\b", first));
    auto dash = first.rfind('-');
    auto next = first.substr(3, dash - 2) + std::to_string(std::stoi(first.substr(dash + 1)) + 1) + ".tmp";
    WriteFile(root.Native("c/" + next), "taken");
    EXPECT_TRUE(platform.CopyToTemp("C:\\a", "C:\\b", second) && !platform.CopyToTemp("C:\\missing", "C:\\b", first));
    EXPECT_EQ(ReadFile(root.Native("c/" + second.substr(3))), "a");
    EXPECT_EQ(ReadFile(root.Native("c/" + next)), "taken");
}

// The start unshares the saved copies of a set, never a file its catalogue
// names outside the set.
TEST_F(RunTest, StartUnsharesOnlyCopiesInsideTheirSet) {
    auto tovr = root.Native("c/TOVR/"), set = tovr + "UPDATE/OldFiles/24-01-01 10-00/";
    WriteFile(set + "BackUp.ini", "[FILES]\r\n..\\out.exe=C:\\TOVR\\out.exe\r\nin.exe=C:\\TOVR\\in.exe\r\n");
    for (auto name : {"out.exe", "in.exe"}) WriteFile(tovr + name, name);
    ::link((tovr + "out.exe").c_str(), (set + "../out.exe").c_str());
    ::link((tovr + "in.exe").c_str(), (set + "in.exe").c_str());
    UnshareSavedCopies(platform);
    EXPECT_EQ(platform.LinkCount("C:\\TOVR\\out.exe"), 2);
    EXPECT_EQ(platform.LinkCount("C:\\TOVR\\in.exe"), 1);
}

// A Windows directory of more than 255 characters is not one.
TEST(QueryWindowsDir, KeepsAtMost255Characters) {
    struct LongWindows : PosixPlatform {
        std::string dir;
        std::string WindowsDirectory() override { return dir; }
    } p;
    for (size_t size : {255, 256}) {
        p.dir = std::string(size, 'w');
        EXPECT_EQ(QueryWindowsDir(p).size(), size == 255 ? 255u : 0u);
    }
}

// The prefix root: the given one, else from the environment, trailing slashes dropped.
TEST(PosixRoot, ComesFromTheEnvironment) {
    // YRN_ROOT, XDG_DATA_HOME, HOME (nullptr: unset) and the root they give
    const char* cases[][4] = {
        {"/r//", "/x", "/h", "/r"},
        {"", "/x", "/h", "/x/yrnupdate"},
        {nullptr, "", "/h", "/h/.local/share/yrnupdate"},
        {nullptr, nullptr, "", "./yrnupdate"},
    };
    std::string home = std::getenv("HOME");
    for (auto& [yrn, xdg, h, root] : cases) {
        for (auto [name, value] : {std::pair{"YRN_ROOT", yrn}, {"XDG_DATA_HOME", xdg}, {"HOME", h}})
            value ? ::setenv(name, value, 1) : ::unsetenv(name);
        EXPECT_EQ(PosixPlatform().Root(), root);
    }
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("YRN_ROOT");
}

// A value written reads back; a write that does not reach the file is reported and not kept.
TEST_F(RunTest, RegistryReportsWhatItCannotDo) {
    WriteFile(root.Native("registry.reg"), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"s\"=\"t\"\r\n\"d\"=dword:80000000\r\n\r\n");
    auto key = platform.OpenRegistryKey("K");
    ASSERT_TRUE(key);
    std::string s;
    int32_t d = 0;
    EXPECT_TRUE(key->ReadInteger("D", d) == RegRead::Ok && d == INT32_MIN && key->WriteString("s2", "v") && key->ReadString("S2", s) == RegRead::Ok &&
                s == "v");
    auto moved = root.Path() + "-moved";
    fs::rename(root.Path(), moved);
    EXPECT_TRUE(!key->WriteInteger("n", 1) && !key->WriteString("s", "u") && key->ReadString("s", s) == RegRead::Ok && s == "t");
    fs::rename(moved, root.Path());
}

}
}
