// The portable PE version reader against Windows' version service
// (GetFileVersionInfo / VerQueryValue), on the test images and on real DLLs.
#include <gtest/gtest.h>

#include <cstring>

#include "core/YRNUpdateFrm/TVersionInfo.h"
#include "platform/posix/pe/PeVersion.h"
#include "core/text.h"
#include "platform/win32/Win32Platform.h"
#include "support/PeImages.h"
#include "support/win32_Files.h"
#include "yrn_version.h"

namespace yrn::test {
namespace {

// The Win32 backend with its version service replaced by the PE reader.
class PeReaderPlatform : public Win32Platform {
public:
    uint32_t VersionInfoSize(const std::string& path, uint32_t& handle) override {
        handle = 0;
        std::string bytes;
        return ReadWholeFile(path, bytes) ? PeVersionInfoSize(bytes) : 0;
    }
    bool VersionInfo(const std::string& path, uint32_t, uint32_t size, uint8_t* data) override {
        std::string bytes;
        return ReadWholeFile(path, bytes) && PeVersionInfo(bytes, size, data);
    }
    bool VersionQuery(uint8_t* data, uint32_t size, const std::string& subBlock, const uint8_t*& value,
                      uint32_t& length) override {
        return QueryVersionBlock(data, size, subBlock, value, length);
    }
};

struct Block {
    Block(Platform& platform, const std::string& path) : platform_(platform) {
        uint32_t handle = 0;
        size = platform.VersionInfoSize(path, handle);
        data.assign(size, 0);
        ok = size > 0 && platform.VersionInfo(path, handle, size, data.data());
    }
    // Success, then the answer's bytes (strings up to their NUL) and length.
    std::string Ask(const std::string& subBlock) {
        const uint8_t* value = nullptr;
        uint32_t length = 0;
        if (!ok || !platform_.VersionQuery(data.data(), size, subBlock, value, length) || !value) return "<none>";
        const bool text = subBlock.find("StringFileInfo") != std::string::npos;
        const std::string bytes = text ? std::string(reinterpret_cast<const char*>(value))
                                       : std::string(reinterpret_cast<const char*>(value), length);
        return bytes + "|" + std::to_string(length);
    }
    Platform& platform_;
    uint32_t size = 0;
    std::vector<uint8_t> data;
    bool ok = false;
};

std::vector<std::string> Keys(Block& block) {
    std::vector<std::string> keys;
    const std::string list = block.Ask("\\VarFileInfo\\Translation");
    if (list == "<none>") return keys;
    const std::string bytes = list.substr(0, list.rfind('|'));
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        uint16_t language, codePage;
        std::memcpy(&language, bytes.data() + i, 2);
        std::memcpy(&codePage, bytes.data() + i + 2, 2);
        char key[16];
        std::snprintf(key, sizeof key, "%04X%04X", language, codePage);
        keys.push_back(key);
    }
    return keys;
}

enum class Languages { One, MaybeSeveral };

void ExpectSameAnswers(const std::string& path, Languages languages = Languages::One) {
    SCOPED_TRACE(Cp1251ToUtf8(path));
    Win32Platform windows;
    PeReaderPlatform pe;
    Block w(windows, path), p(pe, path);
    ASSERT_EQ(w.ok, p.ok);
    EXPECT_EQ(w.Ask("\\"), p.Ask("\\"));
    EXPECT_EQ(FileVersionOf(windows, path), FileVersionOf(pe, path));
    if (languages == Languages::MaybeSeveral && w.Ask("\\VarFileInfo\\Translation") != p.Ask("\\VarFileInfo\\Translation")) {
        // A file with its version resource in several languages: Windows
        // takes the one of the user's language, the PE reader the first one.
        ::testing::Test::RecordProperty("several_languages", Cp1251ToUtf8(path));
        return;
    }
    EXPECT_EQ(w.Ask("\\VarFileInfo\\Translation"), p.Ask("\\VarFileInfo\\Translation"));
    std::vector<std::string> keys = Keys(w);
    keys.push_back("040904B0");
    keys.push_back("");
    for (const std::string& key : keys)
        for (const char* name : {"FileVersion", "ProductVersion", "CompanyName", "FileDescription", "InternalName",
                                 "OriginalFilename", "ProductName", "LegalCopyright", "Comments", "fileversion"}) {
            const std::string sub = "\\StringFileInfo\\" + key + "\\" + name;
            EXPECT_EQ(Cp1251ToUtf8(w.Ask(sub)), Cp1251ToUtf8(p.Ask(sub))) << sub;
        }
}

// Not here: a string with no value at all and a block with no fixed part,
// where the reader and Wine answer differently.
TEST(Win32VersionDiff, TestImages) {
    for (const char* name : {"two.exe", "two64.dll", "empty.exe", "fixed.dll", "otherkey.exe", "lowerkey.exe",
                             "notrans.exe", "english.exe", "noversion.exe", "noresources.exe", "missing.exe"})
        ExpectSameAnswers(PeImagePath(name));
}

TEST(Win32VersionDiff, RealProgramsAndLibraries) {
    Win32Platform platform;
    const std::string system = platform.WindowsDirectory() + "\\System32\\";
    for (const char* dll : {"kernel32.dll", "user32.dll", "comctl32.dll", "version.dll", "shell32.dll", "msvcrt.dll"})
        ExpectSameAnswers(system + dll, Languages::MaybeSeveral);
    ExpectSameAnswers(ProductPath());
    EXPECT_EQ(FileVersionOf(platform, ProductPath()), YRN_VERSION_TEXT);
}

}  // namespace
}  // namespace yrn::test
