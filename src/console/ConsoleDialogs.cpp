// The parameters dialog and the backup selection on the terminal.
#include "ConsoleUI.h"
#include "core/BackUpUnit.h"
#include "core/ParamQueryUnit.h"

namespace yrn {

int ConsoleUI::ShowParamForm(TParamForm&) { return 2; }

void ConsoleUI::ShowBackUpForm(TBackUpForm& form) { form.CancelBtnClick(); }

}  // namespace yrn
