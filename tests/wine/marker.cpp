// A program the tests start: appends its command line, as it received it
// (UTF-16), and one line end to "started.txt" beside itself. With a first
// argument "sleep:N" it waits N milliseconds before that.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && !std::wcsncmp(argv[1], L"sleep:", 6)) Sleep(_wtoi(argv[1] + 6));
    wchar_t own[MAX_PATH];
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    auto path = std::filesystem::path(own).replace_filename(L"started.txt");
    auto line = GetCommandLineW() + std::wstring(L"\n");
    auto file = _wfopen(path.c_str(), L"ab");
    return !file || std::fwrite(line.data(), 2, line.size(), file) != line.size() || std::fclose(file);
}
