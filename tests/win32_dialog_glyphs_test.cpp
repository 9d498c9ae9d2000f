// The button pictures of the dialogs as the program loads them from its
// resources: six states each, the greyed picture for a disabled button. The
// pictures drawn with their masks onto blue, pixels as hex RRGGBB, top row
// first: tests/wine/golden/glyph_NAME.txt, the normal picture, a blank line,
// the disabled one (rewritten when YRN_UPDATE_GOLDEN is set).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "support/win32_Files.h"
#include "ui/win32/Win32Glyphs.h"
#include "ui/win32/resource.h"

namespace yrn::test {
namespace {

// One image of the list drawn onto a blue square.
std::string Draw(HIMAGELIST list, int index) {
    BITMAPINFO info{{sizeof info.bmiHeader, 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP target = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, target);
    RECT all{0, 0, 16, 16};
    HBRUSH blue = ::CreateSolidBrush(RGB(0, 0, 255));
    ::FillRect(dc, &all, blue);
    ::ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
    ::GdiFlush();
    std::string text;
    char pixel[8];
    for (int i = 0; i < 256; ++i) {
        std::snprintf(pixel, sizeof pixel, "%06lX%c", static_cast<const DWORD*>(bits)[i] & 0xFFFFFF, i % 16 < 15 ? ' ' : '\n');
        text += pixel;
    }
    ::SelectObject(dc, old);
    ::DeleteObject(blue);
    ::DeleteObject(target);
    ::DeleteDC(dc);
    return text;
}

struct GlyphCase {
    const char* name;
    int normal, disabled;
};

class Glyph : public ::testing::TestWithParam<GlyphCase> {};

// Normal, hot, pressed, default and stylus-hot show the same picture.
TEST_P(Glyph, SixStatesTheFourthDisabled) {
    const GlyphCase& g = GetParam();
    HIMAGELIST list = LoadButtonGlyph(::GetModuleHandleW(nullptr), g.normal, g.disabled);
    ASSERT_NE(list, nullptr);
    int cx = 0, cy = 0;
    EXPECT_TRUE(::ImageList_GetIconSize(list, &cx, &cy) && cx == 16 && cy == 16);
    ASSERT_EQ(::ImageList_GetImageCount(list), 6);
    const std::string pictures = Draw(list, 0) + "\n" + Draw(list, 3);
    for (int state : {1, 2, 4, 5}) EXPECT_EQ(Draw(list, state), Draw(list, 0)) << state;
    const std::string golden = YRN_TEST_DATA "/../wine/golden/glyph_" + std::string(g.name) + ".txt";
    if (std::getenv("YRN_UPDATE_GOLDEN")) PutFile(golden, pictures);
    EXPECT_EQ(pictures, GetFile(golden));
    ::ImageList_Destroy(list);
}

INSTANTIATE_TEST_SUITE_P(Buttons, Glyph,
                         ::testing::ValuesIn(std::vector<GlyphCase>{
                             {"ok", IDB_OK, IDB_OK_DISABLED},
                             {"cancel", IDB_CANCEL, IDB_CANCEL_DISABLED},
                             {"rollback", IDB_ROLLBACK, IDB_ROLLBACK_DISABLED},
                         }),
                         ByName);

TEST(GlyphResources, AMissingPictureGivesNoList) {
    EXPECT_EQ(LoadButtonGlyph(::GetModuleHandleW(nullptr), IDB_OK, 9999), nullptr);
    EXPECT_EQ(LoadButtonGlyph(::GetModuleHandleW(nullptr), 9999, IDB_OK_DISABLED), nullptr);
}

}  // namespace
}  // namespace yrn::test
