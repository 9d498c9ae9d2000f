#include "WideText.h"

#include "core/text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

namespace yrn {

std::wstring Wide(const std::string& text1251) {
    const std::u16string u = Cp1251ToUtf16(text1251);
    return std::wstring(u.begin(), u.end());
}

std::string Narrow(const std::wstring& wide) { return Utf16To1251(std::u16string(wide.begin(), wide.end())); }

std::string Narrow(const wchar_t* wide) { return wide ? Narrow(std::wstring(wide)) : std::string(); }

}  // namespace yrn
