// The parameters dialog as the console front end shows it: the lines printed,
// the answers taken, and the registry file the settings round trip leaves,
// byte for byte. Then the keys of the backup and progress windows, and the
// real program through its pipe.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include "support/Package.h"
#include "support/dialog_ScriptedUI.h"
#include "ui/console/ConsoleUI.h"

namespace yrn::test {
namespace {

using Lines = std::vector<std::string>;

std::string Dir(std::string escaped) { return "\"UpdatePath\"=\"" + escaped + "\""; }

struct ParamCase {
    std::string name;
    // Empty: no registry file yet.
    Lines stored;
    const char* input;
    uint16_t result;
};

class DialogTest : public FilesTest {
protected:
    // One start of the dialog, or of the whole program, with this console input;
    // the lines printed go to screen, the failure box to errors.
    int Start(std::string input, Lines args = {}, bool whole = false) {
        std::istringstream in(input);
        std::ostringstream out, err;
        ConsoleUI ui(in, out, err);
        int result = whole ? RunProgram(args, platform, ui) : QueryParams(args, platform, ui);
        screen = out.str();
        errors = err.str();
        return result;
    }
    std::string screen, errors;
};

class ParamRoundTrip : public DialogTest, public testing::WithParamInterface<ParamCase> {};

// The screen, the registry file and the settings loaded, as a golden file.
TEST_P(ParamRoundTrip, ShowsLoadsAndStores) {
    auto& c = GetParam();
    if (!c.stored.empty()) Reg(c.stored);
    EXPECT_EQ(Start(c.input), c.result);
    auto text = screen + "== registry.reg\n" + Registry() + "== settings\n" + Cp1251ToUtf8(UpdatePath) + "|" + std::to_string(swType) +
            "|" + std::to_string(IsMessage) + "|" + std::to_string(IsNoVersion) + "\n";
    ExpectGolden(text, "param_" + c.name + ".txt");
}

// Enter at every question: each shown value kept.
const char* const kEnters = "\n\n\n\n\n";

const ParamCase kParamCases[] = {
        {"first_start_update", {}, kEnters, mrUpdate},
        {"edits_stored_others_kept", {Dir("D:\\\\Pkg"), Dw("swType", 2), Dw("IsMessage", 5), Dw("IsNoVersion", 0), Dw("Shift.exe", 7)},
                  "  E:\\Новая папка \r\n3\nн\nД\nОБНОВИТЬ\n", mrUpdate},
        // A rollback adds the backslash and writes no "IsNoVersion"; a stored one is kept.
        {"rollback_adds_backslash", {Dir("D:\\\\Pkg")}, "\nклиент\nyes\nno\nROLLBACK\n", mrRollback},
        {"rollback_keeps_noversion", {Dw("IsNoVersion", 0)}, "\nКлиент\nда\ny\n2\n", mrRollback},
        {"backslash_not_doubled", {Dir("D:\\\\Pkg\\\\")}, "\nМЕНЕДЖЕР\nY\nнет\nupdate\n", mrUpdate},
        {"empty_dir_stays_empty", {Dir("")}, "\nсервер\nда\nn\n1\n", mrUpdate},
        // Cancelled: nothing written, the loaded settings kept; on a first start the key is left empty.
        {"cancel_writes_nothing", {Dir("D:\\\\Pkg"), Dw("swType", 1), Dw("IsMessage", 1), Dw("IsNoVersion", 1)},
         "X:\\Other\\\nОфис\nn\nn\n3\n", mrCancel},
        {"first_start_cancel", {}, "\n\n\n\nОтмена\n", mrCancel},
        {"type_uses_low_eight_bits", {Dw("swType", 0x103)}, "", mrCancel},
        // A type out of range must be chosen.
        {"type_out_of_range", {Dw("swType", 0x104)}, "\n\n\n1\n\n\n\n", mrUpdate},
        // Wrong answers are asked again; the end of input cancels.
        {"wrong_answers_asked_again", {}, "\n7\nabc\n-1\n2\nmaybe\ny\n\nx\n4\ncancel\n", mrCancel},
        // A value of the wrong type fails the start before the dialog.
        {"wrong_type_path", {Dw("UpdatePath", 1)}, kEnters, mrFailure},
        {"wrong_type_type", {"\"swType\"=\"1\""}, kEnters, mrFailure},
        {"wrong_type_questions", {"\"IsMessage\"=\"0\""}, kEnters, mrFailure},
        {"wrong_type_version_check", {Dw("swType", 1), "\"IsNoVersion\"=\"1\""}, kEnters, mrFailure}};
INSTANTIATE_TEST_SUITE_P(Console, ParamRoundTrip, testing::ValuesIn(kParamCases), kCaseName);

// Every argument count but three shows the dialog; the end of input at any of its questions cancels it.
TEST_F(DialogTest, EndOfInputCancels) {
    for (auto& args : {Lines{}, Lines{"1"}, Lines{"1", "D:\\Pkg"}, Lines{"1", "D:\\Pkg", "1", "x"}})
        for (auto input : {"", "\n", "\n\n", "\n\n\n", "\n\n\n\n", "\n\n\n\nx\n", "D:\\"}) {
            EXPECT_EQ(Start(input, args), mrCancel) << input;
            EXPECT_TRUE(screen.starts_with("Обновление ЮКСВЕЛ\n"));
        }
}

// Confirming without a chosen type is refused. Only a front end without the
// console's own check can confirm with no type.
TEST_F(DialogTest, ConfirmingWithoutAType) {
    Reg({Dw("swType", 9)});
    for (int button : {1, 3}) {
        ScriptedUI ui;
        ui.onParamForm = [button](auto&) { return button; };
        EXPECT_EQ(QueryParams({}, platform, ui), mrCancel);
        EXPECT_EQ(Registry(), RegistryWith({Dw("swType", 9)}));
    }
}

// A key that cannot be opened: the current values shown, and a failure on confirming.
TEST_F(DialogTest, KeyThatCannotBeOpened) {
    ASSERT_EQ(::mkdir(root.Native("registry.reg").c_str(), 0777), 0);
    UpdatePath = "D:\\Current\\";
    EXPECT_EQ(Start(kEnters), mrFailure);
    EXPECT_NE(screen.find("\n  Обновление из папки: D:\\Current\\\n"), std::string::npos);
    EXPECT_EQ(Start("\n\n\n\nОткат\n"), mrFailure);
    EXPECT_EQ(Start("\n\n\n\nОтмена\n"), mrCancel);
    // The whole program ends with the failure box.
    EXPECT_EQ(Start(kEnters, {}, true), StartupFailureStatus);
    EXPECT_EQ(errors, "YRN Update: Сбой при запуске программы обновления исполняемых файлов.\n");
    EXPECT_EQ(screen.find("[OK]"), std::string::npos);
}

// Entering the file list selects its first file, unless one is selected or
// there is none; a set index past the list of sets lists no files and rolls
// nothing back.
TEST_F(RunTest, FileListEntryAndSetPastTheList) {
    ScriptedUI ui;
    TBackUpForm form(platform, ui);
    auto enter = [&form] {
        form.FileListEnter();
        return form.FileListIndex;
    };
    EXPECT_EQ(enter(), -1);
    form.FileList = {
        {"A", "C:\\A", true},
        {"B", "C:\\B", false},
        {"C", "C:\\C", true},
    };
    EXPECT_EQ(enter(), 0);
    form.FileListIndex = 2;
    EXPECT_EQ(enter(), 2);
    form.DirList = {"24-01-01 10-00"};
    form.DirListIndex = 1;
    form.DirListClick();
    form.StartBtnClick();
    EXPECT_EQ(form.FileList.size(), 3u);
    EXPECT_TRUE(ui.updateViews.empty());
}

// The progress window forwards Enter, and only Enter, to its OK button; with
// no window there is nothing to post to.
TEST_F(RunTest, EnterInTheLogPressesOk) {
    TUpdateForm form(platform);
    RecordingView view, *none = nullptr;
    for (auto attached : {none, &view}) {
        form.AttachView(attached);
        for (char key : {'\n', ' ', 'a', '\x1b', '\r'}) form.LogListKeyPress(key);
    }
    std::vector<uintptr_t> posted;
    for (auto& p : view.posted) posted.push_back(p.message * 1000 + p.wParam);
    EXPECT_EQ(posted, (std::vector<uintptr_t>{WM_KEYDOWN_ * 1000 + 13, WM_KEYUP_ * 1000 + 13}));
}

// The real program, started without arguments with its input piped: an update
// with every field kept, then a rollback of it.
TEST(ConsoleProgram, UpdateThenRollBack) {
    TempRoot root;
    WritePackage(root);
    std::string text;
    for (auto input : {"\n\n\n\n\n\n", "\n\n\n\nОткат\n\n\n"}) {
        EXPECT_EQ(RunTool(root, "", input), 0);
        text += ReadFile(root.Native("cwd/stdout.txt")) + RunReport(root, {}, "");
    }
    ExpectGolden(Masked(text, BackupSets(root).at(0)), "console_update_then_rollback.txt");
}

}
}
