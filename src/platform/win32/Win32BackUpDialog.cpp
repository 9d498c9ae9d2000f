#include "Win32UI.h"
#include "core/BackUpUnit.h"

namespace yrn {

void Win32UI::ShowBackUpForm(TBackUpForm& form) { form.CancelBtnClick(); }

}  // namespace yrn
