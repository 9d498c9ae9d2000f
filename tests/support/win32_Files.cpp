#include "win32_Files.h"

#include <algorithm>
#include <cstdlib>

#include "platform/win32/Win32Api.h"
#include "platform/win32/WideText.h"

namespace yrn::test {

Win32TempDir::Win32TempDir() {
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) std::abort();
    for (;;) {
        path_ = Narrow(std::wstring(temp, n)) + "yrn-w32-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(++counter) + "\\";
        if (::CreateDirectoryW(Wide(path_).c_str(), nullptr)) break;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) std::abort();
    }
}

Win32TempDir::~Win32TempDir() { RemoveTree(path_); }

bool PutFile(const std::string& path, const std::string& bytes) {
    HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    return ::CloseHandle(h) && ok;
}

std::string GetFile(const std::string& path) {
    HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    ::CloseHandle(h);
    return bytes;
}

bool PathExists(const std::string& path) { return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool SetAttributes(const std::string& path, unsigned long attributes) {
    return ::SetFileAttributesW(Wide(path).c_str(), attributes) != 0;
}

std::vector<std::string> AllNames(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(Wide(dir + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(Narrow(name));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::string& path) {
    std::string dir = path;
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    for (const std::string& name : AllNames(dir)) {
        const std::string child = dir + name;
        const DWORD a = ::GetFileAttributesW(Wide(child).c_str());
        ::SetFileAttributesW(Wide(child).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) RemoveTree(child);
        else ::DeleteFileW(Wide(child).c_str());
    }
    ::RemoveDirectoryW(Wide(dir).c_str());
}

std::string TestProgramDir() {
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string path = Narrow(std::wstring(self, n));
    return path.substr(0, path.find_last_of('\\') + 1);
}

// The tests live in <build>\tests\, the programs in <build>\.
std::string ProductPath() { return TestProgramDir() + "..\\YRNUpdate.exe"; }
std::string MarkerPath() { return TestProgramDir() + "..\\yrn_marker.exe"; }
std::string HolderPath() { return TestProgramDir() + "..\\yrn_holder.exe"; }

std::string WaitForFile(const std::string& path, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 50) {
        std::string bytes = GetFile(path);
        if (!bytes.empty()) return bytes;
        ::Sleep(50);
    }
    return {};
}

}  // namespace yrn::test
