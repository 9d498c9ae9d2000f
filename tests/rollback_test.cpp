// The rollback after a real update run: the backup dialog's lists, and each
// run's whole outcome (window, files, records, log) as a golden file.
#include <filesystem>
#include <functional>

#include "support/dialog_ScriptedUI.h"
#include "support/FaultPlatform.h"
#include "support/Package.h"

namespace yrn::test {
namespace {

using Lines = std::vector<std::string>;

class RollbackTest : public RunTest {
public:
    using RunTest::RunRollback;
    void SetUp() override {
        RunTest::SetUp();
        WritePackage(root);
        RunUpdate();
        ASSERT_EQ(BackupSets(root).size(), 1u);
        set = BackupSets(root)[0];
        setNative = std::string(kBackupRootNative) + "/" + set;
        ResetSettings();  // the rollback is a later start of the program
        logBefore = Log().size();
    }
    void Put(const std::string& rel, const std::string& bytes) { WriteFile(root.Native(rel), bytes); }
    void Remove(const std::string& rel) { std::filesystem::remove_all(root.Native(rel)); }
    // A run started with this list, as the dialog would leave it.
    void List(const Lines& entries) {
        BackupDir = "C:\\TOVR\\UPDATE\\OldFiles\\" + set + "\\";
        RollbackList = std::make_unique<NameValueList>();
        for (const std::string& e : entries) RollbackList->Add(e);
    }
    std::string StoredPath(const std::string& name) { return name + "=" + PackageFileNamed(name).target; }

    ScriptedUI ui;
    std::string set, setNative;
    size_t logBefore = 0;
};

struct RollbackCase {
    const char* name;
    std::function<void(RollbackTest&)> prepare;
    std::function<void(TBackUpForm&)> person;  // the dialog, adjusted before "Откат"; none: a run on prepare's list
};
void PrintTo(const RollbackCase& c, std::ostream* os) { *os << c.name; }

class RollbackRun : public RollbackTest, public ::testing::WithParamInterface<RollbackCase> {};

TEST_P(RollbackRun, LeavesItsGoldenOutcome) {
    const RollbackCase& c = GetParam();
    if (c.prepare) c.prepare(*this);
    RecordingView window;
    if (!c.person) {
        window = RunRollback();
    } else {
        ui.onBackUpForm = [&c](TBackUpForm& form) { c.person(form); form.StartBtnClick(); };
        TBackUpForm form(platform, ui);
        ui.ShowBackUpForm(form);
        EXPECT_TRUE(ui.backUpView.hidden && ui.backUpView.closed);
        EXPECT_EQ(RollbackList, nullptr);  // freed once the window has closed
        ASSERT_EQ(ui.updateViews.size(), 1u);
        window = ui.updateViews.back();
    }
    ExpectGolden(RunReport(root, window, set, logBefore), std::string("rollback_") + c.name + ".txt");
}

const auto kKeep = [](TBackUpForm&) {};

INSTANTIATE_TEST_SUITE_P(
    Sets, RollbackRun,
    ::testing::Values(
        RollbackCase{"every_file_of_the_newest_set", {}, kKeep},
        RollbackCase{"only_the_checked", {}, [](TBackUpForm& f) { f.FileList[1].checked = false; }},
        RollbackCase{"none_checked", {}, [](TBackUpForm& f) { for (FileItem& i : f.FileList) i.checked = false; }},
        RollbackCase{"missing_saved_copy_leaves_no_trace", [](RollbackTest& t) { t.Remove(t.setNative + "/Lib.dll"); }, kKeep},
        RollbackCase{"gone_target_file_recreated", [](RollbackTest& t) { t.Remove("c/TOVR/TOOLS/Tool.exe"); }, kKeep},
        RollbackCase{"gone_target_directory_not_created", [](RollbackTest& t) { t.Remove("c/TOVR/LIB"); }, kKeep},
        RollbackCase{"questions_answer_no_skips_silently", [](RollbackTest& t) { IsMessage = true; t.ui.answers = {true, false, true}; }, kKeep},
        RollbackCase{"missing_catalogue", [](RollbackTest& t) { t.Remove(t.setNative + "/BackUp.ini"); }, kKeep},
        RollbackCase{"empty_stored_path_not_run", [](RollbackTest& t) {
                         t.Put(t.setNative + "/BackUp.ini", "[FILES]\r\n" + t.StoredPath("Shift.exe") + "\r\nLib.dll=\r\n" + t.StoredPath("Tool.exe") + "\r\n"); }, kKeep},
        RollbackCase{"ordinary_file_named_like_a_set", [](RollbackTest& t) { t.Put(std::string(kBackupRootNative) + "/99-12-31 23-59", "not a set"); }, kKeep},
        // No directory part, or no name=value: skipped.
        RollbackCase{"directory_part_ends_at_backslash_or_colon", [](RollbackTest& t) {
                         t.List({"Shift.exe=C:\\TOVR\\Shift.exe", "Lib.dll=<none>", "Tool.exe=C:Tool.exe", "New.exe"}); }, {}},
        RollbackCase{"without_a_list_two_runs", [](RollbackTest& t) { BackupDir = "C:\\TOVR\\UPDATE\\OldFiles\\" + t.set + "\\"; t.RunRollback(); }, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RollbackTest, TheDialogListsTheNewestSetWithEveryFileChecked) {
    Put(std::string(kBackupRootNative) + "/00-01-01 00-00/BackUp.ini", "[FILES]\r\nOld.exe=C:\\TOVR\\Old.exe\r\n");
    TBackUpForm form(platform, ui);
    form.FormShow();
    EXPECT_EQ(form.DirList, (Lines{"00-01-01 00-00", set}));
    EXPECT_EQ(form.DirListIndex, 1);
    const auto files = [&form] {
        Lines shown;
        for (const FileItem& f : form.FileList) shown.push_back(f.caption + "=" + f.path + (f.checked ? " x" : ""));
        return shown;
    };
    const Lines all = {StoredPath("Shift.exe") + " x", StoredPath("Lib.dll") + " x", StoredPath("Tool.exe") + " x"};
    EXPECT_EQ(files(), all);
    // Entering the file list selects its first file, unless one is selected.
    const auto enter = [&form] { form.FileListEnter(); return form.FileListIndex; };
    EXPECT_EQ(form.FileListIndex, -1);
    EXPECT_EQ(enter(), 0);
    form.FileListIndex = 2;
    EXPECT_EQ(enter(), 2);
    form.FileList[0].checked = false;
    form.DirListIndex = 0;
    form.DirListClick();
    EXPECT_EQ(files(), Lines{"Old.exe=C:\\TOVR\\Old.exe x"});
    form.FileListEnter();
    form.DirListIndex = 1;
    form.DirListClick();
    EXPECT_EQ(files(), all);  // coming back checks every file again
    EXPECT_EQ(form.FileListIndex, -1);
}

// The progress window forwards Enter, and only Enter, to its OK button.
TEST(ProgressWindow, EnterInTheLogPressesOk) {
    PosixPlatform platform("/nonexistent");
    TUpdateForm form(platform);
    char key = 13;
    form.LogListKeyPress(key);  // no window: nothing to post to
    RecordingView view;
    form.AttachView(&view);
    for (char other : {'\n', ' ', 'a', '\x1b'}) form.LogListKeyPress(other);
    EXPECT_TRUE(view.posted.empty());
    form.LogListKeyPress(key);
    ASSERT_EQ(view.posted.size(), 2u);
    EXPECT_EQ(view.posted[0].message * 1000 + view.posted[0].wParam, WM_KEYDOWN_ * 1000 + 13);
    EXPECT_EQ(view.posted[1].message * 1000 + view.posted[1].wParam, WM_KEYUP_ * 1000 + 13);
}

// A log that fails while the run writes: the write number that fails (0 the
// bare line end, 3 the first file's line, 4 its success line). The success
// line's failure stays inside its step; the next file's line ends the run.
TEST_F(RollbackTest, ALogFailureEndsTheRunWithItsFailureLine) {
    for (const int failAt : {0, 3, 4}) {
        for (const PackageFile& f : PackageFiles()) Put(f.native, f.newBytes);
        FaultPlatform failing(platform);
        failing.FailWhen([n = failAt, writes = 0](const CallRecord& r) mutable { return r.call == Call::LogWrite && writes++ >= n; });
        ResetSettings();
        List({StoredPath("Shift.exe"), StoredPath("Lib.dll"), StoredPath("Tool.exe")});
        const size_t from = Log().size();
        ExpectGolden(RunReport(root, RunWindow(failing, 2), set, from), "rollback_log_fails_at_write_" + std::to_string(failAt) + ".txt");
    }
}

}  // namespace
}  // namespace yrn::test
