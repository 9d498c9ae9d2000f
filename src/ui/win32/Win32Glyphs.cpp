#include "Win32Glyphs.h"

namespace yrn {
namespace {

constexpr int kGlyphSize = 16;
constexpr COLORREF kTransparent = RGB(255, 0, 255);

bool AddMasked(HIMAGELIST list, HINSTANCE instance, int id) {
    auto bitmap = static_cast<HBITMAP>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap) return false;
    const bool added = ::ImageList_AddMasked(list, bitmap, kTransparent) >= 0;
    ::DeleteObject(bitmap);
    return added;
}

}  // namespace

HIMAGELIST LoadButtonGlyph(HINSTANCE instance, int normalId, int disabledId) {
    HIMAGELIST list = ::ImageList_Create(kGlyphSize, kGlyphSize, ILC_COLOR24 | ILC_MASK, 6, 0);
    if (!list) return nullptr;
    // PBS_NORMAL, PBS_HOT, PBS_PRESSED, PBS_DISABLED, PBS_DEFAULTED, PBS_STYLUSHOT
    const int order[6] = {normalId, normalId, normalId, disabledId, normalId, normalId};
    for (int id : order)
        if (!AddMasked(list, instance, id)) {
            ::ImageList_Destroy(list);
            return nullptr;
        }
    return list;
}

void SetButtonGlyph(HWND button, HIMAGELIST glyph) {
    if (!button || !glyph) return;
    BUTTON_IMAGELIST images{};
    images.himl = glyph;
    images.margin = RECT{4, 0, 0, 0};
    images.uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
    ::SendMessageW(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
}

ButtonGlyphs::~ButtonGlyphs() {
    for (int i = 0; i < count_; ++i) ::ImageList_Destroy(lists_[i]);
}

void ButtonGlyphs::Set(HINSTANCE instance, HWND button, int normalId, int disabledId) {
    if (count_ == kMax) return;
    HIMAGELIST list = LoadButtonGlyph(instance, normalId, disabledId);
    if (!list) return;
    lists_[count_++] = list;
    SetButtonGlyph(button, list);
}

}  // namespace yrn
