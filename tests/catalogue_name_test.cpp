// A package file named like the backup set's catalogue, or two names landing
// on one saved copy: the file fails and nothing of it is touched; a rollback
// never copies the catalogue over a file.
#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

struct NameCase {
    const char* label;
    std::vector<std::pair<std::string, std::string>> files;  // name, target directory (native, under c/)
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
    std::string manifest = "[ExeFiles]\r\nVersion=2\r\n[FILES]\r\n", sections;
    for (const auto& [name, dir] : GetParam().files) {
        manifest += name + "=\r\n";
        sections += "[" + name + "]\r\nSDir=C:\\" + dir + "\r\nVersion=1\r\n";
        WriteFile(Native("d/P", name), "new " + name);
        WriteFile(Native("c/" + dir, name), "old " + name);
    }
    WriteFile(root.Native("d/P/YRNUpdate.ini"), manifest + sections);
    UpdatePath = "D:\\P\\";
    const RecordingView view = RunUpdate();
    const std::vector<std::string> sets = ListDir(root.Native("c/TOVR/UPDATE/OldFiles"));
    ASSERT_EQ(sets.size(), 1u);
    ExpectGolden(RunReport(root, view, sets[0]), std::string("catalogue_") + GetParam().label + ".txt");
}

INSTANTIATE_TEST_SUITE_P(
    Names, CatalogueNameTest,
    ::testing::Values(NameCase{"CatalogueNameAfterASavedFile", {{"A.exe", "TOVR"}, {"BackUp.ini", "TOVR"}}},
                      NameCase{"CatalogueNameFirst", {{"BackUp.ini", "TOVR"}, {"A.exe", "TOVR"}}},
                      NameCase{"CatalogueNameThroughADotStep", {{"A.exe", "TOVR"}, {".\\BackUp.ini", "TOVR"}}},
                      NameCase{"TwoFilesLandingOnOneSavedCopy", {{"A.exe", "TOVR"}, {".\\A.exe", "OTHER"}}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RunTest, ARollbackNeverRestoresTheCatalogueOverAFile) {
    const std::string set = "c/TOVR/UPDATE/OldFiles/26-01-02 10-00/";
    WriteFile(root.Native(set + "BackUp.ini"), "[FILES]\r\nbackup.ini=C:\\TOVR\\backup.ini\r\nA.exe=C:\\TOVR\\A.exe\r\n");
    WriteFile(root.Native(set + "A.exe"), "saved A");
    WriteFile(root.Native("c/TOVR/backup.ini"), "station's own");
    WriteFile(root.Native("c/TOVR/A.exe"), "new A");
    BackupDir = "C:\\TOVR\\UPDATE\\OldFiles\\26-01-02 10-00\\";
    RollbackList = std::make_unique<NameValueList>();
    for (const char* entry : {"BackUp.ini=C:\\TOVR\\BackUp.ini", "A.exe=C:\\TOVR\\A.exe"}) RollbackList->Add(entry);
    const RecordingView view = RunRollback();
    RollbackList.reset();
    ExpectGolden(RunReport(root, view, ""), "catalogue_never_restored_over_a_file.txt");
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
