// Windows-1251 text helpers. Text inside the program is 1251 bytes; UTF-8
// appears only at the edges (terminal, POSIX file names, test sources).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace yrn {

std::string Utf8To1251(const std::string& utf8);  // unmappable -> '?'
std::string Cp1251ToUtf8(const std::string& text);
std::u16string Cp1251ToUtf16(const std::string& text);
std::string Utf16To1251(const std::u16string& text);  // unmappable -> '?'

// Upper case of a 1251 byte (Latin and Cyrillic letters).
char UpperChar1251(char c);
std::string Upper1251(const std::string& s);
bool SameText(const std::string& a, const std::string& b);  // ignoring letter case

// Removes leading and trailing characters with codes 0 to 32.
std::string TrimControls(const std::string& s);

// Appends "\" when s is not empty and does not end with one.
std::string IncludeTrailingBackslash(const std::string& s);

// Whole-text decimal integers, as StrToInt / StrToInt64 (optional sign,
// decimal or "$"/"0x" hexadecimal; nothing else). nullopt when not a number.
std::optional<int32_t> ParseInt32(const std::string& s);
std::optional<int64_t> ParseInt64(const std::string& s);

// Wildcard match as a Windows directory search does ('*' any run, '?' any
// one character), letter case ignored.
bool WildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace yrn

namespace yrn {
// A Windows-1251 text from a UTF-8 literal of the sources.
inline std::string W(const char* utf8) { return Utf8To1251(utf8); }
}  // namespace yrn
