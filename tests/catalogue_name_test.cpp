// A package file named like the backup set's catalogue, or two names landing
// on one saved copy: the file fails and nothing of it is touched; a rollback
// never copies the catalogue over a file.
#include "support/RunFixture.h"

namespace yrn::test {
namespace {

struct NameCase {
    const char* label;
    std::vector<std::pair<std::string, std::string>> files;  // name, target directory (native, under c/)
    std::string refused;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

class CatalogueNameTest : public RunTest, public ::testing::WithParamInterface<NameCase> {
protected:
    std::string Native(const std::string& dir, std::string name) {
        std::replace(name.begin(), name.end(), '\\', '/');
        return root.Native(dir + "/" + name);
    }
};

TEST_P(CatalogueNameTest, FailsTheFileAndKeepsEverySavedCopy) {
    const NameCase& c = GetParam();
    std::string manifest = "[FILES]\r\n", sections;
    for (const auto& [name, dir] : c.files) {
        manifest += name + "=\r\n";
        sections += "[" + name + "]\r\nSDir=C:\\" + dir + "\r\nVersion=1\r\n";
        WriteFile(Native("d/P", name), "new " + name);
        WriteFile(Native("c/" + dir, name), "old " + name);
    }
    WriteFile(root.Native("d/P/YRNUpdate.ini"), "[ExeFiles]\r\nVersion=2\r\n" + manifest + sections);
    UpdatePath = "D:\\P\\";
    RecordingView view = RunUpdate();

    EXPECT_NE(std::find(view.lines.begin(), view.lines.end(), W("Сбой при замене файла: ") + c.refused),
              view.lines.end());
    for (const auto& [name, dir] : c.files)
        EXPECT_EQ(ReadFile(Native("c/" + dir, name)), name == c.refused ? "old " + name : ReadFile(Native("d/P", name)));
    const std::vector<std::string> sets = ListDir(root.Native("c/TOVR/UPDATE/OldFiles"));
    ASSERT_EQ(sets.size(), 1u);
    const std::string set = root.Native("c/TOVR/UPDATE/OldFiles/" + sets[0]);
    EXPECT_EQ(ReadFile(set + "/BackUp.ini"), "[FILES]\r\nA.exe=C:\\TOVR\\A.exe\r\n");
    EXPECT_EQ(ReadFile(set + "/A.exe"), "old A.exe");
    EXPECT_EQ(Registry().find("UpdateVersion"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CatalogueNameTest,
    ::testing::Values(NameCase{"CatalogueNameAfterASavedFile", {{"A.exe", "TOVR"}, {"BackUp.ini", "TOVR"}}, "BackUp.ini"},
                      NameCase{"CatalogueNameFirst", {{"BackUp.ini", "TOVR"}, {"A.exe", "TOVR"}}, "BackUp.ini"},
                      NameCase{"CatalogueNameThroughADotStep", {{"A.exe", "TOVR"}, {".\\BackUp.ini", "TOVR"}},
                               ".\\BackUp.ini"},
                      NameCase{"TwoFilesLandingOnOneSavedCopy", {{"A.exe", "TOVR"}, {".\\A.exe", "OTHER"}}, ".\\A.exe"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RunTest, ARollbackNeverRestoresTheCatalogueOverAFile) {
    const std::string set = "c/TOVR/UPDATE/OldFiles/26-01-02 10-00/";
    WriteFile(root.Native(set + "BackUp.ini"), "[FILES]\r\nbackup.ini=C:\\TOVR\\backup.ini\r\nA.exe=C:\\TOVR\\A.exe\r\n");
    WriteFile(root.Native(set + "A.exe"), "saved A");
    WriteFile(root.Native("c/TOVR/backup.ini"), "station's own");
    WriteFile(root.Native("c/TOVR/A.exe"), "new A");
    BackupDir = "C:\\TOVR\\UPDATE\\OldFiles\\26-01-02 10-00\\";
    RollbackList = std::make_unique<NameValueList>();
    RollbackList->Add("BackUp.ini=C:\\TOVR\\BackUp.ini");
    RollbackList->Add("A.exe=C:\\TOVR\\A.exe");
    RecordingView view = RunRollback();
    RollbackList.reset();
    EXPECT_EQ(view.lines, (std::vector<std::string>{W("Старт программы отката обновления ЮКСВЕЛ."),
                                                    W("Сбой при замене файла: BackUp.ini"),
                                                    W("Восстановление файла: A.exe"),
                                                    W("Замена исполняемых файлов завершена.")}));
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), "saved A");
    EXPECT_FALSE(Exists(root.Native("c/TOVR/BackUp.ini")));
}

TEST(LandingName, FollowsThePlatformsNameRules) {
    EXPECT_EQ(LandingName(".\\sub\\\\a.exe", false), "sub\\a.exe");
    EXPECT_EQ(LandingName("./Sub/A.exe. .", true), "SUB\\A.EXE");
    EXPECT_TRUE(LandsOnCatalogue("BACKUP.INI ", true));
    EXPECT_FALSE(LandsOnCatalogue("backup.ini", false));
    EXPECT_TRUE(LandsOnCatalogue("./BackUp.ini", false));
}

}  // namespace
}  // namespace yrn::test
