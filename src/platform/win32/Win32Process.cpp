#include "Win32Api.h"

#include <vector>

#include "Win32Platform.h"
#include "WideText.h"

namespace yrn {

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOW) == 68, "the start-up record of a 32-bit process is 68 bytes");
#endif

bool Win32Platform::WaitForProcess(uint32_t pid) {
    // Our own handle would never be signalled while we wait on it.
    if (pid == ::GetCurrentProcessId()) return false;
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return false;
    ::WaitForSingleObject(process, INFINITE);
    ::CloseHandle(process);
    return true;
}

std::string StartCommandLine(const std::string& program, const std::string& params) {
    const bool quote = program.find_first_of(" \t") != std::string::npos;
    return (quote ? "\"" + program + "\"" : program) + " " + params;
}

bool Win32Platform::StartProcess(const std::string& program, const std::string& params) {
    const std::wstring application = Wide(program);
    const std::wstring line = Wide(StartCommandLine(program, params));
    std::vector<wchar_t> commandLine(line.begin(), line.end());
    commandLine.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // The program is named explicitly, so a path with blanks starts exactly
    // that file and never a shorter prefix of it.
    if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info))
        return false;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return true;
}

}  // namespace yrn
