// A program the tests start: starts its one argument as a command line,
// verbatim, as the suite's programs start YRNUpdate.exe, and waits for that
// program's end. Its exit status is the started program's, 99 when the
// start failed.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    DWORD status = 99;
    if (argc != 2 || !CreateProcessW(nullptr, argv[1], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return 99;
    WaitForSingleObject(info.hProcess, INFINITE);
    GetExitCodeProcess(info.hProcess, &status);
    return status;
}
