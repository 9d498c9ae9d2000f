// The settings round trip of an interactive start: the registry values
// loaded into the parameters dialog, the dialog's result, and what is
// written back, checked on the registry file's bytes.
#include <sys/stat.h>

#include "support/RunFixture.h"
#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

const std::string kKeyHeader = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n";

// The registry file holding the settings key with these value lines.
std::string RegText(const std::vector<std::string>& valueLines) {
    std::string text = "REGEDIT4\r\n\r\n" + kKeyHeader;
    for (const std::string& line : valueLines) text += line + "\r\n";
    return text + "\r\n";
}

std::string Dword(const std::string& name, const char* hex8) { return "\"" + name + "\"=dword:" + hex8; }
std::string Str(const std::string& name, const std::string& regText) { return "\"" + name + "\"=\"" + regText + "\""; }

class ParamsTest : public RunTest {
protected:
    void SeedRegistry(const std::vector<std::string>& valueLines) {
        WriteFile(root.Native("registry.reg"), RegText(valueLines));
    }
    uint16_t Start(std::function<int(TParamForm&)> person, std::vector<std::string> args = {}) {
        ui.onParamForm = std::move(person);
        return QueryParams(args, platform, ui);
    }
    const TParamForm& Shown() {
        EXPECT_EQ(ui.shownParamForms.size(), 1u);
        static const TParamForm none;
        return ui.shownParamForms.empty() ? none : ui.shownParamForms.back();
    }
    ScriptedUI ui;
};

void ExpectForm(const TParamForm& f, const std::string& dir, int type, bool message, bool noVersion) {
    EXPECT_EQ(f.eUpdateDir, dir);
    EXPECT_EQ(f.cbSWType, type);
    EXPECT_EQ(f.cbIsMessage, message);
    EXPECT_EQ(f.cbIsNoVersion, noVersion);
}

TEST_F(ParamsTest, FirstStartShowsStartValuesAndUpdateWritesAllFourInOrder) {
    EXPECT_EQ(Start([](TParamForm&) { return 1; }), mrUpdate);
    ExpectForm(Shown(), "C:\\TOVR\\UPDATE\\", 0, false, false);
    EXPECT_EQ(Registry(), RegText({Str("UpdatePath", "C:\\\\TOVR\\\\UPDATE\\\\"), Dword("swType", "00000000"),
                                   Dword("IsMessage", "00000000"), Dword("IsNoVersion", "00000000")}));
    EXPECT_EQ(UpdatePath, "C:\\TOVR\\UPDATE\\");
    EXPECT_EQ(swType, 0);
}

TEST_F(ParamsTest, StoredValuesAreShownAndTheEditedOnesStored) {
    SeedRegistry({Str("UpdatePath", "D:\\\\Pkg"), Dword("swType", "00000002"), Dword("IsMessage", "00000005"),
                  Dword("IsNoVersion", "00000000"), Dword("Shift.exe", "00000007")});
    EXPECT_EQ(Start([](TParamForm& f) {
                  f.eUpdateDir = W("E:\\Новая папка");
                  f.cbSWType = 3;
                  f.cbIsMessage = false;
                  f.cbIsNoVersion = true;
                  return 1;
              }),
              mrUpdate);
    ExpectForm(Shown(), "D:\\Pkg", 2, true, false);  // the stored text, not normalised
    EXPECT_EQ(Registry(), RegText({Str("UpdatePath", W("E:\\\\Новая папка\\\\")), Dword("swType", "00000003"),
                                   Dword("IsMessage", "00000000"), Dword("IsNoVersion", "00000001"),
                                   Dword("Shift.exe", "00000007")}));
    EXPECT_EQ(UpdatePath, W("E:\\Новая папка\\"));
    EXPECT_EQ(swType, 3);
    EXPECT_FALSE(IsMessage);
    EXPECT_TRUE(IsNoVersion);
}

TEST_F(ParamsTest, TheDirectoryGetsItsBackslashOnConfirmOnly) {
    struct Case {
        const char* stored;  // registry text (escaped)
        const char* shown;
        int button;
        const char* result;
        const char* written;
    };
    const Case cases[] = {
        {"D:\\\\Pkg", "D:\\Pkg", 1, "D:\\Pkg\\", "D:\\\\Pkg\\\\"},
        {"D:\\\\Pkg", "D:\\Pkg", 3, "D:\\Pkg\\", "D:\\\\Pkg\\\\"},
        {"D:\\\\Pkg\\\\", "D:\\Pkg\\", 1, "D:\\Pkg\\", "D:\\\\Pkg\\\\"},
        {"", "", 1, "", ""},
        {"", "", 3, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " button " + std::to_string(c.button));
        ResetSettings();
        ui.shownParamForms.clear();
        SeedRegistry({Str("UpdatePath", c.stored)});
        const int button = c.button;
        EXPECT_EQ(Start([button](TParamForm&) { return button; }), button == 1 ? mrUpdate : mrRollback);
        EXPECT_EQ(Shown().eUpdateDir, c.shown);
        EXPECT_EQ(UpdatePath, c.result);
        std::vector<std::string> lines = {Str("UpdatePath", c.written), Dword("swType", "00000000"),
                                          Dword("IsMessage", "00000000")};
        if (button == 1) lines.push_back(Dword("IsNoVersion", "00000000"));
        EXPECT_EQ(Registry(), RegText(lines));
    }
}

TEST_F(ParamsTest, RollbackKeepsTheStoredNoVersionValue) {
    SeedRegistry({Dword("IsNoVersion", "00000000")});
    EXPECT_EQ(Start([](TParamForm& f) {
                  f.cbSWType = 1;
                  f.cbIsMessage = true;
                  f.cbIsNoVersion = true;
                  return 3;
              }),
              mrRollback);
    EXPECT_EQ(Registry(), RegText({Dword("IsNoVersion", "00000000"), Str("UpdatePath", "C:\\\\TOVR\\\\UPDATE\\\\"),
                                   Dword("swType", "00000001"), Dword("IsMessage", "00000001")}));
    EXPECT_TRUE(IsNoVersion);  // the variable follows the box; the rollback does not use it
    EXPECT_TRUE(IsMessage);
    EXPECT_EQ(swType, 1);
}

TEST_F(ParamsTest, RollbackLeavesAnAbsentNoVersionAbsent) {
    EXPECT_EQ(Start([](TParamForm& f) {
                  f.cbIsNoVersion = true;
                  return 3;
              }),
              mrRollback);
    EXPECT_EQ(Registry(), RegText({Str("UpdatePath", "C:\\\\TOVR\\\\UPDATE\\\\"), Dword("swType", "00000000"),
                                   Dword("IsMessage", "00000000")}));
}

TEST_F(ParamsTest, EveryOtherResultCancelsAndWritesNothing) {
    const std::vector<std::string> stored = {Str("UpdatePath", "D:\\\\Pkg"), Dword("swType", "00000001"),
                                             Dword("IsMessage", "00000001"), Dword("IsNoVersion", "00000001")};
    for (int button : {2, 0, 4, -1, 1000}) {
        SCOPED_TRACE(button);
        ResetSettings();
        SeedRegistry(stored);
        EXPECT_EQ(Start([button](TParamForm& f) {
                      f.eUpdateDir = "X:\\Other\\";
                      f.cbSWType = 3;
                      f.cbIsMessage = false;
                      f.cbIsNoVersion = false;
                      return button;
                  }),
                  mrCancel);
        EXPECT_EQ(Registry(), RegText(stored));
        // The loaded values stay; the form's edits are not read back.
        EXPECT_EQ(UpdatePath, "D:\\Pkg");
        EXPECT_EQ(swType, 1);
        EXPECT_TRUE(IsMessage);
        EXPECT_TRUE(IsNoVersion);
    }
}

TEST_F(ParamsTest, CancelOnFirstStartLeavesOnlyTheEmptyKey) {
    EXPECT_EQ(Start(nullptr), mrCancel);
    EXPECT_EQ(Registry(), RegText({}));
}

TEST_F(ParamsTest, AValueOfTheWrongTypeFailsTheStartBeforeTheDialog) {
    const std::vector<std::string> wrong[] = {
        {Dword("UpdatePath", "00000001")},
        {Str("swType", "1")},
        {Str("IsMessage", "0")},
        {Dword("swType", "00000001"), Str("IsNoVersion", "1")},
    };
    for (const auto& lines : wrong) {
        SCOPED_TRACE(lines.back());
        ResetSettings();
        ui = ScriptedUI();
        SeedRegistry(lines);
        ui.onParamForm = [](TParamForm&) { return 1; };
        EXPECT_EQ(RunProgram({}, platform, ui), 0);
        EXPECT_TRUE(ui.shownParamForms.empty());
        EXPECT_EQ(ui.failureBoxes, 1);
        EXPECT_TRUE(ui.updateFormModes.empty());
        EXPECT_EQ(ui.backUpForms, 0);
        EXPECT_EQ(Registry(), RegText(lines));
    }
}

TEST_F(ParamsTest, AKeyThatCannotBeOpenedShowsCurrentValuesAndFailsOnConfirm) {
    // A directory where the registry file belongs: the key cannot be opened.
    ASSERT_EQ(::mkdir(root.Native("registry.reg").c_str(), 0777), 0);
    UpdatePath = "D:\\Current\\";
    EXPECT_EQ(Start([](TParamForm&) { return 1; }), mrFailure);
    ExpectForm(Shown(), "D:\\Current\\", 0, false, false);

    ui.shownParamForms.clear();
    EXPECT_EQ(Start([](TParamForm&) { return 3; }), mrFailure);
    ui.shownParamForms.clear();
    EXPECT_EQ(Start([](TParamForm&) { return 2; }), mrCancel);

    ui = ScriptedUI();
    ui.onParamForm = [](TParamForm&) { return 1; };
    RunProgram({}, platform, ui);
    EXPECT_EQ(ui.failureBoxes, 1);
    EXPECT_TRUE(ui.updateFormModes.empty());
}

TEST_F(ParamsTest, StoredTypeUsesItsLowEightBitsAndOutOfRangeShowsNoSelection) {
    struct Case {
        const char* hex;
        int shown;
    };
    for (const Case& c : {Case{"00000003", 3}, Case{"00000103", 3}, Case{"00000007", -1}, Case{"ffffffff", -1},
                          Case{"00000100", 0}}) {
        SCOPED_TRACE(c.hex);
        ResetSettings();
        ui.shownParamForms.clear();
        SeedRegistry({Dword("swType", c.hex)});
        EXPECT_EQ(Start(nullptr), mrCancel);
        EXPECT_EQ(Shown().cbSWType, c.shown);
    }
}

TEST_F(ParamsTest, ConfirmingWithoutAChosenTypeIsRefused) {
    const std::vector<std::string> stored = {Dword("swType", "00000009")};
    for (int button : {1, 3}) {
        SCOPED_TRACE(button);
        SeedRegistry(stored);
        EXPECT_EQ(Start([button](TParamForm&) { return button; }), mrCancel);
        EXPECT_EQ(Registry(), RegText(stored));
    }
    EXPECT_EQ(Start([](TParamForm& f) {
                  f.cbSWType = 2;
                  return 1;
              }),
              mrUpdate);
    EXPECT_EQ(swType, 2);
    EXPECT_EQ(Registry(), RegText({Dword("swType", "00000002"), Str("UpdatePath", "C:\\\\TOVR\\\\UPDATE\\\\"),
                                   Dword("IsMessage", "00000000"), Dword("IsNoVersion", "00000000")}));
}

TEST_F(ParamsTest, EveryArgumentCountButThreeShowsTheDialog) {
    const std::vector<std::vector<std::string>> argLists = {
        {}, {"1"}, {"1", "D:\\Pkg"}, {"1", "D:\\Pkg", "1", "x"}, {"a", "b", "c", "d", "e"}};
    for (const auto& args : argLists) {
        SCOPED_TRACE(args.size());
        ui.shownParamForms.clear();
        EXPECT_EQ(Start(nullptr, args), mrCancel);
        EXPECT_EQ(ui.shownParamForms.size(), 1u);
    }
    ui.shownParamForms.clear();
    EXPECT_EQ(Start(nullptr, {"0", "D:\\Pkg", "1"}), mrUpdate);
    EXPECT_TRUE(ui.shownParamForms.empty());
}

TEST_F(ParamsTest, TheChosenModeRunsAfterTheDialog) {
    ui.onParamForm = [](TParamForm&) { return 3; };
    RunProgram({}, platform, ui);
    EXPECT_EQ(ui.backUpForms, 1);
    EXPECT_TRUE(ui.updateFormModes.empty());  // no backup set: no rollback window

    ui = ScriptedUI();
    ui.onParamForm = [](TParamForm&) { return 1; };
    RunProgram({}, platform, ui);
    EXPECT_EQ(ui.updateFormModes, std::vector<uint8_t>{1});
    EXPECT_EQ(ui.backUpForms, 0);
}

}  // namespace
}  // namespace yrn::test
