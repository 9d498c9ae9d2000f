// The message loop of a modeless dialog that runs as a modal window.
#pragma once

#include "platform/win32/Win32Api.h"

namespace yrn {

// Takes and dispatches messages until dialog is null (the window's own code
// clears it when the window is destroyed). A WM_QUIT met on the way is posted
// again for the loop outside. filter sees each message first and returns
// true when it has handled it.
template <class Filter>
void RunDialogLoop(HWND& dialog, Filter filter) {
    MSG msg;
    while (dialog) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        if (filter(msg)) continue;
        if (::IsDialogMessageW(dialog, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace yrn
