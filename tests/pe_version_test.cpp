// Version resources read from PE images: the image walk, the version block
// queries, and TVersionInfo on top of them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/YRNUpdateFrm/TVersionInfo.h"
#include "core/text.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/pe/PeVersion.h"
#include "support/PeImages.h"

namespace yrn::test {
namespace {

std::string RawBlock(const std::string& image) {
    std::string block;
    ReadPeVersionResource(reinterpret_cast<const uint8_t*>(image.data()), image.size(), block);
    return block;
}

std::string Bytes(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

// A version block as the platform hands it to the core; given a size, the
// raw bytes copied unchecked into a buffer of that size.
struct Block {
    std::vector<uint8_t> data;
    explicit Block(const std::string& raw) : data(VersionBlockSize(static_cast<uint32_t>(raw.size()))) {
        EXPECT_TRUE(BuildVersionBlock(raw, static_cast<uint32_t>(data.size()), data.data()));
    }
    Block(const std::string& raw, size_t size) : data(size) {
        std::memcpy(data.data(), raw.data(), std::min(raw.size(), size));
    }
    bool Query(const std::string& path, const uint8_t*& value, uint32_t& length) {
        value = reinterpret_cast<const uint8_t*>(1);
        length = 12345;
        return QueryVersionBlock(data.data(), static_cast<uint32_t>(data.size()), path, value, length);
    }
    // The string at path, or "<none>" when the query fails.
    std::string Text(const std::string& path) {
        const uint8_t* value;
        uint32_t length;
        if (!Query(path, value, length)) {
            EXPECT_EQ(value, nullptr);
            EXPECT_EQ(length, 0u);
            return "<none>";
        }
        std::string s(reinterpret_cast<const char*>(value));
        EXPECT_EQ(length, s.size() + 1) << path;
        return s;
    }
};

const std::string kTwo = RawBlock(PeImageBytes("two.exe"));
const std::string kFileVersion = "\\StringFileInfo\\041904E3\\FileVersion";

TEST(VersionBlock, SizeAndBuild) {
    const std::pair<uint32_t, uint32_t> sizes[] = {{0, 0}, {5, 0}, {6, 16}, {100, 204}, {65535, 131074}, {65536, 0}};
    for (auto [raw, size] : sizes) EXPECT_EQ(VersionBlockSize(raw), size) << raw;
    ASSERT_GT(kTwo.size(), 300u);
    std::vector<uint8_t> data(VersionBlockSize(static_cast<uint32_t>(kTwo.size())), 0xAA);
    ASSERT_TRUE(BuildVersionBlock(kTwo, static_cast<uint32_t>(data.size()), data.data()));
    EXPECT_EQ(Bytes(data.data(), kTwo.size()), kTwo);
    EXPECT_EQ(Bytes(data.data() + kTwo.size(), data.size() - kTwo.size()), std::string(data.size() - kTwo.size(), '\0'));

    // Refusals leave the buffer untouched.
    std::string longer = kTwo, tiny = kTwo;
    Patch(longer, 0, static_cast<uint32_t>(kTwo.size() + 1), 2);
    Patch(tiny, 0, 5, 2);
    const std::vector<uint8_t> untouched(data.size(), 0x55);
    for (const auto& [raw, size, buffer] : {std::tuple{kTwo, data.size() - 1, true}, {kTwo, data.size(), false},
                                            {kTwo.substr(0, 5), data.size(), true}, {longer, data.size(), true},
                                            {tiny, data.size(), true}}) {
        data = untouched;
        EXPECT_FALSE(BuildVersionBlock(raw, static_cast<uint32_t>(size), buffer ? data.data() : nullptr));
        EXPECT_EQ(data, untouched);
    }
}

TEST(VersionBlock, FixedPartAndTranslation) {
    Block b(kTwo);
    const uint8_t* value;
    uint32_t length;
    for (const char* path : {"\\", "", "\\\\"}) {
        ASSERT_TRUE(b.Query(path, value, length)) << path;
        EXPECT_EQ(length, 52u);
        EXPECT_EQ(value, b.data.data() + 40);  // after "VS_VERSION_INFO" and its padding
        EXPECT_EQ(Bytes(value, 16), std::string("\xBD\x04\xEF\xFE\0\0\1\0\2\0\5\0\7\0\1\0", 16));
    }
    for (const char* path : {"\\VarFileInfo\\Translation", "VarFileInfo\\Translation\\", "\\varfileinfo\\TRANSLATION"}) {
        ASSERT_TRUE(b.Query(path, value, length)) << path;
        EXPECT_EQ(Bytes(value, length), std::string("\x19\x04\xE3\x04\x09\x04\xB0\x04", 8));
        EXPECT_GE(value, b.data.data());
        EXPECT_LE(value + length, b.data.data() + kTwo.size());
    }
}

TEST(VersionBlock, StringValues) {
    Block b(kTwo), variants(RawBlock(PeImageBytes("variants.exe")));
    const std::tuple<Block*, std::string, std::string> cases[] = {
        {&b, "\\StringFileInfo\\041904E3\\FileVersion", "2, 1, 0, 15"},
        {&b, "\\stringfileinfo\\041904e3\\fileversion", "2, 1, 0, 15"},
        {&b, "StringFileInfo\\041904E3\\FileVersion\\", "2, 1, 0, 15"},
        {&b, "\\StringFileInfo\\041904E3\\CompanyName", "Quenbrit"},
        {&b, "\\StringFileInfo\\041904E3\\ProductName", W("ЮКСВЕЛ")},
        {&b, "\\StringFileInfo\\041904E3\\FileDescription", W("Обновление ЮКСВЕЛ")},
        {&b, "\\StringFileInfo\\040904B0\\FileVersion", "9.9"},
        {&b, "\\StringFileInfo\\040904B0\\Empty", ""},
        {&b, "\\StringFileInfo\\041904E3\\Missing", "<none>"},
        {&b, "\\StringFileInfo\\04190000\\FileVersion", "<none>"},
        {&b, "\\StringFileInfo\\\\FileVersion", "<none>"},
        {&b, "\\StringFileInfo\\041904E3\\FileVersion\\More", "<none>"},
        {&b, "\\StringFileInfo\\041904E3\\FileVersio", "<none>"},
        {&b, "\\StringFileInfo\\041904E3\\FileVersionX", "<none>"},
        {&b, "\\VarFileInfo\\Translations", "<none>"},
        {&b, "\\Nothing", "<none>"},
        {&variants, "\\StringFileInfo\\041904E3\\A", ""},
        {&variants, "\\StringFileInfo\\041904E3\\B", "xy"},
        {&variants, "\\StringFileInfo\\041904E3\\C", "12"},
        {&variants, "\\StringFileInfo\\041904E3\\D", "z"},
        {&variants, "\\StringFileInfo\\041904E3\\E", "?A"},
        {&variants, "\\E", "<none>"},
        {&variants, W("\\StringFileInfo\\041904E3\\ВЕРСИЯ"), W("ёж")},
        {&variants, W("\\StringFileInfo\\041904E3\\версия"), W("ёж")},
        {&variants, W("\\StringFileInfo\\041904E3\\Верси"), "<none>"},
        {&variants, W("\\StringFileInfo\\041904E3\\ёЛКА"), W("ель")},
    };
    for (const auto& [block, path, expected] : cases) EXPECT_EQ(block->Text(path), expected) << path;

    // Converted strings live in the scratch area, each in its own place:
    // every earlier answer is still intact after all the others.
    const uint8_t* first;
    uint32_t length;
    ASSERT_TRUE(b.Query("\\StringFileInfo\\041904E3\\FileDescription", first, length));
    EXPECT_GE(first, b.data.data() + kTwo.size());
    for (const auto& [block, path, expected] : cases) block->Text(path);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first)), W("Обновление ЮКСВЕЛ"));
    EXPECT_EQ(Bytes(b.data.data(), kTwo.size()), kTwo);  // the resource itself is never written
}

TEST(VersionBlock, DamagedTrees) {
    const size_t sfi = 92, table = sfi + 36;  // StringFileInfo after the root's 40 + 52 bytes; its first table
    ASSERT_EQ(kTwo.substr(sfi + 6, 4), std::string("S\0t\0", 4));
    const std::tuple<const char*, std::string, size_t, uint32_t, int> cases[] = {
        {"wrong signature", "\\", 40, 0xFEEF04BE, 4},
        {"fixed part too short", "\\", 2, 48, 2},
        {"fixed part past the node", "\\", 0, 88, 2},
        {"child longer than parent", kFileVersion, sfi, static_cast<uint32_t>(kTwo.size()), 2},
        {"zero-length child", kFileVersion, sfi, 0, 2},
        {"zero-length grandchild", kFileVersion, table, 0, 2},
        {"too short child", kFileVersion, sfi, 5, 2},
        {"key without NUL", kFileVersion, sfi, 10, 2},
        {"root longer than buffer", kFileVersion, 0, 0xFFFF, 2},
        {"root too short", kFileVersion, 0, 4, 2},
        {"children past node by lying value length", kFileVersion, sfi + 2, 0x7FFF, 2},
    };
    for (const auto& [what, path, offset, value, width] : cases) {
        std::string raw = kTwo;
        Patch(raw, offset, value, width);
        EXPECT_EQ(Block(raw, VersionBlockSize(static_cast<uint32_t>(raw.size()))).Text(path), "<none>") << what;
    }
    // Buffers too small for the tree or for the scratch area, and no buffer.
    const uint8_t* value;
    uint32_t length;
    EXPECT_EQ(Block(kTwo, kTwo.size() - 1).Text("\\"), "<none>");
    Block noScratch(kTwo, kTwo.size());
    EXPECT_EQ(noScratch.Text(kFileVersion), "<none>");
    EXPECT_TRUE(noScratch.Query("\\", value, length));
    EXPECT_EQ(Block(kTwo, 5).Text("\\"), "<none>");
    EXPECT_FALSE(QueryVersionBlock(nullptr, 100, "\\", value, length));
    EXPECT_EQ(value, nullptr);
}

TEST(PeVersionFiles, ReadsBothFormats) {
    for (const char* name : {"two.exe", "two64.dll"}) {
        std::string image = PeImageBytes(name), cut = image;
        EXPECT_EQ(RawBlock(image), image.substr(kVersionData, kTwo.size())) << name;
        EXPECT_EQ(RawBlock(image), kTwo) << name;
        Patch(cut, kVersionData, 6, 2);  // the block is cut to its own length, however short
        EXPECT_EQ(RawBlock(cut), cut.substr(kVersionData, 6)) << name;
        uint8_t smallest[16];
        EXPECT_TRUE(PeVersionInfo(cut, PeVersionInfoSize(cut), smallest)) << name;
        uint32_t size = PeVersionInfoSize(image);
        EXPECT_EQ(size, kTwo.size() * 2 + 4);
        Block b(kTwo, size);
        std::fill(b.data.begin(), b.data.end(), uint8_t{0xCC});
        ASSERT_TRUE(PeVersionInfo(image, size, b.data.data()));
        EXPECT_EQ(b.Text(kFileVersion), "2, 1, 0, 15");
        EXPECT_FALSE(PeVersionInfo(image, size - 1, b.data.data()));
    }
}

TEST(PeVersionFiles, WithoutVersion) {
    for (const std::string& bytes : {PeImageBytes("noversion.exe"), PeImageBytes("noresources.exe"), std::string(),
                                     std::string("MZ"), std::string(4096, '\0'), std::string(100, 'x')}) {
        std::string block = "old";
        EXPECT_FALSE(ReadPeVersionResource(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), block));
        EXPECT_EQ(block, "");
        EXPECT_EQ(PeVersionInfoSize(bytes), 0u);
        uint8_t buf[64];
        EXPECT_FALSE(PeVersionInfo(bytes, sizeof buf, buf));
    }
    std::string block;
    EXPECT_FALSE(ReadPeVersionResource(nullptr, 100, block));
}

TEST(PeVersionFiles, SizeLimit) {
    std::string bytes = PeImageBytes("two.exe");
    bytes.resize(kMaxVersionFileSize, '\0');
    EXPECT_NE(PeVersionInfoSize(bytes), 0u);
    bytes += '\0';
    EXPECT_EQ(PeVersionInfoSize(bytes), 0u);
    std::vector<uint8_t> data(1024);
    EXPECT_FALSE(PeVersionInfo(bytes, static_cast<uint32_t>(data.size()), data.data()));
}

// Damage in PE32 offsets; from the data directory count to the resource
// section, PE32+ lies 16 bytes further.
struct Damage {
    const char* name;
    std::vector<std::tuple<size_t, uint32_t, int>> patches;  // offset, value, width
};
void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

class DamagedImages : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedImages, HaveNoVersion) {
    for (const char* name : {"two.exe", "two64.dll"}) {
        std::string bytes = PeImageBytes(name);
        for (auto [offset, value, width] : GetParam().patches)
            Patch(bytes, offset + (offset >= 0xF4 && offset < 0x400 && name[3] == '6' ? 16 : 0), value, width);
        ASSERT_NE(bytes, PeImageBytes(name));
        std::string block;
        EXPECT_FALSE(ReadPeVersionResource(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), block)) << name;
        EXPECT_EQ(PeVersionInfoSize(bytes), 0u) << name;
    }
}

constexpr size_t kCoff = 0x84, kOptional = 0x98, kDirs = 0xF8, kRsrcSection = 0x1A0, kRoot = 0x400, kLoop = 0x80000000;
INSTANTIATE_TEST_SUITE_P(Pe, DamagedImages, ::testing::ValuesIn(std::vector<Damage>{
    {"NoMz", {{0, 'X', 1}}},
    {"PeHeaderPastTheEnd", {{0x3C, 0x7F0, 4}}},
    {"PeHeaderOffsetHuge", {{0x3C, 0xFFFFFFF0, 4}}},
    {"NoPeSignature", {{0x81, 'X', 1}}},
    {"UnknownOptionalMagic", {{kOptional, 0x107, 2}}},
    {"OptionalHeaderTooShort", {{kCoff + 16, 96, 2}}},
    {"OptionalHeaderPastTheEnd", {{kCoff + 16, 0xFFFF, 2}}},
    // Two directories declared by the header size; the section table that
    // follows starts with bytes that would describe the resources.
    {"OptionalHeaderEndsBeforeTheResourceDirectory",
     {{kCoff + 16, 112, 2}, {kCoff + 2, 1, 2}, {kDirs + 24, 0x400, 4}, {kDirs + 28, 0x2000, 4},
      {kDirs + 32, 0x400, 4}, {kDirs + 36, 0x400, 4}}},
    {"TwoDataDirectories", {{kDirs - 4, 2, 4}}},
    {"NoResourceDirectory", {{kDirs + 16, 0, 4}}},
    {"ResourceRvaInNoSection", {{kDirs + 16, 0x9000, 4}}},
    {"NoSections", {{kCoff + 2, 0, 2}}},
    {"SectionTablePastTheEnd", {{kCoff + 2, 0xFFFF, 2}}},
    {"SectionDataPastTheEnd", {{kRsrcSection + 20, 0x7FFFFFFF, 4}}},
    {"SectionRawSizeZero", {{kRsrcSection + 16, 0, 4}}},
    {"SectionVirtualSizeTooSmall", {{kRsrcSection + 8, 16, 4}}},
    {"AbsurdEntryCount", {{kRoot + 14, 0xFFFF, 2}}},
    {"VersionTypeNotADirectory", {{kVersionTypeEntry + 4, 0x10, 4}}},
    {"TypeDirectoryIsTheRoot", {{kVersionTypeEntry + 4, kLoop, 4}}},
    {"TypeDirectoryOutside", {{kVersionTypeEntry + 4, 0x8FFFFFF0, 4}}},
    {"NameDirectoryIsItself", {{kVersionNameDir + 20, kLoop | (kVersionNameDir - kRoot), 4}}},
    {"NameDirectoryIsTheRoot", {{kVersionNameDir + 20, kLoop, 4}}},
    {"NameDirectoryLoopsToARootLeadingToTheVersion",
     {{kVersionNameDir + 20, kLoop, 4}, {kRoot + 20, kVersionDataEntry - kRoot, 4}}},
    {"NameLeafWithoutDirectory", {{kVersionNameDir + 20, kVersionDataEntry - kRoot, 4}}},
    {"LanguageEntryLoops", {{kVersionLanguageDir + 20, kLoop | (kVersionLanguageDir - kRoot), 4}}},
    {"EmptyNameDirectory", {{kVersionNameDir + 14, 0, 2}}},
    {"EmptyLanguageDirectory", {{kVersionLanguageDir + 14, 0, 2}}},
    {"DataEntryOutside", {{kVersionLanguageDir + 20, 0x7FFFFFF8, 4}}},
    {"DataRvaOutside", {{kVersionDataEntry, 0x7FFFFFFF, 4}}},
    {"DataRvaInTheHeaders", {{kVersionDataEntry, 0x10, 4}}},
    {"DataSizePastTheSection", {{kVersionDataEntry + 4, 0x10000, 4}}},
    {"DataSizeTiny", {{kVersionDataEntry + 4, 4, 4}}},
    {"BlockLongerThanData", {{kVersionData, 0x7FF, 2}}},
    {"BlockLengthTiny", {{kVersionData, 2, 2}}},
}), [](const auto& info) { return std::string(info.param.name); });

struct FileText {
    const char* file;
    const char* text;
};
void PrintTo(const FileText& c, std::ostream* os) { *os << c.file; }

class VersionText : public ::testing::TestWithParam<FileText> {};

TEST_P(VersionText, StringOrFixedPart) {
    PosixPlatform platform;
    EXPECT_EQ(FileVersionOf(platform, PeImagePath(GetParam().file)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Pe, VersionText, ::testing::ValuesIn(std::vector<FileText>{
    {"two.exe", "2, 1, 0, 15"}, {"two64.dll", "2, 1, 0, 15"}, {"empty.exe", "1.0.0.0"}, {"novalue.exe", "5.2.1.7"},
    {"fixed.dll", "10.0.65535.1"}, {"otherkey.exe", "5.2.1.7"}, {"notrans.exe", "5.2.1.7"}, {"english.exe", "9.9"},
    {"lowerkey.exe", "2, 1, 0, 15"}, {"nofixed.exe", ""}, {"noversion.exe", ""}, {"noresources.exe", ""},
    {"missing.exe", ""}}), [](const auto& info) { return std::string(info.param.file, std::strchr(info.param.file, '.')); });

TEST(VersionInfoText, ReaderParts) {
    PosixPlatform platform;
    TVersionInfo info(platform, PeImagePath("two64.dll"));
    EXPECT_EQ(info.TranslationKey(), "041904E3");
    TranslationEntry entry{};
    ASSERT_NE(info.FirstTranslation(entry), nullptr);
    EXPECT_EQ(entry.language, 0x0419);
    EXPECT_EQ(entry.codePage, 0x04E3);
    uint32_t ms = 0, ls = 0;
    ASSERT_TRUE(info.FixedFileVersion(ms, ls));
    EXPECT_EQ(ms, 0x50002u);
    EXPECT_EQ(ls, 0x10007u);
    EXPECT_EQ(info.StringValue("ProductName"), W("ЮКСВЕЛ"));
    EXPECT_EQ(info.StringValue("FileDescription"), W("Обновление ЮКСВЕЛ"));
    EXPECT_EQ(info.StringValue("Missing"), "");
    EXPECT_EQ(info.StringValue(std::string(300, 'N')), "");
}

}  // namespace
}  // namespace yrn::test
