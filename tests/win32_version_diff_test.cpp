// The portable PE version reader against Windows' version service
// (GetFileVersionInfo / VerQueryValue), on the test images, real DLLs and
// the product itself.
#include <gtest/gtest.h>

#include <map>

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
std::map<std::string, std::string> Answers(Platform* windows, const std::string& path, const std::vector<std::string>& subs) {
    const std::string bytes = windows ? "" : GetFile(path);
    uint32_t handle = 0, size = windows ? windows->VersionInfoSize(path, handle) : PeVersionInfoSize(bytes);
    std::vector<uint8_t> data(size);
    const bool ok = size > 0 && (windows ? windows->VersionInfo(path, handle, size, data.data())
                                         : PeVersionInfo(bytes, size, data.data()));
    std::vector<std::pair<const uint8_t*, uint32_t>> found;
    for (const std::string& sub : subs) {
        const uint8_t* value = data.data();
        uint32_t length = 0;
        const bool hit = ok && (windows ? windows->VersionQuery(data.data(), size, sub, value, length)
                                        : QueryVersionBlock(data.data(), size, sub, value, length));
        EXPECT_TRUE(hit ? value >= data.data() && value + length <= data.data() + size : !ok || !value) << sub;
        found.emplace_back(hit ? value : nullptr, length);
    }
    std::map<std::string, std::string> answers;
    for (size_t i = 0; i < subs.size(); ++i) {
        const auto [value, length] = found[i];
        const char* v = reinterpret_cast<const char*>(value);
        answers[subs[i]] = !value ? "<none>"
                           : (subs[i].find("StringFileInfo") != std::string::npos ? std::string(v) : std::string(v, length)) +
                                 "|" + std::to_string(length);
    }
    return answers;
}

// Several languages: Windows takes the user's, the PE reader the first one.
// Windows' answers.
std::map<std::string, std::string> ExpectSameAnswers(const std::string& path, bool severalLanguagesMayDiffer = false) {
    SCOPED_TRACE(Cp1251ToUtf8(path));
    Win32Platform windows;
    std::vector<std::string> subs = {"\\", "\\VarFileInfo\\Translation"};
    for (const std::string& key : {TVersionInfo(windows, path).TranslationKey(), std::string("040904B0"), std::string()})
        for (const char* name : {"FileVersion", "ProductVersion", "CompanyName", "FileDescription", "InternalName",
                                 "OriginalFilename", "ProductName", "LegalCopyright", "Comments", "fileversion"})
            subs.push_back("\\StringFileInfo\\" + key + "\\" + name);
    const auto w = Answers(&windows, path, subs), p = Answers(nullptr, path, subs);
    EXPECT_EQ(w.at(subs[0]), p.at(subs[0]));
    if (severalLanguagesMayDiffer && w.at(subs[1]) != p.at(subs[1])) return w;
    for (const std::string& sub : subs) EXPECT_EQ(Cp1251ToUtf8(w.at(sub)), Cp1251ToUtf8(p.at(sub))) << sub;
    return w;
}

// Not here: a string with no value at all and a block with no fixed part,
// where the reader and Wine answer differently.
TEST(Win32VersionDiff, TestImagesRealLibrariesAndTheProduct) {
    for (const char* name : {"two.exe", "two64.dll", "empty.exe", "fixed.dll", "otherkey.exe", "lowerkey.exe",
                             "notrans.exe", "english.exe", "noversion.exe", "noresources.exe", "missing.exe"})
        ExpectSameAnswers(PeImagePath(name));
    const std::string system = Win32Platform().WindowsDirectory() + "\\System32\\";
    for (const char* dll : {"kernel32.dll", "user32.dll", "comctl32.dll", "version.dll", "shell32.dll", "msvcrt.dll"})
        ExpectSameAnswers(system + dll, true);
    const auto product = ExpectSameAnswers(BuiltProgram("YRNUpdate.exe"));
    const std::pair<const char*, std::string> strings[] = {
        {"ProductName", W("ЮКСВЕЛ")}, {"FileVersion", YRN_VERSION_TEXT}, {"ProductVersion", YRN_VERSION_TEXT},
        {"OriginalFilename", "YRNUpdate.exe"}, {"FileDescription", W("Обновление исполняемых файлов ЮКСВЕЛ")}};
    for (const auto& [name, value] : strings)
        EXPECT_EQ(product.at(std::string("\\StringFileInfo\\041904E3\\") + name), value + "|" + std::to_string(value.size() + 1));
}

}  // namespace
}  // namespace yrn::test
