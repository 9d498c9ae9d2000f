// The registry kept as a REGEDIT4 text file (Windows-1251): a first line
// "REGEDIT4", a blank line, then key headers "[HKEY_LOCAL_MACHINE\...]" each
// followed by "\"Name\"=\"text\"" or "\"Name\"=dword:0000000c" lines. Key
// and value names match ignoring letter case. Lines that cannot be parsed are
// dropped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace yrn {

struct RegValue {
    std::string name;
    bool isDword = false;
    std::string text;
    uint32_t dword = 0;
};

struct RegKeyData {
    std::string path;  // full path, e.g. "HKEY_LOCAL_MACHINE\SOFTWARE\Quenbrit\YRN\Update"
    std::vector<RegValue> values;
};

class RegFile {
public:
    static RegFile Parse(const std::string& bytes);
    std::string Text() const;
    // One value's line of Text(), with its line end.
    static std::string ValueLine(const RegValue& v);

    RegKeyData* FindKey(const std::string& path);
    RegKeyData& AddKey(const std::string& path);  // finds or appends
    static RegValue* FindValue(RegKeyData& key, const std::string& name);
    static void SetString(RegKeyData& key, const std::string& name, const std::string& text);
    static void SetDword(RegKeyData& key, const std::string& name, uint32_t value);

    std::vector<RegKeyData> keys;
};

}  // namespace yrn
