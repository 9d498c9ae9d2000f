// The portable PE version reader against Windows' version service
// (GetFileVersionInfo / VerQueryValue), on the test images, real DLLs and
// the product itself.
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

// Each answer for path, from Windows (windows given) or from the PE reader:
// "<none>", or the bytes (strings up to their NUL) and the length. Every
// answer lies in the block, a miss clears it, and all are read only after
// the last query: an answer stays valid with its block.
std::vector<std::string> Answers(Platform* windows, const std::string& path, const std::vector<std::string>& subs) {
    const std::string bytes = windows ? "" : GetFile(path);
    uint32_t handle = 0, size = windows ? windows->VersionInfoSize(path, handle) : PeVersionInfoSize(bytes);
    std::vector<uint8_t> data(size);
    uint8_t* const d = data.data();
    const bool ok = size > 0 && (windows ? windows->VersionInfo(path, handle, size, d) : PeVersionInfo(bytes, size, d));
    std::vector<std::pair<const char*, uint32_t>> found;
    for (const std::string& sub : subs) {
        const uint8_t* value = d;
        uint32_t length = 0;
        const bool hit = ok && (windows ? windows->VersionQuery(d, size, sub, value, length) : QueryVersionBlock(d, size, sub, value, length));
        EXPECT_TRUE(hit ? value >= d && value + length <= d + size : !ok || !value) << sub;
        found.emplace_back(hit ? reinterpret_cast<const char*>(value) : nullptr, length);
    }
    std::vector<std::string> answers;
    for (size_t i = 0; i < subs.size(); ++i) {
        const auto [v, length] = found[i];
        const bool text = subs[i].starts_with("\\StringFileInfo");
        answers.push_back(!v ? "<none>" : (text ? std::string(v) : std::string(v, length)) + "|" + std::to_string(length));
    }
    return answers;
}

// Several languages: Windows takes the user's, the PE reader the first one.
void ExpectSameAnswers(const std::string& path, bool severalLanguagesMayDiffer = false) {
    SCOPED_TRACE(Cp1251ToUtf8(path));
    Win32Platform windows;
    std::vector<std::string> subs = {"\\", "\\VarFileInfo\\Translation"};
    for (const std::string& key : {TVersionInfo(windows, path).TranslationKey(), std::string("040904B0"), std::string()})
        for (const char* name : {"FileVersion", "ProductVersion", "CompanyName", "FileDescription", "InternalName",
                                 "OriginalFilename", "ProductName", "LegalCopyright", "Comments", "fileversion"})
            subs.push_back("\\StringFileInfo\\" + key + "\\" + name);
    const std::vector<std::string> w = Answers(&windows, path, subs), p = Answers(nullptr, path, subs);
    EXPECT_EQ(w[0], p[0]);
    if (severalLanguagesMayDiffer && w[1] != p[1]) return;
    for (size_t i = 1; i < subs.size(); ++i) EXPECT_EQ(Cp1251ToUtf8(w[i]), Cp1251ToUtf8(p[i])) << subs[i];
}

// Not here: a string with no value at all and a block with no fixed part,
// where the reader and Wine answer differently. The product's own strings
// as its resource gives them (its file version: the end-to-end run's log).
TEST(Win32VersionDiff, TestImagesRealLibrariesAndTheProduct) {
    for (const char* name : {"two.exe", "two64.dll", "empty.exe", "fixed.dll", "otherkey.exe", "lowerkey.exe",
                             "notrans.exe", "english.exe", "noversion.exe", "noresources.exe", "missing.exe"})
        ExpectSameAnswers(PeImagePath(name));
    const std::string system = Win32Platform().WindowsDirectory() + "\\System32\\";
    for (const char* dll : {"kernel32.dll", "user32.dll", "comctl32.dll", "version.dll", "shell32.dll", "msvcrt.dll"})
        ExpectSameAnswers(system + dll, true);
    ExpectSameAnswers(BuiltProgram("YRNUpdate.exe"));
    Win32Platform windows;
    TVersionInfo product(windows, BuiltProgram("YRNUpdate.exe"));
    const std::pair<const char*, std::string> strings[] = {
        {"ProductName", W("ЮКСВЕЛ")},
        {"ProductVersion", YRN_VERSION_TEXT},
        {"OriginalFilename", "YRNUpdate.exe"},
        {"FileDescription", W("Обновление исполняемых файлов ЮКСВЕЛ")},
    };
    for (const auto& [name, value] : strings) EXPECT_EQ(product.StringValue(name), value) << name;
}

}  // namespace
}  // namespace yrn::test
