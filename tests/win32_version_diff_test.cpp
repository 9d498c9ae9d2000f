// The portable PE version reader against Windows' version service
// (GetFileVersionInfo / VerQueryValue) where a naive reading would differ:
// two languages, a table under another key or in lower case, no
// translation, an empty string, no version at all, no file; and the product.
#include <gtest/gtest.h>

#include "core/YRNUpdateFrm/TVersionInfo.h"
#include "core/text.h"
#include "platform/posix/pe/PeVersion.h"
#include "platform/win32/Win32Platform.h"
#include "support/PeImages.h"
#include "support/win32_Files.h"
#include "yrn_version.h"

namespace yrn::test {
namespace {

// Each answer for path, from Windows (w given) or from the PE reader:
// "<none>", or the bytes its length covers, which lie in the block. All are
// read only after the last query: an answer stays valid with its block.
Names Answers(Platform* w, string path, Names subs) {
    auto bytes = w ? "" : GetFile(path);
    uint32_t handle = 0, size = w ? w->VersionInfoSize(path, handle) : PeVersionInfoSize(bytes);
    std::vector<uint8_t> data(size);
    auto d = data.data();
    bool ok = size > 0 && (w ? w->VersionInfo(path, handle, size, d) : PeVersionInfo(bytes, size, d));
    std::vector<std::string_view> found;
    for (auto& sub : subs) {
        const uint8_t* v = nullptr;
        uint32_t n = 0;
        bool hit = ok && (w ? w->VersionQuery(d, size, sub, v, n) : QueryVersionBlock(d, size, sub, v, n));
        EXPECT_TRUE(!hit || (v >= d && v + n <= d + size)) << sub;
        found.push_back(hit ? std::string_view(reinterpret_cast<const char*>(v), n) : "<none>");
    }
    return {found.begin(), found.end()};
}

TEST(Win32VersionDiff, TestImagesAndTheProduct) {
    Win32Platform windows;
    auto product = BuiltProgram("YRNUpdate.exe");
    for (auto name : {"two.exe", "two64.dll", "otherkey.exe", "lowerkey.exe", "notrans.exe", "empty.exe",
                             "noversion.exe", "YRNUpdate.exe"}) {
        auto path = name[0] == 'Y' ? product : PeImagePath(name);
        SCOPED_TRACE(name);
        Names subs{"\\", "\\VarFileInfo\\Translation"};
        for (auto key : {"\\041904E3\\", "\\040904B0\\"})
            for (auto value : {"FileVersion", "ProductName", "fileversion"}) subs.push_back("\\StringFileInfo" + string(key) + value);
        EXPECT_EQ(Answers(&windows, path, subs), Answers(nullptr, path, subs));
    }
    TVersionInfo info(windows, product);
    EXPECT_EQ(info.StringValue("ProductName"), W("ЮКСВЕЛ"));
    EXPECT_EQ(info.StringValue("ProductVersion"), YRN_VERSION_TEXT);
    EXPECT_EQ(info.StringValue("FileDescription"), W("Обновление исполняемых файлов ЮКСВЕЛ"));
}

}
}
