// Damaged and hostile input: each gives a clear logged failure or a silent
// skip, never a crash, a hang or a write outside the run's own targets.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <random>

#include "core/BackUpUnit.h"
#include "core/IniFile.h"
#include "platform/posix/RegFile.h"
#include "core/YRNUpdateFrm/TVersionInfo.h"
#include "support/FaultPlatform.h"
#include "support/PeBuilder.h"
#include "support/RunFixture.h"
#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

using Snapshot = std::map<std::string, std::string>;

void Walk(const std::string& root, const std::string& rel, Snapshot& out) {
    for (const std::string& name : ListDir(root + "/" + rel)) {
        const std::string path = rel.empty() ? name : rel + "/" + name;
        struct stat st;
        if (::stat((root + "/" + path).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) Walk(root, path, out);
        else out[path] = ReadFile(root + "/" + path);
    }
}

Snapshot Take(const TempRoot& root) {
    Snapshot s;
    Walk(root.Path(), "", s);
    return s;
}

// Files that are new or changed between two snapshots.
std::vector<std::string> Changed(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> out;
    for (const auto& [path, bytes] : after) {
        auto it = before.find(path);
        if (it == before.end() || it->second != bytes) out.push_back(path);
    }
    return out;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// What an update run may write: its targets, its backup set and local copy,
// the registry and the log.
void ExpectOnlyRunFiles(const Snapshot& before, const Snapshot& after, const std::vector<std::string>& targets) {
    for (const std::string& path : Changed(before, after)) {
        bool ok = path == "registry.reg" || path == "cwd/YRNUpdate.log" ||
                  StartsWith(path, "c/TOVR/UPDATE/OldFiles/") || StartsWith(path, "c/TOVR/UPDATE/NewFiles/") ||
                  std::find(targets.begin(), targets.end(), path) != targets.end();
        EXPECT_TRUE(ok) << "written outside the run's targets: " << path;
    }
}

std::string UpdateKeyText(const std::string& values) {
    return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n" + values + "\r\n";
}

bool HasLine(const RecordingView& v, const std::string& line) {
    return std::find(v.lines.begin(), v.lines.end(), line) != v.lines.end();
}

class HostileTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        UpdatePath = "C:\\PKG\\";
    }
    void Package(const std::string& manifest) { WriteFile(root.Native("c/PKG/YRNUpdate.ini"), manifest); }
    std::vector<std::string> LogTexts() {
        std::vector<std::string> out;
        for (const std::string& l : LogLines(Log()))
            if (!l.empty()) out.push_back(Unstamped(l));
        return out;
    }
};

// ---- manifest file names ---------------------------------------------------

TEST_F(HostileTest, ManifestNamesReachingOutsideFailLoudly) {
    const std::vector<std::pair<const char*, std::string>> names = {
        {"parent", "..\\evil.exe"},
        {"deep parent", "sub\\..\\..\\..\\evil.exe"},
        {"slash parent", "../evil.exe"},
        {"drive", "C:\\evil.exe"},
        {"drive relative", "D:evil.exe"},
        {"rooted", "\\evil.exe"},
        {"absolute POSIX", "/tmp/yrn-hostile-evil.exe"},
        {"control character", "ev\x01il.exe"},
        {"tab inside", "ev\til.exe"},
        {"300 characters", std::string(300, 'A') + ".exe"},
    };
    for (const auto& [label, name] : names) {
        SCOPED_TRACE(label);
        TempRoot local;
        PosixPlatform posix(local.Path());
        ResetSettings();
        UpdatePath = "C:\\PKG\\";
        WriteFile(local.Native("c/PKG/YRNUpdate.ini"),
                  "[ExeFiles]\r\nVersion=4\r\n[FILES]\r\n" + name + "=\r\nGood.exe=\r\n[" + name +
                      "]\r\nSDir=C:\\TOVR\\BIN\\\r\nVersion=1\r\n[Good.exe]\r\nSDir=C:\\TOVR\\\r\nVersion=1\r\n");
        WriteFile(local.Native("c/PKG/Good.exe"), "good");
        // Whatever the name would reach, there is a file for it to take.
        for (const char* p : {"c/evil.exe", "c/TOVR/evil.exe", "c/PKG/sub/x", "c/TOVR/BIN/sub/x", "d/evil.exe"})
            WriteFile(local.Native(p), "bait");
        const Snapshot before = Take(local);
        RecordingView view = RunWindow(posix, 1);
        const std::string failure = W("Сбой при замене файла: ") + name;
        EXPECT_TRUE(HasLine(view, failure));
        EXPECT_TRUE(HasLine(view, W("Обновление исполняемых файлов завершено.")));
        EXPECT_NE(ReadFile(local.Native("cwd/YRNUpdate.log")).find(failure + "\r\n"), std::string::npos);
        EXPECT_EQ(ReadFile(local.Native("c/TOVR/Good.exe")), "good");
        const std::string reg = ReadFile(local.Native("registry.reg"));
        EXPECT_EQ(reg.find("UpdateVersion"), std::string::npos) << "a failed run recorded its version";
        ExpectOnlyRunFiles(before, Take(local), {"c/TOVR/Good.exe"});
        EXPECT_FALSE(Exists("/tmp/yrn-hostile-evil.exe"));
    }
}

// A target directory that climbs above its drive stays on that drive.
TEST_F(HostileTest, TargetDirectoryClimbingAboveTheDriveStaysOnIt) {
    Package("[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\..\\..\\..\\..\\TOVR\\\r\n");
    WriteFile(root.Native("c/PKG/A.exe"), "new");
    WriteFile(root.Native("c/TOVR/A.exe"), "old");
    const Snapshot before = Take(root);
    RecordingView view = RunUpdate();
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), "new");
    ExpectOnlyRunFiles(before, Take(root), {"c/TOVR/A.exe"});
    EXPECT_EQ(platform.NativePath("C:\\..\\..\\etc\\passwd"), root.Path() + "/c/etc/passwd");
    EXPECT_EQ(platform.NativePath("C:..\\x"), root.Path() + "/c/x");
}

// ---- manifest size and shape ---------------------------------------------

TEST_F(HostileTest, HugeLinesAndATenMegabyteManifest) {
    struct Case {
        const char* label;
        std::function<std::string()> make;
    };
    const std::vector<Case> cases = {
        {"a 4 MB line first", [] { return std::string(4 << 20, 'x') + "\r\n"; }},
        {"a 4 MB value", [] { return "[junk]\r\nkey=" + std::string(4 << 20, 'v') + "\r\n"; }},
        {"100000 listed files missing from the package",
         [] {
             std::string files = "[FILES]\r\n", sections;
             for (int i = 0; i < 100000; ++i) {
                 const std::string n = "Missing" + std::to_string(i) + ".exe";
                 files += n + "=\r\n";
                 sections += "[" + n + "]\r\nSDir=C:\\TOVR\\\r\nVersion=1\r\n";
             }
             return files + sections;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempRoot local;
        PosixPlatform posix(local.Path());
        ResetSettings();
        UpdatePath = "C:\\PKG\\";
        std::string manifest = c.make();
        // Up to 10 MB, and the one real file at the very end.
        if (manifest.size() < (10u << 20)) manifest += std::string((10u << 20) - manifest.size(), ';') + "\r\n";
        manifest += "[FILES]\r\nGood.exe=\r\n[Good.exe]\r\nSDir=C:\\TOVR\\\r\nVersion=1\r\n";
        WriteFile(local.Native("c/PKG/YRNUpdate.ini"), manifest);
        WriteFile(local.Native("c/PKG/Good.exe"), "good");
        const auto start = std::chrono::steady_clock::now();
        RecordingView view = RunWindow(posix, 1);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 60.0);
        EXPECT_EQ(view.lines.back(), W("Обновление исполняемых файлов завершено."));
        EXPECT_TRUE(view.endStates.back());
        // The first [FILES] section is the one that counts.
        const bool goodListedFirst = std::string(c.label).find("100000") == std::string::npos;
        EXPECT_EQ(Exists(local.Native("c/TOVR/Good.exe")), goodListedFirst);
    }
}

TEST_F(HostileTest, ManifestThatIsNotIni) {
    std::mt19937 rng(7);
    std::string garbage(1 << 16, '\0');
    for (char& c : garbage) c = static_cast<char>(rng());
    Package(garbage);
    WriteFile(root.Native("c/TOVR/A.exe"), "installed");
    const Snapshot before = Take(root);
    RecordingView view = RunUpdate();
    EXPECT_EQ(view.lines, (std::vector<std::string>{W("Старт программы обновления ЮКСВЕЛ."),
                                                    W("Обновление исполняемых файлов завершено.")}));
    EXPECT_TRUE(view.endStates.back());
    ExpectOnlyRunFiles(before, Take(root), {});
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), "installed");
}

// ---- backup catalogue and sets ----------------------------------------------

TEST_F(HostileTest, GarbageCatalogueRollsBackNothingOutsideItsSet) {
    const std::string set = "c/TOVR/UPDATE/OldFiles/24-01-01 10-00";
    std::mt19937 rng(11);
    std::string garbage(20000, '\0');
    for (char& c : garbage) c = static_cast<char>(rng());
    // Garbage, and entries that try to climb out of the set or into another place.
    const std::string hostile = "[FILES]\r\n..\\..\\evil.exe=C:\\TOVR\\..\\..\\evil.exe\r\n"
                                "C:\\TOVR\\abs.exe=C:\\TOVR\\abs.exe\r\n"
                                "ok.exe=C:\\TOVR\\ok.exe\r\n";
    WriteFile(root.Native(set + "/BackUp.ini"), garbage + "\r\n" + hostile);
    WriteFile(root.Native(set + "/ok.exe"), "saved ok");
    WriteFile(root.Native("c/TOVR/UPDATE/evil.exe"), "bait");  // where "..\..\evil.exe" leads from the set
    WriteFile(root.Native("c/TOVR/abs.exe"), "installed abs");
    WriteFile(root.Native("c/TOVR/ok.exe"), "installed ok");

    ScriptedUI ui;
    TBackUpForm dialog(platform, ui);
    dialog.FormShow();
    ASSERT_EQ(dialog.DirList, (std::vector<std::string>{"24-01-01 10-00"}));
    const Snapshot before = Take(root);
    ResetSettings();
    BackupDir += dialog.DirList[0] + "\\";
    RollbackList = std::make_unique<NameValueList>();
    for (const FileItem& item : dialog.FileList) RollbackList->SetValue(item.caption, item.path);
    RecordingView view = RunRollback();
    EXPECT_EQ(view.lines.back(), W("Замена исполняемых файлов завершена."));
    EXPECT_TRUE(HasLine(view, W("Сбой при замене файла: ..\\..\\evil.exe")));
    EXPECT_TRUE(HasLine(view, W("Сбой при замене файла: C:\\TOVR\\abs.exe")));
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/ok.exe")), "saved ok");
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/abs.exe")), "installed abs");
    EXPECT_FALSE(Exists(root.Native("c/evil.exe")));
    for (const std::string& path : Changed(before, Take(root)))
        EXPECT_TRUE(path == "c/TOVR/ok.exe" || path == "cwd/YRNUpdate.log") << "rollback wrote " << path;
}

TEST_F(HostileTest, BackupSetNameThatIsAFile) {
    // The dialog lists it; its catalogue is missing; the rollback says so.
    WriteFile(root.Native("c/TOVR/UPDATE/OldFiles/24-01-01 10-00"), "not a directory");
    ScriptedUI ui;
    TBackUpForm dialog(platform, ui);
    dialog.FormShow();
    EXPECT_TRUE(dialog.FileList.empty());
    ResetSettings();
    BackupDir += "24-01-01 10-00\\";
    RollbackList = std::make_unique<NameValueList>();
    RollbackList->SetValue("A.exe", "C:\\TOVR\\A.exe");
    RecordingView view = RunRollback();
    EXPECT_EQ(view.lines.back(), W("Не найден файл: ") + BackupDir + "BackUp.ini");
    EXPECT_TRUE(view.endStates.back());
}

TEST_F(HostileTest, UpdateWhoseSetNameIsTakenByAFile) {
    Package("[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\n");
    WriteFile(root.Native("c/PKG/A.exe"), "new");
    WriteFile(root.Native("c/TOVR/A.exe"), "old");
    WriteFile(root.Native("c/TOVR/UPDATE/OldFiles/24-03-05 10-20"), "squatter");
    FaultPlatform fp(platform);
    fp.SetClock(DateTime{2024, 3, 5, 10, 20, 0});
    RecordingView view = RunWindow(fp, 1);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/UPDATE/OldFiles/24-03-05 10-20")), "squatter");
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/UPDATE/OldFiles/24-03-05 10-20-02/A.exe")), "old");
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/UPDATE/OldFiles/24-03-05 10-20-02/BackUp.ini")),
              "[FILES]\r\nA.exe=C:\\TOVR\\A.exe\r\n");
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), "new");
}

TEST_F(HostileTest, BackupRootThatIsAFile) {
    Package("[ExeFiles]\r\nVersion=2\r\n[FILES]\r\nA.exe=\r\nB.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\n"
            "[B.exe]\r\nSDir=C:\\TOVR\\\r\n");
    WriteFile(root.Native("c/PKG/A.exe"), "new a");
    WriteFile(root.Native("c/PKG/B.exe"), "new b");
    WriteFile(root.Native("c/TOVR/A.exe"), "old a");
    WriteFile(root.Native("c/TOVR/UPDATE/OldFiles"), "a file in the way");
    RecordingView view = RunUpdate();
    EXPECT_TRUE(HasLine(view, W("Сбой при замене файла: A.exe")));
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), "old a");
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/B.exe")), "new b");  // nothing to save for a new file
    EXPECT_EQ(Registry().find("UpdateVersion"), std::string::npos);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/UPDATE/OldFiles")), "a file in the way");
}

// ---- registry file ------------------------------------------------------------

// A value the run reads that is not a well-formed string or dword is a value
// of another type: the run fails before it installs anything. A file that is
// not REGEDIT4 is refused and left as it is.
TEST_F(HostileTest, RegistryWithWrongTypesTornOrGarbage) {
    struct Case {
        const char* label;
        std::string registry;
        bool runFails;  // the run ends with its failure line, A.exe and the registry file untouched
    };
    std::mt19937 rng(5);
    std::string garbage(5000, '\0');
    for (char& c : garbage) c = static_cast<char>(rng());
    const std::vector<Case> cases = {
        {"package version as text", UpdateKeyText("\"UpdateVersion\"=\"seven\"\r\n"), true},
        {"file version as text", UpdateKeyText("\"A.exe\"=\"1\"\r\n"), true},
        {"file version of another type", UpdateKeyText("\"A.exe\"=hex:01,00,00,00\r\n"), true},
        {"torn in a value", UpdateKeyText("\"UpdateVersion\"=dword:00000001\r\n\"A.exe\"=dwo"), true},
        {"torn in a header", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quen", false},
        {"garbage", garbage, true},
        {"empty", "", true},
        {"another format", "Windows Registry Editor Version 5.00\r\n\r\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempRoot local;
        PosixPlatform posix(local.Path());
        ResetSettings();
        UpdatePath = "C:\\PKG\\";
        WriteFile(local.Native("c/PKG/YRNUpdate.ini"),
                  "[ExeFiles]\r\nVersion=9\r\n[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\nVersion=3\r\n");
        WriteFile(local.Native("c/PKG/A.exe"), "new");
        WriteFile(local.Native("c/TOVR/A.exe"), "old");
        WriteFile(local.Native("registry.reg"), c.registry);
        RecordingView view = RunWindow(posix, 1);
        const std::string failure = W("Сбой при обновлении исполняемых файлов ЮКСВЕЛ. ");
        EXPECT_EQ(StartsWith(view.lines.back(), failure), c.runFails) << Cp1251ToUtf8(view.lines.back());
        EXPECT_EQ(ReadFile(local.Native("c/TOVR/A.exe")), c.runFails ? "old" : "new");
        EXPECT_TRUE(view.endStates.back());
        const std::string after = ReadFile(local.Native("registry.reg"));
        if (c.runFails) {
            EXPECT_TRUE(after == c.registry);
        } else {
            EXPECT_EQ(after.substr(0, c.registry.size()), c.registry);
            EXPECT_NE(after.find("\"UpdateVersion\"=dword:00000009\r\n"), std::string::npos);
        }
    }
}

TEST_F(HostileTest, SettingsOfTheWrongTypeEndInTheStartupFailure) {
    WriteFile(root.Native("registry.reg"), UpdateKeyText("\"swType\"=\"server\"\r\n"));
    ScriptedUI ui;
    bool dialogShown = false;
    ui.onParamForm = [&](TParamForm&) {
        dialogShown = true;
        return 2;
    };
    EXPECT_EQ(QueryParams({}, platform, ui), mrFailure);
    EXPECT_FALSE(dialogShown);
    EXPECT_EQ(RunProgram({}, platform, ui), 0);
    EXPECT_EQ(ui.failureBoxes, 1);
}

// ---- version blocks -------------------------------------------------------------

TEST_F(HostileTest, DamagedVersionBlocksInARealRun) {
    const std::string block = BuildVersionBlockBytes(RussianResource(0x00040002, 0x00000011, "4.2.0.17"));
    struct Case {
        const char* label;
        std::function<void(PeImage&)> damage;
    };
    const std::vector<Case> cases = {
        {"block longer than the file", [](PeImage& p) { Put16(p.bytes, p.versionData, 0xFFFF); }},
        {"value longer than the block", [](PeImage& p) { Put16(p.bytes, p.versionData + 2, 0xFFFF); }},
        {"child of length zero", [](PeImage& p) { Put16(p.bytes, p.versionData + 92, 0); }},
        {"data outside the file", [](PeImage& p) { Put32(p.bytes, p.dataEntry, 0x7FFFFFF0); }},
        {"data size beyond the file", [](PeImage& p) { Put32(p.bytes, p.dataEntry + 4, 0xFFFFFFF0); }},
        {"directory pointing at itself",
         [](PeImage& p) { Put32(p.bytes, p.versionEntry + 4, 0x80000000u | static_cast<uint32_t>(p.rootDirectory - p.resourceSection)); }},
        {"directory outside the section", [](PeImage& p) { Put32(p.bytes, p.versionEntry + 4, 0x8FFFFFF0u); }},
        {"PE header outside the file", [](PeImage& p) { Put32(p.bytes, 0x3C, 0x7FFFFFF0); }},
        {"section count beyond the file", [](PeImage& p) { Put16(p.bytes, p.peHeader + 6, 0xFFFF); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempRoot local;
        PosixPlatform posix(local.Path());
        ResetSettings();
        UpdatePath = "C:\\PKG\\";
        PeImage image = BuildPeImage(block);
        c.damage(image);
        WriteFile(local.Native("c/PKG/YRNUpdate.ini"), "[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\n");
        WriteFile(local.Native("c/PKG/A.exe"), image.bytes);
        WriteFile(local.Native("c/TOVR/A.exe"), image.bytes);
        RecordingView view = RunWindow(posix, 1);
        EXPECT_EQ(view.lines.back(), W("Обновление исполняемых файлов завершено."));
        const std::string version = FileVersionOf(posix, "C:\\TOVR\\A.exe");
        EXPECT_TRUE(version.empty() || version == "4.2.0.17") << version;
        const std::string line = W("Файл C:\\TOVR\\A.exe (версия ") + version + ")  " + W("заменен на C:\\PKG\\A.exe (версия ") +
                                 version + ") ";
        EXPECT_NE(ReadFile(local.Native("cwd/YRNUpdate.log")).find(line + "\r\n"), std::string::npos);
    }
}

// ---- process ids ------------------------------------------------------------------

// Runs QueryParams with three arguments in a child; its mode, or -1 when it
// had not returned within the time.
int QueryParamsWithin(const std::string& pid, int seconds) {
    pid_t child = ::fork();
    if (child == 0) {
        ScriptedUI ui;
        PosixPlatform posix("/tmp/yrn-hostile-unused");
        ::_exit(QueryParams({pid, "C:\\PKG", "0"}, posix, ui));
    }
    for (int i = 0; i < seconds * 100; ++i) {
        int status;
        if (::waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        ::usleep(10000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    return -1;
}

TEST(HostileProcessIds, OursNegativeOrHugeDoNotHang) {
    pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    // The child's own id is read in the child: "self" stands for it.
    const std::vector<std::pair<const char*, std::string>> ids = {
        {"zero", "0"},
        {"minus one", "-1"},
        {"most negative", "-2147483648"},
        {"huge", "99999999999"},
        {"beyond 64 bits", "99999999999999999999999"},
        {"ended process", std::to_string(gone)},
    };
    for (const auto& [label, id] : ids) {
        SCOPED_TRACE(label);
        const int mode = QueryParamsWithin(id, 10);
        EXPECT_NE(mode, -1) << "QueryParams hung on " << id;
    }
    // Our own id, also as the low 32 bits of a larger number: the child would
    // wait for itself unless that is refused.
    for (long long high : {0LL, 4294967296LL}) {
        pid_t child = ::fork();
        if (child == 0) {
            ScriptedUI ui;
            PosixPlatform posix("/tmp/yrn-hostile-unused");
            ::_exit(QueryParams({std::to_string(high + ::getpid()), "C:\\PKG", "0"}, posix, ui));
        }
        int status = 0;
        bool ended = false;
        for (int i = 0; i < 1000 && !ended; ++i) {
            ended = ::waitpid(child, &status, WNOHANG) == child;
            if (!ended) ::usleep(10000);
        }
        if (!ended) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        EXPECT_TRUE(ended) << "QueryParams waited for its own process";
        EXPECT_EQ(WEXITSTATUS(status), mrUpdate);
    }
    // A process that is running is waited for.
    pid_t sleeper = ::fork();
    if (sleeper == 0) {
        ::usleep(700000);
        ::_exit(0);
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QueryParamsWithin(std::to_string(sleeper), 10), mrUpdate);
    EXPECT_GT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.4);
    ::waitpid(sleeper, nullptr, 0);
}

}  // namespace
}  // namespace yrn::test
