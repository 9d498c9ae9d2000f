#include "RegFile.h"

#include <cstdio>

#include "core/text.h"

namespace yrn {
namespace {

// Reads a quoted, escaped string starting at s[i] == '"'. Advances i past it.
bool ReadQuoted(const std::string& s, size_t& i, std::string& out) {
    if (i >= s.size() || s[i] != '"') return false;
    out.clear();
    for (++i; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            ++i;
            return true;
        }
        if (c == '\\') {
            if (++i >= s.size()) return false;
            c = s[i];
        }
        out += c;
    }
    return false;
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

// Reads "Name"=... into v; false when the line names no value.
bool ParseValueLine(const std::string& line, RegValue& v) {
    size_t i = 0;
    if (!ReadQuoted(line, i, v.name) || i >= line.size() || line[i] != '=') return false;
    ++i;
    v.type = RegType::Other;
    if (i < line.size() && line[i] == '"') {
        std::string text;
        if (ReadQuoted(line, i, text) && i == line.size()) {
            v.type = RegType::String;
            v.text = text;
        }
        return true;
    }
    const std::string prefix = "dword:";
    if (line.compare(i, prefix.size(), prefix) != 0) return true;
    std::string hex = line.substr(i + prefix.size());
    if (hex.empty() || hex.size() > 8) return true;
    uint32_t d = 0;
    for (char c : hex) {
        int n;
        if (c >= '0' && c <= '9') n = c - '0';
        else if (c >= 'a' && c <= 'f') n = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') n = c - 'A' + 10;
        else return true;
        d = d * 16 + static_cast<uint32_t>(n);
    }
    v.type = RegType::Dword;
    v.dword = d;
    return true;
}

// The line without its line end.
std::string Content(const std::string& line) {
    size_t n = line.size();
    if (n && line[n - 1] == '\n') --n;
    if (n && line[n - 1] == '\r') --n;
    return line.substr(0, n);
}

bool IsHeader(const std::string& content) {
    return content.size() >= 2 && content.front() == '[' && content.back() == ']';
}

bool IsBlank(const RegValue& v) { return !v.named && Content(v.raw).empty(); }

// A binary value ("=hex:" or "=hex(n):") may go on over lines ending in "\",
// each further line indented.
bool Continues(const std::string& content) {
    size_t eq = content.find("\"=hex");
    return eq != std::string::npos && !content.empty() && content.back() == '\\';
}

// A piece goes on a line of its own; a last line that ends in a bare CR is
// ended by LF alone, so that it reads back as it did.
void AppendPiece(std::string& out, const std::string& piece) {
    if (!out.empty() && out.back() != '\n') out += out.back() == '\r' ? "\n" : "\r\n";
    out += piece;
}

void Set(RegKeyData& key, const RegValue& value) {
    if (RegValue* v = RegFile::FindValue(key, value.name)) {
        const std::string stored = v->name;  // the name keeps the spelling it has
        *v = value;
        v->name = stored;
        return;
    }
    // A new value goes after the key's last line that is not blank; only
    // blank lines, never in the index, move.
    auto at = key.values.end();
    while (at != key.values.begin() && IsBlank(*(at - 1))) --at;
    const size_t pos = static_cast<size_t>(at - key.values.begin());
    if (pos < key.indexed) {
        key.byName.emplace(Upper1251(value.name), pos);
        ++key.indexed;
    }
    key.values.insert(at, value);
}

}  // namespace

bool RegFile::IsRegedit4(const std::string& bytes) {
    return bytes.compare(0, 8, "REGEDIT4") == 0 && (bytes.size() == 8 || bytes[8] == '\r' || bytes[8] == '\n');
}

RegFile RegFile::Parse(const std::string& bytes) {
    RegFile file;
    file.preamble.clear();
    RegKeyData* current = nullptr;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        size_t end = nl == std::string::npos ? bytes.size() : nl + 1;
        std::string raw = bytes.substr(pos, end - pos);
        pos = end;
        const std::string content = Content(raw);
        if (IsHeader(content)) {
            file.keys.push_back({content.substr(1, content.size() - 2), raw, {}});
            current = &file.keys.back();
            continue;
        }
        if (!current) {
            file.preamble += raw;
            continue;
        }
        RegValue v;
        v.named = ParseValueLine(content, v);
        if (v.named && Continues(content)) {
            while (pos < bytes.size() && !raw.empty() && Content(raw).back() == '\\') {
                nl = bytes.find('\n', pos);
                end = nl == std::string::npos ? bytes.size() : nl + 1;
                if (bytes[pos] != ' ' && bytes[pos] != '\t') break;
                raw += bytes.substr(pos, end - pos);
                pos = end;
            }
        }
        if (!v.named) v = RegValue{{}, RegType::Other, {}, 0, {}, false};
        v.raw = std::move(raw);
        current->values.push_back(std::move(v));
    }
    return file;
}

std::string RegFile::ValueLine(const RegValue& v) {
    std::string out = Quote(v.name) + "=";
    if (v.type == RegType::Dword) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
        out += buf;
    } else {
        out += Quote(v.text);
    }
    return out + "\r\n";
}

std::string RegFile::Text() const {
    std::string out = preamble;
    for (const RegKeyData& key : keys) {
        AppendPiece(out, key.header.empty() ? "[" + key.path + "]\r\n" : key.header);
        for (const RegValue& v : key.values) AppendPiece(out, v.raw.empty() ? ValueLine(v) : v.raw);
    }
    return out;
}

RegKeyData* RegFile::FindKey(const std::string& path) {
    for (RegKeyData& k : keys)
        if (SameText(k.path, path)) return &k;
    return nullptr;
}

RegKeyData& RegFile::AddKey(const std::string& path) {
    if (RegKeyData* k = FindKey(path)) return *k;
    RegValue blank;
    blank.named = false;
    blank.raw = "\r\n";
    keys.push_back({path, {}, {blank}});
    return keys.back();
}

RegValue* RegFile::FindValue(RegKeyData& key, const std::string& name) {
    for (; key.indexed < key.values.size(); ++key.indexed)
        if (key.values[key.indexed].named) key.byName.emplace(Upper1251(key.values[key.indexed].name), key.indexed);
    auto it = key.byName.find(Upper1251(name));
    return it == key.byName.end() ? nullptr : &key.values[it->second];
}

void RegFile::SetString(RegKeyData& key, const std::string& name, const std::string& text) {
    Set(key, {name, RegType::String, text, 0, {}, true});
}

void RegFile::SetDword(RegKeyData& key, const std::string& name, uint32_t value) {
    Set(key, {name, RegType::Dword, {}, value, {}, true});
}

}  // namespace yrn
