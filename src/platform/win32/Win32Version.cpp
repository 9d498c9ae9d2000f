// The version service. The core's block is twice the size Windows asks for:
// the first half holds the wide block GetFileVersionInfoW fills, the second
// half the 1251 copies of the string values asked for. A string whose wide
// value lies at byte offset off is written at half + off / 2, so answers to
// different queries never share bytes and each stays valid with the block.
#include "Win32Api.h"

#include <cstring>

#include "Win32Platform.h"
#include "WideText.h"
#include "core/text.h"

namespace yrn {
namespace {

bool IsStringQuery(const std::string& subBlock) {
    size_t i = subBlock.find_first_not_of('\\');
    if (i == std::string::npos) return false;
    const std::string head = "STRINGFILEINFO";
    return Upper1251(subBlock.substr(i, head.size())) == head;
}

}  // namespace

uint32_t Win32Platform::VersionInfoSize(const std::string& path, uint32_t& handle) {
    DWORD h = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(Wide(path).c_str(), &h);
    handle = h;
    if (size == 0 || size > 0x7FFFFFFFu / 2) return 0;
    return size * 2;
}

bool Win32Platform::VersionInfo(const std::string& path, uint32_t handle, uint32_t size, uint8_t* data) {
    if (size < 2 || !data) return false;
    std::memset(data, 0, size);
    return ::GetFileVersionInfoW(Wide(path).c_str(), handle, size / 2, data) != 0;
}

bool Win32Platform::VersionQuery(uint8_t* data, uint32_t size, const std::string& subBlock, const uint8_t*& value,
                                 uint32_t& length) {
    value = nullptr;
    length = 0;
    if (!data || size < 2) return false;
    const uint32_t half = size / 2;
    void* found = nullptr;
    UINT foundLength = 0;
    if (!::VerQueryValueW(data, Wide(subBlock).c_str(), &found, &foundLength) || !found) return false;
    const uint8_t* p = static_cast<const uint8_t*>(found);
    if (p < data || p >= data + half) return false;
    const uint32_t offset = static_cast<uint32_t>(p - data);
    if (!IsStringQuery(subBlock)) {
        if (offset + foundLength > half) return false;
        value = p;
        length = foundLength;
        return true;
    }
    std::wstring text;
    for (uint32_t at = offset; at + 1 < half; at += 2) {
        wchar_t c;
        std::memcpy(&c, data + at, sizeof c);
        if (c == L'\0') break;
        text.push_back(c);
    }
    const std::string narrow = Narrow(text);
    uint8_t* out = data + half + offset / 2;
    if (out + narrow.size() + 1 > data + size) return false;
    std::memcpy(out, narrow.data(), narrow.size());
    out[narrow.size()] = 0;
    value = out;
    length = static_cast<uint32_t>(narrow.size() + 1);
    return true;
}

}  // namespace yrn
