// The registry kept as a REGEDIT4 text file (Windows-1251): a first line
// "REGEDIT4", then key headers "[HKEY_LOCAL_MACHINE\...]" each followed by
// "\"Name\"=\"text\"" or "\"Name\"=dword:0000000c" lines. Key and value names
// match ignoring letter case. The file may hold what this tool never writes:
// other value types, default values ("@="), comments, damaged lines. Every
// such line is kept byte for byte in its place; only the values the tool sets
// are written anew.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace yrn {

// Other: a value line with a readable name but a type this tool does not
// write, or a damaged string or dword; it reads as a value of the wrong type.
enum class RegType { String, Dword, Other };

struct RegValue {
    std::string name;
    RegType type = RegType::String;
    std::string text;
    uint32_t dword = 0;
    // The entry's bytes as read, line ends included; empty once the tool has
    // set the value (its line is then made from the fields above).
    std::string raw;
    // False for a line that names no value (comment, blank, "@=", damaged):
    // kept only for its bytes, never found by name.
    bool named = true;
};

struct RegKeyData {
    std::string path;    // e.g. "HKEY_LOCAL_MACHINE\SOFTWARE\Quenbrit\YRN\Update"
    std::string header;  // the header line as read; empty for a key the tool added
    std::vector<RegValue> values;
    // The first value of each name (upper case), kept by RegFile: the key
    // holds a value per installed file.
    std::unordered_map<std::string, size_t> byName = {};
    size_t indexed = 0;  // values [0, indexed) are in byName
};

class RegFile {
public:
    // Whether bytes are a registry file this tool may rewrite.
    static bool IsRegedit4(const std::string& bytes);
    static RegFile Parse(const std::string& bytes);
    // The file's bytes: what was parsed, exactly, with the values set since.
    std::string Text() const;
    // The line the tool writes for a value, with its line end.
    static std::string ValueLine(const RegValue& v);

    RegKeyData* FindKey(const std::string& path);
    RegKeyData& AddKey(const std::string& path);  // finds or appends
    static RegValue* FindValue(RegKeyData& key, const std::string& name);
    static void SetString(RegKeyData& key, const std::string& name, const std::string& text);
    static void SetDword(RegKeyData& key, const std::string& name, uint32_t value);

    std::string preamble = "REGEDIT4\r\n\r\n";  // everything before the first key
    std::vector<RegKeyData> keys;
};

}  // namespace yrn
