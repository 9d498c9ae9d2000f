// Damaged and hostile input: each gives a clear logged failure or a silent
// skip, never a crash, a hang or a write outside the run's own targets.
// (Random bytes are the fuzz targets' part.)
#include <unistd.h>

#include "core/BackUpUnit.h"
#include "support/FaultPlatform.h"
#include "support/PeImages.h"
#include "support/RunFixture.h"
#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }
const std::string kA = "[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\n";
const std::string kSets = "c/TOVR/UPDATE/OldFiles/", kCopies = "c/TOVR/UPDATE/NewFiles/";

class HostileTest : public RunTest {
protected:
    // A fresh run of the package in C:\PKG\ with A.exe holding newBytes.
    void Package(const std::string& manifest, const std::string& newBytes = "new") {
        ResetSettings();
        UpdatePath = "C:\\PKG\\";
        WriteFile(root.Native("c/PKG/YRNUpdate.ini"), manifest);
        WriteFile(root.Native("c/PKG/A.exe"), newBytes);
    }
    // Files written since before besides the log, the registry and the allowed path prefixes.
    std::vector<std::string> WrittenBesides(const Snapshot& before, const std::vector<std::string>& allowed) {
        std::vector<std::string> written;
        for (const std::string& path : Changed(before, TakeSnapshot(root.Path())))
            if (path != "registry.reg" && path != "cwd/YRNUpdate.log" &&
                std::none_of(allowed.begin(), allowed.end(), [&](const std::string& a) { return StartsWith(path, a); }))
                written.push_back(path);
        return written;
    }
};

struct NameCase { const char* label; std::string name; };
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }
class HostileNames : public HostileTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(HostileNames, ReachingOutsideFailsLoudly) {
    const std::string& name = GetParam().name;
    Package("[ExeFiles]\r\nVersion=4\r\n[FILES]\r\n" + name + "=\r\nGood.exe=\r\n[" + name +
            "]\r\nSDir=C:\\TOVR\\BIN\\\r\nVersion=1\r\n[Good.exe]\r\nSDir=C:\\TOVR\\\r\nVersion=1\r\n");
    WriteFile(root.Native("c/PKG/Good.exe"), "good");
    // Whatever the name would reach, there is a file for it to take.
    for (const char* p : {"c/evil.exe", "c/TOVR/evil.exe", "c/PKG/sub/x", "c/TOVR/BIN/sub/x", "d/evil.exe"})
        WriteFile(root.Native(p), "bait");
    const Snapshot before = TakeSnapshot(root.Path());
    const std::string failure = W("Сбой при замене файла: ") + name;
    EXPECT_EQ(RunUpdate().lines, (std::vector<std::string>{W("Старт программы обновления ЮКСВЕЛ."), failure,
                                                           W("Обновление файла: Good.exe"),
                                                           W("Обновление исполняемых файлов завершено.")}));
    EXPECT_NE(Log().find(failure + "\r\n"), std::string::npos);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Good.exe")), "good");
    EXPECT_EQ(Registry().find("UpdateVersion"), std::string::npos) << "a failed run recorded its version";
    EXPECT_EQ(WrittenBesides(before, {"c/TOVR/Good.exe", kSets, kCopies}), std::vector<std::string>{});
    EXPECT_FALSE(Exists("/tmp/yrn-hostile-evil.exe"));
}

INSTANTIATE_TEST_SUITE_P(Manifest, HostileNames, ::testing::Values(
    NameCase{"parent", "sub\\..\\..\\evil.exe"}, NameCase{"drive", "C:\\evil.exe"}, NameCase{"drive_relative", "D:evil.exe"},
    NameCase{"absolute_posix", "/tmp/yrn-hostile-evil.exe"}, NameCase{"control_character", "ev\x01il.exe"},
    NameCase{"300_characters", std::string(300, 'A') + ".exe"}), [](const auto& info) { return std::string(info.param.label); });

// A target directory that climbs above its drive stays on that drive.
TEST_F(HostileTest, TargetDirectoryClimbingAboveTheDriveStaysOnIt) {
    Package("[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\..\\..\\..\\..\\TOVR\\\r\n");
    WriteFile(root.Native("c/TOVR/A.exe"), "old");
    const Snapshot before = TakeSnapshot(root.Path());
    RunUpdate();
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), "new");
    EXPECT_EQ(WrittenBesides(before, {"c/TOVR/A.exe", kSets, kCopies}), std::vector<std::string>{});
    EXPECT_EQ(platform.NativePath("C:\\..\\..\\etc\\passwd"), root.Path() + "/c/etc/passwd");
    EXPECT_EQ(platform.NativePath("C:..\\x"), root.Path() + "/c/x");
}

// Ten megabytes of manifest with the one real file at the very end: the run
// ends in time, and only the first [FILES] section counts.
TEST_F(HostileTest, HugeManifestsEndInTime) {
    std::string files = "[FILES]\r\n", sections;
    for (int i = 0; i < 100000; ++i) {
        files += "Missing" + std::to_string(i) + ".exe=\r\n";
        sections += "[Missing" + std::to_string(i) + ".exe]\r\nSDir=C:\\TOVR\\\r\n";
    }
    for (const std::string& start : {"[junk]\r\nkey=" + std::string(4 << 20, 'v') + "\r\n", files + sections}) {
        ::unlink(root.Native("c/TOVR/A.exe").c_str());
        Package(start + std::string((10u << 20) - start.size(), ';') + "\r\n" + kA);
        EXPECT_EQ(RunUpdate().lines.back(), W("Обновление исполняемых файлов завершено."));
        EXPECT_EQ(Exists(root.Native("c/TOVR/A.exe")), start[1] != 'F');
    }
}

TEST_F(HostileTest, CatalogueEntriesClimbingOutOfTheSetFail) {
    const std::string set = kSets + "24-01-01 10-00";
    WriteFile(root.Native(set + "/BackUp.ini"), "[FILES]\r\n..\\..\\evil.exe=C:\\TOVR\\..\\..\\evil.exe\r\n"
                                                "C:\\TOVR\\abs.exe=C:\\TOVR\\abs.exe\r\nok.exe=C:\\TOVR\\ok.exe\r\n");
    WriteFile(root.Native(set + "/ok.exe"), "saved ok");
    WriteFile(root.Native("c/TOVR/UPDATE/evil.exe"), "bait");  // where "..\..\evil.exe" leads from the set
    WriteFile(root.Native("c/TOVR/abs.exe"), "installed abs");
    WriteFile(root.Native("c/TOVR/ok.exe"), "installed ok");
    ScriptedUI ui;
    ui.onBackUpForm = [](TBackUpForm& form) { form.StartBtnClick(); };
    ui.onParamForm = [](TParamForm&) { return 3; };
    const Snapshot before = TakeSnapshot(root.Path());
    RunProgram({}, platform, ui);
    ASSERT_EQ(ui.updateViews.size(), 1u);
    EXPECT_EQ(Utf8(ui.updateViews[0].lines),
              (std::vector<std::string>{"Старт программы отката обновления ЮКСВЕЛ.", "Сбой при замене файла: ..\\..\\evil.exe",
                                        "Сбой при замене файла: C:\\TOVR\\abs.exe", "Восстановление файла: ok.exe",
                                        "Замена исполняемых файлов завершена."}));
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/ok.exe")), "saved ok");
    EXPECT_EQ(WrittenBesides(before, {"c/TOVR/ok.exe"}), std::vector<std::string>{});
}

// The set name of this minute taken (by a file, then by the first run's
// set): the next free suffix.
TEST_F(HostileTest, TakenSetNamesGetTheNextSuffix) {
    Package(kA);
    WriteFile(root.Native("c/TOVR/A.exe"), "old");
    const std::string sets = kSets + "24-03-05 10-20";
    WriteFile(root.Native(sets), "squatter");
    FaultPlatform fp(platform);
    fp.SetClock(DateTime{2024, 3, 5, 10, 20, 0});
    RunWindow(fp, 1);
    Package(kA, "newer");
    IsNoVersion = true;
    RunWindow(fp, 1);
    EXPECT_EQ(ReadFile(root.Native(sets)), "squatter");
    EXPECT_EQ(ReadFile(root.Native(sets + "-02/A.exe")), "old");
    EXPECT_EQ(ReadFile(root.Native(sets + "-02/BackUp.ini")), "[FILES]\r\nA.exe=C:\\TOVR\\A.exe\r\n");
    EXPECT_EQ(ReadFile(root.Native(sets + "-03/A.exe")), "new");
    EXPECT_EQ(ListDir(root.Native(kCopies)), (std::vector<std::string>{"24-03-05 10-20-02", "24-03-05 10-20-03"}));
}

TEST_F(HostileTest, BackupRootThatIsAFile) {
    Package("[ExeFiles]\r\nVersion=2\r\n[FILES]\r\nA.exe=\r\nB.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\n"
            "[B.exe]\r\nSDir=C:\\TOVR\\\r\n");
    WriteFile(root.Native("c/PKG/B.exe"), "new b");
    WriteFile(root.Native("c/TOVR/A.exe"), "old");
    WriteFile(root.Native("c/TOVR/UPDATE/OldFiles"), "a file in the way");
    const std::vector<std::string> lines = RunUpdate().lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), W("Сбой при замене файла: A.exe")), 1);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), "old");
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/B.exe")), "new b");  // nothing to save for a new file
    EXPECT_EQ(Registry().find("UpdateVersion"), std::string::npos);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/UPDATE/OldFiles")), "a file in the way");
}

struct RegistryCase { const char* label; std::string registry; bool runFails; };  // failing: A.exe not installed
void PrintTo(const RegistryCase& c, std::ostream* os) { *os << c.label; }

// A value the run reads that is not a well-formed string or dword is a value
// of another type: the run fails before it installs anything. A file that is
// not REGEDIT4 is refused. Either way the registry file keeps its bytes.
class HostileRegistry : public HostileTest, public ::testing::WithParamInterface<RegistryCase> {};

TEST_P(HostileRegistry, WhatTheRunWritesReadsBack) {
    const RegistryCase& c = GetParam();
    Package("[ExeFiles]\r\nVersion=9\r\n[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\nVersion=3\r\n");
    WriteFile(root.Native("c/TOVR/A.exe"), "old");
    WriteFile(root.Native("registry.reg"), c.registry);
    EXPECT_EQ(StartsWith(RunUpdate().lines.back(), W("Сбой при обновлении исполняемых файлов ЮКСВЕЛ. ")), c.runFails);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), c.runFails ? "old" : "new");
    const std::string after = Registry();
    EXPECT_TRUE(c.runFails ? after == c.registry : StartsWith(after, c.registry)) << after;
    EXPECT_EQ(after.find("\"UpdateVersion\"=dword:00000009\r\n") != std::string::npos, !c.runFails);
}

const std::string kKey = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n";
INSTANTIATE_TEST_SUITE_P(Files, HostileRegistry, ::testing::Values(
    RegistryCase{"PackageVersionAsText", kKey + "\"UpdateVersion\"=\"seven\"\r\n\r\n", true},
    RegistryCase{"FileVersionAsText", kKey + "\"A.exe\"=\"1\"\r\n\r\n", true},
    RegistryCase{"FileVersionOfAnotherType", kKey + "\"A.exe\"=hex:01,00\r\n\r\n", true},
    RegistryCase{"TornInAValue", kKey + "\"UpdateVersion\"=dword:1\r\n\"A.exe\"=dwo", true},
    RegistryCase{"TornInAHeader", kKey.substr(0, 40), false}, RegistryCase{"Empty", "", true},
    RegistryCase{"AnotherFormat", "Windows Registry Editor Version 5.00\r\n\r\n", true}),
    [](const auto& info) { return std::string(info.param.label); });

// A damaged version resource in a real run: no version, or a true one (the
// string or the fixed part).
TEST_F(HostileTest, DamagedVersionBlocksInARealRun) {
    const std::tuple<size_t, uint32_t, int, std::string> damages[] = {{kVersionData, 0xFFFF, 2, ""},
        {kVersionData + 92, 0, 2, "5.2.1.7"}, {kDataEntry + 4, 0xFFFFFFF0, 4, ""}, {kTypeEntry + 4, 0x80000000, 4, ""}};
    for (const auto& [offset, value, width, version] : damages) {
        std::string image = PeImageBytes("two.exe");
        Patch(image, offset, value, width);
        Package(kA, image);
        IsNoVersion = true;  // each case in the same root
        WriteFile(root.Native("c/TOVR/A.exe"), image);
        EXPECT_EQ(RunUpdate().lines.back(), W("Обновление исполняемых файлов завершено.")) << offset;
        EXPECT_NE(Log().find(W("Файл C:\\TOVR\\A.exe (версия ") + version + W(")  заменен на C:\\PKG\\A.exe (версия ") +
                             version + ") \r\n"), std::string::npos) << offset;
    }
}

}  // namespace
}  // namespace yrn::test
