// The native front end: the three windows and the start-up failure box.
#pragma once

#include "platform/win32/Win32Api.h"

#include "core/ui.h"

namespace yrn {

class Win32UI : public AppUI {
public:
    explicit Win32UI(HINSTANCE instance) : instance_(instance) {}

    void ShowStartupFailure() override;
    int ShowParamForm(TParamForm& form) override;
    void ShowUpdateForm(TUpdateForm& form) override;
    void ShowBackUpForm(TBackUpForm& form) override;

private:
    HINSTANCE instance_;
};

}  // namespace yrn
