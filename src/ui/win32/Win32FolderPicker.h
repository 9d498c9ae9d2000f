// The folder chooser behind the directory field of the parameters dialog.
#pragma once

#include <string>

#include "platform/win32/Win32Api.h"

namespace yrn {

// Lets the user choose a folder, starting in folder when it names one.
// True with folder set to the chosen path; false when cancelled or when no
// chooser could be shown.
bool PickFolder(HWND owner, std::wstring& folder);

}  // namespace yrn
