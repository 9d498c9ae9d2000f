// The update run end to end on real files under a temporary prefix.
#include <sys/stat.h>

#include <cstdio>
#include <regex>

#include "support/RunFixture.h"

namespace yrn::test {
namespace {

std::string U(const std::string& s) { return Cp1251ToUtf8(s); }

const char* kWorkedManifest =
    "[ExeFiles]\r\nVersion=12\r\n[FILES]\r\nShift.exe=\r\nPrices.dll=\r\n"
    "[Shift.exe]\r\nSDir=<default>\r\nCDir=<default>\r\nMDir=<НЕ НУЖНО>\r\nVersion=5\r\nExecute=1\r\n"
    "Params=/silent\r\n"
    "[Prices.dll]\r\nSDir=<DB>\r\nCDir=D:\\Shared\r\nVersion=3\r\n";

const std::string kRegHeader = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n";

class UpdateRunTest : public RunTest {
protected:
    // The worked example: a client installation, Shift.exe = 4 and
    // UpdateVersion = 11 recorded, D:\Shared present.
    void MakeWorkedExample() {
        WriteFile(root.Native("d/Pack/YRNUpdate.ini"), W(kWorkedManifest));
        WriteFile(root.Native("d/Pack/Shift.exe"), "new shift");
        WriteFile(root.Native("d/Pack/Prices.dll"), "new prices");
        WriteFile(root.Native("c/TOVR/Shift.exe"), "old shift");
        WriteFile(root.Native("d/Shared/.keep"), "");
        WriteFile(root.Native("registry.reg"),
                  kRegHeader + "\"Shift.exe\"=dword:00000004\r\n\"UpdateVersion\"=dword:0000000b\r\n\r\n");
        UpdatePath = "D:\\Pack\\";
        swType = 1;
    }
    std::string OnlySet(const std::string& rootRel) {
        std::vector<std::string> sets = ListDir(root.Native(rootRel));
        EXPECT_EQ(sets.size(), 1u);
        return sets.empty() ? std::string() : sets[0];
    }
    std::vector<std::string> FileTexts() {
        std::vector<std::string> out;
        for (const std::string& l : LogLines(Log())) out.push_back(l.empty() ? l : U(Unstamped(l)));
        return out;
    }
};

TEST_F(UpdateRunTest, WorkedExampleInstallsByteExactly) {
    MakeWorkedExample();
    RecordingView view = RunUpdate();

    EXPECT_EQ(view.captions, std::vector<std::string>{W("Обновление ЮКСВЕЛ")});
    EXPECT_EQ(view.endStates, (std::vector<bool>{false, true}));
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(Utf8(view.lines), (std::vector<std::string>{"Старт программы обновления ЮКСВЕЛ.", "Обновление файла: Shift.exe",
                                                "Обновление файла: Prices.dll",
                                                "Обновление исполняемых файлов завершено."}));
    EXPECT_EQ(MaskedLog(Log()), Golden("worked_example_log.txt"));

    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), "new shift");
    EXPECT_EQ(ReadFile(root.Native("d/Shared/Prices.dll")), "new prices");

    const std::string set = OnlySet("c/TOVR/UPDATE/OldFiles");
    EXPECT_TRUE(std::regex_match(set, std::regex(R"(\d\d-\d\d-\d\d \d\d-\d\d)"))) << set;
    EXPECT_EQ(ListDir(root.Native("c/TOVR/UPDATE/OldFiles/" + set)),
              (std::vector<std::string>{"BackUp.ini", "Shift.exe"}));
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/UPDATE/OldFiles/" + set + "/Shift.exe")), "old shift");
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/UPDATE/OldFiles/" + set + "/BackUp.ini")),
              "[FILES]\r\nShift.exe=C:\\TOVR\\Shift.exe\r\n");

    EXPECT_EQ(OnlySet("c/TOVR/UPDATE/NewFiles"), set);
    const std::string local = root.Native("c/TOVR/UPDATE/NewFiles/" + set + "/");
    EXPECT_EQ(ListDir(local), (std::vector<std::string>{"Prices.dll", "Shift.exe", "YRNUpdate.ini"}));
    EXPECT_EQ(ReadFile(local + "Prices.dll"), "new prices");
    EXPECT_EQ(U(ReadFile(local + "YRNUpdate.ini")), Golden("worked_example_local.ini"));

    EXPECT_EQ(Registry(), kRegHeader +
                              "\"Shift.exe\"=dword:00000005\r\n\"UpdateVersion\"=dword:0000000c\r\n"
                              "\"Prices.dll\"=dword:00000003\r\n\r\n");
    ASSERT_TRUE(RunList);
    ASSERT_EQ(RunList->Count(), 1u);
    EXPECT_EQ(RunList->Line(0), "C:\\TOVR\\Shift.exe=/silent");
    EXPECT_TRUE(Exists(root.Native("c/TOVR/FromOffice")));
    EXPECT_EQ(BackupDir, "C:\\TOVR\\UPDATE\\OldFiles\\" + set + "\\");
}

TEST_F(UpdateRunTest, ManagerInstallationInstallsNothing) {
    MakeWorkedExample();
    swType = 2;
    RunUpdate();
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), "old shift");
    EXPECT_FALSE(Exists(root.Native("d/Shared/Prices.dll")));
    EXPECT_TRUE(ListDir(root.Native("c/TOVR/UPDATE/OldFiles")).empty());
    EXPECT_TRUE(ListDir(root.Native("c/TOVR/UPDATE/NewFiles")).empty());
    // Nothing failed, so the package version is still recorded.
    EXPECT_EQ(Registry(), kRegHeader + "\"Shift.exe\"=dword:00000004\r\n\"UpdateVersion\"=dword:0000000c\r\n\r\n");
    EXPECT_FALSE(RunList);
}

TEST_F(UpdateRunTest, MissingManifestWritesRowsOneToThreeOnly) {
    UpdatePath = "D:\\Empty\\";
    WriteFile(root.Native("d/Empty/.keep"), "");
    WriteFile(root.Native("c/TOVR/.keep"), "");
    RecordingView view = RunUpdate();
    EXPECT_EQ(view.lines.size(), 2u);
    EXPECT_EQ(U(view.lines.at(1)), "Не найден файл: D:\\Empty\\YRNUpdate.ini");
    EXPECT_EQ(FileTexts(), (std::vector<std::string>{"", "Старт программы обновления ЮКСВЕЛ.",
                                                     "Обновление из каталога: D:\\Empty\\",
                                                     "Не найден файл: D:\\Empty\\YRNUpdate.ini"}));
    EXPECT_TRUE(Exists(root.Native("c/TOVR/FromOffice")));
    EXPECT_FALSE(Exists(root.Native("c/TOVR/UPDATE")));
    EXPECT_FALSE(Exists(root.Native("registry.reg")));
    EXPECT_EQ(view.endStates.back(), true);
}

struct PackageQuestion {
    const char* label;
    int32_t recorded;
    bool answer;
    const char* question;  // nullptr: none asked
    bool installs;
};

void PrintTo(const PackageQuestion& c, std::ostream* os) { *os << c.label; }

class PackageVersionTest : public UpdateRunTest, public ::testing::WithParamInterface<PackageQuestion> {};

TEST_P(PackageVersionTest, AsksOnlyWhenNotNewer) {
    const PackageQuestion& c = GetParam();
    MakeWorkedExample();
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(c.recorded));
    WriteFile(root.Native("registry.reg"), kRegHeader + "\"UpdateVersion\"=dword:" + hex + "\r\n\r\n");
    const std::string regBefore = Registry();
    RecordingView view = RunUpdate({c.answer});
    if (!c.question) {
        EXPECT_TRUE(view.questions.empty());
    } else {
        ASSERT_EQ(view.questions.size(), 1u);
        EXPECT_EQ(U(view.questions[0].text), c.question);
        EXPECT_EQ(U(view.questions[0].caption), "Обновление ЮКСВЕЛ");
        EXPECT_FALSE(view.questions[0].defaultYes);
    }
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), c.installs ? "new shift" : "old shift");
    if (!c.installs) {
        EXPECT_EQ(Registry(), regBefore);
        EXPECT_EQ(U(view.lines.back()), "Обновление исполняемых файлов завершено.");
        std::vector<std::string> texts = FileTexts();
        EXPECT_EQ(texts.back(), "Версия последнего обновления: " + std::to_string(c.recorded));
        EXPECT_TRUE(ListDir(root.Native("c/TOVR/UPDATE/OldFiles")).empty());
        EXPECT_TRUE(Exists(root.Native("c/TOVR/UPDATE/NewFiles")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Questions, PackageVersionTest,
    ::testing::Values(PackageQuestion{"older_recorded", 11, false, nullptr, true},
                      PackageQuestion{"same_declined", 12, false, "Данная версия обновления уже установлена. Продолжить обновление?", false},
                      PackageQuestion{"same_accepted", 12, true, "Данная версия обновления уже установлена. Продолжить обновление?", true},
                      PackageQuestion{"lower_declined", 13, false, "Устанавливаемая версия ниже текущей. Продолжить обновление?", false},
                      PackageQuestion{"lower_accepted", 13, true, "Устанавливаемая версия ниже текущей. Продолжить обновление?", true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(UpdateRunTest, NoVersionChecksInstallEqualVersionsAndStillRecord) {
    MakeWorkedExample();
    WriteFile(root.Native("registry.reg"),
              kRegHeader + "\"Shift.exe\"=dword:00000005\r\n\"UpdateVersion\"=dword:0000000c\r\n\r\n");
    IsNoVersion = true;
    RecordingView view = RunUpdate();
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), "new shift");
    for (const std::string& t : FileTexts()) EXPECT_EQ(t.find("Версия"), std::string::npos) << t;
    EXPECT_EQ(Registry(), kRegHeader +
                              "\"Shift.exe\"=dword:00000005\r\n\"UpdateVersion\"=dword:0000000c\r\n"
                              "\"Prices.dll\"=dword:00000003\r\n\r\n");
}

// Listed twice and installed twice: the second save would copy the new file
// over the saved original, so the set keeps its first copy.
TEST_F(UpdateRunTest, NameListedTwiceKeepsTheOriginalInTheSet) {
    MakeWorkedExample();
    WriteFile(root.Native("d/Pack/YRNUpdate.ini"),
              W("[ExeFiles]\r\nVersion=12\r\n[FILES]\r\nShift.exe=\r\nShift.exe=\r\n"
                "[Shift.exe]\r\nCDir=<default>\r\nVersion=5\r\n"));
    IsNoVersion = true;
    RecordingView view = RunUpdate();
    EXPECT_EQ(Utf8(view.lines), (std::vector<std::string>{"Старт программы обновления ЮКСВЕЛ.", "Обновление файла: Shift.exe",
                                                "Обновление файла: Shift.exe",
                                                "Обновление исполняемых файлов завершено."}));
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), "new shift");
    const std::string set = "c/TOVR/UPDATE/OldFiles/" + OnlySet("c/TOVR/UPDATE/OldFiles");
    EXPECT_EQ(ReadFile(root.Native(set + "/Shift.exe")), "old shift");
    EXPECT_EQ(ReadFile(root.Native(set + "/BackUp.ini")), "[FILES]\r\nShift.exe=C:\\TOVR\\Shift.exe\r\n");
    EXPECT_NE(Registry().find("\"UpdateVersion\"=dword:0000000c"), std::string::npos);
}

TEST_F(UpdateRunTest, EqualFileVersionIsSkippedWithoutTrace) {
    MakeWorkedExample();
    WriteFile(root.Native("registry.reg"), kRegHeader + "\"Shift.exe\"=dword:00000005\r\n\r\n");
    RecordingView view = RunUpdate();
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), "old shift");
    for (const std::string& l : view.lines) EXPECT_EQ(U(l).find("Shift.exe"), std::string::npos);
    EXPECT_FALSE(RunList);
}

TEST_F(UpdateRunTest, MessageAnswersNoSkipsTheFileWithoutFailure) {
    MakeWorkedExample();
    IsMessage = true;
    RecordingView view = RunUpdate({false, true});
    ASSERT_EQ(view.questions.size(), 2u);
    EXPECT_EQ(U(view.questions[0].text), "Заменить файл Shift.exe?");
    EXPECT_TRUE(view.questions[0].defaultYes);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), "old shift");
    EXPECT_EQ(ReadFile(root.Native("d/Shared/Prices.dll")), "new prices");
    // The declined file is no failure: UpdateVersion is recorded.
    EXPECT_NE(Registry().find("\"UpdateVersion\"=dword:0000000c"), std::string::npos);
    EXPECT_FALSE(RunList);
}

TEST_F(UpdateRunTest, MissingTargetDirectoryFailsTheFileAndKeepsUpdateVersion) {
    MakeWorkedExample();
    ASSERT_EQ(std::system(("rm -rf '" + root.Native("d/Shared") + "'").c_str()), 0);
    RecordingView view = RunUpdate();
    EXPECT_EQ(U(view.lines.at(3)), "Сбой при замене файла: Prices.dll");
    EXPECT_EQ(U(view.lines.back()), "Обновление исполняемых файлов завершено.");
    EXPECT_NE(Registry().find("\"UpdateVersion\"=dword:0000000b"), std::string::npos);
    EXPECT_EQ(Registry().find("Prices.dll"), std::string::npos);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), "new shift");
}

TEST_F(UpdateRunTest, LocalCopyMarkMeansNoLocalCopy) {
    MakeWorkedExample();
    WriteFile(root.Native("d/Pack/YRNUpdate.ini"), W(kWorkedManifest) + "[MAIN]\r\nLocalCopy=0\r\n");
    RunUpdate();
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), "new shift");
    EXPECT_TRUE(ListDir(root.Native("c/TOVR/UPDATE/NewFiles")).empty());
}

TEST_F(UpdateRunTest, WrongTypeOfRecordedVersionEndsTheRun) {
    MakeWorkedExample();
    WriteFile(root.Native("registry.reg"), kRegHeader + "\"UpdateVersion\"=\"eleven\"\r\n\r\n");
    RecordingView view = RunUpdate();
    EXPECT_EQ(U(view.lines.back()), "Сбой при обновлении исполняемых файлов ЮКСВЕЛ. Invalid data type for 'UpdateVersion'");
    std::vector<std::string> lines = LogLines(Log());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(U(Unstamped(lines[lines.size() - 2])), "Сбой при обновлении исполняемых файлов ЮКСВЕЛ.");
    EXPECT_EQ(lines.back(), "Invalid data type for 'UpdateVersion'");  // no line end after it
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), "old shift");
    EXPECT_EQ(view.endStates.back(), true);
}

TEST_F(UpdateRunTest, LogThatCannotBeOpenedShowsTheFailureOnScreen) {
    MakeWorkedExample();
    ASSERT_EQ(::mkdir("YRNUpdate.log", 0777), 0);  // a directory in its place
    RecordingView view = RunUpdate();
    ASSERT_EQ(view.lines.size(), 1u);
    EXPECT_EQ(U(view.lines[0]).rfind("Сбой при обновлении исполняемых файлов ЮКСВЕЛ. ", 0), 0u);
    EXPECT_EQ(view.endStates, (std::vector<bool>{false, true}));
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), "old shift");
}

}  // namespace
}  // namespace yrn::test
