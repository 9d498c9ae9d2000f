// A program the tests start: holds a file open as a virus scanner or a
// closing program does. holder PATH none|read MS READY opens PATH for
// reading, sharing nothing or reading only, writes "1" into the file READY, and
// closes PATH after MS milliseconds (0: never; the test ends it).
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) return 2;
    const DWORD share = std::wstring(argv[2]) == L"read" ? FILE_SHARE_READ : 0;
    HANDLE held = ::CreateFileW(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 1;
    HANDLE ready = ::CreateFileW(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (ready == INVALID_HANDLE_VALUE || !::WriteFile(ready, "1", 1, &written, nullptr)) return 1;
    ::CloseHandle(ready);
    const DWORD ms = std::wcstoul(argv[3], nullptr, 10);
    ::Sleep(ms ? ms : INFINITE);
    ::CloseHandle(held);
    return 0;
}
