// The PE images of tests/data/pe (written by tests/data/make_pe.py) and
// little-endian patching for damaging them on purpose.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace yrn::test {

inline std::string PeImagePath(const std::string& name) { return std::string(YRN_TEST_DATA) + "/pe/" + name; }

inline std::string PeImageBytes(const std::string& name) {
    std::ifstream in(PeImagePath(name), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void Patch(std::string& bytes, size_t offset, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

// Offsets in every image: the version resource's directory entries and data.
constexpr size_t kVersionTypeEntry = 0x420, kVersionNameDir = 0x468, kVersionLanguageDir = 0x480,
                 kVersionDataEntry = 0x498, kVersionData = 0x4C0;

}  // namespace yrn::test
