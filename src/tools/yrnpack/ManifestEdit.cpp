#include "ManifestEdit.h"

#include <vector>

#include "core/text.h"

namespace yrn {
namespace {

struct RawLine {
    std::string text, end;  // end: "\r\n", "\n" or "" (the last line, unterminated)
};

std::vector<RawLine> SplitLines(const std::string& text) {
    std::vector<RawLine> lines;
    for (size_t pos = 0; pos < text.size();) {
        const size_t nl = text.find('\n', pos);
        const size_t next = nl == std::string::npos ? text.size() : nl + 1;
        size_t cut = nl == std::string::npos ? text.size() : nl;
        if (nl != std::string::npos && cut > pos && text[cut - 1] == '\r') --cut;
        lines.push_back({text.substr(pos, cut - pos), text.substr(cut, next - cut)});
        pos = next;
    }
    return lines;
}

std::string Trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// Whether line is a section header; name: the section it opens.
bool SectionName(const std::string& line, std::string& name) {
    const std::string t = Trimmed(line);
    if (t.empty() || t[0] != '[') return false;
    const size_t close = t.find(']');
    name = Trimmed(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

bool IsEntry(const std::string& line, std::string* key = nullptr) {
    const std::string t = Trimmed(line);
    if (t.empty() || t[0] == ';' || t[0] == '[') return false;
    if (key) *key = Trimmed(t.substr(0, t.find('=')));
    return true;
}

}  // namespace

std::string WithValue(const std::string& text, const std::string& section, const std::string& key,
                      const std::string& value) {
    std::vector<RawLine> lines = SplitLines(text);
    const std::string eol = lines.empty() || lines[0].end.empty() ? "\r\n" : lines[0].end;
    const std::string entry = key + "=" + value;
    size_t header = lines.size();
    for (size_t i = 0; i < lines.size() && header == lines.size(); ++i)
        if (std::string name; SectionName(lines[i].text, name) && SameText(name, section)) header = i;
    if (header == lines.size()) {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = eol;
        lines.push_back({"[" + section + "]", eol});
        lines.push_back({entry, eol});
    } else {
        size_t last = header;
        bool replaced = false;
        for (size_t i = header + 1; i < lines.size() && !replaced; ++i) {
            std::string name;
            if (SectionName(lines[i].text, name)) break;
            if (!IsEntry(lines[i].text, &name)) continue;
            last = i;
            if (SameText(name, key)) lines[i].text = entry, replaced = true;
        }
        if (!replaced) {
            if (lines[last].end.empty()) lines[last].end = eol;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last) + 1, RawLine{entry, eol});
        }
    }
    std::string out;
    for (const RawLine& line : lines) out += line.text + line.end;
    return out;
}

}  // namespace yrn
