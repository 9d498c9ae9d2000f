// The parameters dialog's controls, as the caller fills and reads them.
#pragma once

#include <string>

namespace yrn {

struct TParamForm {
    std::string eUpdateDir;
    int cbSWType = -1;  // selected index 0..3, -1 when nothing is selected
    bool cbIsMessage = false;
    bool cbIsNoVersion = false;
};

// The items of cbSWType, index 0 to 3 (1251 text): "Сервер", "Клиент", "Менеджер", "Офис".
std::string SWTypeItem(int index);

}  // namespace yrn
