// The file version of an executable, read through the platform's version
// service. Empty text for files without version information.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../platform.h"

namespace yrn {

struct TranslationEntry {
    uint16_t language;
    uint16_t codePage;
};

std::string VersionToText(uint32_t ms, uint32_t ls);

class TVersionInfo {
public:
    TVersionInfo(Platform& platform, const std::string& fileName);

    std::string FileVersionText();
    std::string StringValue(const std::string& name);
    std::string TranslationKey();
    const TranslationEntry* FirstTranslation(TranslationEntry& storage);
    bool FixedFileVersion(uint32_t& ms, uint32_t& ls);

private:
    void LoadData();
    bool Query(const std::string& path, const uint8_t*& value, uint32_t& length);

    Platform& platform_;
    std::string PathCopy;
    bool HasData = false;
    uint32_t DataSize = 0;
    std::vector<uint8_t> Data;
    uint32_t QueryHandle = 0;
};

// The version text of path, or empty text.
std::string FileVersionOf(Platform& platform, const std::string& path);

}  // namespace yrn
