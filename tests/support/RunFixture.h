// Test support: a fresh prefix root per test, the POSIX backend over it, a
// recording progress-window view with scripted answers, and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/FuncUnit.h"
#include "core/YRNUpdateFrm/TUpdateForm.h"
#include "core/text.h"
#include "platform/posix/PosixPlatform.h"

namespace yrn::test {

struct Question { std::string text, caption; bool defaultYes; };

class RecordingView : public UpdateView {
public:
    void AddLine(const std::string& text) override { lines.push_back(text); }
    void SetCaption(const std::string& text) override { captions.push_back(text); }
    void SetEndBtnEnabled(bool enabled) override { endStates.push_back(enabled); }
    bool AskYesNo(const std::string& text, const std::string& caption, bool defaultYes) override {
        questions.push_back({text, caption, defaultYes});
        if (answers.empty()) return defaultYes;
        const bool a = answers.front();
        return answers.pop_front(), a;
    }
    void PostToSelf(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        posted.push_back({message, wParam, lParam});
    }
    void Close() override {}

    struct Post { uint32_t message; uintptr_t wParam; intptr_t lParam; };
    // 1251
    std::vector<std::string> lines, captions;
    std::vector<bool> endStates;
    std::vector<Question> questions;
    std::deque<bool> answers;
    std::vector<Post> posted;
};

// A temporary prefix root and working directory, removed afterwards.
class TempRoot {
public:
    TempRoot();
    ~TempRoot();
    const std::string& Path() const { return root_; }
    std::string Native(const std::string& rel) const { return root_ + "/" + rel; }

private:
    std::string root_, oldCwd_;
};

// Native (UTF-8) file helpers.
// Creates parents.
void WriteFile(const std::string& path, const std::string& bytes);
// "" if missing.
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// Sorted names.
std::vector<std::string> ListDir(const std::string& path);

// Every file below a directory: relative path -> bytes; and the paths
// that are new or changed between two such snapshots.
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot(const std::string& dir);
std::vector<std::string> Changed(const Snapshot& before, const Snapshot& after);

// Splits a log file into lines at CR LF; keeps an unterminated tail.
std::vector<std::string> LogLines(const std::string& bytes);

// The bytes of tests/golden/<name>.
std::string Golden(const std::string& name);

// Shows the progress window with a recording view answering its questions from
// answers, and handles the one start message it posts itself; returns the view.
RecordingView ShowWindow(TUpdateForm& form, std::deque<bool> answers);
// The same for a fresh window in the given mode over platform.
RecordingView RunWindow(Platform& platform, uint8_t mode, std::deque<bool> answers = {});

class RunTest : public ::testing::Test {
protected:
    void SetUp() override { ResetSettings(); }
    void TearDown() override { ResetSettings(); }

    std::string Registry() const { return ReadFile(root.Native("registry.reg")); }

    TempRoot root;
    PosixPlatform platform{root.Path()};
};

}  // namespace yrn::test
