// The power is cut after every platform call of an update run and of a
// rollback run, losing everything not yet durable. On what is left: every
// installed file is its old bytes or its new bytes; a replaced file's saved
// copy holds its old bytes and is listed in the catalogue; a rollback of the
// set restores every old byte.
#include <sys/stat.h>

#include "core/IniFile.h"
#include "support/PowerCut.h"
#include "support/RunFixture.h"

namespace yrn::test {
namespace {

struct Installed {
    std::string name, dir, native, oldBytes, newBytes;  // no old bytes: a new file
};

const std::vector<Installed> kFiles = {
    {"Shift.exe", "C:\\TOVR\\", "c/TOVR/Shift.exe", "old shift", "new shift, longer"},
    {"Lib.dll", "C:\\TOVR\\LIB\\", "c/TOVR/LIB/Lib.dll", std::string(5000, 'o'), std::string(7000, 'n')},
    {"Readme.txt", "C:\\TOVR\\", "c/TOVR/Readme.txt", "", "read me"},
};

void LayScenario(const TempRoot& root) {
    std::string manifest = "[ExeFiles]\r\nVersion=7\r\n[FILES]\r\n";
    for (const Installed& f : kFiles) manifest += f.name + "=\r\n";
    for (const Installed& f : kFiles) {
        manifest += "[" + f.name + "]\r\nSDir=" + f.dir + "\r\nVersion=2\r\n";
        WriteFile(root.Native("c/PKG/" + f.name), f.newBytes);
        if (!f.oldBytes.empty()) WriteFile(root.Native(f.native), f.oldBytes);
    }
    WriteFile(root.Native("c/PKG/YRNUpdate.ini"), manifest);
    WriteFile(root.Native("registry.reg"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n\"UpdateVersion\"=dword:00000006\r\n\r\n");
}

std::string OnlySet(const TempRoot& root) {
    const std::vector<std::string> sets = ListDir(root.Native("c/TOVR/UPDATE/OldFiles"));
    EXPECT_LE(sets.size(), 1u);
    return sets.empty() ? std::string() : sets[0];
}

// Rolls the set back with every file its catalogue lists.
void Rollback(Platform& platform, const TempRoot& root, const std::string& set) {
    ResetSettings();
    BackupDir += set + "\\";
    IniDocument catalogue(ReadFile(root.Native("c/TOVR/UPDATE/OldFiles/" + set + "/BackUp.ini")));
    RollbackList = std::make_unique<NameValueList>();
    for (const std::string& key : catalogue.Keys("FILES")) RollbackList->SetValue(key, *catalogue.Find("FILES", key));
    RunWindow(platform, 2);
}

void ExpectOldOrNew(const TempRoot& root, const std::string& context) {
    for (const Installed& f : kFiles) {
        const std::string now = ReadFile(root.Native(f.native));
        EXPECT_TRUE(now == f.newBytes || now == f.oldBytes) << context << ": " << f.name << " torn";
    }
}

// What the update promises on the disk a cut left.
void ExpectSafe(const TempRoot& root, const std::string& context) {
    ExpectOldOrNew(root, context);
    const std::string set = OnlySet(root);
    const std::string setDir = root.Native("c/TOVR/UPDATE/OldFiles/" + set);
    IniDocument catalogue(set.empty() ? std::string() : ReadFile(setDir + "/BackUp.ini"));
    for (const Installed& f : kFiles) {
        if (f.oldBytes.empty() || ReadFile(root.Native(f.native)) == f.oldBytes) continue;
        const std::string* listed = catalogue.Find("FILES", f.name);
        ASSERT_NE(listed, nullptr) << context << ": " << f.name << " replaced, not listed";
        EXPECT_EQ(*listed, f.dir + f.name) << context;
        EXPECT_EQ(ReadFile(setDir + "/" + f.name), f.oldBytes) << context << ": saved copy of " << f.name;
    }
    if (set.empty()) return;
    PosixPlatform platform(root.Path());
    Rollback(platform, root, set);
    for (const Installed& f : kFiles) {
        if (!f.oldBytes.empty()) {
            EXPECT_EQ(ReadFile(root.Native(f.native)), f.oldBytes) << context << ": rollback";
        }
    }
}

class PowerCutTest : public ::testing::Test {
protected:
    void SetUp() override { ResetSettings(), UpdatePath = "C:\\PKG\\"; }
    void TearDown() override { ResetSettings(); }
};

TEST_F(PowerCutTest, UpdateAndRollbackSurviveACutAfterEveryCall) {
    TempRoot root;
    LayScenario(root);
    PosixPlatform posix(root.Path());
    FaultPlatform update(posix);
    PowerCutModel updateDisk(posix, update);
    RunWindow(update, 1);
    for (const Installed& f : kFiles) ASSERT_EQ(ReadFile(root.Native(f.native)), f.newBytes);
    const std::string set = OnlySet(root);
    FaultPlatform rollback(posix);
    PowerCutModel rollbackDisk(posix, rollback);
    Rollback(rollback, root, set);

    int cuts = 0;
    for (const auto* model : {&updateDisk, &rollbackDisk}) {
        for (size_t k = 0; k < model->Cuts().size(); ++k) {
            const std::string context = (model == &updateDisk ? "update" : "rollback") + std::string(" cut after call ") +
                                        std::to_string(k);
            TempRoot cut;
            PowerCutModel::Lay(model->Cuts()[k], cut.Path());
            ExpectSafe(cut, context);
            if (HasFatalFailure()) return;
            ++cuts;
        }
    }
    // The cut after the last call of each run keeps all of it.
    EXPECT_EQ(updateDisk.Cuts().back().files.at("c/TOVR/Shift.exe"), kFiles[0].newBytes);
    EXPECT_EQ(rollbackDisk.Cuts().back().files.at("c/TOVR/Shift.exe"), kFiles[0].oldBytes);
    EXPECT_EQ(updateDisk.Cuts().back().files.count("registry.reg"), 1u);
    EXPECT_GT(cuts, 60);
}

// A saved copy is the installed file itself under a second name (no byte
// copied); one whose file then cannot be replaced gets bytes of its own, or
// a later change of the file would change the saved copy too.
TEST_F(PowerCutTest, SavedCopyIsALinkUnlessItsFileStaysInPlace) {
    TempRoot root;
    LayScenario(root);
    auto inode = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    const ino_t oldLib = inode(root.Native(kFiles[1].native));
    PosixPlatform posix(root.Path());
    FaultPlatform fp(posix);
    fp.FailWhen([](const CallRecord& r) { return r.call == Call::PlaceFile && r.arg == "C:\\TOVR\\Shift.exe"; });
    RunWindow(fp, 1);
    const std::string saved = root.Native("c/TOVR/UPDATE/OldFiles/" + OnlySet(root) + "/");
    EXPECT_EQ(inode(saved + "Lib.dll"), oldLib);
    EXPECT_EQ(ReadFile(saved + "Lib.dll"), kFiles[1].oldBytes);
    EXPECT_NE(inode(saved + "Shift.exe"), inode(root.Native(kFiles[0].native)));
    EXPECT_EQ(ReadFile(saved + "Shift.exe"), kFiles[0].oldBytes);
}

}  // namespace
}  // namespace yrn::test
