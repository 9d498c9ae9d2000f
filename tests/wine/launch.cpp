// A program the tests start: starts its one argument as a command line,
// verbatim, as the suite's programs start YRNUpdate.exe, and waits for that
// program's end. Its exit status is the started program's, 99 when the
// start failed.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 99;
    std::wstring line = argv[1];
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return 99;
    ::CloseHandle(info.hThread);
    ::WaitForSingleObject(info.hProcess, INFINITE);
    DWORD status = 99;
    ::GetExitCodeProcess(info.hProcess, &status);
    ::CloseHandle(info.hProcess);
    return static_cast<int>(status);
}
