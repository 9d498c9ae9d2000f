#include "RunFixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace yrn::test {
namespace fs = std::filesystem;

TempRoot::TempRoot() {
    char tmpl[] = "/tmp/yrn-test-XXXXXX";
    if (!::mkdtemp(tmpl)) std::abort();
    root_ = tmpl;
    oldCwd_ = fs::current_path();
    fs::create_directory(root_ + "/cwd");
    fs::current_path(root_ + "/cwd");
}

TempRoot::~TempRoot() {
    fs::current_path(oldCwd_);
    fs::remove_all(root_);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    // a parent that cannot be made fails the write below
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadFile(const std::string& path) {
    if (!fs::is_regular_file(path)) return {};
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& path) { return fs::exists(path); }

std::vector<std::string> ListDir(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(path, ec)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

Snapshot TakeSnapshot(const std::string& dir) {
    Snapshot s;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (!e.is_directory()) s[fs::relative(e.path(), dir)] = ReadFile(e.path());
    return s;
}

std::vector<std::string> Changed(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> out;
    for (const auto& [path, bytes] : after)
        if (!before.count(path) || before.at(path) != bytes) out.push_back(path);
    return out;
}

std::vector<std::string> LogLines(const std::string& bytes) {
    std::vector<std::string> lines;
    for (size_t pos = 0, crlf; pos < bytes.size(); pos = crlf == std::string::npos ? crlf : crlf + 2)
        lines.push_back(bytes.substr(pos, (crlf = bytes.find("\r\n", pos)) == std::string::npos ? crlf : crlf - pos));
    return lines;
}

std::string Golden(const std::string& name) {
    std::string dir = __FILE__;
    return ReadFile(dir.substr(0, dir.rfind("/support/")) + "/golden/" + name);
}

RecordingView ShowWindow(TUpdateForm& form, std::deque<bool> answers) {
    RecordingView view;
    view.answers = std::move(answers);
    form.AttachView(&view);
    form.FormShow();
    EXPECT_EQ(view.posted.size(), 1u);
    if (!view.posted.empty()) form.HandleMessage(view.posted[0].message);
    form.AttachView(nullptr);
    return view;
}

RecordingView RunWindow(Platform& platform, uint8_t mode, std::deque<bool> answers) {
    TUpdateForm form(platform);
    form.SetMode(mode);
    return ShowWindow(form, std::move(answers));
}

}  // namespace yrn::test
