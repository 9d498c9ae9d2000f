// Version resources read from PE images: the image walk, the version block
// queries, and TVersionInfo on top of them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>

#include "core/YRNUpdateFrm/TVersionInfo.h"
#include "platform/posix/pe/PeVersion.h"
#include "support/PeBuilder.h"
#include "core/text.h"

namespace yrn {
namespace {

using test::BuildPeFile;
using test::BuildPeImage;
using test::BuildVersionBlockBytes;
using test::PeFormat;
using test::PeImage;
using test::Put16;
using test::Put32;
using test::RussianResource;
using test::VersionNode;
using test::VersionResource;

constexpr uint32_t V(uint16_t hi, uint16_t lo) { return (uint32_t{hi} << 16) | lo; }

// A version block as the platform hands it to the core.
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

std::string Bytes(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

std::string FixedBytes(uint32_t ms, uint32_t ls) {
    std::string f;
    for (uint32_t v : {0xFEEF04BDu, 0x00010000u, ms, ls, ms, ls, 0x3Fu, 0u, 0x00040004u, 1u, 0u, 0u, 0u})
        Put32(f, f.size(), v);
    return f;
}

VersionResource TwoTables() {
    VersionResource r = RussianResource(V(5, 2), V(1, 7), "2, 1, 0, 15");
    r.translations.push_back({0x0409, 0x04B0});
    r.stringTables[0].strings.push_back({"FileDescription", "Обновление ЮКСВЕЛ"});
    r.stringTables.push_back({"040904B0", {{"FileVersion", "9.9"}, {"Empty", ""}}});
    return r;
}

// ---------------------------------------------------------------------------

TEST(VersionBlock, SizeAndBuild) {
    EXPECT_EQ(VersionBlockSize(0), 0u);
    EXPECT_EQ(VersionBlockSize(5), 0u);
    EXPECT_EQ(VersionBlockSize(6), 16u);
    EXPECT_EQ(VersionBlockSize(100), 204u);
    EXPECT_EQ(VersionBlockSize(65535), 131074u);
    EXPECT_EQ(VersionBlockSize(65536), 0u);

    std::string raw = BuildVersionBlockBytes(TwoTables());
    std::vector<uint8_t> data(VersionBlockSize(static_cast<uint32_t>(raw.size())), 0xAA);
    ASSERT_TRUE(BuildVersionBlock(raw, static_cast<uint32_t>(data.size()), data.data()));
    EXPECT_EQ(Bytes(data.data(), raw.size()), raw);
    EXPECT_EQ(Bytes(data.data() + raw.size(), data.size() - raw.size()), std::string(data.size() - raw.size(), '\0'));

    // Refusals leave the buffer untouched.
    std::vector<uint8_t> untouched(data.size(), 0x55);
    auto refuses = [&](const std::string& r, uint32_t size, uint8_t* d) {
        EXPECT_FALSE(BuildVersionBlock(r, size, d));
        EXPECT_EQ(untouched, std::vector<uint8_t>(data.size(), 0x55));
    };
    refuses(raw, static_cast<uint32_t>(untouched.size() - 1), untouched.data());
    refuses(raw, static_cast<uint32_t>(untouched.size()), nullptr);
    refuses(raw.substr(0, 5), static_cast<uint32_t>(untouched.size()), untouched.data());
    std::string lying = raw;
    Put16(lying, 0, static_cast<uint16_t>(raw.size() + 1));
    refuses(lying, static_cast<uint32_t>(untouched.size()), untouched.data());
    Put16(lying, 0, 5);
    refuses(lying, static_cast<uint32_t>(untouched.size()), untouched.data());
}

TEST(VersionBlock, FixedPartAndTranslation) {
    std::string raw = BuildVersionBlockBytes(TwoTables());
    Block b(raw);
    const uint8_t* value;
    uint32_t length;
    for (const char* path : {"\\", "", "\\\\"}) {
        ASSERT_TRUE(b.Query(path, value, length)) << path;
        EXPECT_EQ(length, 52u);
        EXPECT_EQ(value, b.data.data() + 40);  // after "VS_VERSION_INFO" and its padding
        EXPECT_EQ(Bytes(value, 52), FixedBytes(V(5, 2), V(1, 7)));
    }
    for (const char* path : {"\\VarFileInfo\\Translation", "VarFileInfo\\Translation\\", "\\varfileinfo\\TRANSLATION"}) {
        ASSERT_TRUE(b.Query(path, value, length)) << path;
        EXPECT_EQ(Bytes(value, length), std::string("\x19\x04\xE3\x04\x09\x04\xB0\x04", 8));
        EXPECT_GE(value, b.data.data());
        EXPECT_LE(value + length, b.data.data() + raw.size());
    }
}

TEST(VersionBlock, StringValues) {
    std::string raw = BuildVersionBlockBytes(TwoTables());
    Block b(raw);
    const std::pair<const char*, std::string> cases[] = {
        {"\\StringFileInfo\\041904E3\\FileVersion", "2, 1, 0, 15"},
        {"\\stringfileinfo\\041904e3\\fileversion", "2, 1, 0, 15"},
        {"StringFileInfo\\041904E3\\FileVersion\\", "2, 1, 0, 15"},
        {"\\StringFileInfo\\041904E3\\CompanyName", "Quenbrit"},
        {"\\StringFileInfo\\041904E3\\ProductName", W("ЮКСВЕЛ")},
        {"\\StringFileInfo\\041904E3\\FileDescription", W("Обновление ЮКСВЕЛ")},
        {"\\StringFileInfo\\040904B0\\FileVersion", "9.9"},
        {"\\StringFileInfo\\040904B0\\Empty", ""},
        {"\\StringFileInfo\\041904E3\\Missing", "<none>"},
        {"\\StringFileInfo\\04190000\\FileVersion", "<none>"},
        {"\\StringFileInfo\\\\FileVersion", "<none>"},
        {"\\StringFileInfo\\041904E3\\FileVersion\\More", "<none>"},
        {"\\StringFileInfo\\041904E3\\FileVersio", "<none>"},
        {"\\StringFileInfo\\041904E3\\FileVersionX", "<none>"},
        {"\\VarFileInfo\\Translations", "<none>"},
        {"\\Nothing", "<none>"},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(b.Text(path), expected) << path;

    // Converted strings live in the scratch area, each in its own place:
    // every earlier answer is still intact after all the others.
    const uint8_t* first;
    uint32_t length;
    ASSERT_TRUE(b.Query("\\StringFileInfo\\041904E3\\FileDescription", first, length));
    EXPECT_GE(first, b.data.data() + raw.size());
    for (const auto& [path, expected] : cases) b.Text(path);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first)), W("Обновление ЮКСВЕЛ"));
    EXPECT_EQ(Bytes(b.data.data(), raw.size()), raw);  // the resource itself is never written
}

TEST(VersionBlock, CyrillicKeysIgnoreCase) {
    VersionResource r = RussianResource(0, 0, "1");
    r.stringTables[0].strings.push_back({"Версия", "ёж"});
    r.stringTables[0].strings.push_back({"Ёлка", "ель"});
    Block b(BuildVersionBlockBytes(r));
    EXPECT_EQ(b.Text(W("\\StringFileInfo\\041904E3\\ВЕРСИЯ")), W("ёж"));
    EXPECT_EQ(b.Text(W("\\StringFileInfo\\041904E3\\версия")), W("ёж"));
    EXPECT_EQ(b.Text(W("\\StringFileInfo\\041904E3\\Верси")), "<none>");
    EXPECT_EQ(b.Text(W("\\StringFileInfo\\041904E3\\ёЛКА")), W("ель"));
}

TEST(VersionBlock, StringVariants) {
    // Empty value without any value bytes, a string marked binary with its
    // length in bytes, a length that runs past its node, one without NUL.
    std::string a = VersionNode(u"A", "", 0, 1);
    std::string b = VersionNode(u"B", std::string("x\0y\0\0\0", 6), 6, 0);
    std::string c = VersionNode(u"C", std::string("1\0002\0", 4), 500, 1);
    std::string d = VersionNode(u"D", std::string("z\0\0\0", 4), 2, 1);
    std::string table = VersionNode(u"041904E3", "", 0, 1, {a, b, c, d});
    std::string raw = VersionNode(u"VS_VERSION_INFO", FixedBytes(1, 2), 52, 0,
                                  {VersionNode(u"StringFileInfo", "", 0, 1, {table})});
    Block block(raw);
    EXPECT_EQ(block.Text("\\StringFileInfo\\041904E3\\A"), "");
    EXPECT_EQ(block.Text("\\StringFileInfo\\041904E3\\B"), "xy");
    EXPECT_EQ(block.Text("\\StringFileInfo\\041904E3\\C"), "12");
    EXPECT_EQ(block.Text("\\StringFileInfo\\041904E3\\D"), "z");
    // Unmappable characters become '?'.
    std::string e = VersionNode(u"E", std::string("\x00\x4E\x41\x00\x00\x00", 6), 3, 1);
    Block other(VersionNode(u"VS_VERSION_INFO", "", 0, 0, {e}));
    EXPECT_EQ(other.Text("\\E"), "?A");
}

TEST(VersionBlock, BadFixedPart) {
    std::string fixed = FixedBytes(1, 2);
    std::string wrongSignature = fixed;
    Put32(wrongSignature, 0, 0xFEEF04BE);
    const std::pair<const char*, std::string> cases[] = {
        {"no fixed part", VersionNode(u"VS_VERSION_INFO", "", 0, 0)},
        {"wrong signature", VersionNode(u"VS_VERSION_INFO", wrongSignature, 52, 0)},
        {"short length", VersionNode(u"VS_VERSION_INFO", fixed, 48, 0)},
        {"length past the node", VersionNode(u"VS_VERSION_INFO", fixed.substr(0, 48), 52, 0)},
    };
    for (const auto& [what, raw] : cases) {
        Block b(raw);
        const uint8_t* value;
        uint32_t length;
        EXPECT_FALSE(b.Query("\\", value, length)) << what;
        EXPECT_EQ(value, nullptr) << what;
        EXPECT_EQ(length, 0u) << what;
    }
}

TEST(VersionBlock, DamagedTrees) {
    const std::string good = BuildVersionBlockBytes(RussianResource(V(1, 0), 0, "3.4"));
    const std::string path = "\\StringFileInfo\\041904E3\\FileVersion";
    ASSERT_EQ(Block(good).Text(path), "3.4");
    const size_t sfi = 92;  // StringFileInfo: after the 40 + 52 bytes of the root's header and value
    ASSERT_EQ(Bytes(reinterpret_cast<const uint8_t*>(good.data()) + sfi + 6, 4), std::string("S\0t\0", 4));
    const size_t table = sfi + 36;
    const std::pair<const char*, std::function<void(std::string&)>> cases[] = {
        {"child longer than parent", [&](std::string& r) { Put16(r, sfi, static_cast<uint16_t>(good.size())); }},
        {"zero-length child", [&](std::string& r) { Put16(r, sfi, 0); }},
        {"zero-length grandchild", [&](std::string& r) { Put16(r, table, 0); }},
        {"too short child", [&](std::string& r) { Put16(r, sfi, 5); }},
        {"key without NUL", [&](std::string& r) { Put16(r, sfi, 10); }},
        {"root longer than buffer", [&](std::string& r) { Put16(r, 0, 0xFFFF); }},
        {"root too short", [&](std::string& r) { Put16(r, 0, 4); }},
        {"children past node by lying value length", [&](std::string& r) { Put16(r, sfi + 2, 0x7FFF); }},
    };
    for (const auto& [what, damage] : cases) {
        std::string raw = good;
        damage(raw);
        Block b(raw, VersionBlockSize(static_cast<uint32_t>(raw.size())));
        EXPECT_EQ(b.Text(path), "<none>") << what;
    }
    // Buffers too small for the tree or for the scratch area, and no buffer.
    const uint8_t* value;
    uint32_t length;
    EXPECT_EQ(Block(good, good.size() - 1).Text("\\"), "<none>");
    Block noScratch(good, good.size());
    EXPECT_EQ(noScratch.Text(path), "<none>");
    EXPECT_TRUE(noScratch.Query("\\", value, length));
    EXPECT_EQ(Block(good, 5).Text("\\"), "<none>");
    EXPECT_FALSE(QueryVersionBlock(nullptr, 100, "\\", value, length));
    EXPECT_EQ(value, nullptr);
}

// ---------------------------------------------------------------------------

}  // namespace
namespace test {
void PrintTo(PeFormat f, std::ostream* os) { *os << (f == PeFormat::Pe32 ? "PE32" : "PE32+"); }
}  // namespace test
namespace {

class PeFormats : public ::testing::TestWithParam<PeFormat> {};

TEST_P(PeFormats, ReadsTheVersionResource) {
    std::string raw = BuildVersionBlockBytes(TwoTables());
    PeImage image = BuildPeImage(raw, GetParam());
    std::string block;
    ASSERT_TRUE(ReadPeVersionResource(reinterpret_cast<const uint8_t*>(image.bytes.data()), image.bytes.size(), block));
    EXPECT_EQ(block, raw);
    EXPECT_EQ(image.bytes.substr(image.versionData, raw.size()), raw);

    uint32_t size = PeVersionInfoSize(image.bytes);
    EXPECT_EQ(size, raw.size() * 2 + 4);
    Block b(raw, size);
    std::fill(b.data.begin(), b.data.end(), uint8_t{0xCC});
    ASSERT_TRUE(PeVersionInfo(image.bytes, size, b.data.data()));
    EXPECT_EQ(b.Text("\\StringFileInfo\\041904E3\\FileVersion"), "2, 1, 0, 15");
    EXPECT_FALSE(PeVersionInfo(image.bytes, size - 1, b.data.data()));
}

TEST_P(PeFormats, BlockIsCutToItsOwnLength) {
    std::string raw = BuildVersionBlockBytes(RussianResource(1, 2, "1"));
    PeImage image = BuildPeImage(raw + std::string(8, 'P'), GetParam());
    std::string block;
    ASSERT_TRUE(ReadPeVersionResource(reinterpret_cast<const uint8_t*>(image.bytes.data()), image.bytes.size(), block));
    EXPECT_EQ(block, raw);
}

TEST_P(PeFormats, FilesWithoutVersion) {
    const std::string cases[] = {
        BuildPeImage("", GetParam()).bytes,
        test::BuildPeImageWithoutResources(GetParam()).bytes,
        "",
        "MZ",
        std::string(4096, '\0'),
        "plain text file, not a program at all, long enough to have a header......",
    };
    for (const std::string& bytes : cases) {
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

TEST_P(PeFormats, DamagedImages) {
    const std::string raw = BuildVersionBlockBytes(RussianResource(1, 2, "1"));
    const PeImage img = BuildPeImage(raw, GetParam());
    const size_t coff = img.peHeader + 4;
    const size_t rsrcHeader = img.sectionTable + 40;
    const size_t rel = img.resourceSection;
    using Damage = std::function<void(std::string&)>;
    const std::pair<const char*, Damage> cases[] = {
        {"no MZ", [&](std::string& b) { b[0] = 'X'; }},
        {"PE header past the end", [&](std::string& b) { Put32(b, 0x3C, static_cast<uint32_t>(b.size() - 10)); }},
        {"PE header offset huge", [&](std::string& b) { Put32(b, 0x3C, 0xFFFFFFF0); }},
        {"no PE signature", [&](std::string& b) { b[img.peHeader + 1] = 'X'; }},
        {"unknown optional magic", [&](std::string& b) { Put16(b, img.optionalHeader, 0x107); }},
        {"optional header too short", [&](std::string& b) { Put16(b, coff + 16, 96); }},
        {"optional header past the end", [&](std::string& b) { Put16(b, coff + 16, 0xFFFF); }},
        {"two data directories", [&](std::string& b) { Put32(b, img.dataDirectories - 4, 2); }},
        {"no resource directory", [&](std::string& b) { Put32(b, img.dataDirectories + 16, 0); }},
        {"resource rva in no section", [&](std::string& b) { Put32(b, img.dataDirectories + 16, 0x9000); }},
        {"no sections", [&](std::string& b) { Put16(b, coff + 2, 0); }},
        {"section table past the end", [&](std::string& b) { Put16(b, coff + 2, 0xFFFF); }},
        {"section data past the end", [&](std::string& b) { Put32(b, rsrcHeader + 20, 0x7FFFFFFF); }},
        {"section raw size zero", [&](std::string& b) { Put32(b, rsrcHeader + 16, 0); }},
        {"section virtual size too small", [&](std::string& b) { Put32(b, rsrcHeader + 8, 16); }},
        {"absurd entry count", [&](std::string& b) { Put16(b, img.rootDirectory + 14, 0xFFFF); }},
        {"version type not a directory", [&](std::string& b) { Put32(b, img.versionEntry + 4, 0x10); }},
        {"type directory is the root", [&](std::string& b) { Put32(b, img.versionEntry + 4, 0x80000000); }},
        {"type directory outside", [&](std::string& b) { Put32(b, img.versionEntry + 4, 0x8FFFFFF0); }},
        {"name directory is itself",
         [&](std::string& b) { Put32(b, img.nameDirectory + 20, 0x80000000 | static_cast<uint32_t>(img.nameDirectory - rel)); }},
        {"name directory is the root", [&](std::string& b) { Put32(b, img.nameDirectory + 20, 0x80000000); }},
        {"name directory loops to a root that leads to the version",
         [&](std::string& b) {
             Put32(b, img.nameDirectory + 20, 0x80000000);
             Put32(b, img.rootDirectory + 20, static_cast<uint32_t>(img.dataEntry - rel));
         }},
        {"name leaf without directory",
         [&](std::string& b) { Put32(b, img.nameDirectory + 20, static_cast<uint32_t>(img.dataEntry - rel)); }},
        {"language entry is a directory loop",
         [&](std::string& b) { Put32(b, img.languageDirectory + 20, 0x80000000 | static_cast<uint32_t>(img.languageDirectory - rel)); }},
        {"empty name directory", [&](std::string& b) { Put16(b, img.nameDirectory + 14, 0); }},
        {"empty language directory", [&](std::string& b) { Put16(b, img.languageDirectory + 14, 0); }},
        {"data entry outside", [&](std::string& b) { Put32(b, img.languageDirectory + 20, 0x7FFFFFF8); }},
        {"data rva outside", [&](std::string& b) { Put32(b, img.dataEntry, 0x7FFFFFFF); }},
        {"data rva in the headers", [&](std::string& b) { Put32(b, img.dataEntry, 0x10); }},
        {"data size past the section", [&](std::string& b) { Put32(b, img.dataEntry + 4, 0x10000); }},
        {"data size tiny", [&](std::string& b) { Put32(b, img.dataEntry + 4, 4); }},
        {"block longer than data", [&](std::string& b) { Put16(b, img.versionData, static_cast<uint16_t>(raw.size() + 4)); }},
        {"block length tiny", [&](std::string& b) { Put16(b, img.versionData, 2); }},
    };
    for (const auto& [what, damage] : cases) {
        std::string bytes = img.bytes;
        damage(bytes);
        ASSERT_NE(bytes, img.bytes) << what;
        std::string block;
        EXPECT_FALSE(ReadPeVersionResource(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), block)) << what;
        EXPECT_EQ(PeVersionInfoSize(bytes), 0u) << what;
    }
}

// Kept until the mutation run shows whether it alone catches a fault.
TEST_P(PeFormats, EveryTruncationAndRandomDamage) {
    const std::string raw = BuildVersionBlockBytes(TwoTables());
    const std::string full = BuildPeImage(raw, GetParam()).bytes;
    size_t found = 0;
    for (size_t len = 0; len <= full.size(); ++len) {
        std::vector<uint8_t> exact(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(len));
        std::string block;
        if (ReadPeVersionResource(exact.data(), exact.size(), block)) {
            ++found;
            EXPECT_EQ(block, raw) << len;
        }
    }
    EXPECT_GT(found, 0u);  // the zero tail of the section is not needed

    std::mt19937 rng(1234);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes(full.begin(), full.end());
        int changes = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < changes; ++k) bytes[rng() % 0x500] = static_cast<uint8_t>(rng());
        std::string block;
        if (!ReadPeVersionResource(bytes.data(), bytes.size(), block)) continue;
        ASSERT_GE(block.size(), 6u);
        ASSERT_LE(block.size(), bytes.size());
        Block b(block);
        const uint8_t* v;
        uint32_t n;
        for (const char* p : {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\041904E3\\FileVersion"})
            if (b.Query(p, v, n)) {
                ASSERT_LE(v + n, b.data.data() + b.data.size());
            }
    }
}

INSTANTIATE_TEST_SUITE_P(Pe, PeFormats, ::testing::Values(PeFormat::Pe32, PeFormat::Pe32Plus),
                         [](const auto& info) { return info.param == PeFormat::Pe32 ? "Pe32" : "Pe32Plus"; });

TEST(PeVersionFiles, SizeLimit) {
    std::string bytes = BuildPeFile(RussianResource(1, 2, "1"));
    bytes.resize(kMaxVersionFileSize, '\0');
    EXPECT_NE(PeVersionInfoSize(bytes), 0u);
    bytes += '\0';
    EXPECT_EQ(PeVersionInfoSize(bytes), 0u);
    std::vector<uint8_t> data(1024);
    EXPECT_FALSE(PeVersionInfo(bytes, static_cast<uint32_t>(data.size()), data.data()));
}

// ---------------------------------------------------------------------------
// TVersionInfo over the PE reader, through a platform that holds its files in
// memory.

class MemoryPlatform : public Platform {
public:
    std::map<std::string, std::string> files;
    bool failFetch = false;
    std::vector<std::string> calls;

    bool FileExists(const std::string& p) override { return files.count(p) != 0; }
    bool DirectoryExists(const std::string&) override { return false; }
    bool CreateDir(const std::string&) override { return false; }
    bool ForceDirectories(const std::string&) override { return false; }
    bool CopyFile(const std::string&, const std::string&) override { return false; }
    bool CopyNewFile(const std::string&, const std::string&) override { return false; }
    std::vector<std::string> FindFiles(const std::string&, const std::string&) override { return {}; }
    std::string WindowsDirectory() override { return {}; }
    bool ReadWholeFile(const std::string&, std::string&) override { return false; }
    bool WriteWholeFile(const std::string&, const std::string&) override { return false; }
    bool AppendToFile(const std::string&, const std::string&) override { return false; }
    std::unique_ptr<TextFile> OpenAppend(const std::string&) override { return nullptr; }
    DateTime Now() override { return {}; }
    std::unique_ptr<RegistryKey> OpenRegistryKey(const std::string&) override { return nullptr; }
    bool WaitForProcess(uint32_t) override { return false; }
    bool StartProcess(const std::string&, const std::string&) override { return false; }

    uint32_t VersionInfoSize(const std::string& path, uint32_t& handle) override {
        calls.push_back("size " + path);
        handle = 77;
        auto it = files.find(path);
        return it == files.end() ? 0 : PeVersionInfoSize(it->second);
    }
    bool VersionInfo(const std::string& path, uint32_t handle, uint32_t size, uint8_t* data) override {
        calls.push_back("fetch " + path + " " + std::to_string(handle) + " " + std::to_string(size));
        auto it = files.find(path);
        return !failFetch && it != files.end() && PeVersionInfo(it->second, size, data);
    }
    bool VersionQuery(uint8_t* data, uint32_t size, const std::string& subBlock, const uint8_t*& value,
                      uint32_t& length) override {
        return QueryVersionBlock(data, size, subBlock, value, length);
    }
};

std::string VersionTextOf(const VersionResource& r, PeFormat format = PeFormat::Pe32) {
    MemoryPlatform platform;
    platform.files["C:\\TOVR\\Shift.exe"] = BuildPeFile(r, format);
    return FileVersionOf(platform, "C:\\TOVR\\Shift.exe");
}

TEST(VersionInfoText, StringOrFixedPart) {
    auto with = [](std::function<void(VersionResource&)> change) {
        VersionResource r = RussianResource(V(5, 2), V(1, 7), "2.1.0.15");
        change(r);
        return r;
    };
    const std::pair<const char*, VersionResource> cases[] = {
        {"2.1.0.15", with([](VersionResource&) {})},
        {"2, 1, 0, 15", with([](VersionResource& r) { r.stringTables[0].strings[1].value = "2, 1, 0, 15"; })},
        {"1.0 сборка 7", with([](VersionResource& r) { r.stringTables[0].strings[1].value = "1.0 сборка 7"; })},
        {"1.0.0.0", with([](VersionResource& r) {
             r.fileVersionMS = V(1, 0), r.fileVersionLS = 0;
             r.stringTables[0].strings[1].value = "";
         })},
        {"5.2.1.7", with([](VersionResource& r) {
             r.stringTables[0].strings[1].value = "";
             r.emptyStringsWithoutValue = true;
         })},
        {"5.2.1.7", with([](VersionResource& r) { r.stringTables[0].strings.erase(r.stringTables[0].strings.begin() + 1); })},
        {"5.2.1.7", with([](VersionResource& r) { r.stringTables[0].key = "040904B0"; })},
        {"5.2.1.7", with([](VersionResource& r) { r.translations.clear(); })},
        {"5.2.1.7", with([](VersionResource& r) { r.stringTables.clear(); })},
        {"10.0.65535.1", with([](VersionResource& r) {
             r.fileVersionMS = V(10, 0), r.fileVersionLS = V(65535, 1);
             r.stringTables.clear();
         })},
        {"9.9", with([](VersionResource& r) {
             r.translations.insert(r.translations.begin(), {0x0409, 0x04B0});
             r.stringTables.push_back({"040904B0", {{"FileVersion", "9.9"}}});
         })},
        {"2.1.0.15", with([](VersionResource& r) { r.stringTables[0].key = "041904e3"; })},
        {"", with([](VersionResource& r) {
             r.hasFixedInfo = false;
             r.stringTables.clear();
         })},
        {"3", with([](VersionResource& r) {
             r.hasFixedInfo = false;
             r.stringTables[0].strings[1].value = "3";
         })},
    };
    for (const auto& [expected, resource] : cases) {
        EXPECT_EQ(VersionTextOf(resource), W(expected));
        EXPECT_EQ(VersionTextOf(resource, PeFormat::Pe32Plus), W(expected));
    }
}

TEST(VersionInfoText, ReaderParts) {
    MemoryPlatform platform;
    platform.files["C:\\A.dll"] = BuildPeFile(TwoTables(), PeFormat::Pe32Plus);
    TVersionInfo info(platform, "C:\\A.dll");
    uint32_t size = PeVersionInfoSize(platform.files["C:\\A.dll"]);
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"size C:\\A.dll", "fetch C:\\A.dll 77 " + std::to_string(size)}));
    EXPECT_EQ(info.TranslationKey(), "041904E3");
    TranslationEntry entry{};
    ASSERT_NE(info.FirstTranslation(entry), nullptr);
    EXPECT_EQ(entry.language, 0x0419);
    EXPECT_EQ(entry.codePage, 0x04E3);
    uint32_t ms = 0, ls = 0;
    ASSERT_TRUE(info.FixedFileVersion(ms, ls));
    EXPECT_EQ(ms, V(5, 2));
    EXPECT_EQ(ls, V(1, 7));
    EXPECT_EQ(info.StringValue("ProductName"), W("ЮКСВЕЛ"));
    EXPECT_EQ(info.StringValue("FileDescription"), W("Обновление ЮКСВЕЛ"));
    EXPECT_EQ(info.StringValue("Missing"), "");
    EXPECT_EQ(info.StringValue(std::string(300, 'N')), "");
    EXPECT_EQ(info.FileVersionText(), "2, 1, 0, 15");
}

TEST(VersionInfoText, NoVersionGivesEmptyText) {
    MemoryPlatform platform;
    platform.files["C:\\data.txt"] = "just some text";
    platform.files["C:\\NoRes.exe"] = test::BuildPeImageWithoutResources().bytes;
    platform.files["C:\\NoVer.exe"] = BuildPeImage("").bytes;
    platform.files["C:\\Ok.exe"] = BuildPeFile(RussianResource(1, 2, "7"));
    for (const char* path : {"C:\\data.txt", "C:\\NoRes.exe", "C:\\NoVer.exe", "C:\\missing.exe"}) {
        TVersionInfo info(platform, path);
        EXPECT_EQ(info.FileVersionText(), "") << path;
        EXPECT_EQ(info.TranslationKey(), "") << path;
    }
    EXPECT_EQ(FileVersionOf(platform, "C:\\Ok.exe"), "7");
    platform.failFetch = true;
    EXPECT_EQ(FileVersionOf(platform, "C:\\Ok.exe"), "");
}

}  // namespace
}  // namespace yrn
