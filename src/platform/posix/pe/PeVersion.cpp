#include "PeVersion.h"

#include <cstring>
#include <vector>

#include "core/text.h"

namespace yrn {

namespace {

// ---------------------------------------------------------------------------
// Bounds-checked little-endian reads. Every offset is checked against the
// buffer before it is used; sums are formed in 64 bits so nothing wraps.

class Bytes {
public:
    Bytes(const uint8_t* p, size_t n) : p_(p), n_(n) {}

    size_t size() const { return n_; }
    const uint8_t* at(size_t off) const { return p_ + off; }
    bool Has(uint64_t off, uint64_t len) const { return off <= n_ && len <= n_ - off; }
    uint16_t U16(size_t off) const { return static_cast<uint16_t>(p_[off] | (p_[off + 1] << 8)); }
    uint32_t U32(size_t off) const {
        return static_cast<uint32_t>(p_[off]) | (static_cast<uint32_t>(p_[off + 1]) << 8) |
               (static_cast<uint32_t>(p_[off + 2]) << 16) | (static_cast<uint32_t>(p_[off + 3]) << 24);
    }

private:
    const uint8_t* p_;
    size_t n_;
};

// ---------------------------------------------------------------------------
// PE image

constexpr uint16_t kMzSignature = 0x5A4D;       // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;   // "PE\0\0"
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kResourceDirSize = 16;
constexpr size_t kResourceEntrySize = 8;
constexpr size_t kResourceDataEntrySize = 16;
constexpr size_t kMinNodeSize = 6;  // wLength, wValueLength, wType

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawPointer;
};

// File offset of rva and the number of file bytes of its section from there.
bool MapRva(const Bytes& file, const std::vector<Section>& sections, uint32_t rva, size_t& offset,
            size_t& available) {
    for (const Section& s : sections) {
        uint32_t span = s.rawSize;
        if (s.virtualSize != 0 && s.virtualSize < span) span = s.virtualSize;
        if (rva < s.virtualAddress || rva - s.virtualAddress >= span) continue;
        uint64_t off = uint64_t{s.rawPointer} + (rva - s.virtualAddress);
        uint64_t end = uint64_t{s.rawPointer} + span;
        if (end > file.size()) end = file.size();
        if (off >= end) return false;
        offset = static_cast<size_t>(off);
        available = static_cast<size_t>(end - off);
        return true;
    }
    return false;
}

// One directory of the resource tree, inside the resource area [0, size) of
// the section that holds it (offsets relative to its start).
class ResourceTree {
public:
    ResourceTree(const Bytes& file, size_t base, size_t size) : file_(file), base_(base), size_(size) {}

    // Number of entries of the directory at dirOff; false when the directory
    // or its entry array does not lie inside the resource area.
    bool Entries(uint32_t dirOff, uint32_t& count) const {
        if (!Inside(dirOff, kResourceDirSize)) return false;
        count = uint32_t{file_.U16(base_ + dirOff + 12)} + file_.U16(base_ + dirOff + 14);
        return Inside(uint64_t{dirOff} + kResourceDirSize, uint64_t{count} * kResourceEntrySize);
    }
    uint32_t EntryName(uint32_t dirOff, uint32_t i) const { return file_.U32(EntryPos(dirOff, i)); }
    uint32_t EntryTarget(uint32_t dirOff, uint32_t i) const { return file_.U32(EntryPos(dirOff, i) + 4); }

    bool DataEntry(uint32_t entryOff, uint32_t& rva, uint32_t& size) const {
        if (!Inside(entryOff, kResourceDataEntrySize)) return false;
        rva = file_.U32(base_ + entryOff);
        size = file_.U32(base_ + entryOff + 4);
        return true;
    }

private:
    bool Inside(uint64_t off, uint64_t len) const { return off <= size_ && len <= size_ - off; }
    size_t EntryPos(uint32_t dirOff, uint32_t i) const {
        return base_ + dirOff + kResourceDirSize + size_t{i} * kResourceEntrySize;
    }

    const Bytes& file_;
    size_t base_;
    size_t size_;
};

// Follows the subdirectory target of one entry; a directory seen before on
// the way down (a loop) or an entry that is not a subdirectory ends the walk.
bool EnterSubdirectory(uint32_t target, std::vector<uint32_t>& visited, uint32_t& dirOff) {
    if ((target & kHighBit) == 0) return false;
    uint32_t off = target & ~kHighBit;
    for (uint32_t seen : visited)
        if (seen == off) return false;
    visited.push_back(off);
    dirOff = off;
    return true;
}

bool FindVersionData(const Bytes& file, const std::vector<Section>& sections, uint32_t resourceRva,
                     size_t& dataOff, size_t& dataSize) {
    size_t base = 0, area = 0;
    if (!MapRva(file, sections, resourceRva, base, area)) return false;
    ResourceTree tree(file, base, area);

    // Level 1: the type RT_VERSION, given by number.
    std::vector<uint32_t> visited{0};
    uint32_t count = 0;
    if (!tree.Entries(0, count)) return false;
    uint32_t typeDir = 0;
    bool found = false;
    for (uint32_t i = 0; i < count && !found; ++i) {
        if (tree.EntryName(0, i) != kRtVersion) continue;
        if (!EnterSubdirectory(tree.EntryTarget(0, i), visited, typeDir)) return false;
        found = true;
    }
    if (!found) return false;

    // Level 2: the first name.
    if (!tree.Entries(typeDir, count) || count == 0) return false;
    uint32_t nameDir = 0;
    if (!EnterSubdirectory(tree.EntryTarget(typeDir, 0), visited, nameDir)) return false;

    // Level 3: the first language, which must be a data leaf.
    if (!tree.Entries(nameDir, count) || count == 0) return false;
    uint32_t leaf = tree.EntryTarget(nameDir, 0);
    if (leaf & kHighBit) return false;

    uint32_t rva = 0, size = 0;
    if (!tree.DataEntry(leaf, rva, size)) return false;
    size_t off = 0, available = 0;
    if (!MapRva(file, sections, rva, off, available) || size > available) return false;
    dataOff = off;
    dataSize = size;
    return true;
}

// ---------------------------------------------------------------------------
// VS_VERSIONINFO node tree

size_t Align4(size_t v) { return (v + 3) & ~size_t{3}; }

// One node: wLength, wValueLength, wType, szKey (UTF-16, NUL-terminated),
// padding to 4, Value, padding to 4, children. Offsets are from the start of
// the block, to which the 4-byte alignment is relative.
struct Node {
    size_t start = 0;
    size_t end = 0;
    size_t keyStart = 0;
    size_t keyUnits = 0;
    size_t valueStart = 0;
    uint16_t valueLength = 0;  // wValueLength as stored
    uint16_t type = 0;         // 1 text, 0 binary
    size_t childrenStart = 0;
};

// The node at start, which must lie entirely before limit.
bool ParseNode(const Bytes& b, size_t start, size_t limit, Node& n) {
    if (start > limit || limit - start < kMinNodeSize) return false;
    size_t len = b.U16(start);
    if (len < kMinNodeSize || len > limit - start) return false;
    n.start = start;
    n.end = start + len;
    n.valueLength = b.U16(start + 2);
    n.type = b.U16(start + 4);
    n.keyStart = start + kMinNodeSize;
    size_t pos = n.keyStart;
    while (true) {
        if (n.end - pos < 2) return false;  // the key has no terminating NUL
        if (b.U16(pos) == 0) break;
        pos += 2;
    }
    n.keyUnits = (pos - n.keyStart) / 2;
    n.valueStart = Align4(pos + 2);
    size_t valueBytes = size_t{n.valueLength} * (n.type == 1 ? 2 : 1);
    n.childrenStart = Align4(n.valueStart + valueBytes);
    return true;
}

char16_t FoldCase(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
    if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 0x20);  // а..я
    if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 0x50);  // ѐ..џ
    return c;
}

bool KeyEquals(const Bytes& b, const Node& n, const std::u16string& name) {
    if (n.keyUnits != name.size()) return false;
    for (size_t i = 0; i < name.size(); ++i)
        if (FoldCase(static_cast<char16_t>(b.U16(n.keyStart + 2 * i))) != FoldCase(name[i])) return false;
    return true;
}

bool FindChild(const Bytes& b, const Node& parent, const std::u16string& name, Node& child) {
    size_t pos = parent.childrenStart;
    while (pos < parent.end) {
        Node n;
        if (!ParseNode(b, pos, parent.end, n)) return false;  // damaged: nothing after it counts
        if (KeyEquals(b, n, name)) {
            child = n;
            return true;
        }
        pos = Align4(n.end);  // n.end > pos, so the walk always advances
    }
    return false;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoSize = 52;

bool Fail(const uint8_t*& value, uint32_t& length) {
    value = nullptr;
    length = 0;
    return false;
}

}  // namespace

bool ReadPeVersionResource(const uint8_t* image, size_t size, std::string& block) {
    block.clear();
    if (image == nullptr) return false;
    Bytes file(image, size);
    if (!file.Has(0, 64) || file.U16(0) != kMzSignature) return false;
    size_t pe = file.U32(0x3C);
    if (!file.Has(pe, 4 + kCoffHeaderSize) || file.U32(pe) != kPeSignature) return false;
    size_t coff = pe + 4;
    uint32_t sectionCount = file.U16(coff + 2);
    size_t optionalSize = file.U16(coff + 16);
    size_t opt = coff + kCoffHeaderSize;
    if (!file.Has(opt, optionalSize) || optionalSize < 2) return false;

    size_t countField = 0, dirsField = 0;
    switch (file.U16(opt)) {
        case kMagicPe32: countField = 92; dirsField = 96; break;
        case kMagicPe32Plus: countField = 108; dirsField = 112; break;
        default: return false;
    }
    if (optionalSize < dirsField + 8 * (kResourceDirectoryIndex + 1)) return false;
    if (file.U32(opt + countField) <= kResourceDirectoryIndex) return false;
    uint32_t resourceRva = file.U32(opt + dirsField + 8 * kResourceDirectoryIndex);
    if (resourceRva == 0) return false;

    size_t table = opt + optionalSize;
    if (sectionCount == 0 || !file.Has(table, uint64_t{sectionCount} * kSectionHeaderSize)) return false;
    std::vector<Section> sections;
    sections.reserve(sectionCount);
    for (uint32_t i = 0; i < sectionCount; ++i) {
        size_t s = table + size_t{i} * kSectionHeaderSize;
        sections.push_back({file.U32(s + 12), file.U32(s + 8), file.U32(s + 16), file.U32(s + 20)});
    }

    size_t dataOff = 0, dataSize = 0;
    if (!FindVersionData(file, sections, resourceRva, dataOff, dataSize)) return false;
    if (dataSize < kMinNodeSize) return false;
    size_t blockLength = file.U16(dataOff);
    if (blockLength < kMinNodeSize || blockLength > dataSize) return false;
    block.assign(reinterpret_cast<const char*>(file.at(dataOff)), blockLength);
    return true;
}

uint32_t VersionBlockSize(uint32_t rawSize) {
    // A block's length is a 16-bit field, so no real resource is larger.
    if (rawSize < kMinNodeSize || rawSize > 0xFFFF) return 0;
    return rawSize * 2 + 4;
}

bool BuildVersionBlock(const std::string& raw, uint32_t size, uint8_t* data) {
    if (data == nullptr || raw.size() < kMinNodeSize || raw.size() > 0xFFFF) return false;
    const uint8_t* r = reinterpret_cast<const uint8_t*>(raw.data());
    size_t blockLength = Bytes(r, raw.size()).U16(0);
    if (blockLength < kMinNodeSize || blockLength > raw.size()) return false;
    if (size < VersionBlockSize(static_cast<uint32_t>(raw.size()))) return false;
    std::memcpy(data, r, blockLength);
    std::memset(data + blockLength, 0, size - blockLength);
    return true;
}

bool QueryVersionBlock(uint8_t* data, uint32_t size, const std::string& subBlock, const uint8_t*& value,
                       uint32_t& length) {
    if (data == nullptr || size < kMinNodeSize) return Fail(value, length);
    Bytes b(data, size);
    size_t rawLength = b.U16(0);  // the tree lies in [0, rawLength); scratch after it
    Node node;
    if (!ParseNode(b, 0, rawLength > size ? 0 : rawLength, node)) return Fail(value, length);

    std::vector<std::string> parts = SplitPath(subBlock);
    for (const std::string& part : parts) {
        Node child;
        if (!FindChild(b, node, Cp1251ToUtf16(part), child)) return Fail(value, length);
        node = child;
    }

    if (parts.empty()) {
        // The fixed part: a VS_FIXEDFILEINFO with its signature.
        if (node.valueLength < kFixedInfoSize || node.valueStart > node.end ||
            node.end - node.valueStart < kFixedInfoSize || b.U32(node.valueStart) != kFixedInfoSignature)
            return Fail(value, length);
        value = data + node.valueStart;
        length = kFixedInfoSize;
        return true;
    }

    // Some resource compilers mark the strings of a string table as binary
    // and count their length in bytes; they are text all the same.
    bool stringTableEntry = parts.size() == 3 && SameText(parts[0], "StringFileInfo");
    if (node.type == 1 || stringTableEntry) {
        size_t units = node.type == 1 ? node.valueLength : node.valueLength / 2u;
        size_t room = node.valueStart < node.end ? (node.end - node.valueStart) / 2 : 0;
        if (units > room) units = room;
        std::u16string text;
        for (size_t i = 0; i < units; ++i) {
            char16_t c = static_cast<char16_t>(b.U16(node.valueStart + 2 * i));
            if (c == 0) break;
            text += c;
        }
        std::string converted = Utf16To1251(text);
        if (converted.size() > text.size()) converted.resize(text.size());
        uint64_t dest = uint64_t{rawLength} + node.valueStart / 2;
        if (dest + converted.size() + 1 > size) return Fail(value, length);
        std::memcpy(data + dest, converted.data(), converted.size());
        data[dest + converted.size()] = 0;
        value = data + dest;
        length = static_cast<uint32_t>(converted.size() + 1);
        return true;
    }

    if (node.valueStart > node.end || node.end - node.valueStart < node.valueLength) return Fail(value, length);
    value = data + node.valueStart;
    length = node.valueLength;
    return true;
}

uint32_t PeVersionInfoSize(const std::string& fileBytes) {
    if (fileBytes.size() > kMaxVersionFileSize) return 0;
    std::string raw;
    if (!ReadPeVersionResource(reinterpret_cast<const uint8_t*>(fileBytes.data()), fileBytes.size(), raw))
        return 0;
    return VersionBlockSize(static_cast<uint32_t>(raw.size()));
}

bool PeVersionInfo(const std::string& fileBytes, uint32_t size, uint8_t* data) {
    if (fileBytes.size() > kMaxVersionFileSize) return false;
    std::string raw;
    if (!ReadPeVersionResource(reinterpret_cast<const uint8_t*>(fileBytes.data()), fileBytes.size(), raw))
        return false;
    return BuildVersionBlock(raw, size, data);
}

}  // namespace yrn
