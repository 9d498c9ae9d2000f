#include "support/PeBuilder.h"

#include <fstream>

namespace yrn::test {

void Put16(std::string& bytes, size_t offset, uint16_t v) {
    if (bytes.size() < offset + 2) bytes.resize(offset + 2, '\0');
    bytes[offset] = static_cast<char>(v & 0xFF);
    bytes[offset + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& bytes, size_t offset, uint32_t v) {
    Put16(bytes, offset, static_cast<uint16_t>(v & 0xFFFF));
    Put16(bytes, offset + 2, static_cast<uint16_t>(v >> 16));
}

namespace {

void Append16(std::string& out, uint16_t v) { Put16(out, out.size(), v); }
void Append32(std::string& out, uint32_t v) { Put32(out, out.size(), v); }
void Pad(std::string& out, size_t alignment) {
    while (out.size() % alignment) out += '\0';
}

std::string Utf16Bytes(const std::u16string& s, bool withNul) {
    std::string out;
    for (char16_t c : s) Append16(out, c);
    if (withNul) Append16(out, 0);
    return out;
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = c;
        size_t extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        if (extra) cp = c & (0x3F >> extra);
        for (size_t k = 1; k <= extra && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string VersionNode(const std::u16string& key, const std::string& value, uint16_t valueLength,
                        uint16_t type, const std::vector<std::string>& children) {
    std::string out(6, '\0');
    out += Utf16Bytes(key, true);
    Pad(out, 4);
    out += value;
    for (const std::string& child : children) {
        Pad(out, 4);
        out += child;
    }
    Put16(out, 0, static_cast<uint16_t>(out.size()));
    Put16(out, 2, valueLength);
    Put16(out, 4, type);
    return out;
}

VersionResource RussianResource(uint32_t ms, uint32_t ls, const char* fileVersionText) {
    VersionResource r;
    r.fileVersionMS = r.productVersionMS = ms;
    r.fileVersionLS = r.productVersionLS = ls;
    r.translations = {{0x0419, 0x04E3}};
    StringTable table{"041904E3", {{"CompanyName", "Quenbrit"}}};
    if (fileVersionText) table.strings.push_back({"FileVersion", fileVersionText});
    table.strings.push_back({"ProductName", "ЮКСВЕЛ"});
    r.stringTables = {table};
    return r;
}

std::string BuildVersionBlockBytes(const VersionResource& r) {
    std::string fixed;
    if (r.hasFixedInfo) {
        for (uint32_t v : {0xFEEF04BDu, 0x00010000u, r.fileVersionMS, r.fileVersionLS, r.productVersionMS,
                           r.productVersionLS, 0x3Fu, 0u, 0x00040004u, 1u, 0u, 0u, 0u})
            Append32(fixed, v);
    }
    std::vector<std::string> parts;
    if (!r.stringTables.empty()) {
        std::vector<std::string> tables;
        for (const StringTable& t : r.stringTables) {
            std::vector<std::string> strings;
            for (const VersionString& s : t.strings) {
                std::u16string v = Utf8ToUtf16(s.value);
                if (v.empty() && r.emptyStringsWithoutValue)
                    strings.push_back(VersionNode(Utf8ToUtf16(s.name), "", 0, 1));
                else
                    strings.push_back(VersionNode(Utf8ToUtf16(s.name), Utf16Bytes(v, true),
                                                  static_cast<uint16_t>(v.size() + 1), 1));
            }
            tables.push_back(VersionNode(Utf8ToUtf16(t.key), "", 0, 1, strings));
        }
        parts.push_back(VersionNode(u"StringFileInfo", "", 0, 1, tables));
    }
    if (!r.translations.empty()) {
        std::string list;
        for (auto [language, codePage] : r.translations) {
            Append16(list, language);
            Append16(list, codePage);
        }
        parts.push_back(VersionNode(u"VarFileInfo", "", 0, 1,
                                    {VersionNode(u"Translation", list, static_cast<uint16_t>(list.size()), 0)}));
    }
    return VersionNode(u"VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), 0, parts);
}

namespace {

constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kCodeRva = 0x1000;
constexpr uint32_t kResourceRva = 0x2000;

uint32_t AlignUp(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

// Resource directory with the given entries (name or id, target).
void AppendDirectory(std::string& out, uint16_t named, const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
    Append32(out, 0);  // characteristics
    Append32(out, 0);  // time stamp
    Append32(out, 0);  // version
    Append16(out, named);
    Append16(out, static_cast<uint16_t>(entries.size() - named));
    for (auto [name, target] : entries) {
        Append32(out, name);
        Append32(out, target);
    }
}

constexpr uint32_t kSubdirectory = 0x80000000u;

// The resource section's bytes; fills the resource offsets of image (relative
// to the section, corrected by the caller).
std::string BuildResources(const std::string& versionBlock, PeImage& image) {
    const bool withVersion = !versionBlock.empty();
    // Fixed layout: root, other-type name dir, other-type language dir,
    // other-type data entry, version name dir, language dir, data entry,
    // type name string, other data, version data.
    const uint32_t rootSize = 16 + 8 * (withVersion ? 3 : 2);
    const uint32_t otherNames = rootSize;
    const uint32_t otherLangs = otherNames + 24;
    const uint32_t otherEntry = otherLangs + 24;
    const uint32_t nameDir = otherEntry + 16;
    const uint32_t langDir = nameDir + 24;
    const uint32_t dataEntry = langDir + 24;
    const uint32_t typeName = withVersion ? dataEntry + 16 : nameDir;
    const uint32_t otherData = typeName + 16;
    const uint32_t versionData = otherData + 8;

    std::string out;
    std::vector<std::pair<uint32_t, uint32_t>> root = {{kSubdirectory | typeName, kSubdirectory | otherNames},
                                                       {3, kSubdirectory | otherNames}};
    if (withVersion) root.push_back({16, kSubdirectory | nameDir});
    AppendDirectory(out, 1, root);
    AppendDirectory(out, 0, {{1, kSubdirectory | otherLangs}});
    AppendDirectory(out, 0, {{0x0409, otherEntry}});
    Append32(out, kResourceRva + otherData);
    Append32(out, 8);
    Append32(out, 0);
    Append32(out, 0);
    if (withVersion) {
        AppendDirectory(out, 0, {{1, kSubdirectory | langDir}});
        AppendDirectory(out, 0, {{0x0419, dataEntry}});
        Append32(out, kResourceRva + versionData);
        Append32(out, static_cast<uint32_t>(versionBlock.size()));
        Append32(out, 0);
        Append32(out, 0);
    }
    // "MYDATA" as a counted UTF-16 string, padded to 16 bytes.
    Append16(out, 6);
    out += Utf16Bytes(u"MYDATA", false);
    out.resize(otherData, '\0');
    out += "ABCDEFGH";
    out += versionBlock;

    image.rootDirectory = 0;
    image.versionEntry = withVersion ? 16 + 2 * 8 : 0;
    image.nameDirectory = withVersion ? nameDir : 0;
    image.languageDirectory = withVersion ? langDir : 0;
    image.dataEntry = withVersion ? dataEntry : 0;
    image.versionData = withVersion ? versionData : 0;
    return out;
}

PeImage BuildImage(const std::string* versionBlock, PeFormat format) {
    PeImage image;
    const bool plus = format == PeFormat::Pe32Plus;
    const uint16_t optionalSize = plus ? 240 : 224;
    std::string rsrc;
    if (versionBlock) rsrc = BuildResources(*versionBlock, image);

    std::string& b = image.bytes;
    b.assign(0x80, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x80);
    image.peHeader = 0x80;
    b += std::string("PE\0\0", 4);
    const uint16_t sections = versionBlock ? 2 : 1;
    Append16(b, plus ? 0x8664 : 0x014C);
    Append16(b, sections);
    Append32(b, 0);  // time stamp
    Append32(b, 0);  // symbol table
    Append32(b, 0);  // symbols
    Append16(b, optionalSize);
    Append16(b, plus ? 0x0022 : 0x0102);

    image.optionalHeader = b.size();
    const size_t opt = b.size();
    b.resize(opt + optionalSize, '\0');
    const uint32_t rsrcRaw = AlignUp(static_cast<uint32_t>(rsrc.size()), kFileAlignment);
    const uint32_t imageSize = kResourceRva + AlignUp(static_cast<uint32_t>(rsrc.size()) + 1, kSectionAlignment);
    Put16(b, opt, plus ? 0x20B : 0x10B);
    b[opt + 2] = 6;                       // linker version
    Put32(b, opt + 4, kFileAlignment);    // size of code
    Put32(b, opt + 8, rsrcRaw);           // initialised data
    Put32(b, opt + 16, kCodeRva);         // entry point
    Put32(b, opt + 20, kCodeRva);         // base of code
    if (plus) {
        Put32(b, opt + 24, 0x40000000);   // image base (64 bits)
    } else {
        Put32(b, opt + 24, kResourceRva); // base of data
        Put32(b, opt + 28, 0x00400000);   // image base
    }
    Put32(b, opt + 32, kSectionAlignment);
    Put32(b, opt + 36, kFileAlignment);
    Put16(b, opt + 40, 4);                // operating system version
    Put16(b, opt + 48, 4);                // subsystem version
    Put32(b, opt + 56, imageSize);
    Put32(b, opt + 60, 0x200);            // size of headers
    Put16(b, opt + 68, 2);                // Windows GUI
    const size_t sizes = 72;  // stack and heap reserve/commit
    const size_t step = plus ? 8 : 4;
    Put32(b, opt + sizes, 0x100000);
    Put32(b, opt + sizes + step, 0x1000);
    Put32(b, opt + sizes + 2 * step, 0x100000);
    Put32(b, opt + sizes + 3 * step, 0x1000);
    const size_t count = plus ? 108 : 92;
    Put32(b, opt + count, 16);
    image.dataDirectories = opt + count + 4;
    if (versionBlock) {
        Put32(b, image.dataDirectories + 8 * 2, kResourceRva);
        Put32(b, image.dataDirectories + 8 * 2 + 4, static_cast<uint32_t>(rsrc.size()));
    }

    image.sectionTable = b.size();
    auto section = [&](const char* name, uint32_t virtualSize, uint32_t rva, uint32_t rawSize, uint32_t raw,
                       uint32_t flags) {
        std::string header(8, '\0');
        header.replace(0, std::string(name).size(), name);
        b += header;
        Append32(b, virtualSize);
        Append32(b, rva);
        Append32(b, rawSize);
        Append32(b, raw);
        Append32(b, 0);
        Append32(b, 0);
        Append16(b, 0);
        Append16(b, 0);
        Append32(b, flags);
    };
    section(".text", 0x10, kCodeRva, kFileAlignment, 0x200, 0x60000020);
    if (versionBlock) section(".rsrc", static_cast<uint32_t>(rsrc.size()), kResourceRva, rsrcRaw, 0x400, 0x40000040);

    b.resize(0x200, '\0');
    b += '\xC3';  // ret
    b.resize(0x400, '\0');
    if (versionBlock) {
        image.resourceSection = 0x400;
        image.resourceRva = kResourceRva;
        b += rsrc;
        b.resize(0x400 + rsrcRaw, '\0');
        image.rootDirectory += 0x400;
        if (!versionBlock->empty()) {
            image.versionEntry += 0x400;
            image.nameDirectory += 0x400;
            image.languageDirectory += 0x400;
            image.dataEntry += 0x400;
            image.versionData += 0x400;
        }
    }
    return image;
}

}  // namespace

PeImage BuildPeImage(const std::string& versionBlock, PeFormat format) { return BuildImage(&versionBlock, format); }

PeImage BuildPeImageWithoutResources(PeFormat format) { return BuildImage(nullptr, format); }

std::string BuildPeFile(const VersionResource& resource, PeFormat format) {
    return BuildPeImage(BuildVersionBlockBytes(resource), format).bytes;
}

bool WriteBinaryFile(const std::string& nativePath, const std::string& bytes) {
    std::ofstream out(nativePath, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace yrn::test
