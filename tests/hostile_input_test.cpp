// Damaged and hostile input: each gives a clear logged failure or a silent
// skip, never a crash, a hang or a write outside the run's own targets.
// (Random bytes are the fuzz targets' part.)
#include <unistd.h>

#include <functional>

#include "core/BackUpUnit.h"
#include "core/YRNUpdateFrm/TVersionInfo.h"
#include "platform/posix/RegFile.h"
#include "support/FaultPlatform.h"
#include "support/PeImages.h"
#include "support/RunFixture.h"
#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

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

// Each case in a root of its own: one package with A.exe (new bytes "new")
// over an installed A.exe ("old").
class HostileTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        UpdatePath = "C:\\PKG\\";
    }
    void Package(const std::string& manifest, const std::string& newBytes = "new") {
        WriteFile(root.Native("c/PKG/YRNUpdate.ini"), manifest);
        WriteFile(root.Native("c/PKG/A.exe"), newBytes);
    }
};

struct NameCase {
    const char* label;
    std::string name;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

class HostileNames : public HostileTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(HostileNames, ReachingOutsideFailsLoudly) {
    const std::string& name = GetParam().name;
    WriteFile(root.Native("c/PKG/YRNUpdate.ini"),
              "[ExeFiles]\r\nVersion=4\r\n[FILES]\r\n" + name + "=\r\nGood.exe=\r\n[" + name +
                  "]\r\nSDir=C:\\TOVR\\BIN\\\r\nVersion=1\r\n[Good.exe]\r\nSDir=C:\\TOVR\\\r\nVersion=1\r\n");
    WriteFile(root.Native("c/PKG/Good.exe"), "good");
    // Whatever the name would reach, there is a file for it to take.
    for (const char* p : {"c/evil.exe", "c/TOVR/evil.exe", "c/PKG/sub/x", "c/TOVR/BIN/sub/x", "d/evil.exe"})
        WriteFile(root.Native(p), "bait");
    const Snapshot before = TakeSnapshot(root.Path());
    RecordingView view = RunUpdate();
    const std::string failure = W("Сбой при замене файла: ") + name;
    EXPECT_EQ(view.lines, (std::vector<std::string>{W("Старт программы обновления ЮКСВЕЛ."), failure,
                                                    W("Обновление файла: Good.exe"),
                                                    W("Обновление исполняемых файлов завершено.")}));
    EXPECT_NE(Log().find(failure + "\r\n"), std::string::npos);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Good.exe")), "good");
    EXPECT_EQ(Registry().find("UpdateVersion"), std::string::npos) << "a failed run recorded its version";
    ExpectOnlyRunFiles(before, TakeSnapshot(root.Path()), {"c/TOVR/Good.exe"});
    EXPECT_FALSE(Exists("/tmp/yrn-hostile-evil.exe"));
}

INSTANTIATE_TEST_SUITE_P(Manifest, HostileNames,
                         ::testing::Values(NameCase{"parent", "sub\\..\\..\\evil.exe"}, NameCase{"drive", "C:\\evil.exe"},
                                           NameCase{"drive_relative", "D:evil.exe"},
                                           NameCase{"absolute_posix", "/tmp/yrn-hostile-evil.exe"},
                                           NameCase{"control_character", "ev\x01il.exe"},
                                           NameCase{"300_characters", std::string(300, 'A') + ".exe"}),
                         [](const auto& info) { return std::string(info.param.label); });

// A target directory that climbs above its drive stays on that drive.
TEST_F(HostileTest, TargetDirectoryClimbingAboveTheDriveStaysOnIt) {
    Package("[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\..\\..\\..\\..\\TOVR\\\r\n");
    WriteFile(root.Native("c/TOVR/A.exe"), "old");
    const Snapshot before = TakeSnapshot(root.Path());
    RunUpdate();
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), "new");
    ExpectOnlyRunFiles(before, TakeSnapshot(root.Path()), {"c/TOVR/A.exe"});
    EXPECT_EQ(platform.NativePath("C:\\..\\..\\etc\\passwd"), root.Path() + "/c/etc/passwd");
    EXPECT_EQ(platform.NativePath("C:..\\x"), root.Path() + "/c/x");
}

// Ten megabytes of manifest with the one real file at the very end: the run
// ends in time, and only the first [FILES] section counts.
TEST_F(HostileTest, HugeManifestsEndInTime) {
    std::string files = "[FILES]\r\n", sections;
    for (int i = 0; i < 100000; ++i) {
        const std::string n = "Missing" + std::to_string(i) + ".exe";
        files += n + "=\r\n";
        sections += "[" + n + "]\r\nSDir=C:\\TOVR\\\r\n";
    }
    const std::string tail = "[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\n";
    for (const std::string& start : {"[junk]\r\nkey=" + std::string(4 << 20, 'v') + "\r\n", files + sections}) {
        const bool filesFirst = start[1] == 'F';
        ResetSettings();
        UpdatePath = "C:\\PKG\\";
        ::unlink(root.Native("c/TOVR/A.exe").c_str());
        Package(start + std::string((10u << 20) - start.size(), ';') + "\r\n" + tail);
        RecordingView view = RunUpdate();
        EXPECT_EQ(view.lines.back(), W("Обновление исполняемых файлов завершено."));
        EXPECT_EQ(Exists(root.Native("c/TOVR/A.exe")), !filesFirst);
    }
}

TEST_F(HostileTest, CatalogueEntriesClimbingOutOfTheSetFail) {
    const std::string set = "c/TOVR/UPDATE/OldFiles/24-01-01 10-00";
    WriteFile(root.Native(set + "/BackUp.ini"), "[FILES]\r\n..\\..\\evil.exe=C:\\TOVR\\..\\..\\evil.exe\r\n"
                                                "C:\\TOVR\\abs.exe=C:\\TOVR\\abs.exe\r\nok.exe=C:\\TOVR\\ok.exe\r\n");
    WriteFile(root.Native(set + "/ok.exe"), "saved ok");
    WriteFile(root.Native("c/TOVR/UPDATE/evil.exe"), "bait");  // where "..\..\evil.exe" leads from the set
    WriteFile(root.Native("c/TOVR/abs.exe"), "installed abs");
    WriteFile(root.Native("c/TOVR/ok.exe"), "installed ok");
    ScriptedUI ui;
    ui.onBackUpForm = [](TBackUpForm& form) { form.StartBtnClick(); };
    const Snapshot before = TakeSnapshot(root.Path());
    ui.onParamForm = [](TParamForm&) { return 3; };
    RunProgram({}, platform, ui);
    ASSERT_EQ(ui.updateViews.size(), 1u);
    EXPECT_EQ(Utf8(ui.updateViews[0].lines),
              (std::vector<std::string>{"Старт программы отката обновления ЮКСВЕЛ.",
                                        "Сбой при замене файла: ..\\..\\evil.exe", "Сбой при замене файла: C:\\TOVR\\abs.exe", "Восстановление файла: ok.exe",
                                        "Замена исполняемых файлов завершена."}));
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/ok.exe")), "saved ok");
    for (const std::string& path : Changed(before, TakeSnapshot(root.Path())))
        EXPECT_TRUE(path == "c/TOVR/ok.exe" || path == "cwd/YRNUpdate.log" || path == "registry.reg") << path;
}

// The set name of this minute taken (by a file, then by the first run's
// set): the next free suffix.
TEST_F(HostileTest, TakenSetNamesGetTheNextSuffix) {
    Package("[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\n");
    WriteFile(root.Native("c/TOVR/A.exe"), "old");
    WriteFile(root.Native("c/TOVR/UPDATE/OldFiles/24-03-05 10-20"), "squatter");
    FaultPlatform fp(platform);
    fp.SetClock(DateTime{2024, 3, 5, 10, 20, 0});
    RunWindow(fp, 1);
    ResetSettings();
    UpdatePath = "C:\\PKG\\";
    IsNoVersion = true;
    WriteFile(root.Native("c/PKG/A.exe"), "newer");
    RunWindow(fp, 1);
    const std::string sets = "c/TOVR/UPDATE/OldFiles/24-03-05 10-20";
    EXPECT_EQ(ReadFile(root.Native(sets)), "squatter");
    EXPECT_EQ(ReadFile(root.Native(sets + "-02/A.exe")), "old");
    EXPECT_EQ(ReadFile(root.Native(sets + "-02/BackUp.ini")), "[FILES]\r\nA.exe=C:\\TOVR\\A.exe\r\n");
    EXPECT_EQ(ReadFile(root.Native(sets + "-03/A.exe")), "new");
    EXPECT_EQ(ListDir(root.Native("c/TOVR/UPDATE/NewFiles")),
              (std::vector<std::string>{"24-03-05 10-20-02", "24-03-05 10-20-03"}));
}

TEST_F(HostileTest, BackupRootThatIsAFile) {
    Package("[ExeFiles]\r\nVersion=2\r\n[FILES]\r\nA.exe=\r\nB.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\n"
            "[B.exe]\r\nSDir=C:\\TOVR\\\r\n");
    WriteFile(root.Native("c/PKG/B.exe"), "new b");
    WriteFile(root.Native("c/TOVR/A.exe"), "old");
    WriteFile(root.Native("c/TOVR/UPDATE/OldFiles"), "a file in the way");
    RecordingView view = RunUpdate();
    EXPECT_EQ(std::count(view.lines.begin(), view.lines.end(), W("Сбой при замене файла: A.exe")), 1);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), "old");
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/B.exe")), "new b");  // nothing to save for a new file
    EXPECT_EQ(Registry().find("UpdateVersion"), std::string::npos);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/UPDATE/OldFiles")), "a file in the way");
}

struct RegistryCase {
    const char* label;
    std::string registry;
    bool runFails;  // the run ends with its failure line, A.exe not installed
};

void PrintTo(const RegistryCase& c, std::ostream* os) { *os << c.label; }

// A value the run reads that is not a well-formed string or dword is a value
// of another type: the run fails before it installs anything. A file that is
// not REGEDIT4 is refused. Either way the registry file keeps its bytes.
class HostileRegistry : public HostileTest, public ::testing::WithParamInterface<RegistryCase> {};

TEST_P(HostileRegistry, WhatTheRunWritesReadsBack) {
    Package("[ExeFiles]\r\nVersion=9\r\n[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\nVersion=3\r\n");
    WriteFile(root.Native("c/TOVR/A.exe"), "old");
    WriteFile(root.Native("registry.reg"), GetParam().registry);
    RecordingView view = RunUpdate();
    EXPECT_EQ(StartsWith(view.lines.back(), W("Сбой при обновлении исполняемых файлов ЮКСВЕЛ. ")), GetParam().runFails);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), GetParam().runFails ? "old" : "new");
    if (GetParam().runFails) {
        EXPECT_TRUE(Registry() == GetParam().registry);
    } else {
        EXPECT_EQ(Registry().substr(0, GetParam().registry.size()), GetParam().registry);
        EXPECT_NE(Registry().find("\"UpdateVersion\"=dword:00000009\r\n"), std::string::npos);
    }
}

const std::string kKey = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n";
INSTANTIATE_TEST_SUITE_P(Files, HostileRegistry,
                         ::testing::Values(RegistryCase{"PackageVersionAsText", kKey + "\"UpdateVersion\"=\"seven\"\r\n\r\n", true},
                                           RegistryCase{"FileVersionAsText", kKey + "\"A.exe\"=\"1\"\r\n\r\n", true},
                                           RegistryCase{"FileVersionOfAnotherType", kKey + "\"A.exe\"=hex:01,00\r\n\r\n", true},
                                           RegistryCase{"TornInAValue", kKey + "\"UpdateVersion\"=dword:1\r\n\"A.exe\"=dwo", true},
                                           RegistryCase{"TornInAHeader", kKey.substr(0, 40), false},
                                           RegistryCase{"Empty", "", true},
                                           RegistryCase{"AnotherFormat", "Windows Registry Editor Version 5.00\r\n\r\n", true}),
                         [](const auto& info) { return std::string(info.param.label); });

// A damaged version resource in a real run: no version, or a true one (the
// string or the fixed part).
TEST_F(HostileTest, DamagedVersionBlocksInARealRun) {
    const std::tuple<size_t, uint32_t, int> damages[] = {{kVersionData, 0xFFFF, 2}, {kVersionData + 92, 0, 2},
                                                         {kVersionDataEntry + 4, 0xFFFFFFF0, 4},
                                                         {kVersionTypeEntry + 4, 0x80000000, 4}};
    for (const auto& [offset, value, width] : damages) {
        SCOPED_TRACE(offset);
        ResetSettings();
        UpdatePath = "C:\\PKG\\";
        IsNoVersion = true;  // each case in the same root
        std::string image = PeImageBytes("two.exe");
        Patch(image, offset, value, width);
        Package("[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\n", image);
        WriteFile(root.Native("c/TOVR/A.exe"), image);
        RecordingView view = RunUpdate();
        EXPECT_EQ(view.lines.back(), W("Обновление исполняемых файлов завершено."));
        const std::string version = FileVersionOf(platform, "C:\\TOVR\\A.exe");
        EXPECT_TRUE(version.empty() || version == "2, 1, 0, 15" || version == "5.2.1.7") << version;
        EXPECT_NE(Log().find(W("Файл C:\\TOVR\\A.exe (версия ") + version + W(")  заменен на C:\\PKG\\A.exe (версия ") +
                             version + ") \r\n"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace yrn::test
