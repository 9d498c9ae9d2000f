// The PE images of tests/data/pe (written by tests/data/make_pe.py) and
// little-endian patching for damaging them on purpose.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace yrn::test {

inline std::string PeImagePath(const std::string& name) { return YRN_TEST_DATA "/pe/" + name; }
inline std::string PeImageBytes(const std::string& name) {
    std::ifstream in(PeImagePath(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
inline void Patch(std::string& bytes, size_t offset, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}
// Offsets in every image: the version resource's directory entries and data.
constexpr size_t kTypeEntry = 0x420, kNameDir = 0x468, kLanguageDir = 0x480, kDataEntry = 0x498, kVersionData = 0x4C0;

}  // namespace yrn::test
