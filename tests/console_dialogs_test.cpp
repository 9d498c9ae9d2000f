// The console front end's two dialogs driven line by line through a stream,
// and the real program driven through a pipe.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "ui/console/ConsoleUI.h"
#include "core/BackUpUnit.h"
#include "core/ParamQueryUnit.h"
#include "support/RunFixture.h"
#include "support/Package.h"

namespace yrn::test {
namespace {

// Output lines of the console (UTF-8).
std::vector<std::string> OutLines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

size_t Count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

struct ParamRun {
    int result;
    TParamForm form;
    std::vector<std::string> out;
};

ParamRun RunParamForm(const std::string& input, TParamForm form) {
    std::istringstream in(input);
    std::ostringstream out, err;
    ConsoleUI ui(in, out, err);
    int result = ui.ShowParamForm(form);
    return {result, form, OutLines(out.str())};
}

TParamForm Form(const std::string& dir, int type, bool message, bool noVersion) {
    TParamForm f;
    f.eUpdateDir = dir;
    f.cbSWType = type;
    f.cbIsMessage = message;
    f.cbIsNoVersion = noVersion;
    return f;
}

const char* const kTypePrompt = "Тип обновляемого ПО (0 Сервер, 1 Клиент, 2 Менеджер, 3 Офис) [Сервер]:";
const char* const kChoicePrompt = "1 Обновить, 2 Откат, 3 Отмена [Обновить]:";

TEST(ConsoleParamForm, ShowsTheValuesThenAsksEveryField) {
    ParamRun r = RunParamForm("\n\n\n\n\n", Form("C:\\TOVR\\UPDATE\\", 0, false, false));
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.out, (std::vector<std::string>{
                         "Обновление ЮКСВЕЛ",
                         "Перед тем, как начать обновление,",
                         "закройте все приложения ЮКСВЕЛ!",
                         "  Обновление из папки: C:\\TOVR\\UPDATE\\",
                         "  Тип обновляемого ПО: Сервер",
                         "  Запрос при обновлении файла: нет",
                         "  Не проверять номер версии файла: нет",
                         "Обновление из папки [C:\\TOVR\\UPDATE\\]:",
                         kTypePrompt,
                         "Запрос при обновлении файла (y/n) [n]:",
                         "Не проверять номер версии файла (y/n) [n]:",
                         kChoicePrompt,
                     }));
    EXPECT_EQ(r.form.eUpdateDir, "C:\\TOVR\\UPDATE\\");
    EXPECT_EQ(r.form.cbSWType, 0);
}

TEST(ConsoleParamForm, FieldsAreKeptWithEnterOrChanged) {
    struct Case {
        const char* input;
        TParamForm start;
        int result;
        TParamForm end;
    };
    const Case cases[] = {
        {"D:\\Pkg\nклиент\ny\nн\nоткат\n", Form("C:\\X\\", 0, false, true), 3, Form("D:\\Pkg", 1, true, false)},
        {"  E:\\Новая папка \r\n3\nД\nY\nОБНОВИТЬ\n", Form("", 2, false, false), 1,
         Form(W("E:\\Новая папка"), 3, true, true)},
        {"\nМЕНЕДЖЕР\nno\nда\nupdate\n", Form("C:\\X\\", 0, true, false), 1, Form("C:\\X\\", 2, false, true)},
        {"\nОфис\n\n\n2\n", Form("C:\\X\\", 1, true, true), 3, Form("C:\\X\\", 3, true, true)},
        {"\n0\nнет\nyes\nROLLBACK\n", Form("C:\\X\\", 3, true, false), 3, Form("C:\\X\\", 0, false, true)},
        {"\nсервер\n\n\n1\n", Form("C:\\X\\", 2, false, false), 1, Form("C:\\X\\", 0, false, false)},
        {"\n\n\n\n3\n", Form("C:\\X\\", 1, false, false), 2, Form("C:\\X\\", 1, false, false)},
        {"\n\n\n\nОтмена\n", Form("C:\\X\\", 1, false, false), 2, Form("C:\\X\\", 1, false, false)},
        {"\n\n\n\ncancel\n", Form("C:\\X\\", 1, false, false), 2, Form("C:\\X\\", 1, false, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        ParamRun r = RunParamForm(c.input, c.start);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.form.eUpdateDir, c.end.eUpdateDir);
        EXPECT_EQ(r.form.cbSWType, c.end.cbSWType);
        EXPECT_EQ(r.form.cbIsMessage, c.end.cbIsMessage);
        EXPECT_EQ(r.form.cbIsNoVersion, c.end.cbIsNoVersion);
    }
}

TEST(ConsoleParamForm, WrongAnswersAreAskedAgain) {
    ParamRun r = RunParamForm("\n7\nabc\n-1\n2\nmaybe\ny\n\nx\n4\nОтмена\n", Form("C:\\X\\", 0, false, false));
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.form.cbSWType, 2);
    EXPECT_TRUE(r.form.cbIsMessage);
    EXPECT_EQ(Count(r.out, kTypePrompt), 4u);
    EXPECT_EQ(Count(r.out, "Выберите тип: 0, 1, 2, 3 или его название."), 3u);
    EXPECT_EQ(Count(r.out, "Запрос при обновлении файла (y/n) [n]:"), 2u);
    EXPECT_EQ(Count(r.out, "Ответьте y или n (д или н)."), 1u);
    EXPECT_EQ(Count(r.out, kChoicePrompt), 3u);
    EXPECT_EQ(Count(r.out, "Введите Обновить, Откат или Отмена (или 1, 2, 3)."), 2u);
}

TEST(ConsoleParamForm, WithoutAStoredTypeEnterDoesNotConfirm) {
    ParamRun r = RunParamForm("\n\n\n1\n\n\n\n", Form("C:\\X\\", -1, false, false));
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.form.cbSWType, 1);
    EXPECT_EQ(r.out[4], "  Тип обновляемого ПО: (не выбран)");
    const std::string prompt = "Тип обновляемого ПО (0 Сервер, 1 Клиент, 2 Менеджер, 3 Офис) [(не выбран)]:";
    EXPECT_EQ(Count(r.out, prompt), 3u);

    // Never chosen: the end of input cancels.
    EXPECT_EQ(RunParamForm("\n\n\n\n", Form("C:\\X\\", -1, false, false)).result, 2);
}

TEST(ConsoleParamForm, TheEndOfInputCancelsAtEveryStep) {
    for (const char* input : {"", "\n", "\n\n", "\n\n\n", "\n\n\n\n", "\n\n\n\nx\n", "D:\\"}) {
        SCOPED_TRACE(input);
        EXPECT_EQ(RunParamForm(input, Form("C:\\X\\", 0, false, false)).result, 2);
    }
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
        ResetSettings();
        logBefore = Log();
    }
    std::vector<std::string> Show(const std::string& input) {
        std::istringstream in(input);
        std::ostringstream out, err;
        ConsoleUI ui(in, out, err);
        TBackUpForm form(platform, ui);
        ui.ShowBackUpForm(form);
        EXPECT_EQ(err.str(), "");
        EXPECT_EQ(RollbackList, nullptr);
        return OutLines(out.str());
    }
    void ExpectInstalled(const std::vector<std::string>& restored) {
        for (const PackageFile& f : PackageFiles()) {
            bool back = std::find(restored.begin(), restored.end(), f.name) != restored.end();
            EXPECT_EQ(ReadFile(root.Native(f.native)), back ? f.oldBytes : f.newBytes) << f.name;
        }
    }
    void AddOlderSet() {
        const std::string dir = std::string(kBackupRootNative) + "/00-01-01 00-00/";
        WriteFile(root.Native(dir + "BackUp.ini"), "[FILES]\r\nOld.exe=C:\\TOVR\\Old.exe\r\n");
        WriteFile(root.Native(dir + "Old.exe"), "old program");
    }
    std::string set, logBefore;
};

TEST_F(ConsoleBackUpTest, EnterRightAwayRestoresEveryFileOfTheNewestSet) {
    AddOlderSet();
    const std::vector<std::string> out = Show("\n");
    ASSERT_GE(out.size(), 10u);
    EXPECT_EQ(std::vector<std::string>(out.begin(), out.begin() + 10),
              (std::vector<std::string>{"Откат обновления", "Откат обновления:", "   1  00-01-01 00-00",
                                        " > 2  " + set, "Файлы:", "   1 [x] Shift.exe", "   2 [x] Lib.dll",
                                        "   3 [x] Tool.exe",
                                        "Номер файла: отметить или снять; н N: набор N; +/-: все/ни одного",
                                        "Откат или Отмена [Откат]:"}));
    // Then the progress window's lines.
    EXPECT_EQ(std::vector<std::string>(out.begin() + 10, out.end()),
              (std::vector<std::string>{"Старт программы отката обновления ЮКСВЕЛ.",
                                        "Восстановление файла: Shift.exe", "Восстановление файла: Lib.dll",
                                        "Восстановление файла: Tool.exe", "Замена исполняемых файлов завершена.",
                                        "[OK]"}));
    ExpectInstalled({"Shift.exe", "Lib.dll", "Tool.exe"});
    EXPECT_FALSE(Exists(root.Native("c/TOVR/Old.exe")));
}

TEST_F(ConsoleBackUpTest, FilesAreToggledByNumber) {
    const std::vector<std::string> out = Show("2\n3\n3\nОткат\n");
    EXPECT_EQ(Count(out, "   2 [ ] Lib.dll"), 3u);  // listed again after each change
    EXPECT_EQ(Count(out, "   3 [ ] Tool.exe"), 1u);
    ExpectInstalled({"Shift.exe", "Tool.exe"});
}

TEST_F(ConsoleBackUpTest, AllAndNoneThenOne) {
    Show("-\n1\nrollback\n");
    ExpectInstalled({"Shift.exe"});
}

TEST_F(ConsoleBackUpTest, AnotherSetIsChosenByItsNumber) {
    AddOlderSet();
    const std::vector<std::string> out = Show("н 1\n\n");
    EXPECT_EQ(Count(out, " > 1  00-01-01 00-00"), 1u);
    EXPECT_EQ(Count(out, "   1 [x] Old.exe"), 1u);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Old.exe")), "old program");
    ExpectInstalled({});
}

TEST_F(ConsoleBackUpTest, WrongCommandsChangeNothingAndCancelRestoresNothing) {
    const std::vector<std::string> out = Show("9\n0\nнабор 5\nн x\nfoo\nОТМЕНА\n");
    EXPECT_EQ(Count(out, "Нет файла с номером 9."), 1u);
    EXPECT_EQ(Count(out, "Нет набора с номером 5."), 1u);
    EXPECT_EQ(Count(out, "Не понятно: н x"), 1u);
    EXPECT_EQ(Count(out, "Не понятно: 0"), 1u);
    EXPECT_EQ(Count(out, "Не понятно: foo"), 1u);
    EXPECT_EQ(Count(out, "Старт программы отката обновления ЮКСВЕЛ."), 0u);
    ExpectInstalled({});
    EXPECT_EQ(Log(), logBefore);
}

TEST_F(ConsoleBackUpTest, TheEndOfInputCancels) {
    for (const char* input : {"", "2\n", "2\n3\n"}) {
        SCOPED_TRACE(input);
        Show(input);
        ExpectInstalled({});
        EXPECT_EQ(Log(), logBefore);
    }
}

TEST_F(ConsoleBackUpTest, WithoutAnySetTheListsAreEmptyAndNothingRuns) {
    std::filesystem::remove_all(root.Native(kBackupRootNative));
    const std::vector<std::string> out = Show("\n");
    EXPECT_EQ(out, (std::vector<std::string>{"Откат обновления", "Откат обновления:", "  (нет)", "Файлы:", "  (нет)",
                                             "Номер файла: отметить или снять; н N: набор N; +/-: все/ни одного",
                                             "Откат или Отмена [Откат]:"}));
    EXPECT_EQ(Log(), logBefore);
}

// The real program, started without arguments with its input piped.
class ConsoleProgramTest : public ::testing::Test {
protected:
    int Run(const std::string& input, std::string* output = nullptr) {
        WriteFile(root.Native("stdin.txt"), input);
        const std::string cmd = "cd '" + root.Native("cwd") + "' && YRN_ROOT='" + root.Path() + "' '" YRN_TOOL_PATH
                                "' < '" + root.Native("stdin.txt") + "' > '" + root.Native("stdout.txt") + "' 2> '" +
                                root.Native("stderr.txt") + "'";
        int status = std::system(cmd.c_str());
        if (output) *output = ReadFile(root.Native("stdout.txt"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Registry() const { return ReadFile(root.Native("registry.reg")); }
    TempRoot root;
};

TEST_F(ConsoleProgramTest, UpdateThenRollBackThroughThePipe) {
    WritePackage(root);
    std::string out;
    // Keep every field, "Обновить" by Enter, then close the window with Enter.
    ASSERT_EQ(Run("\n\n\n\n\n\n", &out), 0);
    EXPECT_NE(out.find("Обновление исполняемых файлов завершено.\n[OK]\n"), std::string::npos) << out;
    for (const PackageFile& f : PackageFiles()) EXPECT_EQ(ReadFile(root.Native(f.native)), f.newBytes) << f.name;
    const std::string registry = Registry();
    EXPECT_NE(registry.find("\"UpdatePath\"=\"C:\\\\TOVR\\\\UPDATE\\\\\"\r\n\"swType\"=dword:00000000\r\n"
                            "\"IsMessage\"=dword:00000000\r\n\"IsNoVersion\"=dword:00000000\r\n"),
              std::string::npos)
        << registry;

    // A second start: "Откат", Enter in the backup selection, Enter to close.
    ASSERT_EQ(Run("\n\n\n\nОткат\n\n\n", &out), 0);
    EXPECT_NE(out.find("Замена исполняемых файлов завершена.\n[OK]\n"), std::string::npos) << out;
    for (const PackageFile& f : PackageFiles())
        EXPECT_EQ(ReadFile(root.Native(f.native)), f.oldBytes.empty() ? f.newBytes : f.oldBytes) << f.name;
    EXPECT_EQ(Registry(), registry);
    const std::vector<std::string> log = LogLines(ReadFile(root.Native("cwd/YRNUpdate.log")));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(Unstamped(log.back()), W("Замена исполняемых файлов завершена."));
}

TEST_F(ConsoleProgramTest, NoInputCancelsAndAWrongValueShowsTheFailure) {
    std::string out;
    EXPECT_EQ(Run("", &out), 0);
    EXPECT_EQ(out.find("[OK]"), std::string::npos);
    EXPECT_EQ(ReadFile(root.Native("stderr.txt")), "");
    EXPECT_EQ(Registry(), "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n\r\n");
    EXPECT_FALSE(Exists(root.Native("cwd/YRNUpdate.log")));

    WriteFile(root.Native("registry.reg"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n\"swType\"=\"2\"\r\n\r\n");
    EXPECT_EQ(Run("\n\n\n\n\n\n", &out), 0);
    EXPECT_EQ(out, "");  // the dialog is not shown
    EXPECT_EQ(ReadFile(root.Native("stderr.txt")),
              "YRN Update: Сбой при запуске программы обновления исполняемых файлов.\n");
}

}  // namespace
}  // namespace yrn::test
