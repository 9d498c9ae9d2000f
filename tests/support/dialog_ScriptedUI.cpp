#include "dialog_ScriptedUI.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>

namespace yrn::test {

// Text as it is; binary bytes by their size and FNV-1a hash.
std::string Shown(const std::string& bytes) {
    if (bytes.find('\0') == std::string::npos && bytes.size() < 4096) return Cp1251ToUtf8(bytes);
    uint32_t h = 2166136261u;
    for (unsigned char c : bytes) h = (h ^ c) * 16777619u;
    return std::to_string(bytes.size()) + " bytes, hash " + std::to_string(h);
}

std::string RunReport(const TempRoot& root, const RecordingView& view, const std::string& set, size_t from,
                      std::string r) {
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

std::string Masked(std::string text, const std::string& set) {
    for (size_t at; !set.empty() && (at = text.find(set)) != std::string::npos;) text.replace(at, set.size(), "<set>");
    return text;
}

// YRN_UPDATE_GOLDEN=1 rewrites each golden file from the output it is compared with.
void ExpectGolden(const std::string& actual, const std::string& name) {
    if (std::getenv("YRN_UPDATE_GOLDEN")) WriteFile(YRN_TEST_DATA "/../golden/" + name, actual);
    EXPECT_EQ(actual, Golden(name)) << name;
}

const std::string kRegistryHead = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n";

std::string RegistryWith(const std::vector<std::string>& values) {
    auto text = kRegistryHead;
    for (auto& v : values) text += v + "\r\n";
    return text + "\r\n";
}

std::string Dw(const char* name, unsigned value) {
    char line[64];
    std::snprintf(line, sizeof line, "\"%s\"=dword:%08x", name, value);
    return line;
}

int RunTool(const TempRoot& root, const std::string& args, const std::string& input) {
    WriteFile(root.Native("cwd/stdin.txt"), input);
    auto cmd = "cd '" + root.Native("cwd") + "' && YRN_ROOT='" + root.Path() + "' '" YRN_TOOL_PATH "' " + args;
    int status = std::system((cmd + " <stdin.txt >stdout.txt 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}
