// YRNUpdate.exe: the Win32 backend and the native windows.
#include "platform/win32/Win32Api.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/win32/Win32Platform.h"
#include "Win32UI.h"
#include "platform/win32/WideText.h"
#include "core/FuncUnit.h"

static BOOL CALLBACK Repaint(HWND window, LPARAM) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return TRUE;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    // The suite quotes a package directory that ends in a backslash
    // ("C:\TOVR\UPDATE\"): split by its rule, not by CommandLineToArgvW's.
    std::vector<std::string> args = yrn::SplitCommandLine(yrn::Narrow(::GetCommandLineW()));
    if (!args.empty()) args.erase(args.begin());  // the program name
    yrn::RemoveMovedAsideFiles();
    yrn::Win32Platform platform;
    // While a copy waits for a file another process holds, the windows paint.
    platform.SetWhileWaiting([] { ::EnumThreadWindows(::GetCurrentThreadId(), Repaint, 0); });
    yrn::Win32UI ui(instance);
    yrn::RunProgram(args, platform, ui);
    return 0;  // what the suite that starts the program expects; the registry tells the outcome
}
