// The version reader: an image or a raw version resource of any bytes never
// reads or answers outside its buffers. The first byte picks the input kind:
// even, a whole file; odd, a raw VS_VERSIONINFO resource.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/pe/PeVersion.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// Every answer lies inside the block; a text answer ends with its NUL.
void Query(std::vector<uint8_t>& block, const std::string& path, bool text, const uint8_t** out = nullptr,
           uint32_t* outLength = nullptr) {
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    const bool ok = yrn::QueryVersionBlock(block.data(), static_cast<uint32_t>(block.size()), path, value, length);
    if (!ok) {
        Check(value == nullptr && length == 0);
        return;
    }
    Check(value != nullptr && value >= block.data());
    const size_t offset = static_cast<size_t>(value - block.data());
    Check(offset <= block.size() && length <= block.size() - offset);
    if (text && length > 0) Check(value[length - 1] == 0);
    if (out) *out = value;
    if (outLength) *outLength = length;
}

void QueryAll(std::vector<uint8_t>& block) {
    Query(block, "\\", false);
    const uint8_t* translation = nullptr;
    uint32_t length = 0;
    Query(block, "\\VarFileInfo\\Translation", false, &translation, &length);
    std::string key = "040904E3";
    if (translation && length >= 4) {
        uint16_t language, codePage;
        std::memcpy(&language, translation, 2);
        std::memcpy(&codePage, translation + 2, 2);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04X%04X", language, codePage);
        key = buf;
    }
    for (const char* name : {"FileVersion", "ProductVersion", "CompanyName", "FileDescription"})
        Query(block, "\\StringFileInfo\\" + key + "\\" + name, true);
    Query(block, "\\StringFileInfo\\\\" + key + "\\\\FileVersion\\", true);
    Query(block, "\\StringFileInfo", false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool rawResource = data[0] & 1;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    std::string raw;
    if (rawResource) {
        raw = bytes;
    } else {
        if (!yrn::ReadPeVersionResource(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), raw)) {
            Check(yrn::PeVersionInfoSize(bytes) == 0);
            return 0;
        }
        Check(raw.size() <= bytes.size());
        const uint32_t fileSize = yrn::PeVersionInfoSize(bytes);
        if (fileSize) {
            std::vector<uint8_t> block(fileSize);
            Check(yrn::PeVersionInfo(bytes, fileSize, block.data()));
            QueryAll(block);
        }
    }
    const uint32_t blockSize = yrn::VersionBlockSize(static_cast<uint32_t>(raw.size()));
    if (blockSize == 0 || blockSize > (64u << 20)) return 0;
    std::vector<uint8_t> block(blockSize, 0xCD);
    if (!yrn::BuildVersionBlock(raw, blockSize, block.data())) return 0;
    QueryAll(block);
    // A buffer one byte short is refused, never overrun.
    std::vector<uint8_t> tooSmall(blockSize - 1);
    if (blockSize > 1) Check(!yrn::BuildVersionBlock(raw, blockSize - 1, tooSmall.data()));
    return 0;
}
