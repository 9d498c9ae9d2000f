// The pictures on the dialogs' buttons: 16 x 16 bitmaps from the resources,
// each with its greyed form for the disabled button.
#pragma once

#include "platform/win32/Win32Api.h"

#include <commctrl.h>

namespace yrn {

// An image list with one picture per push-button state (normal, hot,
// pressed, disabled, default, stylus hot); the disabled state shows the
// greyed bitmap. Null when a bitmap is missing.
HIMAGELIST LoadButtonGlyph(HINSTANCE instance, int normalId, int disabledId);

// Puts the picture left of the button's text. The button does not own the
// list: destroy it after the button.
void SetButtonGlyph(HWND button, HIMAGELIST glyph);

// The image lists of one dialog's buttons, destroyed with the object.
class ButtonGlyphs {
public:
    ButtonGlyphs() = default;
    ButtonGlyphs(const ButtonGlyphs&) = delete;
    ButtonGlyphs& operator=(const ButtonGlyphs&) = delete;
    ~ButtonGlyphs();
    void Set(HINSTANCE instance, HWND button, int normalId, int disabledId);

private:
    static constexpr int kMax = 4;
    HIMAGELIST lists_[kMax] = {};
    int count_ = 0;
};

}  // namespace yrn
