// The update and rollback runs end to end on real files under a temporary
// prefix. Each case is its set-up and its name: one start of a run (an update,
// a rollback of a list, or the backup dialog's rollback) whose whole outcome -
// the window, every file under the prefix, the registry and the log - is the
// golden file of that name.
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "support/Package.h"
#include "support/PeImages.h"
#include "support/dialog_ScriptedUI.h"
#include "ui/console/ConsoleUI.h"

namespace yrn::test {
namespace {

using Lines = std::vector<std::string>;
const std::string kA = "[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\n";

class Outcome;
struct OutcomeCase {
    std::string name;
    std::function<void(Outcome&)> setup = {};
    // for the window's questions
    std::deque<bool> answers = {};
    // started in the backup dialog as it opens
    bool dialog = false;
    // the backup dialog on the console, this its input
    const char* console = "";
};

class Outcome : public FilesTest, public testing::WithParamInterface<OutcomeCase> {
public:
    void Remove(std::string rel) { std::filesystem::remove_all(root.Native(rel)); }

    // The worked example: a client installation with Shift.exe = 4 and
    // UpdateVersion = 11 recorded and D:\Shared present, the package in D:\Pack\.
    void Worked() {
        Put("d/Pack/YRNUpdate.ini", ReadFile(YRN_TEST_DATA "/manifests/worked.ini"));
        Put("d/Pack/Shift.exe", "new shift");
        Put("d/Pack/Prices.dll", "new prices");
        Put("c/TOVR/Shift.exe", "old shift");
        Put("d/Shared/.keep", "");
        Reg({Dw("Shift.exe", 4), Dw("UpdateVersion", 11)});
        UpdatePath = "D:\\Pack\\";
        swType = 1;
    }
    // A fresh start on the package in C:\PKG\ whose A.exe holds newBytes.
    void Pkg(std::string manifest, std::string newBytes = "new") {
        UpdatePath = "C:\\PKG\\";
        Put("c/PKG/YRNUpdate.ini", manifest);
        Put("c/PKG/A.exe", newBytes);
    }
    // Ten megabytes of manifest: start, filler, and A.exe's entry at the very end.
    void Huge(std::string start) { Pkg(start + std::string((10u << 20) - start.size(), ';') + "\r\n" + kA); }
    // A.exe and a file named like the set's catalogue, listed in this order and installed before.
    void CatalogueNamed(std::string files) {
        Pkg("[FILES]\r\n" + files + "[A.exe]\r\nSDir=C:\\TOVR\\\r\n[BackUp.ini]\r\nSDir=C:\\TOVR\\\r\n");
        Put("c/PKG/BackUp.ini", "new BackUp.ini");
        Put("c/TOVR/A.exe", "old A.exe");
        Put("c/TOVR/BackUp.ini", "old BackUp.ini");
    }
    // A.exe installed and packaged as the two.exe image with one field damaged.
    void Damaged(size_t offset, uint32_t value, int width) {
        auto image = PeImageBytes("two.exe");
        Patch(image, offset, value, width);
        Pkg(kA, image);
        IsNoVersion = true;
        Put("c/TOVR/A.exe", image);
    }
    // A.exe = 3 installed, a package of version 9 and the registry file given.
    void OverRegistry(std::string bytes) {
        Pkg("[ExeFiles]\r\nVersion=9\r\n" + kA + "Version=3\r\n");
        Put("c/TOVR/A.exe", "old");
        Put("registry.reg", bytes);
    }

    // The shared package installed by an earlier start: its backup set, and the log from here on.
    void Updated() {
        WritePackage(root);
        RunWindow(platform, 1);
        set = BackupSets(root).at(0);
        ResetSettings();
        from = ReadFile(root.Native("cwd/YRNUpdate.log")).size();
    }
    std::string InSet(std::string name) { return std::string(kBackupRootNative) + "/" + set + "/" + name; }
    // A rollback of the set started with this list, as the dialog would leave it.
    void List(const Lines& entries) {
        mode = 2;
        BackupDir += set + "\\";
        RollbackList = std::make_unique<NameValueList>();
        for (auto& e : entries) RollbackList->Add(e);
    }
    // A log that fails from write n on.
    void LogFailsFrom(int n) {
        fp.FailWhen([n, writes = 0](auto& r) mutable { return r.call == Call::LogWrite && writes++ >= n; });
    }

    uint8_t mode = 1;
    size_t from = 0;
    std::string set;
};

TEST_P(Outcome, IsItsGoldenFile) {
    auto& c = GetParam();
    // An update_ case starts on the worked example; a rollback_ or backup_ one
    // on the shared package installed.
    if (c.name.starts_with("update_")) Worked();
    if (c.name.starts_with("rollback_") || c.name.starts_with("backup_")) Updated();
    if (c.setup) c.setup(*this);
    RecordingView window;
    std::istringstream in(c.console);
    std::ostringstream screen, err;
    ConsoleUI console(in, screen, err);
    ScriptedUI ui;
    ui.answers = c.answers;
    ui.onBackUpForm = [](auto& f) { f.StartBtnClick(); };
    if (!*c.console && !c.dialog)
        window = RunWindow(fp, mode, c.answers);
    else {
        // The backup dialog on the console, or started as it opens.
        AppUI& shown = c.dialog ? ui : static_cast<AppUI&>(console);
        TBackUpForm form(fp, shown);
        shown.ShowBackUpForm(form);
        // freed once the window has closed
        EXPECT_EQ(RollbackList, nullptr);
    }
    if (c.dialog) {
        EXPECT_TRUE(ui.hidden && ui.closed);
        ASSERT_EQ(ui.updateViews.size(), 1u);
        window = ui.updateViews.back();
    }
    // The set of the run (an update's named by its start's time) shows as <set>.
    std::smatch stamp;
    if (set.empty() && std::regex_search(BackupDir, stamp, std::regex(R"(\\(\d\d-\d\d-\d\d \d\d-\d\d[-\d]*)\\$)")))
        set = stamp.str(1);
    auto notes = "BackupDir: " + BackupDir + "\n";
    for (size_t i = 0; RunList && i < RunList->Count(); ++i) notes += "RunList: " + RunList->Line(i) + "\n";
    ExpectGolden(Masked(screen.str(), set) + RunReport(root, window, set, from, notes), c.name + ".txt");
    EXPECT_EQ(err.str(), "");
    // the report leaves out the working directory
    EXPECT_EQ(ListDir(root.Native("cwd")), Lines{"YRNUpdate.log"});
    EXPECT_FALSE(Exists("/tmp/yrn-hostile-evil.exe"));
}

const OutcomeCase kCases[] = {
    // Updates, each on top of the worked example.
    {"update_worked_example", {}},
    // A manager installs nothing and records the version.
    {"update_on_a_manager", [](auto&) { swType = 2; }},
    {"update_missing_manifest", [](auto& t) {
         UpdatePath = "D:\\Empty\\";
         t.Put("d/Empty/.keep", "");
     }},
    // The same package again, accepted; a lower one, declined.
    {"update_same_package", [](auto& t) { t.Reg({Dw("UpdateVersion", 12)}); }, {true}},
    {"update_lower_package", [](auto& t) { t.Reg({Dw("UpdateVersion", 13)}); }, {false}},
    // Without version checks an equal file installs; with them it is skipped.
    {"update_no_version_checks", [](auto& t) {
         t.Reg({Dw("Shift.exe", 5), Dw("UpdateVersion", 12)});
         IsNoVersion = true;
     }},
    {"update_equal_file_version", [](auto& t) { t.Reg({Dw("Shift.exe", 5)}); }},
    // A name listed twice, installed twice: the set keeps the first saved copy, not the new file.
    {"update_name_listed_twice", [](auto& t) {
         t.Put("d/Pack/YRNUpdate.ini", "[ExeFiles]\r\nVersion=12\r\n[FILES]\r\nShift.exe=\r\nShift.exe=\r\n"
                                       "[Shift.exe]\r\nCDir=<default>\r\nVersion=5\r\n");
         IsNoVersion = true;
     }},
    // Answer no: the file skipped without a failure.
    {"update_answer_no", [](auto&) { IsMessage = true; }, {false, true}},
    {"update_missing_target_dir", [](auto& t) { t.Remove("d/Shared"); }},
    {"update_local_copy_mark", [](auto& t) {
         t.Put("d/Pack/YRNUpdate.ini", ReadFile(t.root.Native("d/Pack/YRNUpdate.ini")) + "[MAIN]\r\nLocalCopy=0\r\n");
     }},
    // A log that cannot be opened; a backup root that is a file.
    {"update_log_unopenable", [](auto& t) { ::mkdir(t.root.Native("cwd/YRNUpdate.log").c_str(), 0777); }},
    {"update_backup_root_a_file", [](auto& t) { t.Put("c/TOVR/UPDATE/OldFiles", "a file in the way"); }},
    // The set names of this minute taken, by a file, then by the first run's set: the next free suffix.
    {"update_set_names_taken", [](auto& t) {
         t.Put("c/TOVR/UPDATE/OldFiles/24-03-05 10-20", "squatter");
         t.fp.SetClock(DateTime{2024, 3, 5, 10, 20, 0});
         RunWindow(t.fp, 1);
         ResetSettings();
         // the same installation and package again
         t.Worked();
     }},
    // Rollbacks, each on top of the shared package installed by an earlier start.
    // A missing saved copy leaves no trace; a gone target file is made again, a
    // gone target directory is not.
    {"rollback_missing_saved_copy", [](auto& t) { t.Remove(t.InSet("Lib.dll")); }, {}, true},
    {"rollback_gone_target_file", [](auto& t) { t.Remove("c/TOVR/TOOLS/Tool.exe"); }, {}, true},
    {"rollback_gone_target_dir", [](auto& t) { t.Remove("c/TOVR/LIB"); }, {}, true},
    // The questions answered no: skipped silently.
    {"rollback_answer_no", [](auto&) { IsMessage = true; }, {true, false, true}, true},
    // An ordinary file named like a set.
    {"rollback_file_named_like_a_set", [](auto& t) {
         t.Put("c/TOVR/UPDATE/OldFiles/99-12-31 23-59", "not a set");
     }, {}, true},
    // The directory part ends at a backslash or a colon. No directory part, or
    // no name=value: skipped.
    {"rollback_directory_parts", [](auto& t) {
         t.List({"Shift.exe=C:\\TOVR\\Shift.exe", "Lib.dll=<none>", "Tool.exe=C:Tool.exe", "New.exe"});
     }},
    // Without a list: two runs.
    {"rollback_without_a_list", [](auto& t) {
         t.List({});
         RollbackList.reset();
         RunWindow(t.fp, 2);
     }},
    // A log that fails while the run writes, from the first file's line (3)
    // or its success line (4) on. The success line's failure stays inside its
    // step; the next file's line ends the run.
    {"rollback_log_fails_at_write_3", [](auto& t) { t.LogFailsFrom(3); }, {}, true},
    {"rollback_log_fails_at_write_4", [](auto& t) { t.LogFailsFrom(4); }, {}, true},
    // The backup dialog on the console.
    // Minus, plus and numbers toggle files; unknown answers, then cancel.
    {"backup_toggle_files", {}, {}, {}, "-\n+\n2\n3\n3\nОткат\n"},
    {"backup_unknown_answers", {}, {}, {}, "9\n0\nнабор 5\nн x\nfoo\nОТМЕНА\n"},
    {"backup_cancel", {}, {}, {}, "2\ncancel\n"},
    {"backup_input_ends", {}, {}, {}, "2\n3\n"},
    {"backup_without_any_set", [](auto& t) { t.Remove(kBackupRootNative); }, {}, {}, "rollback\n"},
    // Another set by number, then back: coming back to a set checks every file of it again.
    // An older set besides the run's, holding Old.exe.
    {"backup_another_set_and_back", [](auto& t) {
         t.Put("c/TOVR/UPDATE/OldFiles/00-01-01 00-00/BackUp.ini", "[FILES]\r\nOld.exe=C:\\TOVR\\Old.exe\r\n");
         t.Put("c/TOVR/UPDATE/OldFiles/00-01-01 00-00/Old.exe", "old program");
     }, {}, {}, "-\nн 1\nн 2\nн 1\n\n"},
    // Damaged and hostile input: a clear logged failure or a silent skip, never a
    // crash, a hang or a write outside the run's own targets.
    // A package file named like the set's catalogue, after a saved file or
    // first, or two names landing on one saved copy: the file fails and nothing
    // of it is touched.
    {"catalogue_after_a_saved_file", [](auto& t) { t.CatalogueNamed("A.exe=\r\nBackUp.ini=\r\n"); }},
    {"catalogue_first", [](auto& t) { t.CatalogueNamed("BackUp.ini=\r\nA.exe=\r\n"); }},
    {"catalogue_one_copy_of_two_files", [](auto& t) {
         t.Pkg("[FILES]\r\nA.exe=\r\n.\\A.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\\r\n[.\\A.exe]\r\nSDir=C:\\OTHER\\\r\n");
         t.Put("c/TOVR/A.exe", "old A.exe");
         t.Put("c/OTHER/A.exe", "old .\\A.exe");
     }},
    // A package file named by a path of its own: refused, and the next file installed.
    {"hostile_name_absolute_posix", [](auto& t) {
         t.Pkg("[ExeFiles]\r\nVersion=4\r\n[FILES]\r\n/tmp/yrn-hostile-evil.exe=\r\nGood.exe=\r\n[/tmp/yrn-hostile-evil.exe]\r\n"
               "SDir=C:\\TOVR\\BIN\\\r\nVersion=1\r\n[Good.exe]\r\nSDir=C:\\TOVR\\\r\nVersion=1\r\n");
         t.Put("c/PKG/Good.exe", "good");
     }},
    // A target directory that climbs above its drive stays on that drive.
    {"hostile_dir_above_the_drive", [](auto& t) {
         t.Pkg("[FILES]\r\nA.exe=\r\n[A.exe]\r\nSDir=C:\\TOVR\\..\\..\\..\\..\\TOVR\\\r\n");
         t.Put("c/TOVR/A.exe", "old");
     }},
    // A huge manifest, junk or files first: only the first [FILES] section counts.
    {"hostile_huge_junk_first", [](auto& t) { t.Huge("[junk]\r\nkey=" + std::string(4 << 20, 'v') + "\r\n"); }},
    {"hostile_huge_files_first", [](auto& t) {
         std::string files = "[FILES]\r\n", sections;
         for (int i = 0; i < 100000; ++i) {
             files += "Missing" + std::to_string(i) + ".exe=\r\n";
             sections += "[Missing" + std::to_string(i) + ".exe]\r\nSDir=C:\\TOVR\\\r\n";
         }
         t.Huge(files + sections);
     }},
    // Catalogue entries that leave the set, climbing out of the set or name the catalogue itself:
    // refused, and the rollback never copies the catalogue over a file.
    {"hostile_catalogue_entries", [](auto& t) {
         t.set = "24-01-01 10-00";
         t.Put(t.InSet("BackUp.ini"), "[FILES]\r\n..\\..\\evil.exe=C:\\TOVR\\..\\..\\evil.exe\r\n"
                                      "C:\\TOVR\\abs.exe=C:\\TOVR\\abs.exe\r\nBackUp.ini=C:\\TOVR\\BackUp.ini\r\n"
                                      "ok.exe=C:\\TOVR\\ok.exe\r\n");
         t.Put(t.InSet("ok.exe"), "saved ok");
         // where "..\..\evil.exe" leads from the set
         t.Put("c/TOVR/UPDATE/evil.exe", "bait");
         t.Put("c/TOVR/abs.exe", "installed abs");
         t.Put("c/TOVR/BackUp.ini", "station's own");
         t.Put("c/TOVR/ok.exe", "installed ok");
     }, {}, true},
    // A value the run reads that is not a well-formed string or dword is a value
    // of another type: the run fails before it installs anything. A file that is
    // not REGEDIT4 is refused. Either way the values the file held stay as they were.
    {"hostile_registry_torn_in_a_value", [](auto& t) { t.OverRegistry(kRegistryHead + "\"UpdateVersion\"=dword:1\r\n\"A.exe\"=dwo"); }},
    {"hostile_registry_torn_in_a_header", [](auto& t) { t.OverRegistry(kRegistryHead.substr(0, 40)); }},
    {"hostile_registry_another_format", [](auto& t) { t.OverRegistry("Windows Registry Editor Version 5.00\r\n\r\n"); }},
    // A damaged version resource, its strings unreadable or its data's size
    // beyond the image: no version, or the fixed part's when the strings are unreadable.
    {"hostile_version_strings_bad", [](auto& t) { t.Damaged(kVersionData + 92, 0, 2); }},
    {"hostile_version_size_too_big", [](auto& t) { t.Damaged(kDataEntry + 4, 0xFFFFFFF0, 4); }}};

INSTANTIATE_TEST_SUITE_P(Run, Outcome, testing::ValuesIn(kCases), kCaseName);

// A package file's landing name follows the platform's name rules.
TEST(LandingName, PlatformRules) {
    EXPECT_EQ(LandingName(".\\sub\\\\a.exe", false), "sub\\a.exe");
    EXPECT_EQ(LandingName("./Sub/A.exe. .", true), "SUB\\A.EXE");
    EXPECT_TRUE(LandsOnCatalogue("BACKUP.INI ", true));
    EXPECT_FALSE(LandsOnCatalogue("backup.ini", false));
    EXPECT_TRUE(LandsOnCatalogue("./BackUp.ini", false));
}

}
}
