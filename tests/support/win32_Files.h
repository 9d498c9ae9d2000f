// Test support on Windows: a fresh temporary directory per test, raw file
// access through the wide API, and the programs built beside the tests. All
// paths are 1251.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32/Win32Api.h"
#include "platform/win32/WideText.h"

namespace yrn::test {

using std::string;
using Names = std::vector<string>;
namespace fs = std::filesystem;

inline fs::path Fs(string path) { return Wide(path); }

// A new directory under the user's temp directory, removed with all its
// content (read-only or hidden too) afterwards. Its path ends with "\".
struct Win32TempDir {
    Win32TempDir() {
        static int counter = 0;
        auto dir = fs::temp_directory_path() / ("yrn-w32-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter));
        fs::remove_all(dir);
        fs::create_directory(dir);
        path = Narrow(dir) + "\\";
    }
    ~Win32TempDir() {
        for (auto& e : fs::recursive_directory_iterator(Fs(path))) SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::error_code ignored;
        fs::remove_all(Fs(path), ignored);
    }
    string operator/(string name) const { return path + name; }
    string path;
};

inline bool PutFile(string path, string bytes) {
    return (std::ofstream(Fs(path), std::ios::binary) << bytes).flush().good();
}
// "" when missing.
inline string GetFile(string path) {
    std::ifstream in(Fs(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
inline bool SetAttributes(string path, DWORD attributes) { return SetFileAttributesW(Wide(path).c_str(), attributes); }
// An existing file opened raw, sharing nothing unless told.
inline HANDLE Open(string path, DWORD access, DWORD share = 0) {
    return CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}
// Names in dir, hidden ones too, sorted.
inline Names AllNames(string dir) {
    Names names;
    std::error_code missing;
    for (auto& e : fs::directory_iterator(Fs(dir), missing)) names.push_back(Narrow(e.path().filename()));
    std::ranges::sort(names);
    return names;
}

// The running test program's file.
inline string OwnPath() {
    wchar_t self[MAX_PATH];
    return Narrow({self, GetModuleFileNameW(nullptr, self, MAX_PATH)});
}
// A program of the build (YRNUpdate.exe, yrn_marker.exe):
// the tests live in <build>\tests\, the programs in <build>\.
inline string BuiltProgram(string name) {
    auto path = OwnPath();
    return path.substr(0, path.rfind('\\') + 1) + "..\\" + name;
}

}
