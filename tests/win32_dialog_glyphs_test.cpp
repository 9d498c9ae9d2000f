// The button pictures of the dialogs as the program loads them from its
// resources: six states each, the greyed one for a disabled button.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "ui/win32/Win32Glyphs.h"
#include "ui/win32/resource.h"

namespace {

constexpr COLORREF kBackground = RGB(0, 0, 255);

struct Pixels {
    std::vector<uint32_t> rgb;  // 0x00RRGGBB, top row first
    uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y * 16 + x)]; }
};

// One image of the list drawn with its mask onto a blue square.
Pixels Draw(HIMAGELIST list, int index) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 16;
    info.bmiHeader.biHeight = -16;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP target = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, target);
    RECT all{0, 0, 16, 16};
    HBRUSH blue = ::CreateSolidBrush(kBackground);
    ::FillRect(dc, &all, blue);
    ::DeleteObject(blue);
    ::ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
    ::GdiFlush();
    Pixels p;
    const auto* words = static_cast<const uint32_t*>(bits);
    p.rgb.assign(words, words + 256);
    for (uint32_t& v : p.rgb) v &= 0xFFFFFF;
    ::SelectObject(dc, old);
    ::DeleteObject(target);
    ::DeleteDC(dc);
    return p;
}

int Red(uint32_t v) { return static_cast<int>(v >> 16 & 0xFF); }
int Green(uint32_t v) { return static_cast<int>(v >> 8 & 0xFF); }
int Blue(uint32_t v) { return static_cast<int>(v & 0xFF); }
constexpr uint32_t kBlue = 0x0000FF;

int Count(const Pixels& p, bool (*match)(uint32_t)) {
    int n = 0;
    for (uint32_t v : p.rgb) n += match(v) ? 1 : 0;
    return n;
}
bool IsRed(uint32_t v) { return Red(v) > 150 && Green(v) < 60 && Blue(v) < 60; }
bool IsGreen(uint32_t v) { return Green(v) > 100 && Red(v) < 60 && Blue(v) < 60; }
bool IsBlack(uint32_t v) { return Red(v) < 40 && Green(v) < 40 && Blue(v) < 40; }
bool IsDrawn(uint32_t v) { return v != kBlue; }
bool IsColoured(uint32_t v) { return v != kBlue && !(Red(v) == Green(v) && Green(v) == Blue(v)); }

struct GlyphCase {
    const char* name;
    int normal, disabled;
    bool (*colour)(uint32_t);
    bool withBlack;
};
void PrintTo(const GlyphCase& g, std::ostream* os) { *os << g.name; }

class Glyph : public ::testing::TestWithParam<GlyphCase> {};

TEST_P(Glyph, SixStatesTheDisabledOneGreyedTheCornersClear) {
    const GlyphCase& g = GetParam();
    HIMAGELIST list = yrn::LoadButtonGlyph(::GetModuleHandleW(nullptr), g.normal, g.disabled);
    ASSERT_NE(list, nullptr);
    int cx = 0, cy = 0;
    ASSERT_TRUE(::ImageList_GetIconSize(list, &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    ASSERT_EQ(::ImageList_GetImageCount(list), 6);

    const Pixels normal = Draw(list, 0);
    EXPECT_GT(Count(normal, g.colour), 20) << g.name;
    if (g.withBlack) {
        EXPECT_GE(Count(normal, IsBlack), 12) << g.name;  // the exclamation mark
    }
    for (int x : {0, 15}) {
        for (int y : {0, 15}) {
            EXPECT_EQ(normal.At(x, y), kBlue) << g.name << " corner " << x << "," << y;
        }
    }

    // Normal, hot, pressed, default and stylus-hot show the same picture.
    for (int state : {1, 2, 4, 5}) {
        EXPECT_EQ(Draw(list, state).rgb, normal.rgb) << g.name << " state " << state;
    }

    // Disabled: the same shape, in greys only.
    const Pixels greyed = Draw(list, 3);
    EXPECT_EQ(Count(greyed, IsColoured), 0) << g.name;
    for (size_t i = 0; i < normal.rgb.size(); ++i) {
        EXPECT_EQ(IsDrawn(greyed.rgb[i]), IsDrawn(normal.rgb[i])) << g.name << " pixel " << i;
    }
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
