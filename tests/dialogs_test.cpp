// The parameters dialog and the backup selection as the console front end
// shows them: the lines printed, the answers taken, and the registry file the
// settings round trip leaves, byte for byte.
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "core/BackUpUnit.h"
#include "core/ParamQueryUnit.h"
#include "support/Package.h"
#include "support/dialog_ScriptedUI.h"
#include "ui/console/ConsoleUI.h"

namespace yrn::test {
namespace {

using Lines = std::vector<std::string>;

Lines OutLines(const std::string& out) {
    Lines lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}
size_t Count(const Lines& lines, const std::string& line) { return std::count(lines.begin(), lines.end(), line); }

// The registry file holding the settings key with these value lines.
std::string Reg(const Lines& values) {
    std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n";
    for (const std::string& v : values) text += v + "\r\n";
    return text + "\r\n";
}
std::string Dw(const char* name, unsigned v) {
    char line[64];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x", name, v);
    return line;
}
std::string Dir(const std::string& escaped) { return "\"UpdatePath\"=\"" + W(escaped.c_str()) + "\""; }
const std::string kDefaultDir = Dir("C:\\\\TOVR\\\\UPDATE\\\\");

struct ParamCase {
    const char* name;
    Lines stored;  // empty: no registry file yet
    const char* input;
    uint16_t result;
    Lines shown;    // lines the form shows among its values
    Lines written;  // the key's values afterwards
    const char* settings;  // UpdatePath|swType|IsMessage|IsNoVersion afterwards
};
void PrintTo(const ParamCase& c, std::ostream* os) { *os << c.name; }

class DialogTest : public RunTest {
protected:
    void Seed(const Lines& values) { WriteFile(root.Native("registry.reg"), Reg(values)); }
    // One start with this console input; the lines printed go to screen.
    uint16_t Start(const std::string& input, const Lines& args = {}) {
        std::istringstream in(input);
        std::ostringstream out, err;
        ConsoleUI ui(in, out, err);
        const uint16_t result = QueryParams(args, platform, ui);
        screen = OutLines(out.str());
        return result;
    }
    // The whole program ends with the failure box's line on stderr; returns stdout.
    std::string ExpectStartupFailure(const std::string& input) {
        std::istringstream in(input);
        std::ostringstream out, err;
        ConsoleUI ui(in, out, err);
        EXPECT_EQ(RunProgram({}, platform, ui), 0);
        EXPECT_EQ(err.str(), "YRN Update: Сбой при запуске программы обновления исполняемых файлов.\n");
        return out.str();
    }
    static std::string Settings() {
        return Cp1251ToUtf8(UpdatePath) + "|" + std::to_string(swType) + "|" + std::to_string(IsMessage) + "|" +
               std::to_string(IsNoVersion);
    }
    Lines screen;
};

class ParamRoundTrip : public DialogTest, public ::testing::WithParamInterface<ParamCase> {};

TEST_P(ParamRoundTrip, ShowsLoadsAndStores) {
    const ParamCase& c = GetParam();
    if (!c.stored.empty()) Seed(c.stored);
    EXPECT_EQ(Start(c.input), c.result);
    for (const std::string& line : c.shown) EXPECT_EQ(Count(screen, line), 1u) << line;
    EXPECT_EQ(Registry(), Reg(c.written));
    EXPECT_EQ(Settings(), c.settings);
}

const Lines kStored = {Dir("D:\\\\Pkg"), Dw("swType", 1), Dw("IsMessage", 1), Dw("IsNoVersion", 1)};

INSTANTIATE_TEST_SUITE_P(
    Console, ParamRoundTrip,
    ::testing::Values(
        ParamCase{"first_start_update", {}, "\n\n\n\n\n", mrUpdate, {}, {kDefaultDir, Dw("swType", 0), Dw("IsMessage", 0), Dw("IsNoVersion", 0)}, "C:\\TOVR\\UPDATE\\|0|0|0"},
        ParamCase{"edits_stored_others_kept",
                  {Dir("D:\\\\Pkg"), Dw("swType", 2), Dw("IsMessage", 5), Dw("IsNoVersion", 0), Dw("Shift.exe", 7)},
                  "  E:\\Новая папка \r\n3\nн\nД\nОБНОВИТЬ\n", mrUpdate,
                  {"  Обновление из папки: D:\\Pkg", "  Тип обновляемого ПО: Менеджер", "  Запрос при обновлении файла: да",
                   "  Не проверять номер версии файла: нет"},
                  {Dir("E:\\\\Новая папка\\\\"), Dw("swType", 3), Dw("IsMessage", 0), Dw("IsNoVersion", 1), Dw("Shift.exe", 7)},
                  "E:\\Новая папка\\|3|0|1"},
        ParamCase{"rollback_adds_backslash_writes_no_noversion", {Dir("D:\\\\Pkg")}, "\nклиент\nyes\nno\nROLLBACK\n", mrRollback,
                  {"Обновление из папки [D:\\Pkg]:"}, {Dir("D:\\\\Pkg\\\\"), Dw("swType", 1), Dw("IsMessage", 1)}, "D:\\Pkg\\|1|1|0"},
        ParamCase{"rollback_keeps_stored_noversion", {Dw("IsNoVersion", 0)}, "\nКлиент\nда\ny\n2\n", mrRollback, {},
                  {Dw("IsNoVersion", 0), kDefaultDir, Dw("swType", 1), Dw("IsMessage", 1)}, "C:\\TOVR\\UPDATE\\|1|1|1"},
        ParamCase{"backslash_not_doubled", {Dir("D:\\\\Pkg\\\\")}, "\nМЕНЕДЖЕР\nY\nнет\nupdate\n", mrUpdate, {},
                  {Dir("D:\\\\Pkg\\\\"), Dw("swType", 2), Dw("IsMessage", 1), Dw("IsNoVersion", 0)}, "D:\\Pkg\\|2|1|0"},
        ParamCase{"empty_dir_stays_empty", {Dir("")}, "\nсервер\nда\nn\n1\n", mrUpdate, {},
                  {Dir(""), Dw("swType", 0), Dw("IsMessage", 1), Dw("IsNoVersion", 0)}, "|0|1|0"},
        ParamCase{"cancel_writes_nothing_keeps_loaded", kStored, "X:\\Other\\\nОфис\nn\nn\n3\n", mrCancel,
                  {"  Тип обновляемого ПО: Клиент"}, kStored, "D:\\Pkg|1|1|1"},
        ParamCase{"first_start_cancel_leaves_empty_key", {}, "\n\n\n\nОтмена\n", mrCancel, {}, {}, "C:\\TOVR\\UPDATE\\|0|0|0"},
        ParamCase{"type_uses_low_eight_bits", {Dw("swType", 0x103)}, "", mrCancel, {"  Тип обновляемого ПО: Офис"}, {Dw("swType", 0x103)}, "C:\\TOVR\\UPDATE\\|3|0|0"},
        ParamCase{"type_256_is_server", {Dw("swType", 0x100)}, "", mrCancel, {"  Тип обновляемого ПО: Сервер"}, {Dw("swType", 0x100)}, "C:\\TOVR\\UPDATE\\|0|0|0"},
        ParamCase{"type_out_of_range_must_be_chosen", {Dw("swType", 0xffffffff)}, "\n\n\n1\n\n\n\n", mrUpdate,
                  {"  Тип обновляемого ПО: (не выбран)"},
                  {Dw("swType", 1), kDefaultDir, Dw("IsMessage", 0), Dw("IsNoVersion", 0)}, "C:\\TOVR\\UPDATE\\|1|0|0"},
        ParamCase{"type_never_chosen_cancels", {Dw("swType", 7)}, "\n\n\n\n", mrCancel, {"  Тип обновляемого ПО: (не выбран)"}, {Dw("swType", 7)}, "C:\\TOVR\\UPDATE\\|7|0|0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, FirstStartScreen) {
    Start("\n\n\n\n\n");
    std::string text;
    for (const std::string& line : screen) text += line + "\n";
    EXPECT_EQ(text, Golden("param_form_first_start.txt"));
}

TEST_F(DialogTest, WrongAnswersAreAskedAgainAndTheEndOfInputCancels) {
    EXPECT_EQ(Start("\n7\nabc\n-1\n2\nmaybe\ny\n\nx\n4\ncancel\n"), mrCancel);
    EXPECT_EQ(Count(screen, "Тип обновляемого ПО (0 Сервер, 1 Клиент, 2 Менеджер, 3 Офис) [Сервер]:"), 4u);
    EXPECT_EQ(Count(screen, "Выберите тип: 0, 1, 2, 3 или его название."), 3u);
    EXPECT_EQ(Count(screen, "Запрос при обновлении файла (y/n) [n]:"), 2u);
    EXPECT_EQ(Count(screen, "Ответьте y или n (д или н)."), 1u);
    EXPECT_EQ(Count(screen, "1 Обновить, 2 Откат, 3 Отмена [Обновить]:"), 3u);
    EXPECT_EQ(Count(screen, "Введите Обновить, Откат или Отмена (или 1, 2, 3)."), 2u);
    Seed({Dw("swType", 9)});
    Start("\n\n\n1\n\n\n\n");
    EXPECT_EQ(Count(screen, "Тип обновляемого ПО (0 Сервер, 1 Клиент, 2 Менеджер, 3 Офис) [(не выбран)]:"), 3u);
    for (const char* input : {"", "\n", "\n\n", "\n\n\n", "\n\n\n\n", "\n\n\n\nx\n", "D:\\"})
        EXPECT_EQ(Start(input), mrCancel) << input;
}

// Only a front end without the console's own check can confirm with no type.
TEST_F(DialogTest, ConfirmingWithoutAChosenTypeIsRefused) {
    Seed({Dw("swType", 9)});
    for (int button : {1, 3}) {
        ScriptedUI ui;
        ui.onParamForm = [button](TParamForm&) { return button; };
        EXPECT_EQ(QueryParams({}, platform, ui), mrCancel);
        EXPECT_EQ(Registry(), Reg({Dw("swType", 9)}));
    }
}

TEST_F(DialogTest, AValueOfTheWrongTypeFailsTheStartBeforeTheDialog) {
    for (const Lines& values : {Lines{Dw("UpdatePath", 1)}, Lines{"\"swType\"=\"1\""}, Lines{"\"IsMessage\"=\"0\""},
                                Lines{Dw("swType", 1), "\"IsNoVersion\"=\"1\""}}) {
        ResetSettings();
        Seed(values);
        EXPECT_EQ(ExpectStartupFailure("\n\n\n\n\n"), "");  // no dialog
        EXPECT_EQ(Registry(), Reg(values));
    }
}

TEST_F(DialogTest, AKeyThatCannotBeOpenedShowsCurrentValuesAndFailsOnConfirm) {
    ASSERT_EQ(::mkdir(root.Native("registry.reg").c_str(), 0777), 0);
    UpdatePath = "D:\\Current\\";
    EXPECT_EQ(Start("\n\n\n\n\n"), mrFailure);
    EXPECT_EQ(screen.at(3), "  Обновление из папки: D:\\Current\\");
    EXPECT_EQ(Start("\n\n\n\nОткат\n"), mrFailure);
    EXPECT_EQ(Start("\n\n\n\nОтмена\n"), mrCancel);
    EXPECT_EQ(ExpectStartupFailure("\n\n\n\n\n").find("[OK]"), std::string::npos);
}

TEST_F(DialogTest, EveryArgumentCountButThreeShowsTheDialog) {
    for (const Lines& args : {Lines{}, Lines{"1"}, Lines{"1", "D:\\Pkg"}, Lines{"1", "D:\\Pkg", "1", "x"}}) {
        EXPECT_EQ(Start("", args), mrCancel);
        EXPECT_EQ(screen.at(0), "Обновление ЮКСВЕЛ");
    }
    EXPECT_EQ(Start("", {"0", "D:\\Pkg", "1"}), mrUpdate);
    EXPECT_TRUE(screen.empty());
}

// The backup selection after a real update run.
class ConsoleBackUpTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        WritePackage(root);
        RunUpdate();
        ASSERT_EQ(BackupSets(root).size(), 1u);
        set = BackupSets(root)[0];
    }
    // Shows the selection with this input; true if the log did not change.
    bool Show(const std::string& input) {
        const std::string logBefore = Log();
        ResetSettings();
        std::istringstream in(input);
        std::ostringstream out, err;
        ConsoleUI ui(in, out, err);
        TBackUpForm form(platform, ui);
        ui.ShowBackUpForm(form);
        EXPECT_EQ(err.str(), "");
        EXPECT_EQ(RollbackList, nullptr);
        screen = OutLines(out.str());
        return Log() == logBefore;
    }
    void AddOlderSet() {
        const std::string dir = std::string(kBackupRootNative) + "/00-01-01 00-00/";
        WriteFile(root.Native(dir + "BackUp.ini"), "[FILES]\r\nOld.exe=C:\\TOVR\\Old.exe\r\n");
        WriteFile(root.Native(dir + "Old.exe"), "old program");
    }
    std::string set;
    Lines screen;
};

TEST_F(ConsoleBackUpTest, EnterRightAwayRestoresEveryFileOfTheNewestSet) {
    AddOlderSet();
    Show("\n");
    std::string text;
    for (const std::string& line : screen) text += (line == " > 2  " + set ? " > 2  <set>" : line) + "\n";
    EXPECT_EQ(text, Golden("backup_selection_enter.txt"));
    for (const PackageFile& f : PackageFiles())
        EXPECT_EQ(ReadFile(root.Native(f.native)), f.oldBytes.empty() ? f.newBytes : f.oldBytes) << f.name;
    EXPECT_FALSE(Exists(root.Native("c/TOVR/Old.exe")));
}

TEST_F(ConsoleBackUpTest, CommandsChooseTheFilesAndCancelRestoresNothing) {
    const std::pair<const char*, Lines> cases[] = {
        {"2\n3\n3\nОткат\n", {"Shift.exe", "Tool.exe"}}, {"-\n1\nrollback\n", {"Shift.exe"}},
        {"-\n+\n2\n\n", {"Shift.exe", "Tool.exe"}},     {"9\n0\nнабор 5\nн x\nfoo\nОТМЕНА\n", {}},
        {"2\ncancel\n", {}}, {"", {}}, {"2\n3\n", {}},
    };
    for (const auto& [input, restored] : cases) {
        SCOPED_TRACE(input);
        for (const PackageFile& f : PackageFiles()) WriteFile(root.Native(f.native), f.newBytes);
        EXPECT_EQ(Show(input), restored.empty());
        for (const PackageFile& f : PackageFiles()) {
            const bool back = std::find(restored.begin(), restored.end(), f.name) != restored.end();
            EXPECT_EQ(ReadFile(root.Native(f.native)), back ? f.oldBytes : f.newBytes) << f.name;
        }
    }
    Show("2\n3\n3\nОткат\n");
    EXPECT_EQ(Count(screen, "   2 [ ] Lib.dll"), 3u);  // listed again after each change
    EXPECT_EQ(Count(screen, "   3 [ ] Tool.exe"), 1u);
    Show("9\n0\nнабор 5\nн x\nfoo\nОТМЕНА\n");
    for (const char* line : {"Нет файла с номером 9.", "Нет набора с номером 5.", "Не понятно: н x", "Не понятно: 0",
                             "Не понятно: foo"})
        EXPECT_EQ(Count(screen, line), 1u) << line;
}

TEST_F(ConsoleBackUpTest, AnotherSetIsChosenByItsNumber) {
    AddOlderSet();
    Show("н 1\n\n");
    EXPECT_EQ(Count(screen, " > 1  00-01-01 00-00"), 1u);
    EXPECT_EQ(Count(screen, "   1 [x] Old.exe"), 1u);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Old.exe")), "old program");
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), PackageFileNamed("Shift.exe").newBytes);
}

TEST_F(ConsoleBackUpTest, WithoutAnySetTheListsAreEmptyAndNothingRuns) {
    std::filesystem::remove_all(root.Native(kBackupRootNative));
    EXPECT_TRUE(Show("\n"));
    EXPECT_EQ(screen, (Lines{"Откат обновления", "Откат обновления:", "  (нет)", "Файлы:", "  (нет)",
                             "Номер файла: отметить или снять; н N: набор N; +/-: все/ни одного", "Откат или Отмена [Откат]:"}));
}

// The real program, started without arguments with its input piped.
TEST(ConsoleProgram, UpdateThenRollBackThroughThePipe) {
    TempRoot root;
    WritePackage(root);
    auto run = [&root](const std::string& input) {
        WriteFile(root.Native("stdin.txt"), input);
        const std::string cmd = "cd '" + root.Native("cwd") + "' && YRN_ROOT='" + root.Path() + "' '" YRN_TOOL_PATH "' < '" +
                                root.Native("stdin.txt") + "' > '" + root.Native("stdout.txt") + "' 2>&1";
        const int status = std::system(cmd.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        return ReadFile(root.Native("stdout.txt"));
    };
    // Every field kept, "Обновить" by Enter, the window closed with Enter.
    std::string out = run("\n\n\n\n\n\n");
    EXPECT_NE(out.find("Обновление исполняемых файлов завершено.\n[OK]\n"), std::string::npos) << out;
    for (const PackageFile& f : PackageFiles()) EXPECT_EQ(ReadFile(root.Native(f.native)), f.newBytes) << f.name;
    const std::string registry = ReadFile(root.Native("registry.reg"));
    EXPECT_EQ(registry, Reg({kDefaultDir, Dw("swType", 0), Dw("IsMessage", 0), Dw("IsNoVersion", 0), Dw("Shift.exe", 3),
                             Dw("Lib.dll", 2), Dw("Readme.txt", 1), Dw("Tool.exe", 5), Dw("UpdateVersion", 7)}));
    // A second start: "Откат", Enter in the backup selection, Enter to close.
    out = run("\n\n\n\nОткат\n\n\n");
    EXPECT_NE(out.find("Замена исполняемых файлов завершена.\n[OK]\n"), std::string::npos) << out;
    for (const PackageFile& f : PackageFiles())
        EXPECT_EQ(ReadFile(root.Native(f.native)), f.oldBytes.empty() ? f.newBytes : f.oldBytes) << f.name;
    EXPECT_EQ(ReadFile(root.Native("registry.reg")), registry);
}

}  // namespace
}  // namespace yrn::test
