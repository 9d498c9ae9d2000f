// Builds small PE images (PE32 and PE32+) with a version resource in memory,
// for tests that need real executables with known versions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace yrn::test {

// One string of a string table; name and value are UTF-8.
struct VersionString {
    std::string name;
    std::string value;
};

// One StringFileInfo table; key such as "041904E3".
struct StringTable {
    std::string key;
    std::vector<VersionString> strings;
};

struct VersionResource {
    bool hasFixedInfo = true;
    uint32_t fileVersionMS = 0;
    uint32_t fileVersionLS = 0;
    uint32_t productVersionMS = 0;
    uint32_t productVersionLS = 0;
    // (language, code page) pairs; empty: the block has no VarFileInfo.
    std::vector<std::pair<uint16_t, uint16_t>> translations;
    // Empty: the block has no StringFileInfo.
    std::vector<StringTable> stringTables;
    // Write empty string values with no value at all (wValueLength 0)
    // instead of a lone NUL.
    bool emptyStringsWithoutValue = false;
};

// A Russian resource in code page 1251 with one table "041904E3" holding
// FileVersion = fileVersionText (left out when fileVersionText is null).
VersionResource RussianResource(uint32_t ms, uint32_t ls, const char* fileVersionText);

// The VS_VERSIONINFO block as stored in a file's resources.
std::string BuildVersionBlockBytes(const VersionResource& resource);

// A VS_VERSIONINFO tree node: header, key, value, children, each part aligned
// to 4 bytes. For hand-made (also damaged) blocks.
std::string VersionNode(const std::u16string& key, const std::string& value, uint16_t valueLength,
                        uint16_t type, const std::vector<std::string>& children = {});

std::u16string Utf8ToUtf16(const std::string& utf8);

enum class PeFormat { Pe32, Pe32Plus };

// A built image and the file offsets of its parts, so that tests can damage
// them on purpose.
struct PeImage {
    std::string bytes;
    size_t peHeader = 0;         // "PE\0\0"
    size_t optionalHeader = 0;
    size_t dataDirectories = 0;  // first data directory entry
    size_t sectionTable = 0;
    size_t resourceSection = 0;  // file offset of the resource section
    uint32_t resourceRva = 0;
    size_t rootDirectory = 0;    // resource types
    size_t versionEntry = 0;     // the RT_VERSION entry of the root directory
    size_t nameDirectory = 0;    // names of RT_VERSION
    size_t languageDirectory = 0;
    size_t dataEntry = 0;        // IMAGE_RESOURCE_DATA_ENTRY of the version
    size_t versionData = 0;      // the VS_VERSIONINFO bytes
};

// An image with a code section and a resource section. The resource tree
// holds a named type and RT_ICON before RT_VERSION; RT_VERSION (name 1,
// language 0419) holds versionBlock and is left out when it is empty.
PeImage BuildPeImage(const std::string& versionBlock, PeFormat format = PeFormat::Pe32);
// An image without a resource directory.
PeImage BuildPeImageWithoutResources(PeFormat format = PeFormat::Pe32);

// The bytes of an image with that version resource.
std::string BuildPeFile(const VersionResource& resource, PeFormat format = PeFormat::Pe32);

// Writes bytes to a file at a native path; false on failure.
bool WriteBinaryFile(const std::string& nativePath, const std::string& bytes);

// Little-endian patching of built images.
void Put16(std::string& bytes, size_t offset, uint16_t v);
void Put32(std::string& bytes, size_t offset, uint32_t v);

}  // namespace yrn::test
