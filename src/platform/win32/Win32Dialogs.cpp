// The parameters dialog and the backup selection dialog. Until their native
// windows exist, a start without the three arguments explains how to start
// the tool and ends as a cancelled dialog.
#include "Win32UI.h"
#include "WideText.h"
#include "core/BackUpUnit.h"
#include "core/ParamQueryUnit.h"
#include "core/text.h"

namespace yrn {

int Win32UI::ShowParamForm(TParamForm&) {
    ::MessageBoxW(nullptr,
                  Wide(W("Параметры обновления задаются командной строкой: "
                         "YRNUpdate.exe <процесс> <каталог обновления> <тип ПО 0..3>")).c_str(),
                  Wide(W("Обновление ЮКСВЕЛ")).c_str(), MB_OK | MB_ICONINFORMATION);
    return 2;
}

void Win32UI::ShowBackUpForm(TBackUpForm& form) {
    form.CancelBtnClick();
}

}  // namespace yrn
