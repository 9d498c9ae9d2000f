// Windows-1251 text to and from the wide strings of the W APIs. The tool
// never calls the ANSI APIs, so it behaves the same whatever the system's
// ANSI code page is.
#pragma once

#include <string>

namespace yrn {

std::wstring Wide(const std::string& text1251);
std::string Narrow(const std::wstring& wide);  // unmappable -> '?'
std::string Narrow(const wchar_t* wide);       // nullptr -> ""

}  // namespace yrn
