// Test support: an application front end driven by a script. The parameters
// dialog hands its filled form to a callback that plays the person; progress
// windows run at once with a RecordingView; the backup dialog is shown and
// handed to a callback.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "FaultPlatform.h"
#include "RunFixture.h"
#include "core/BackUpUnit.h"
#include "core/ParamQueryUnit.h"

namespace yrn::test {

// The backup dialog's view is the front end itself, recording what it is asked.
class ScriptedUI : public AppUI, public BackUpView {
public:
    void ShowStartupFailure() override {}
    int ShowParamForm(TParamForm& f) override { return onParamForm ? onParamForm(f) : 2; }
    void ShowUpdateForm(TUpdateForm& f) override {
        updateViews.push_back(ShowWindow(f, answers));
        answers = updateViews.back().answers;
    }
    void ShowBackUpForm(TBackUpForm& f) override {
        f.AttachView(this);
        f.FormShow();
        if (onBackUpForm) onBackUpForm(f);
        f.AttachView(nullptr);
    }
    void ListsChanged() override {}
    void Hide() override { hidden = true; }
    void Close() override { closed = true; }

    // Plays the person at the parameters dialog: edits the form, returns the
    // dialog result. Without it the dialog is cancelled.
    std::function<int(TParamForm&)> onParamForm;
    // Plays the person at the backup dialog after FormShow.
    std::function<void(TBackUpForm&)> onBackUpForm;
    // for the progress windows' questions
    std::deque<bool> answers;
    std::vector<RecordingView> updateViews;
    bool hidden = false, closed = false;
};

// The text with each occurrence of a backup set's name shown as <set>.
std::string Masked(std::string text, const std::string& set);
// A run as UTF-8 text for a golden file: what the window showed and asked, every
// file under the root but the working directory (the registry among them), and
// the log from byte `from` with its stamps masked, after the 1251 text `r`. The
// backup set `set` shows as <set>.
std::string RunReport(const TempRoot& root, const RecordingView& view, const std::string& set, size_t from = 0,
                      std::string r = "");
void ExpectGolden(const std::string& actual, const std::string& name);
// The registry file's head, down to the settings key's line.
extern const std::string kRegistryHead;
// The registry file holding the settings key with these value lines.
std::string RegistryWith(const std::vector<std::string>& values);
// The line of a dword value.
std::string Dw(const char* name, unsigned value);
// The built console tool over root, started in its working directory with
// these arguments and this input, its output left in stdout.txt there: its
// exit status, -1 if it did not exit.
int RunTool(const TempRoot& root, const std::string& args, const std::string& input);
// A run test that writes files and the settings under its root, its runs on a
// platform that fails nothing unless the test says so.
class FilesTest : public RunTest {
public:
    using RunTest::root;
    void Put(const std::string& rel, const std::string& bytes) { WriteFile(root.Native(rel), bytes); }
    // The registry file holding the settings key with these value lines.
    void Reg(const std::vector<std::string>& values) { Put("registry.reg", RegistryWith(values)); }
    FaultPlatform fp{platform};
};

// A table's test named by its case.
inline const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

}
