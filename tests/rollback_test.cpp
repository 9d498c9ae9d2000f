// The rollback after a real update run: the backup dialog's lists, the files
// copied back byte for byte, the run log line by line, and the records that
// must stay as they are.
#include <filesystem>
#include <functional>

#include "support/RunFixture.h"
#include "support/dialog_ScriptedUI.h"
#include "support/rollback_FailingLog.h"
#include "support/Package.h"

namespace yrn::test {
namespace {

const std::string kBackupRoot = "C:\\TOVR\\UPDATE\\OldFiles\\";

std::string StartLine() { return W("Старт программы отката обновления ЮКСВЕЛ."); }
std::string EndLine() { return W("Замена исполняемых файлов завершена."); }
std::string Restoring(const std::string& n) { return W("Восстановление файла: ") + n; }
std::string Failed(const std::string& n) { return W("Сбой при замене файла: ") + n; }

class RollbackTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        WritePackage(root);
        RunUpdate();
        const std::vector<std::string> sets = BackupSets(root);
        ASSERT_EQ(sets.size(), 1u);
        set = sets[0];
        setDir = kBackupRoot + set + "\\";
        setNative = std::string(kBackupRootNative) + "/" + set;
        for (const PackageFile& f : PackageFiles()) ASSERT_EQ(ReadFile(root.Native(f.native)), f.newBytes) << f.name;
        // The rollback is a later start of the program.
        ResetSettings();
        logBefore = Log().size();
        registryBefore = Registry();
        ASSERT_NE(registryBefore, "");
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
        EXPECT_TRUE(view.hidden);
        EXPECT_TRUE(view.closed);
        EXPECT_EQ(RollbackList, nullptr);  // freed once the window has closed
    }

    const RecordingView& Window() {
        EXPECT_EQ(ui.updateViews.size(), 1u);
        static const RecordingView none;
        return ui.updateViews.empty() ? none : ui.updateViews.back();
    }

    // The run's log lines: a bare line end first, then stamped lines; an
    // empty text stands for the bare line end that opens a later run.
    void ExpectLog(const std::vector<std::string>& texts) {
        const std::vector<std::string> lines = LogLines(Log().substr(logBefore));
        ASSERT_EQ(lines.size(), texts.size() + 1) << Cp1251ToUtf8(Log().substr(logBefore));
        EXPECT_EQ(lines[0], "");
        for (size_t i = 0; i < texts.size(); ++i) {
            if (texts[i].empty()) EXPECT_EQ(lines[i + 1], "") << i;
            else EXPECT_EQ(Unstamped(lines[i + 1]), texts[i]) << i;
        }
        EXPECT_EQ(Log().substr(Log().size() - 2), "\r\n");
    }
    std::vector<std::string> LogStart() { return {StartLine(), W("Восстановление из каталога: ") + setDir}; }
    std::string Success(const std::string& n) {
        const PackageFile& f = PackageFileNamed(n);
        return W("Файл ") + f.target + W(" (версия )  заменен на ") + setDir + n + W(" (версия ) ");
    }

    // The installed files: the old bytes for the restored ones, the new bytes for the rest.
    void ExpectInstalled(const std::vector<std::string>& restored) {
        for (const PackageFile& f : PackageFiles()) {
            bool back = std::find(restored.begin(), restored.end(), f.name) != restored.end();
            EXPECT_EQ(ReadFile(root.Native(f.native)), back ? f.oldBytes : f.newBytes) << f.name;
        }
    }
    // The backup set, its catalogue and the registry are left as they were.
    void ExpectRecordsUnchanged() {
        EXPECT_EQ(Registry(), registryBefore);
        EXPECT_EQ(BackupSets(root), std::vector<std::string>{set});
        EXPECT_EQ(ReadFile(root.Native(setNative + "/BackUp.ini")), catalogueBefore);
        for (const PackageFile& f : PackageFiles()) {
            if (!f.oldBytes.empty() && Exists(root.Native(setNative + "/" + f.name))) {
                EXPECT_EQ(ReadFile(root.Native(setNative + "/" + f.name)), f.oldBytes) << f.name;
            }
        }
    }
    // A run that restored exactly these files, each with its two lines.
    void ExpectRestoredRun(const std::vector<std::string>& restored) {
        ExpectInstalled(restored);
        ExpectRecordsUnchanged();
        ExpectEndedProperly();
        std::vector<std::string> screen{StartLine()}, log = LogStart();
        for (const std::string& n : restored) {
            screen.push_back(Restoring(n));
            log.push_back(Restoring(n));
            log.push_back(Success(n));
        }
        screen.push_back(EndLine());
        log.push_back(EndLine());
        EXPECT_EQ(Window().lines, screen);
        ExpectLog(log);
    }
    void ExpectEndedProperly() {
        EXPECT_EQ(Window().endStates, (std::vector<bool>{false, true}));
        EXPECT_EQ(Window().captions, std::vector<std::string>{RollbackCaption()});
    }

    ScriptedUI ui;
    std::string set, setDir, setNative, registryBefore, catalogueBefore;
    size_t logBefore = 0;
};

TEST_F(RollbackTest, TheDialogListsTheNewestSetWithEveryFileChecked) {
    WriteFile(root.Native(std::string(kBackupRootNative) + "/00-01-01 00-00/BackUp.ini"),
              "[FILES]\r\nOld.exe=C:\\TOVR\\Old.exe\r\n");
    TBackUpForm form(platform, ui);
    form.FormShow();
    EXPECT_EQ(form.DirList, (std::vector<std::string>{"00-01-01 00-00", set}));
    EXPECT_EQ(form.DirListIndex, 1);
    ASSERT_EQ(form.FileList.size(), 3u);
    const char* names[] = {"Shift.exe", "Lib.dll", "Tool.exe"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(form.FileList[i].caption, names[i]);
        EXPECT_EQ(form.FileList[i].path, PackageFileNamed(names[i]).target);
        EXPECT_TRUE(form.FileList[i].checked);
    }
    EXPECT_EQ(form.FileListIndex, -1);
    form.FileListEnter();
    EXPECT_EQ(form.FileListIndex, 0);

    form.FileList[0].checked = false;
    form.DirListIndex = 0;
    form.DirListClick();
    ASSERT_EQ(form.FileList.size(), 1u);
    EXPECT_EQ(form.FileList[0].caption, "Old.exe");
    form.DirListIndex = 1;
    form.DirListClick();
    ASSERT_EQ(form.FileList.size(), 3u);
    EXPECT_TRUE(form.FileList[0].checked);  // coming back checks every file again
}

TEST_F(RollbackTest, RestoresEveryFileOfTheNewestSet) {
    RollBack();
    ExpectRestoredRun({"Shift.exe", "Lib.dll", "Tool.exe"});
    EXPECT_TRUE(Window().questions.empty());
}

TEST_F(RollbackTest, RestoresOnlyTheCheckedFiles) {
    RollBack([](TBackUpForm& form) { form.FileList[1].checked = false; });
    ExpectRestoredRun({"Shift.exe", "Tool.exe"});
}

TEST_F(RollbackTest, NoCheckedFileGivesOnlyTheStartAndClosingLines) {
    RollBack([](TBackUpForm& form) {
        for (FileItem& item : form.FileList) item.checked = false;
    });
    ExpectRestoredRun({});
}

TEST_F(RollbackTest, AMissingCatalogueIsReportedAndNothingIsTouched) {
    std::filesystem::remove(root.Native(setNative + "/BackUp.ini"));
    RollBack([](TBackUpForm& form) { EXPECT_TRUE(form.FileList.empty()); });
    ExpectInstalled({});
    ExpectEndedProperly();
    const std::string missing = W("Не найден файл: ") + setDir + "BackUp.ini";
    EXPECT_EQ(Window().lines, (std::vector<std::string>{StartLine(), missing}));
    std::vector<std::string> log = LogStart();
    log.push_back(missing);
    ExpectLog(log);
    EXPECT_EQ(Registry(), registryBefore);
}

TEST_F(RollbackTest, AMissingSavedCopyLeavesNoTrace) {
    std::filesystem::remove(root.Native(setNative + "/Lib.dll"));
    RollBack();
    ExpectRestoredRun({"Shift.exe", "Tool.exe"});
}

TEST_F(RollbackTest, AGoneTargetDirectoryFailsThatFileOnlyAndIsNotCreated) {
    std::filesystem::remove_all(root.Native("c/TOVR/LIB"));
    RollBack();
    EXPECT_FALSE(Exists(root.Native("c/TOVR/LIB")));
    EXPECT_EQ(ReadFile(root.Native(PackageFileNamed("Shift.exe").native)), PackageFileNamed("Shift.exe").oldBytes);
    EXPECT_EQ(ReadFile(root.Native(PackageFileNamed("Tool.exe").native)), PackageFileNamed("Tool.exe").oldBytes);
    ExpectRecordsUnchanged();
    ExpectEndedProperly();
    EXPECT_EQ(Window().lines, (std::vector<std::string>{StartLine(), Restoring("Shift.exe"), Restoring("Lib.dll"),
                                                         Failed("Lib.dll"), Restoring("Tool.exe"), EndLine()}));
    ExpectLog({LogStart()[0], LogStart()[1], Restoring("Shift.exe"), Success("Shift.exe"), Restoring("Lib.dll"),
               Failed("Lib.dll"), Restoring("Tool.exe"), Success("Tool.exe"), EndLine()});
}

TEST_F(RollbackTest, AGoneTargetFileIsRecreated) {
    std::filesystem::remove(root.Native(PackageFileNamed("Tool.exe").native));
    RollBack();
    ExpectRestoredRun({"Shift.exe", "Lib.dll", "Tool.exe"});
}

TEST_F(RollbackTest, AnsweringNoSkipsThatFileSilently) {
    IsMessage = true;
    ui.answers = {true, false, true};
    RollBack();
    ExpectRestoredRun({"Shift.exe", "Tool.exe"});
    ASSERT_EQ(Window().questions.size(), 3u);
    const char* names[] = {"Shift.exe", "Lib.dll", "Tool.exe"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Window().questions[i].text, W("Заменить файл ") + names[i] + "?");
        EXPECT_EQ(Window().questions[i].caption, RollbackCaption());
    }
}

TEST_F(RollbackTest, AFileWithAnEmptyStoredPathIsNotPassedToTheRun) {
    std::string ini = ReadFile(root.Native(setNative + "/BackUp.ini"));
    const std::string entry = "Lib.dll=C:\\TOVR\\LIB\\Lib.dll";
    ASSERT_NE(ini.find(entry), std::string::npos);
    ini.replace(ini.find(entry), entry.size(), "Lib.dll=");
    WriteFile(root.Native(setNative + "/BackUp.ini"), ini);
    catalogueBefore = ini;
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
    EXPECT_TRUE(form.DirList.empty());
    EXPECT_TRUE(form.FileList.empty());
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
    setDir = kBackupRoot + "99-12-31 23-59\\";
    const std::string missing = W("Не найден файл: ") + setDir + "BackUp.ini";
    EXPECT_EQ(Window().lines, (std::vector<std::string>{StartLine(), missing}));
    ExpectInstalled({});
}

TEST_F(RollbackTest, TheDirectoryPartEndsAtTheLastBackslashOrColon) {
    BackupDir = setDir;
    RollbackList = std::make_unique<NameValueList>();
    RollbackList->Add("Shift.exe=C:\\TOVR\\Shift.exe");
    RollbackList->Add("Lib.dll=<none>");  // no directory part: skipped
    RollbackList->Add("Tool.exe=C:Tool.exe");
    RollbackList->Add("New.exe");  // not a name=value line
    RecordingView view = RunRollback();
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), PackageFileNamed("Shift.exe").oldBytes);
    EXPECT_EQ(ReadFile(root.Native("c/Tool.exe")), PackageFileNamed("Tool.exe").oldBytes);
    EXPECT_EQ(ReadFile(root.Native(PackageFileNamed("Tool.exe").native)), PackageFileNamed("Tool.exe").newBytes);
    ExpectInstalled({"Shift.exe"});
    EXPECT_EQ(view.lines, (std::vector<std::string>{StartLine(), Restoring("Shift.exe"), Restoring("Tool.exe"),
                                                     EndLine()}));
    ExpectLog({LogStart()[0], LogStart()[1], Restoring("Shift.exe"), Success("Shift.exe"), Restoring("Tool.exe"),
               W("Файл C:\\Tool.exe (версия )  заменен на ") + setDir + W("Tool.exe (версия ) "), EndLine()});
}


TEST_F(RollbackTest, WithoutAListEveryRunOnlyStartsAndClosesAfterAnEmptyLine) {
    BackupDir = setDir;
    EXPECT_EQ(RunRollback().lines, (std::vector<std::string>{StartLine(), EndLine()}));
    RunRollback();
    ExpectLog({LogStart()[0], LogStart()[1], EndLine(), "", LogStart()[0], LogStart()[1], EndLine()});
    EXPECT_EQ(Log().substr(0, 2), "\r\n");  // the update run opened the file the same way
    ExpectInstalled({});
}

// A log that fails while the run is writing: what a failure outside a
// file's copy does to the run.
struct LogFailureCase {
    const char* label;
    int failAtWrite;  // 0 bare line end, 1 start, 2 catalogue, 3 "Восстановление файла" 1, 4 its success line
    std::vector<std::string> screen;
    std::vector<std::string> restored;
};

TEST_F(RollbackTest, ALogFailureEndsTheRunWithItsFailureLine) {
    const std::string failure = W("Сбой при замене исполняемых файлов ЮКСВЕЛ.");
    const LogFailureCase cases[] = {
        {"open line", 0, {StartLine(), failure}, {}},
        {"first file", 3, {StartLine(), Restoring("Shift.exe"), failure}, {}},
        // The success line's failure stays inside its step; the next file's line ends the run.
        {"success line", 4, {StartLine(), Restoring("Shift.exe"), Restoring("Lib.dll"), failure}, {"Shift.exe"}},
    };
    for (const LogFailureCase& c : cases) {
        SCOPED_TRACE(c.label);
        for (const PackageFile& f : PackageFiles()) WriteFile(root.Native(f.native), f.newBytes);
        FailingLogPlatform failing(root.Path(), c.failAtWrite);
        ResetSettings();
        BackupDir = setDir;
        RollbackList = std::make_unique<NameValueList>();
        for (const PackageFile& f : PackageFiles()) RollbackList->SetValue(f.name, f.target);
        RecordingView view = RunWindow(failing, 2);
        EXPECT_EQ(view.lines, c.screen);
        EXPECT_EQ(view.endStates, (std::vector<bool>{false, true}));
        ExpectInstalled(c.restored);
        EXPECT_EQ(Registry(), registryBefore);
    }
}

}  // namespace
}  // namespace yrn::test
