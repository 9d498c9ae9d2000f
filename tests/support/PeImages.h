// Test data read the same way on every build: the PE images of tests/data/pe
// (written by tests/data/make_pe.py), little-endian patching for damaging them
// on purpose, and golden files for the tests that run on Windows too.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace yrn::test {

// "" if missing.
inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
inline std::string PeImagePath(const std::string& name) { return YRN_TEST_DATA "/pe/" + name; }
inline std::string PeImageBytes(const std::string& name) { return FileBytes(PeImagePath(name)); }
inline void Patch(std::string& bytes, size_t offset, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}
// Offsets in every image: the version resource's directory entries and data.
constexpr size_t kTypeEntry = 0x420, kNameDir = 0x468, kLanguageDir = 0x480, kDataEntry = 0x498, kVersionData = 0x4C0;

// The bytes of tests/golden/<name>.
inline std::string Golden(const std::string& name) { return FileBytes(YRN_TEST_DATA "/../golden/" + name); }
// Compares actual with tests/golden/<name>; YRN_UPDATE_GOLDEN=1 rewrites the file from it.
inline void ExpectGolden(const std::string& actual, const std::string& name) {
    if (std::getenv("YRN_UPDATE_GOLDEN")) std::ofstream(YRN_TEST_DATA "/../golden/" + name, std::ios::binary) << actual;
    EXPECT_EQ(actual, Golden(name)) << name;
}

}
