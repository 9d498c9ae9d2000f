// The button pictures of the dialogs as the program loads them from its
// resources: six states each, the fourth the greyed picture for a disabled
// button, the others (normal, hot, pressed, default, stylus-hot) the same.
// The pictures drawn with their masks onto 16 x 16 blue, pixels as hex
// RRGGBB, top row first, each state followed by a blank line:
// tests/wine/golden/glyph_NAME.txt (rewritten when YRN_UPDATE_GOLDEN is set).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "support/win32_Files.h"
#include "ui/win32/Win32Glyphs.h"
#include "ui/win32/resource.h"

namespace yrn::test {
namespace {

// One image of the list drawn onto a blue square.
string Draw(HIMAGELIST list, int index) {
    BITMAPINFO info{{sizeof info.bmiHeader, 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    auto dc = CreateCompatibleDC(nullptr);
    auto target = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(dc, target);
    ImageList_DrawEx(list, index, dc, 0, 0, 0, 0, RGB(0, 0, 255), CLR_NONE, ILD_NORMAL);
    GdiFlush();
    // Seven characters a pixel; the last one's NUL lands on the string's own.
    string text(256 * 7, '\0');
    for (int i = 0; i < 256; ++i) std::snprintf(&text[i * 7], 8, "%06lX%c", static_cast<const DWORD*>(bits)[i] & 0xFFFFFF, i % 16 < 15 ? ' ' : '\n');
    DeleteDC(dc);
    DeleteObject(target);
    return text;
}

// Each button's six states against its golden file; a missing picture gives
// no list.
TEST(Glyph, SixStatesTheFourthDisabled) {
    auto self = GetModuleHandleW(nullptr);
    struct {
        string name;
        int normal, disabled;
    } buttons[] = {
        {"ok", IDB_OK, IDB_OK_DISABLED},
        {"cancel", IDB_CANCEL, IDB_CANCEL_DISABLED},
        {"rollback", IDB_ROLLBACK, IDB_ROLLBACK_DISABLED},
    };
    for (auto& b : buttons) {
        SCOPED_TRACE(b.name);
        auto list = LoadButtonGlyph(self, b.normal, b.disabled);
        ASSERT_TRUE(list);
        string pictures;
        for (int state = 0; state < 6; ++state) pictures += Draw(list, state) + "\n";
        auto golden = YRN_TEST_DATA "/../wine/golden/glyph_" + b.name + ".txt";
        if (std::getenv("YRN_UPDATE_GOLDEN")) PutFile(golden, pictures);
        EXPECT_EQ(pictures, GetFile(golden));
        ImageList_Destroy(list);
    }
    EXPECT_EQ(LoadButtonGlyph(self, IDB_OK, 9999), nullptr);
}

}
}
