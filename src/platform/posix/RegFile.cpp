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

bool ParseValueLine(const std::string& line, RegValue& v) {
    size_t i = 0;
    if (!ReadQuoted(line, i, v.name) || i >= line.size() || line[i] != '=') return false;
    ++i;
    if (i < line.size() && line[i] == '"') {
        v.isDword = false;
        return ReadQuoted(line, i, v.text) && i == line.size();
    }
    const std::string prefix = "dword:";
    if (line.compare(i, prefix.size(), prefix) != 0) return false;
    std::string hex = line.substr(i + prefix.size());
    if (hex.empty() || hex.size() > 8) return false;
    uint32_t d = 0;
    for (char c : hex) {
        int n;
        if (c >= '0' && c <= '9') n = c - '0';
        else if (c >= 'a' && c <= 'f') n = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') n = c - 'A' + 10;
        else return false;
        d = d * 16 + static_cast<uint32_t>(n);
    }
    v.isDword = true;
    v.dword = d;
    return true;
}

}  // namespace

RegFile RegFile::Parse(const std::string& bytes) {
    RegFile file;
    RegKeyData* current = nullptr;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        std::string line = bytes.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? bytes.size() : nl + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            current = &file.AddKey(line.substr(1, line.size() - 2));
            continue;
        }
        RegValue v;
        if (current && ParseValueLine(line, v)) {
            if (!FindValue(*current, v.name)) current->values.push_back(v);
        }
    }
    return file;
}

std::string RegFile::ValueLine(const RegValue& v) {
    std::string out = Quote(v.name) + "=";
    if (v.isDword) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
        out += buf;
    } else {
        out += Quote(v.text);
    }
    return out + "\r\n";
}

std::string RegFile::Text() const {
    std::string out = "REGEDIT4\r\n\r\n";
    for (const RegKeyData& key : keys) {
        out += "[" + key.path + "]\r\n";
        for (const RegValue& v : key.values) out += ValueLine(v);
        out += "\r\n";
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
    keys.push_back({path, {}});
    return keys.back();
}

RegValue* RegFile::FindValue(RegKeyData& key, const std::string& name) {
    for (RegValue& v : key.values)
        if (SameText(v.name, name)) return &v;
    return nullptr;
}

void RegFile::SetString(RegKeyData& key, const std::string& name, const std::string& text) {
    RegValue* v = FindValue(key, name);
    if (!v) {
        key.values.push_back({name, false, {}, 0});
        v = &key.values.back();
    }
    v->isDword = false;
    v->text = text;
}

void RegFile::SetDword(RegKeyData& key, const std::string& name, uint32_t value) {
    RegValue* v = FindValue(key, name);
    if (!v) {
        key.values.push_back({name, true, {}, 0});
        v = &key.values.back();
    }
    v->isDword = true;
    v->dword = value;
}

}  // namespace yrn
