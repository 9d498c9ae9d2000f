// YRNUpdate.exe: the Win32 backend and the native windows.
#include "platform/win32/Win32Api.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/win32/Win32Platform.h"
#include "Win32UI.h"
#include "platform/win32/WideText.h"
#include "core/FuncUnit.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    std::vector<std::string> args;
    int argc = 0;
    if (LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc)) {
        for (int i = 1; i < argc; ++i) args.push_back(yrn::Narrow(argv[i]));
        ::LocalFree(argv);
    }
    yrn::Win32Platform platform;
    yrn::Win32UI ui(instance);
    return yrn::RunProgram(args, platform, ui);
}
