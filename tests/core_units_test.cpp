// Directory tokens, the profile-file batch writes, the registry file, copies,
// start-up from the command line and the programs started at the end.
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>

#include "platform/posix/RegFile.h"
#include "support/FaultPlatform.h"
#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

// Each value: whether it names an installed directory, and the directory.
TEST(ResolveTargetDir, TokensLiteralsAndNotInstalled) {
    PosixPlatform p("/nonexistent");
    std::string report;
    for (auto value : {"<default>",
                              "<РАБОЧАЯ>",
                              "<windows>",
                              "<ОС>",
                              "<system>",
                              "<СИСТЕМНАЯ>",
                              "<DB>",
                              "<БАЗА ДАННЫХ>",
                              "<fromOffice>",
                              "<ИЗ ОФИСА>",
                              "<payments>",
                              "<ВИДЫ ОПЛАТЫ>",
                              "<ТРК>",
                              "<TRK>",
                              "<none>",
                              "<НЕ НУЖНО>",
                              "",
                              "  \t ",
                              "<Default>",
                              "<ос>",
                              "D:\\Apps",
                              "D:\\Apps\\",
                              " D:\\Apps ",
                              "D:/Apps/"}) {
        auto v = W(value);
        bool installed = ResolveTargetDir(p, v);
        report += "[" + std::string(value) + "] " + (installed ? "[" : "not installed [") + Cp1251ToUtf8(v) + "]\n";
    }
    FaultPlatform noWindows(p);
    noWindows.FailWhen([](auto& r) { return r.call == Call::WindowsDirectory; });
    std::string v = "<system>";
    report += "the Windows directory unknown: " + std::to_string(ResolveTargetDir(noWindows, v)) + " [" + v + "]\n";
    ExpectGolden(report, "target_directories.txt");
}

TEST(UnsafeFileName, RejectsNamesThatLeaveTheirDirectory) {
    for (auto bad : {"..\\x.exe", "a\\..\\..\\x", "../x", "\\x.exe", "/etc/passwd", "C:x.exe", "D:\\x", "", "a\x01.exe", ".."})
        EXPECT_TRUE(IsUnsafeFileName(bad)) << bad;
    EXPECT_TRUE(IsUnsafeFileName(std::string(300, 'a')));
    for (auto good : {"Shift.exe", "..x.dll", "a..b", "sub\\file.dll"}) EXPECT_FALSE(IsUnsafeFileName(good)) << good;
}

// Every line the tool does not own (other types, a value going on over lines,
// the default value, comments, damaged lines, other keys) keeps its bytes and
// its place; values set replace their own line or go after the key's last line.
TEST(RegFile, KeepsWhatItDoesNotOwnByteForByte) {
    auto f = RegFile::Parse(Golden("registry_foreign_lines.reg"));
    auto k = f.FindKey("hkey_local_machine\\software\\quenbrit\\yrn\\update");
    ASSERT_NE(k, nullptr);
    auto v = [&](const char* name) { return RegFile::FindValue(*k, name); };
    EXPECT_EQ(v("updatepath")->text, "D:\\Pkg\\");
    EXPECT_EQ(v("SWTYPE")->dword, 1u);
    EXPECT_EQ(v("Q")->text, "say \"hi\"");
    for (auto name : {"Bad", "multi", "Long"}) EXPECT_TRUE(v(name) && v(name)->type == RegType::Other) << name;
    EXPECT_FALSE(v("@") || v(""));
    RegFile::SetDword(*k, "Shift.exe", 0xFFFFFFFFu);
    RegFile::SetString(*k, "SWTYPE", "x");
    RegFile::SetDword(*k, "bad", 2);
    RegFile::SetString(*k, "multi", "m");
    RegFile::SetDword(f.AddKey("HKEY_LOCAL_MACHINE\\New"), "n", 3);
    ExpectGolden(f.Text(), "registry_foreign_lines_set.reg");
    EXPECT_EQ(RegFile::Parse("[K]\r\n").Text(), "[K]\r\n");
    // A string cut off before its closing quote or after an escaping backslash is damaged, not a string.
    auto torn = RegFile::Parse("[K]\r\n\"d\"=dword:000000af\r\n\"D2\"=dword:000000AF\r\n\"t\"=\"abc\r\n\"s\"=\"a\\");
    k = torn.FindKey("K");
    for (auto name : {"d", "D2"}) EXPECT_EQ(v(name)->dword, 0xafu) << name;
    EXPECT_TRUE(RegFile::IsRegedit4("REGEDIT4\r\n") && !RegFile::IsRegedit4("REGEDIT5\r\n"));
    for (auto name : {"s", "t"}) EXPECT_TRUE(!v(name) || v(name)->type == RegType::Other) << name;
}

// A new value of the file's last key is written in place at the tail (same
// file); any other change replaces the whole file. Either way the bytes are
// exactly the registry's text: each case in the golden file shows which way
// it went, then the file's bytes.
TEST_F(RunTest, RegistryWritesTheTailInPlaceOnlyWhenThatIsExact) {
    std::string key = "SOFTWARE\\Quenbrit\\YRN\\Update", withA = kRegistryHead + "\"a.exe\"=dword:00000001\r\n", lf = withA, reg = root.Native("registry.reg");
    std::erase(lf, '\r');
    struct Case { std::string before, name; bool changedMeanwhile = false; } cases[] = {
        {withA + "\r\n", "b.exe"},
        {withA + "\r\n", "b.exe", true},
        {withA + "\r\n", "A.EXE"},
        {kRegistryHead + "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"x\"=\"1\"\r\n\r\n", "b.exe"},
        {lf, "b.exe"},
    };
    std::string report;
    for (auto& c : cases) {
        WriteFile(reg, c.before);
        struct stat before {}, after {};
        ::stat(reg.c_str(), &before);
        auto opened = platform.OpenRegistryKey(key);
        // another writer grew the file since it was read: the tail is no longer where it was
        if (c.changedMeanwhile) std::ofstream(reg, std::ios::app) << "x";
        // left by some earlier call: a write that went through is not tried again
        errno = EINTR;
        EXPECT_TRUE(opened && opened->WriteInteger(c.name, 7));
        ::stat(reg.c_str(), &after);
        report += (before.st_ino == after.st_ino ? "== in place\n" : "== replaced\n") + Registry() + "\n";
    }
    ExpectGolden(report, "registry_tail_writes.txt");
}

// CopyFile replaces a regular file; CopyNewFile takes only a free name. Either
// way a refused copy leaves the target as it was and no temporary file.
TEST_F(RunTest, CopiesReplaceOrTakeOnlyAFreeName) {
    enum Target { Free, Regular, Directory, DanglingLink };
    struct Case { bool onlyNew; Target target; bool ok; } cases[] = {
        {false, Free, true},
        {false, Regular, true},
        {false, Directory, false},
        {true, Free, true},
        {true, Regular, false},
        {true, Directory, false},
        {true, DanglingLink, false},
    };
    auto fresh = std::string(70000, 'n') + "\r\n", source = root.Native("c/PKG/Новый.exe"), src = W("C:\\PKG\\Новый.exe");
    auto& files = platform.Files();
    WriteFile(source, fresh);
    ::chmod(source.c_str(), 0751);
    for (int n = 0; n < 7; ++n) {
        auto& c = cases[n];
        SCOPED_TRACE(n);
        auto t = "T" + std::to_string(n), dir = root.Native("c/" + t), target = dir + "/Shift.exe";
        auto dst = "C:\\" + t + "\\Shift.exe";
        WriteFile(dir + "/keep", "");
        struct stat st {};
        if (c.target == Regular) WriteFile(target, "old bytes");
        if (c.target == Directory) ::mkdir(target.c_str(), 0755);
        if (c.target == DanglingLink) ::symlink("nowhere", target.c_str());
        // left by some earlier call: a chunk that went through is not copied again
        errno = EINTR;
        EXPECT_EQ(c.onlyNew ? files.CopyNewFile(src, dst) : files.CopyFile(src, dst), c.ok);
        ASSERT_EQ(::lstat(target.c_str(), &st), 0);
        // A directory or a link reads as nothing.
        EXPECT_EQ(ReadFile(target), c.ok ? fresh : c.target == Regular ? "old bytes" : "");
        EXPECT_TRUE(!c.ok || (st.st_mode & 07777) == 0751);
        EXPECT_TRUE(c.target != DanglingLink || S_ISLNK(st.st_mode));
        EXPECT_EQ(ListDir(dir), (std::vector<std::string>{"Shift.exe", "keep"}));
    }
    EXPECT_FALSE(files.CopyNewFile("C:\\PKG\\none.exe", "C:\\T1\\other.exe") || files.CopyNewFile(src, "C:\\absent\\Shift.exe"));
    // No directory is created.
    EXPECT_FALSE(Exists(root.Native("c/absent")));
}

// The unattended start's three arguments: the window shown, and the settings taken.
TEST_F(RunTest, CommandLineBranch) {
    std::string report;
    for (auto args : {"0 D:\\Pkg 1",
                             "4294967296 D:\\Pkg\\ 3",
                             "0 \"\" 2",
                             "0 D:\\Pkg x",
                             "0 D:\\Pkg 4",
                             "0 D:\\Pkg -1",
                             "abc D:\\Pkg 1",
                             "-5 D:\\Pkg 0"}) {
        ResetSettings();
        // a dialog shown would cancel
        ScriptedUI ui;
        auto result = QueryParams(SplitWindowsCommandLine(args), platform, ui);
        report += std::string(args) + ": " + (result == mrUpdate ? "update" : result == mrFailure ? "failure" : "?") + " [" + UpdatePath +
                  "] " + std::to_string(swType) + (IsMessage || IsNoVersion ? " asks\n" : "\n");
    }
    ExpectGolden(report, "command_lines.txt");
    EXPECT_FALSE(Exists(root.Native("registry.reg")));
}

// A failure escaping a window ends the program with the failure box, once,
// and the start-up failure's exit status.
TEST_F(RunTest, FailureEscapingAWindowShowsTheFailureBox) {
    struct ThrowingUI : ScriptedUI {
        void ShowStartupFailure() override { ++failures; }
        int ShowParamForm(TParamForm& f) override { return f.cbSWType = 0, 3; }
        void ShowUpdateForm(TUpdateForm&) override { throw std::runtime_error("no window"); }
        void ShowBackUpForm(TBackUpForm&) override { throw std::bad_alloc(); }
        int failures = 0;
    } update, rollback;
    EXPECT_EQ(RunProgram({"0", "D:\\P", "1"}, platform, update), StartupFailureStatus);
    EXPECT_EQ(RunProgram({}, platform, rollback), StartupFailureStatus);
    EXPECT_EQ(update.failures + 10 * rollback.failures, 11);
    EXPECT_EQ(RollbackList, nullptr);
}

// A running process is waited for until it ends; ourselves, a process group
// or an id no process has are refused at once.
TEST_F(RunTest, WaitsForTheGivenProcessOnly) {
    pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    for (uint32_t pid : {0u, uint32_t(::getpid()), uint32_t(gone), 0x80000000u, 0xFFFFFFFFu})
        EXPECT_FALSE(platform.WaitForProcess(pid)) << pid;
    pid_t child = ::fork();
    if (child == 0) {
        ::usleep(300 * 1000);
        ::_exit(0);
    }
    auto start = std::chrono::steady_clock::now();
    ScriptedUI ui;
    EXPECT_EQ(QueryParams({std::to_string(child), "D:\\P", "0"}, platform, ui), mrUpdate);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    // Left by some earlier call: no reason to wait again.
    errno = EINTR;
    // An ended process not yet reaped.
    EXPECT_TRUE(platform.WaitForProcess(child));
    ::waitpid(child, nullptr, 0);
}

// Started without waiting, in order, each with the first entry's parameters;
// a missing program or a refused start keeps none of the others from starting.
TEST_F(RunTest, QueuedProgramsStartWithTheirParameters) {
    // One append per program, so that programs running side by side never mix their lines.
    auto out = root.Native("out"), script = "#!/bin/sh\nline=\nfor a in \"$@\"; do line=\"$line[$a]\"; done\nprintf '%s\\r\\n' \"$line\" >> '" + out + "'\n";
    auto dir = root.Native("c/TOVR/");
    for (auto name : {"A prog.sh", "B.sh", "noexec.sh"}) WriteFile(dir + name, script);
    for (auto name : {"A prog.sh", "B.sh"}) ::chmod((dir + name).c_str(), 0755);
    AddToRunList("C:\\TOVR\\A prog.sh", "/silent \"two words\" a\\\"b");
    AddToRunList("C:\\TOVR\\gone.sh", "x");
    AddToRunList("C:\\TOVR\\noexec.sh", "x");
    AddToRunList("C:\\TOVR\\B.sh", "");
    AddToRunList("C:\\TOVR\\A prog.sh", "ignored: the first entry's parameters count");
    RunQueued(platform);
    EXPECT_FALSE(RunList);
    std::string lines;
    for (int i = 0; i < 500 && std::ranges::count(lines, '\n') < 3; ++i) {
        ::usleep(20000);
        lines = ReadFile(out);
    }
    ::usleep(100000);
    // Their order is theirs, the set is ours.
    auto sorted = LogLines(ReadFile(out));
    std::ranges::sort(sorted);
    EXPECT_EQ(sorted, (std::vector<std::string>{"", "[/silent][two words][a\"b]", "[/silent][two words][a\"b]"}));
}

// The tool's own command line (quotes group, backslashes stay), then a started
// program's parameters split by Windows rules, each over the same lines.
TEST(CommandLine, SplitsTheToolsLineAndAProgramsParameters) {
    std::string report;
    for (auto split : {SplitCommandLine, SplitWindowsCommandLine}) {
        for (auto line : {"",
                                 "  a  b ",
                                 "\"a b\" c",
                                 "a\\\\\"b c\"",
                                 "a\\\"b",
                                 "a\\b",
                                 "\"\"",
                                 "\"a\"\"b\"",
                                 "YRNUpdate.exe 1234 \"C:\\TOVR\\UPDATE\\\" 1",
                                 "\"C:\\Program Files\\YRNUpdate.exe\" 1 \"C:\\Pack Q\\\" 2",
                                 " x\tC:\\a\\  \"\"  ",
                                 "a\"b c\"d \\\"e\" \"\xDE\xCA\"",
                                 "\"open quote",
                                 "  "}) {
            report += std::string(line) + " ->";
            for (auto& arg : split(line)) report += " [" + arg + "]";
            report += "\n";
        }
        report += "\n";
    }
    ExpectGolden(report, "command_line_split.txt");
}

}
}
