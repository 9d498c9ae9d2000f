// The button pictures of the dialogs as the program loads them from its
// resources: six states each, the greyed one for a disabled button.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ui/win32/Win32Glyphs.h"
#include "ui/win32/resource.h"

namespace {

// One image of the list drawn with its mask onto a blue square: its
// pixels 0x00RRGGBB, top row first.
using Pixels = std::vector<uint32_t>;
constexpr uint32_t kBlue = 0x0000FF;

Pixels Draw(HIMAGELIST list, int index) {
    BITMAPINFO info{{sizeof info.bmiHeader, 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP target = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, target);
    RECT all{0, 0, 16, 16};
    HBRUSH blue = ::CreateSolidBrush(RGB(0, 0, 255));
    ::FillRect(dc, &all, blue), ::ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL), ::GdiFlush();
    Pixels p(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + 256);
    for (uint32_t& v : p) v &= 0xFFFFFF;
    ::SelectObject(dc, old), ::DeleteObject(blue), ::DeleteObject(target), ::DeleteDC(dc);
    return p;
}

// A colour test on red, green, blue.
using Is = bool (*)(int r, int g, int b);
int Count(const Pixels& p, Is is) {
    return static_cast<int>(std::count_if(p.begin(), p.end(), [is](uint32_t v) { return is(v >> 16 & 0xFF, v >> 8 & 0xFF, v & 0xFF); }));
}
bool IsRed(int r, int g, int b) { return r > 150 && g < 60 && b < 60; }
bool IsGreen(int r, int g, int b) { return g > 100 && r < 60 && b < 60; }
bool IsBlack(int r, int g, int b) { return r < 40 && g < 40 && b < 40; }
bool IsColoured(int r, int g, int b) { return !(r == 0 && g == 0 && b == 255) && !(r == g && g == b); }

struct GlyphCase {
    const char* name;
    int normal, disabled;
    Is colour;
    bool withBlack;
};
void PrintTo(const GlyphCase& g, std::ostream* os) { *os << g.name; }

class Glyph : public ::testing::TestWithParam<GlyphCase> {};

TEST_P(Glyph, SixStatesTheDisabledOneGreyedTheCornersClear) {
    const GlyphCase& g = GetParam();
    HIMAGELIST list = yrn::LoadButtonGlyph(::GetModuleHandleW(nullptr), g.normal, g.disabled);
    ASSERT_NE(list, nullptr);
    int cx = 0, cy = 0;
    EXPECT_TRUE(::ImageList_GetIconSize(list, &cx, &cy) && cx == 16 && cy == 16);
    ASSERT_EQ(::ImageList_GetImageCount(list), 6);
    const Pixels normal = Draw(list, 0), greyed = Draw(list, 3);
    EXPECT_GT(Count(normal, g.colour), 20);
    if (g.withBlack) { EXPECT_GE(Count(normal, IsBlack), 12) << "the exclamation mark"; }
    for (int corner : {0, 15, 240, 255}) EXPECT_EQ(normal[corner], kBlue) << "corner " << corner;
    // Normal, hot, pressed, default and stylus-hot show the same picture;
    // disabled the same shape, in greys only.
    for (int state : {1, 2, 4, 5}) EXPECT_EQ(Draw(list, state), normal) << "state " << state;
    EXPECT_EQ(Count(greyed, IsColoured), 0);
    for (size_t i = 0; i < normal.size(); ++i) EXPECT_EQ(greyed[i] != kBlue, normal[i] != kBlue) << "pixel " << i;
    ::ImageList_Destroy(list);
}

INSTANTIATE_TEST_SUITE_P(Buttons, Glyph,
                         ::testing::Values(GlyphCase{"ok", IDB_OK, IDB_OK_DISABLED, IsGreen, false},
                                           GlyphCase{"cancel", IDB_CANCEL, IDB_CANCEL_DISABLED, IsRed, false},
                                           GlyphCase{"rollback", IDB_ROLLBACK, IDB_ROLLBACK_DISABLED, IsRed, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GlyphResources, AMissingPictureGivesNoList) {
    EXPECT_EQ(yrn::LoadButtonGlyph(::GetModuleHandleW(nullptr), IDB_OK, 9999), nullptr);
    EXPECT_EQ(yrn::LoadButtonGlyph(::GetModuleHandleW(nullptr), 9999, IDB_OK_DISABLED), nullptr);
}

}  // namespace
