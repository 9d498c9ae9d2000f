// Version resources read from PE images: the image walk, the version block
// queries, and the version text on top of them.
#include <algorithm>

#include "core/KeyEnvelope.h"
#include "core/YRNUpdateFrm/TVersionInfo.h"
#include "platform/posix/pe/PeVersion.h"
#include "support/PeImages.h"
#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

const char* Chars(const uint8_t* p) { return reinterpret_cast<const char*>(p); }
// The raw resource, or "<none>" when the image has none (the result cleared).
std::string RawBlock(const std::string& image) {
    std::string block = "old";
    return ReadPeVersionResource(reinterpret_cast<const uint8_t*>(image.data()), image.size(), block) ? block : block.empty() ? "<none>" : "<not cleared>";
}

// Raw cut or padded with zeros to size bytes (by default a block's size); its
// answers are "<none>", a string up to its NUL (strings are answered from the
// scratch area after the resource) or the bytes inside the resource. last:
// where the last answer lies.
struct Block {
    std::vector<uint8_t> data;
    const uint8_t* last = nullptr;
    Block(const std::string& raw, size_t size = 0) : data(raw.begin(), raw.end()) { data.resize(size ? size : VersionBlockSize(raw.size())); }
    std::string Ask(const std::string& path) {
        const uint8_t* value = data.data();
        uint32_t length = 12345;
        if (!QueryVersionBlock(data.data(), data.size(), path, value, length))
            return value == nullptr && length == 0 ? "<none>" : "<failure with an answer>";
        last = value;
        if (value < data.data() + (data[0] | data[1] << 8)) return std::string(Chars(value), length);
        std::string s(Chars(value));
        return length == s.size() + 1 ? s : "<wrong length>";
    }
};

const std::string kTwo = RawBlock(PeImageBytes("two.exe"));
const std::string kRu = "\\StringFileInfo\\041904E3\\", kFileVersion = kRu + "FileVersion";

TEST(VersionBlock, SizeAndBuild) {
    std::pair<uint32_t, uint32_t> sizes[] = {
        {5, 0},
        {6, 16},
        {65535, 131074},
        {65536, 0},
    };
    for (auto [raw, size] : sizes) EXPECT_EQ(VersionBlockSize(raw), size);
    Block built(kTwo);
    std::ranges::fill(built.data, 0xAA);
    auto n = built.data.size();
    ASSERT_TRUE(BuildVersionBlock(kTwo, n, built.data.data()));
    EXPECT_EQ(built.data, Block(kTwo).data);
    // Refusals leave the buffer untouched.
    std::string longer = kTwo, tiny = kTwo;
    Patch(longer, 0, kTwo.size() + 1, 2);
    Patch(tiny, 0, 5, 2);
    std::tuple<std::string, size_t, bool> refused[] = {
        {kTwo, n - 1, true},
        {kTwo, n, false},
        {kTwo.substr(0, 5), n, true},
        {longer, n, true},
        {tiny, n, true},
        {kTwo + std::string(0x10000 - kTwo.size(), '\0'), n, true},
    };
    for (auto& [raw, size, buffer] : refused) {
        std::vector<uint8_t> data(n, 0x55), untouched = data;
        EXPECT_FALSE(BuildVersionBlock(raw, size, buffer ? data.data() : nullptr));
        EXPECT_EQ(data, untouched);
    }
}

// Each answer as text, or in hex when it holds control bytes, as a golden file.
TEST(VersionBlock, Answers) {
    Block b(kTwo), variants(RawBlock(PeImageBytes("variants.exe")));
    // Each string has its own place: an earlier answer is intact after all the others.
    auto desc = kRu + "FileDescription", descText = W("Обновление ЮКСВЕЛ");
    b.Ask(desc);
    auto first = b.last;
    std::string shown;
    auto ask = [&](Block& block, const std::string& under, std::vector<std::string> names) {
        for (auto& name : names) {
            auto a = block.Ask(Utf8To1251(under + name));
            shown += under + name + " = " + (std::ranges::any_of(a, [](uint8_t c) { return c < 32; }) ? HexLower(a) : Cp1251ToUtf8(a)) + "\n";
        }
    };
    ask(b, "", {"\\", "\\VarFileInfo\\Translation", "VarFileInfo\\Translation\\", "\\varfileinfo\\TRANSLATION", "\\VarFileInfo\\Translations", "\\Nothing"});
    ask(b, kRu, {"FileVersion", "FileDescription", "Missing", "FileVersion\\More", "FileVersio", "FileVersionX"});
    ask(b, "\\StringFileInfo\\", {"040904B0\\FileVersion", "040904B0\\Empty", "04190000\\FileVersion", "\\FileVersion"});
    ask(variants, kRu, {"A", "B", "C", "D", "E", "ВЕРСИЯ", "Верси", "ёЛКАЏ", "AB", std::string(231, 'L')});
    ExpectGolden(shown, "pe_version_block_answers.txt");
    EXPECT_EQ(Chars(first), descText);
    // The resource itself is never written.
    EXPECT_EQ(std::string(Chars(b.data.data()), kTwo.size()), kTwo);
    // A string is answered only when it and its NUL fit in the buffer.
    size_t end = first - b.data.data() + descText.size() + 1;
    EXPECT_EQ(Block(kTwo, end).Ask(desc), descText);
    EXPECT_EQ(Block(kTwo, end - 1).Ask(desc), "<none>");
}

TEST(VersionBlock, DamagedTrees) {
    // StringFileInfo after the root's 40 + 52 bytes; its first table.
    const size_t sfi = 92, table = sfi + 36;
    std::tuple<const char*, std::string, size_t, uint32_t, int> cases[] = {
        {"wrong signature", "\\", 40, 0xFEEF04BE, 4},
        {"fixed part too short", "\\", 2, 48, 2},
        {"fixed part past the node", "\\", 0, 88, 2},
        {"child longer than parent", kFileVersion, sfi, kTwo.size(), 2},
        {"too short child", kFileVersion, sfi, 5, 2},
        {"key without NUL", kFileVersion, sfi, 10, 2},
        {"damaged first string", kFileVersion, table + 24, 0, 2},
        {"root longer than buffer", kFileVersion, 0, 0xFFFF, 2},
        {"children past node by a lying value length", kFileVersion, sfi + 2, 0x7FFF, 2},
    };
    for (auto& [what, path, offset, value, width] : cases) {
        auto raw = kTwo;
        Patch(raw, offset, value, width);
        EXPECT_EQ(Block(raw).Ask(path), "<none>") << what;
    }
    // Buffers too small for the tree or for the scratch area, and no buffer.
    EXPECT_EQ(Block(kTwo, kTwo.size()).Ask(kFileVersion), "<none>");
    EXPECT_EQ(Block(kTwo, kTwo.size()).Ask("\\").size(), 52u);
    EXPECT_EQ(Block(kTwo, 5).Ask("\\"), "<none>");
    const uint8_t* value;
    uint32_t length;
    EXPECT_FALSE(QueryVersionBlock(nullptr, 100, "\\", value, length));
    EXPECT_EQ(value, nullptr);
}

// Both formats; a block cut to its own length, however short; files over the
// size limit, without a version resource or too short for a header.
TEST(PeVersionFiles, ReadsBothFormatsUpToTheSizeLimit) {
    uint8_t buffer[2048];
    for (auto name : {"two.exe", "two64.dll"}) {
        SCOPED_TRACE(name);
        auto image = PeImageBytes(name), cut = image;
        EXPECT_EQ(RawBlock(image), kTwo);
        auto size = PeVersionInfoSize(image);
        EXPECT_EQ(size, kTwo.size() * 2 + 4);
        EXPECT_FALSE(PeVersionInfo(image, size - 1, buffer));
        Patch(cut, kVersionData, 6, 2);
        // The resource exactly as long.
        Patch(cut, kDataEntry + 4, 6, 4);
        EXPECT_EQ(RawBlock(cut), cut.substr(kVersionData, 6));
        EXPECT_TRUE(PeVersionInfo(cut, PeVersionInfoSize(cut), buffer));
    }
    auto huge = PeImageBytes("two.exe");
    huge.resize(kMaxVersionFileSize, '\0');
    EXPECT_TRUE(PeVersionInfoSize(huge) && PeVersionInfo(huge, sizeof buffer, buffer));
    huge += '\0';
    for (auto& bytes : {huge, PeImageBytes("noversion.exe"), std::string("MZ"), std::string()}) {
        EXPECT_TRUE(bytes == huge || RawBlock(bytes) == "<none>");
        EXPECT_EQ(PeVersionInfoSize(bytes), 0u);
        EXPECT_FALSE(PeVersionInfo(bytes, sizeof buffer, buffer));
    }
    std::string block = "old";
    EXPECT_FALSE(ReadPeVersionResource(nullptr, 100, block));
    EXPECT_EQ(block, "");
}

// Damage in PE32 offsets (each patch: offset, value, width); from the data
// directory count to the resource section, PE32+ lies 16 bytes further.
TEST(PeVersionFiles, DamagedImagesHaveNoVersion) {
    constexpr size_t kCoff = 0x84, kDirs = 0xF8, kRsrc = 0x1A0, kRoot = 0x400, kLoop = 0x80000000;
    std::pair<const char*, std::vector<std::tuple<size_t, uint32_t, int>>> damages[] = {
        {"NoMz", {{0, 'X', 1}}},
        {"PeHeaderPastTheEnd", {{0x3C, 0x7F0, 4}}},
        {"NoPeSignature", {{0x81, 'X', 1}}},
        {"PeHeaderFarPastTheEnd", {{0x3C, 0x7FFFFFF0, 4}}},
        {"UnknownOptionalMagic", {{kCoff + 20, 0x107, 2}}},
        // Two directories declared by the header size; the section table that
        // follows starts with bytes that would describe the resources.
        {"HeaderEndsBeforeResourceDirectory", {{kCoff + 16, 112, 2}, {kCoff + 2, 1, 2},
            {kDirs + 24, 0x400, 4}, {kDirs + 28, 0x2000, 4}, {kDirs + 32, 0x400, 4}, {kDirs + 36, 0x400, 4}}},
        {"TwoDataDirectories", {{kDirs - 4, 2, 4}}},
        {"NoResourceDirectory", {{kDirs + 16, 0, 4}}},
        {"NoSections", {{kCoff + 2, 0, 2}}},
        {"ResourceSectionNotCounted", {{kCoff + 2, 1, 2}}},
        {"SectionDataPastTheEnd", {{kRsrc + 20, 0x7FFFFFFF, 4}}},
        {"SectionRawSizeZero", {{kRsrc + 16, 0, 4}}},
        {"SectionVirtualSizeTooSmall", {{kRsrc + 8, 16, 4}}},
        {"VersionTypeNotADirectory", {{kTypeEntry + 4, 0x10, 4}}},
        {"EmptyNameDirectory", {{kNameDir + 14, 0, 2}}},
        // The name directory's entry leads back to the root, whose first entry leads to the version.
        {"NameLoopsToRoot", {{kNameDir + 20, kLoop, 4}, {kRoot + 20, kDataEntry - kRoot, 4}}},
        {"NameLeafWithoutDirectory", {{kNameDir + 20, kDataEntry - kRoot, 4}}},
        // The name entry a leaf (the language directory read as data), the root's first entry a leaf too.
        {"NameEntryNotADirectory", {{kNameDir + 20, kLanguageDir - kRoot, 4}, {kRoot + 20, kDataEntry - kRoot, 4}}},
        {"LanguageEntryLoops", {{kLanguageDir + 20, kLoop | (kLanguageDir - kRoot), 4}}},
        {"EmptyLanguageDirectory", {{kLanguageDir + 14, 0, 2}}},
        {"DataEntryOutside", {{kLanguageDir + 20, 0x7FFFFFF8, 4}}},
        {"DataRvaOutside", {{kDataEntry, 0x7FFFFFFF, 4}}},
        {"DataSizePastTheSection", {{kDataEntry + 4, 0x10000, 4}}},
        {"DataSizeTiny", {{kDataEntry + 4, 4, 4}}},
        {"BlockLongerThanData", {{kVersionData, 0x7FF, 2}}},
        {"BlockLengthTiny", {{kVersionData, 2, 2}}},
    };
    for (auto& [what, patches] : damages) {
        for (auto name : {"two.exe", "two64.dll"}) {
            auto bytes = PeImageBytes(name);
            for (auto [offset, value, width] : patches)
                Patch(bytes, offset + (offset >= 0xF4 && offset < 0x400 && name[3] == '6' ? 16 : 0), value, width);
            EXPECT_EQ(RawBlock(bytes), "<none>") << what << " " << name;
        }
    }
}

// The version text of each image and of no file: the string of the first
// translation, else the fixed part.
TEST(VersionText, StringOrFixedPart) {
    PosixPlatform platform;
    auto names = ListDir(PeImagePath(""));
    names.push_back("missing.exe");
    std::string texts;
    for (auto& name : names) texts += name + ": " + FileVersionOf(platform, PeImagePath(name)) + "\n";
    ExpectGolden(texts, "pe_version_texts.txt");
    uint32_t ms, ls;
    EXPECT_FALSE(TVersionInfo(platform, PeImagePath("noversion.exe")).FixedFileVersion(ms, ls));
    // Under "\StringFileInfo\041904E3\" 230 or 231 letters make a path of 255 or 256 bytes.
    TVersionInfo variants(platform, PeImagePath("variants.exe"));
    EXPECT_TRUE(variants.StringValue(std::string(230, 'L')) == "255" && variants.StringValue(std::string(231, 'L')).empty());
}

}
}
