#include "TVersionInfo.h"

#include <cstdio>
#include <cstring>

namespace yrn {

std::string VersionToText(uint32_t ms, uint32_t ls) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
    return buf;
}

TVersionInfo::TVersionInfo(Platform& platform, const std::string& fileName)
    : platform_(platform), PathCopy(fileName) {
    LoadData();
}

void TVersionInfo::LoadData() {
    HasData = false;
    DataSize = platform_.VersionInfoSize(PathCopy, QueryHandle);
    if (DataSize == 0) return;
    Data.assign(DataSize, 0);
    HasData = platform_.VersionInfo(PathCopy, QueryHandle, DataSize, Data.data());
}

bool TVersionInfo::Query(const std::string& path, const uint8_t*& value, uint32_t& length) {
    value = nullptr;
    length = 0;
    return platform_.VersionQuery(Data.data(), DataSize, path, value, length);
}

const TranslationEntry* TVersionInfo::FirstTranslation(TranslationEntry& storage) {
    if (!HasData) return nullptr;
    const uint8_t* value;
    uint32_t length;
    Query("\\VarFileInfo\\Translation", value, length);
    if (!value || length < 4) return nullptr;
    std::memcpy(&storage.language, value, 2);
    std::memcpy(&storage.codePage, value + 2, 2);
    return &storage;
}

std::string TVersionInfo::TranslationKey() {
    TranslationEntry entry;
    if (!FirstTranslation(entry)) return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", (static_cast<unsigned>(entry.language) << 16) | entry.codePage);
    return buf;
}

bool TVersionInfo::FixedFileVersion(uint32_t& ms, uint32_t& ls) {
    if (!HasData) return false;
    const uint8_t* value;
    uint32_t length;
    Query("\\", value, length);
    // VS_FIXEDFILEINFO: signature, struct version, then dwFileVersionMS/LS.
    if (!value || length < 16) return false;
    std::memcpy(&ms, value + 8, 4);
    std::memcpy(&ls, value + 12, 4);
    return true;
}

std::string TVersionInfo::StringValue(const std::string& name) {
    if (!HasData) return {};
    std::string path = "\\StringFileInfo\\" + TranslationKey() + "\\" + name;
    if (path.size() > 255) return {};
    const uint8_t* value;
    uint32_t length;
    if (!Query(path, value, length) || !value) return {};
    const uint8_t* end = Data.data() + Data.size();
    if (value < Data.data() || value >= end) return {};
    const void* nul = std::memchr(value, 0, static_cast<size_t>(end - value));
    size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - value) : static_cast<size_t>(end - value);
    return std::string(reinterpret_cast<const char*>(value), n);
}

std::string TVersionInfo::FileVersionText() {
    std::string result = StringValue("FileVersion");
    uint32_t ms, ls;
    if (result.empty() && HasData && FixedFileVersion(ms, ls)) result = VersionToText(ms, ls);
    return result;
}

std::string FileVersionOf(Platform& platform, const std::string& path) {
    TVersionInfo info(platform, path);
    return info.FileVersionText();
}

}  // namespace yrn
