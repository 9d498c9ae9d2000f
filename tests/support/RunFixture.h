// Test support: a fresh prefix root per test, the POSIX backend over it, a
// recording progress-window view with scripted answers, and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "core/FuncUnit.h"
#include "core/YRNUpdateFrm/TUpdateForm.h"
#include "core/text.h"
#include "platform/posix/PosixPlatform.h"

namespace yrn::test {

namespace fs = std::filesystem;

struct Question { std::string text, caption; bool defaultYes; };

struct RecordingView : UpdateView {
    void AddLine(const std::string& text) override { lines.push_back(text); }
    void SetCaption(const std::string& text) override { captions.push_back(text); }
    void SetEndBtnEnabled(bool enabled) override { endStates.push_back(enabled); }
    bool AskYesNo(const std::string& text, const std::string& caption, bool defaultYes) override {
        questions.push_back({text, caption, defaultYes});
        if (answers.empty()) return defaultYes;
        bool a = answers.front();
        return answers.pop_front(), a;
    }
    void PostToSelf(uint32_t message, uintptr_t wParam, intptr_t) override { posted.push_back({message, wParam}); }
    void Close() override {}

    struct Post { uint32_t message; uintptr_t wParam; };
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
    TempRoot() {
        char tmpl[] = "/tmp/yrn-test-XXXXXX";
        if (!::mkdtemp(tmpl)) std::abort();
        root_ = tmpl;
        fs::create_directory(root_ + "/cwd");
        fs::current_path(root_ + "/cwd");
    }
    ~TempRoot() {
        fs::current_path(oldCwd_);
        fs::remove_all(root_);
    }
    const std::string& Path() const { return root_; }
    std::string Native(std::string rel) const { return root_ + "/" + rel; }

private:
    std::string root_, oldCwd_ = fs::current_path();
};

// Native (UTF-8) file helpers.
// Creates parents.
inline void WriteFile(std::string path, std::string bytes) {
    // a parent that cannot be made fails the write below
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ofstream(path, std::ios::binary) << bytes;
}
// "" if missing.
inline std::string ReadFile(std::string path) {
    if (!fs::is_regular_file(path)) return {};
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
inline bool Exists(std::string path) { return fs::exists(path); }
// Sorted names.
inline std::vector<std::string> ListDir(std::string path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(path, ec)) names.push_back(e.path().filename());
    std::ranges::sort(names);
    return names;
}

// Every file below a directory: relative path -> bytes; and the paths
// that are new or changed between two such snapshots.
using Snapshot = std::map<std::string, std::string>;
inline Snapshot TakeSnapshot(std::string dir) {
    Snapshot s;
    for (auto& e : fs::recursive_directory_iterator(dir))
        if (!e.is_directory()) s[fs::relative(e.path(), dir)] = ReadFile(e.path());
    return s;
}
inline std::vector<std::string> Changed(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> out;
    for (auto& [path, bytes] : after)
        if (!before.count(path) || before.at(path) != bytes) out.push_back(path);
    return out;
}

// Splits a log file into lines at CR LF; keeps an unterminated tail.
inline std::vector<std::string> LogLines(std::string bytes) {
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < bytes.size();) {
        size_t crlf = std::min(bytes.find("\r\n", pos), bytes.size());
        lines.push_back(bytes.substr(pos, crlf - pos));
        pos = crlf + 2;
    }
    return lines;
}


// Shows the progress window with a recording view answering its questions from
// answers, and handles the one start message it posts itself; returns the view.
inline RecordingView ShowWindow(TUpdateForm& form, std::deque<bool> answers) {
    RecordingView view;
    view.answers = std::move(answers);
    form.AttachView(&view);
    form.FormShow();
    EXPECT_EQ(view.posted.size(), 1u);
    if (!view.posted.empty()) form.HandleMessage(view.posted[0].message);
    form.AttachView(nullptr);
    return view;
}
// The same for a fresh window in the given mode over platform.
inline RecordingView RunWindow(Platform& platform, uint8_t mode, std::deque<bool> answers = {}) {
    TUpdateForm form(platform);
    form.SetMode(mode);
    return ShowWindow(form, std::move(answers));
}

struct RunTest : ::testing::Test {
    void SetUp() override { ResetSettings(); }
    void TearDown() override { ResetSettings(); }

    std::string Registry() const { return ReadFile(root.Native("registry.reg")); }

    TempRoot root;
    PosixPlatform platform{root.Path()};
};

}
