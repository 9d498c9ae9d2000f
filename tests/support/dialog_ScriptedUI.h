// Test support: an application front end driven by a script. The parameters
// dialog hands its filled form to a callback that plays the person; progress
// windows run at once with a RecordingView; the backup dialog is shown and
// handed to a callback.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "FaultPlatform.h"
#include "PeImages.h"
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

// Text as it is; binary bytes by their size and FNV-1a hash.
inline std::string Shown(std::string bytes) {
    if (bytes.find('\0') == std::string::npos && bytes.size() < 4096) return Cp1251ToUtf8(bytes);
    uint32_t h = 2166136261u;
    for (unsigned char c : bytes) h = (h ^ c) * 16777619u;
    return std::to_string(bytes.size()) + " bytes, hash " + std::to_string(h);
}

// The text with each occurrence of a backup set's name shown as <set>.
inline std::string Masked(std::string text, std::string set) {
    for (size_t at; !set.empty() && (at = text.find(set)) != std::string::npos;) text.replace(at, set.size(), "<set>");
    return text;
}

// A run as UTF-8 text for a golden file: what the window showed and asked, every
// file under the root but the working directory (the registry among them), and
// the log from byte `from` with its stamps masked, after the 1251 text `r`. The
// backup set `set` shows as <set>.
inline std::string RunReport(const TempRoot& root, const RecordingView& view, std::string set, size_t from = 0,
                             std::string r = "") {
    for (auto& c : view.captions) r += "caption: " + c + "\n";
    for (bool on : view.endStates) r += on ? "OK enabled\n" : "OK disabled\n";
    for (auto& l : view.lines) r += "| " + l + "\n";
    for (auto& q : view.questions) r += "? " + q.text + " [" + q.caption + (q.defaultYes ? "] yes\n" : "] no\n");
    r = Cp1251ToUtf8(r);
    // In a fixed order.
    std::map<std::string, std::string> entries;
    for (auto& e : std::filesystem::recursive_directory_iterator(root.Path())) {
        std::string path = std::filesystem::relative(e.path(), root.Path());
        // the working directory and all under it left out
        if (!(path + "/").starts_with("cwd/"))
            entries[path] = e.is_directory() ? "/\n" : "\n" + Shown(ReadFile(e.path())) + "\n";
    }
    for (auto& [path, text] : entries) r += "== " + path + text;
    // The run's start time, checked by its form, then masked.
    r = std::regex_replace(r, std::regex(R"(("LastRunTime"=")\d{4}(-\d\d){2} \d\d(:\d\d){2})"), "$1<time>");
    // A tail after the last line end stays as it is: a failure's text has no stamp.
    auto log = ReadFile(root.Native("cwd/YRNUpdate.log")).substr(from);
    auto end = log.rfind("\r\n") == std::string::npos ? 0 : log.rfind("\r\n") + 2;
    r += "== log\n";
    // The line after an update's failure line is its error's text; each stamp
    // is checked, then masked.
    bool detail = false;
    for (auto& line : LogLines(log.substr(0, end))) {
        bool stamped = std::regex_search(line, std::regex(R"(^\d\d\.\d\d \d\d:\d\d:\d\d )"));
        EXPECT_TRUE(stamped || line.empty() || detail) << Cp1251ToUtf8(line);
        detail = line.find(W("Сбой при обновлении")) != std::string::npos;
        r += Cp1251ToUtf8(stamped ? "dd.mm hh:nn:ss " + line.substr(15) : line) + "\r\n";
    }
    return Masked(r + Cp1251ToUtf8(log.substr(end)), set);
}

// The registry file's head, down to the settings key's line.
inline const std::string kRegistryHead = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n";

// The registry file holding the settings key with these value lines.
inline std::string RegistryWith(std::vector<std::string> values) {
    auto text = kRegistryHead;
    for (auto& v : values) text += v + "\r\n";
    return text + "\r\n";
}

// The line of a dword value.
inline std::string Dw(const char* name, unsigned value) {
    char line[64];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x", name, value);
    return line;
}

// The built console tool over root, started in its working directory with
// these arguments and this input, its output left in stdout.txt there: its
// exit status, -1 if it did not exit.
inline int RunTool(const TempRoot& root, std::string args, std::string input) {
    WriteFile(root.Native("cwd/stdin.txt"), input);
    auto cmd = "cd '" + root.Native("cwd") + "' && YRN_ROOT='" + root.Path() + "' '" YRN_TOOL_PATH "' " + args;
    int status = std::system((cmd + " <stdin.txt >stdout.txt 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A run test that writes files and the settings under its root, its runs on a
// platform that fails nothing unless the test says so.
class FilesTest : public RunTest {
public:
    using RunTest::root;
    void Put(std::string rel, std::string bytes) { WriteFile(root.Native(rel), bytes); }
    // The registry file holding the settings key with these value lines.
    void Reg(std::vector<std::string> values) { Put("registry.reg", RegistryWith(values)); }
    FaultPlatform fp{platform};
};

// A table's test named by its case.
inline const auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

}
