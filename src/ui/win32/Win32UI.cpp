#include "Win32UI.h"

#include "platform/win32/WideText.h"
#include "core/text.h"

namespace yrn {

void Win32UI::ShowStartupFailure() {
    ::MessageBoxW(nullptr, Wide(W("Сбой при запуске программы обновления исполняемых файлов.")).c_str(), L"YRN Update",
                  MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
}

}  // namespace yrn
