// Test support on Windows: a fresh temporary directory per test, raw file
// access through the wide API, and the programs built beside the tests.
#pragma once

#include <string>
#include <vector>

namespace yrn::test {

// A new directory under the user's temp directory, removed with all its
// content afterwards. Path() ends with a backslash; all paths are 1251.
class Win32TempDir {
public:
    Win32TempDir();
    ~Win32TempDir();
    Win32TempDir(const Win32TempDir&) = delete;
    Win32TempDir& operator=(const Win32TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

bool PutFile(const std::string& path, const std::string& bytes);  // creates or truncates
std::string GetFile(const std::string& path);                     // "" when missing
bool PathExists(const std::string& path);
void RemoveTree(const std::string& path);
// Names in dir (without "." and ".."), hidden ones too, sorted.
std::vector<std::string> AllNames(const std::string& dir);
bool SetAttributes(const std::string& path, unsigned long attributes);

// Directory of the running test program, with a trailing backslash.
std::string TestProgramDir();
// The build's own programs: YRNUpdate.exe, the marker and the holder.
std::string ProductPath();
std::string MarkerPath();
std::string HolderPath();

// Waits up to timeoutMs for a non-empty file; its bytes, or "".
std::string WaitForFile(const std::string& path, int timeoutMs = 10000);

}  // namespace yrn::test
