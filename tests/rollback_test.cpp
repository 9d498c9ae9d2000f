// The rollback after a real update run: the backup dialog's lists, the files
// copied back byte for byte, the run log line by line, and the records that
// must stay as they are.
#include <filesystem>
#include <functional>

#include "support/dialog_ScriptedUI.h"
#include "support/FaultPlatform.h"
#include "support/Package.h"

namespace yrn::test {
namespace {

using Lines = std::vector<std::string>;
const std::string kBackupRoot = "C:\\TOVR\\UPDATE\\OldFiles\\";

std::string StartLine() { return W("Старт программы отката обновления ЮКСВЕЛ."); }
std::string EndLine() { return W("Замена исполняемых файлов завершена."); }
std::string Restoring(const std::string& n) { return W("Восстановление файла: ") + n; }
std::string Failed(const std::string& n) { return W("Сбой при замене файла: ") + n; }
std::string Missing(const std::string& dir) { return W("Не найден файл: ") + dir + "BackUp.ini"; }

class RollbackTest : public RunTest {
public:
    void SetUp() override {
        RunTest::SetUp();
        WritePackage(root);
        RunUpdate();
        ASSERT_EQ(BackupSets(root).size(), 1u);
        set = BackupSets(root)[0];
        setDir = kBackupRoot + set + "\\";
        setNative = std::string(kBackupRootNative) + "/" + set;
        ResetSettings();  // the rollback is a later start of the program
        logBefore = Log().size();
        registryBefore = Registry();
        catalogueBefore = ReadFile(root.Native(setNative + "/BackUp.ini"));
    }

    // The backup dialog as a person uses it: shown, adjusted, "Откат".
    void RollBack(const std::function<void(TBackUpForm&)>& person = {}) {
        TBackUpForm form(platform, ui);
        RecordingBackUpView view;
        form.AttachView(&view);
        form.FormShow();
        if (person) person(form);
        form.StartBtnClick();
        EXPECT_TRUE(view.hidden && view.closed);
        EXPECT_EQ(RollbackList, nullptr);  // freed once the window has closed
        ASSERT_EQ(ui.updateViews.size(), 1u);
        window = ui.updateViews.back();
        EXPECT_EQ(window.endStates, (std::vector<bool>{false, true}));
        EXPECT_EQ(window.captions, Lines{RollbackCaption()});
    }

    // The run's log: a bare line end, then stamped lines; an empty text
    // stands for the bare line end that opens a later run.
    void ExpectLog(const Lines& texts) {
        const Lines lines = LogLines(Log().substr(logBefore));
        ASSERT_EQ(lines.size(), texts.size() + 1) << Cp1251ToUtf8(Log().substr(logBefore));
        EXPECT_EQ(lines[0], "");
        for (size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(texts[i].empty() ? lines[i + 1] : Unstamped(lines[i + 1]), texts[i]) << i;
        EXPECT_EQ(Log().substr(Log().size() - 2), "\r\n");
    }
    Lines LogStart() { return {StartLine(), W("Восстановление из каталога: ") + setDir}; }
    std::string Success(const std::string& n, std::string target = "") {
        if (target.empty()) target = PackageFileNamed(n).target;
        return W("Файл ") + target + W(" (версия )  заменен на ") + setDir + n + W(" (версия ) ");
    }

    // The installed files: the old bytes for the restored ones, the new bytes for the rest.
    void ExpectInstalled(const Lines& restored) {
        for (const PackageFile& f : PackageFiles()) {
            const bool back = std::find(restored.begin(), restored.end(), f.name) != restored.end();
            EXPECT_EQ(ReadFile(root.Native(f.native)), back ? f.oldBytes : f.newBytes) << f.name;
        }
    }
    // The backup set, its catalogue and saved copies, and the registry stay as they were.
    void ExpectRecordsUnchanged() {
        EXPECT_EQ(Registry(), registryBefore);
        EXPECT_EQ(BackupSets(root), Lines{set});
        EXPECT_EQ(ReadFile(root.Native(setNative + "/BackUp.ini")), catalogueBefore);
        for (const PackageFile& f : PackageFiles())
            if (!f.oldBytes.empty() && Exists(root.Native(setNative + "/" + f.name))) {
                EXPECT_EQ(ReadFile(root.Native(setNative + "/" + f.name)), f.oldBytes) << f.name;
            }
    }
    // A run that restored exactly these files, each with its two lines.
    void ExpectRestoredRun(const Lines& restored) {
        ExpectInstalled(restored);
        ExpectRecordsUnchanged();
        Lines screen{StartLine()}, log = LogStart();
        for (const std::string& n : restored) {
            screen.push_back(Restoring(n));
            log.insert(log.end(), {Restoring(n), Success(n)});
        }
        screen.push_back(EndLine());
        log.push_back(EndLine());
        EXPECT_EQ(window.lines, screen);
        ExpectLog(log);
    }

    ScriptedUI ui;
    RecordingView window;
    std::string set, setDir, setNative, registryBefore, catalogueBefore;
    size_t logBefore = 0;
};

struct RestoreCase {
    const char* name;
    std::function<void(RollbackTest&)> prepare;
    std::function<void(TBackUpForm&)> person;
    Lines restored;
};
void PrintTo(const RestoreCase& c, std::ostream* os) { *os << c.name; }

class RestoreTest : public RollbackTest, public ::testing::WithParamInterface<RestoreCase> {
public:
    void Remove(const std::string& native) { std::filesystem::remove(root.Native(native)); }
    void Ask(std::deque<bool> answers) {
        IsMessage = true;
        ui.answers = std::move(answers);
    }
};

TEST_P(RestoreTest, RestoresTheCheckedFilesWithTheirLines) {
    if (GetParam().prepare) GetParam().prepare(*this);
    RollBack(GetParam().person);
    ExpectRestoredRun(GetParam().restored);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, RestoreTest,
    ::testing::Values(
        RestoreCase{"every_file_of_the_newest_set", {}, {}, {"Shift.exe", "Lib.dll", "Tool.exe"}},
        RestoreCase{"only_the_checked", {}, [](TBackUpForm& f) { f.FileList[1].checked = false; }, {"Shift.exe", "Tool.exe"}},
        RestoreCase{"none_checked", {}, [](TBackUpForm& f) { for (FileItem& i : f.FileList) i.checked = false; }, {}},
        RestoreCase{"missing_saved_copy_leaves_no_trace", [](RollbackTest& t) { static_cast<RestoreTest&>(t).Remove(t.setNative + "/Lib.dll"); }, {}, {"Shift.exe", "Tool.exe"}},
        RestoreCase{"gone_target_file_recreated", [](RollbackTest& t) { static_cast<RestoreTest&>(t).Remove("c/TOVR/TOOLS/Tool.exe"); }, {}, {"Shift.exe", "Lib.dll", "Tool.exe"}},
        RestoreCase{"answer_no_skips_silently", [](RollbackTest& t) { static_cast<RestoreTest&>(t).Ask({true, false, true}); }, {}, {"Shift.exe", "Tool.exe"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RollbackTest, TheQuestionsNameEachFileUnderTheRollbackCaption) {
    IsMessage = true;
    RollBack();
    ASSERT_EQ(window.questions.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(window.questions[i].text, W("Заменить файл ") + PackageFiles()[i == 2 ? 3 : i].name + "?");
        EXPECT_EQ(window.questions[i].caption, RollbackCaption());
        EXPECT_TRUE(window.questions[i].defaultYes);
    }
}

TEST_F(RollbackTest, TheDialogListsTheNewestSetWithEveryFileChecked) {
    WriteFile(root.Native(std::string(kBackupRootNative) + "/00-01-01 00-00/BackUp.ini"), "[FILES]\r\nOld.exe=C:\\TOVR\\Old.exe\r\n");
    TBackUpForm form(platform, ui);
    form.FormShow();
    EXPECT_EQ(form.DirList, (Lines{"00-01-01 00-00", set}));
    EXPECT_EQ(form.DirListIndex, 1);
    ASSERT_EQ(form.FileList.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const PackageFile& f = PackageFiles()[i == 2 ? 3 : i];
        EXPECT_EQ(form.FileList[i].caption + "=" + form.FileList[i].path, f.name + "=" + f.target);
        EXPECT_TRUE(form.FileList[i].checked);
    }
    // Entering the file list selects its first file, unless one is selected.
    EXPECT_EQ(form.FileListIndex, -1);
    form.FileListEnter();
    EXPECT_EQ(form.FileListIndex, 0);
    form.FileListIndex = 2;
    form.FileListEnter();
    EXPECT_EQ(form.FileListIndex, 2);

    form.FileList[0].checked = false;
    form.DirListIndex = 0;
    form.DirListClick();
    ASSERT_EQ(form.FileList.size(), 1u);
    EXPECT_EQ(form.FileList[0].caption, "Old.exe");
    form.FileListEnter();
    form.DirListIndex = 1;
    form.DirListClick();
    ASSERT_EQ(form.FileList.size(), 3u);
    EXPECT_TRUE(form.FileList[0].checked);  // coming back checks every file again
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

TEST_F(RollbackTest, AMissingCatalogueIsReportedAndNothingIsTouched) {
    std::filesystem::remove(root.Native(setNative + "/BackUp.ini"));
    RollBack([](TBackUpForm& form) { EXPECT_TRUE(form.FileList.empty()); });
    ExpectInstalled({});
    EXPECT_EQ(window.lines, (Lines{StartLine(), Missing(setDir)}));
    ExpectLog({LogStart()[0], LogStart()[1], Missing(setDir)});
    EXPECT_EQ(Registry(), registryBefore);
}

TEST_F(RollbackTest, AGoneTargetDirectoryFailsThatFileOnlyAndIsNotCreated) {
    std::filesystem::remove_all(root.Native("c/TOVR/LIB"));
    RollBack();
    EXPECT_FALSE(Exists(root.Native("c/TOVR/LIB")));
    for (const char* n : {"Shift.exe", "Tool.exe"})
        EXPECT_EQ(ReadFile(root.Native(PackageFileNamed(n).native)), PackageFileNamed(n).oldBytes);
    ExpectRecordsUnchanged();
    EXPECT_EQ(window.lines, (Lines{StartLine(), Restoring("Shift.exe"), Restoring("Lib.dll"), Failed("Lib.dll"),
                                   Restoring("Tool.exe"), EndLine()}));
    ExpectLog({LogStart()[0], LogStart()[1], Restoring("Shift.exe"), Success("Shift.exe"), Restoring("Lib.dll"),
               Failed("Lib.dll"), Restoring("Tool.exe"), Success("Tool.exe"), EndLine()});
}

TEST_F(RollbackTest, AFileWithAnEmptyStoredPathIsNotPassedToTheRun) {
    std::string ini = ReadFile(root.Native(setNative + "/BackUp.ini"));
    const std::string entry = "Lib.dll=C:\\TOVR\\LIB\\Lib.dll";
    ASSERT_NE(ini.find(entry), std::string::npos);
    catalogueBefore = ini.replace(ini.find(entry), entry.size(), "Lib.dll=");
    WriteFile(root.Native(setNative + "/BackUp.ini"), ini);
    RollBack([](TBackUpForm& form) { EXPECT_EQ(form.FileList.size(), 3u); });
    ExpectInstalled({"Shift.exe", "Tool.exe"});
    ExpectRecordsUnchanged();
}

TEST_F(RollbackTest, WithoutAnyBackupSetTheRollbackOpensNoWindow) {
    std::filesystem::remove_all(root.Native(kBackupRootNative));
    TBackUpForm form(platform, ui);
    RecordingBackUpView view;
    form.AttachView(&view);
    form.FormShow();
    EXPECT_TRUE(form.DirList.empty() && form.FileList.empty());
    form.StartBtnClick();
    EXPECT_TRUE(view.closed);
    EXPECT_TRUE(ui.updateViews.empty());
    EXPECT_EQ(BackupDir, kBackupRoot);
    EXPECT_EQ(Log().size(), logBefore);
}

TEST_F(RollbackTest, AnOrdinaryFileNamedLikeASetIsListedWithNoFiles) {
    WriteFile(root.Native(std::string(kBackupRootNative) + "/99-12-31 23-59"), "not a set");
    RollBack([](TBackUpForm& form) {
        EXPECT_EQ(form.DirList.back(), "99-12-31 23-59");
        EXPECT_TRUE(form.FileList.empty());
    });
    EXPECT_EQ(window.lines, (Lines{StartLine(), Missing(kBackupRoot + "99-12-31 23-59\\")}));
    ExpectInstalled({});
}

TEST_F(RollbackTest, TheDirectoryPartEndsAtTheLastBackslashOrColon) {
    BackupDir = setDir;
    RollbackList = std::make_unique<NameValueList>();
    for (const char* line : {"Shift.exe=C:\\TOVR\\Shift.exe", "Lib.dll=<none>", "Tool.exe=C:Tool.exe", "New.exe"})
        RollbackList->Add(line);  // no directory part, or no name=value: skipped
    EXPECT_EQ(RunRollback().lines, (Lines{StartLine(), Restoring("Shift.exe"), Restoring("Tool.exe"), EndLine()}));
    EXPECT_EQ(ReadFile(root.Native("c/Tool.exe")), PackageFileNamed("Tool.exe").oldBytes);
    ExpectInstalled({"Shift.exe"});
    ExpectLog({LogStart()[0], LogStart()[1], Restoring("Shift.exe"), Success("Shift.exe"), Restoring("Tool.exe"),
               Success("Tool.exe", "C:\\Tool.exe"), EndLine()});
}

TEST_F(RollbackTest, WithoutAListEveryRunOnlyStartsAndClosesAfterAnEmptyLine) {
    BackupDir = setDir;
    EXPECT_EQ(RunRollback().lines, (Lines{StartLine(), EndLine()}));
    RunRollback();
    ExpectLog({LogStart()[0], LogStart()[1], EndLine(), "", LogStart()[0], LogStart()[1], EndLine()});
    EXPECT_EQ(Log().substr(0, 2), "\r\n");  // the update run opened the file the same way
    ExpectInstalled({});
}

// A log that fails while the run writes: the write number that fails (0 the
// bare line end, 3 the first file's line, 4 its success line), what the
// window shows, and what is restored.
TEST_F(RollbackTest, ALogFailureEndsTheRunWithItsFailureLine) {
    const std::string failure = W("Сбой при замене исполняемых файлов ЮКСВЕЛ.");
    const std::tuple<int, Lines, Lines> cases[] = {
        {0, {StartLine(), failure}, {}},
        {3, {StartLine(), Restoring("Shift.exe"), failure}, {}},
        // The success line's failure stays inside its step; the next file's line ends the run.
        {4, {StartLine(), Restoring("Shift.exe"), Restoring("Lib.dll"), failure}, {"Shift.exe"}},
    };
    for (const auto& [failAt, screen, restored] : cases) {
        SCOPED_TRACE(failAt);
        for (const PackageFile& f : PackageFiles()) WriteFile(root.Native(f.native), f.newBytes);
        FaultPlatform failing(platform);
        failing.FailWhen([&, n = failAt, writes = 0](const CallRecord& r) mutable { return r.call == Call::LogWrite && writes++ >= n; });
        ResetSettings();
        BackupDir = setDir;
        RollbackList = std::make_unique<NameValueList>();
        for (const PackageFile& f : PackageFiles()) RollbackList->SetValue(f.name, f.target);
        RecordingView view = RunWindow(failing, 2);
        EXPECT_EQ(view.lines, screen);
        EXPECT_EQ(view.endStates, (std::vector<bool>{false, true}));
        ExpectInstalled(restored);
        EXPECT_EQ(Registry(), registryBefore);
    }
}

}  // namespace
}  // namespace yrn::test
