// The native front end: the progress window from its dialog resource, the
// question boxes and the start-up failure box.
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

// Window positions, remembered per user in
// HKEY_CURRENT_USER\Software\Quenbrit\YRN\Update\<name> ("Left", "Top").
bool LoadPlacement(const wchar_t* name, POINT& topLeft);
void SavePlacement(const wchar_t* name, POINT topLeft);
// The progress window's, under "Placement".
bool LoadPlacement(POINT& topLeft);
void SavePlacement(POINT topLeft);

}  // namespace yrn
