// A program the tests start: appends its command line, as it received it
// (UTF-16), and one line end to "started.txt" beside itself. With a first
// argument "sleep:N" it waits N milliseconds before that.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]).rfind(L"sleep:", 0) == 0) ::Sleep(std::wcstoul(argv[1] + 6, nullptr, 10));
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    std::wstring path(self, n);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"started.txt";

    const std::wstring line = ::GetCommandLineW() + std::wstring(L"\n");
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(line.size() * sizeof(wchar_t));
    const BOOL ok = ::WriteFile(file, line.data(), size, &written, nullptr);
    ::CloseHandle(file);
    return ok && written == size ? 0 : 1;
}
