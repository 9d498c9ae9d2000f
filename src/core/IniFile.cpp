#include "IniFile.h"

#include "text.h"

namespace yrn {
namespace {

// A CR counts as a blank: Windows reads "k=v" + CR at the very end of a
// file without its LF as the value "v".
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string TrimBlanks(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool AllBlank(const std::string& s) {
    for (char c : s)
        if (!IsBlank(c)) return false;
    return true;
}

}  // namespace

IniDocument::Line IniDocument::Parse(const std::string& text) {
    Line line;
    line.text = text;
    std::string t = TrimBlanks(text);
    if (t.empty() || t[0] == ';') return line;
    if (t[0] == '[') {
        size_t close = t.find(']');
        line.kind = Line::Section;
        line.name = TrimBlanks(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return line;
    }
    line.kind = Line::Entry;
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
        line.name = t;
        return line;
    }
    line.name = TrimBlanks(t.substr(0, eq));
    std::string v = TrimBlanks(t.substr(eq + 1));
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
    line.value = v;
    return line;
}

IniDocument::IniDocument(std::string bytes) {
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        std::string text = bytes.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        // Only a CR before the LF belongs to the line end: a CR that ends an
        // unterminated last line is kept, so that the text written back (and
        // appended to) reads as it did.
        if (nl != std::string::npos && !text.empty() && text.back() == '\r') text.pop_back();
        lines_.push_back(Parse(text));
        if (nl == std::string::npos) {
            endsWithNewline_ = false;
            break;
        }
        pos = nl + 1;
    }
}

bool IniDocument::SectionRange(const std::string& section, size_t& header, size_t& end) const {
    if (!indexValid_) {
        sectionIndex_.clear();
        for (size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].kind == Line::Section) sectionIndex_.emplace(Upper1251(lines_[i].name), i);
        indexValid_ = true;
    }
    auto it = sectionIndex_.find(Upper1251(TrimBlanks(section)));
    if (it == sectionIndex_.end()) return false;
    header = it->second;
    end = header + 1;
    while (end < lines_.size() && lines_[end].kind != Line::Section) ++end;
    return true;
}

// Keeps the section index in step with a line inserted at pos, instead of
// building it again from every line: a run writes a manifest key by key.
void IniDocument::LineInserted(size_t pos) {
    if (!indexValid_) return;
    if (pos + 1 < lines_.size())
        for (auto& entry : sectionIndex_)
            if (entry.second >= pos) ++entry.second;
    if (lines_[pos].kind != Line::Section) return;
    auto [it, added] = sectionIndex_.emplace(Upper1251(lines_[pos].name), pos);
    if (!added && it->second > pos) it->second = pos;
}

const std::string* IniDocument::Find(const std::string& section, const std::string& key) const {
    size_t header, end;
    if (!SectionRange(section, header, end)) return nullptr;
    std::string want = TrimBlanks(key);
    for (size_t i = header + 1; i < end; ++i)
        if (lines_[i].kind == Line::Entry && SameText(lines_[i].name, want)) return &lines_[i].value;
    return nullptr;
}

bool IniDocument::SectionExists(const std::string& section) const {
    size_t header, end;
    return SectionRange(section, header, end);
}

std::vector<std::string> IniDocument::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    size_t header, end;
    if (!SectionRange(section, header, end)) return keys;
    for (size_t i = header + 1; i < end; ++i)
        if (lines_[i].kind == Line::Entry) keys.push_back(lines_[i].name);
    return keys;
}

bool IniDocument::Set(const std::string& section, const std::string& key, const std::string& value) {
    std::string sec = TrimBlanks(section), k = TrimBlanks(key);
    std::string entry = k + "=" + value;
    lastAppend_.clear();
    size_t header, end;
    if (!SectionRange(sec, header, end)) {
        std::string added;
        if (!endsWithNewline_) added += "\r\n";
        added += "[" + sec + "]\r\n" + entry + "\r\n";
        if (textValid_) text_ += added;
        lines_.push_back(Parse("[" + sec + "]"));
        LineInserted(lines_.size() - 1);
        lines_.push_back(Parse(entry));
        LineInserted(lines_.size() - 1);
        endsWithNewline_ = true;
        lastAppend_ = added;
        return true;
    }
    size_t last = header;
    for (size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind == Line::Entry && SameText(lines_[i].name, k)) {
            Line changed = Parse(lines_[i].name + "=" + value);
            if (textValid_) text_.replace(Offset(i), lines_[i].text.size(), changed.text);
            lines_[i] = std::move(changed);
            return false;
        }
        if (lines_[i].kind != Line::Other || !AllBlank(lines_[i].text)) last = i;
    }
    bool atEnd = last + 1 == lines_.size();
    if (textValid_ && !atEnd) text_.insert(Offset(last + 1), entry + "\r\n");
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last + 1), Parse(entry));
    LineInserted(last + 1);
    if (!atEnd) return false;
    lastAppend_ = (endsWithNewline_ ? "" : "\r\n") + entry + "\r\n";
    if (textValid_) text_ += lastAppend_;
    endsWithNewline_ = true;
    return true;
}

size_t IniDocument::Offset(size_t line) const {
    size_t offset = 0;
    for (size_t i = 0; i < line; ++i) offset += lines_[i].text.size() + 2;
    return offset;
}

const std::string& IniDocument::Text() const {
    if (!textValid_) {
        size_t size = 0;
        for (const Line& line : lines_) size += line.text.size() + 2;
        text_.clear();
        text_.reserve(size);
        for (size_t i = 0; i < lines_.size(); ++i) {
            text_ += lines_[i].text;
            if (i + 1 < lines_.size() || endsWithNewline_) text_ += "\r\n";
        }
        textValid_ = true;
    }
    return text_;
}

TIniFile::TIniFile(Platform& platform, std::string path, Writes writes)
    : platform_(platform), path_(std::move(path)), writes_(writes) {}

void TIniFile::Preload(std::string bytes) {
    doc_ = IniDocument(std::move(bytes));
    loaded_ = exists_ = true;
    unreadable_ = false;
}

IniDocument& TIniFile::Doc() {
    if (!loaded_) {
        std::string bytes;
        exists_ = platform_.ReadWholeFile(path_, bytes);
        // A file that is there but cannot be read is not an empty file:
        // rewriting it from an empty document would lose what it holds.
        unreadable_ = !exists_ && platform_.FileExists(path_);
        doc_ = IniDocument(exists_ ? bytes : std::string());
        loaded_ = true;
    }
    return doc_;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) {
    const std::string* v = Doc().Find(section, key);
    return v ? *v : def;
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) {
    std::string s = ReadString(section, key, "");
    return ParseInt32(s).value_or(def);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) {
    return Doc().Find(section, key) != nullptr;
}

bool TIniFile::SectionExists(const std::string& section) { return Doc().SectionExists(section); }

std::vector<std::string> TIniFile::ReadSection(const std::string& section) { return Doc().Keys(section); }

std::vector<std::pair<std::string, std::string>> TIniFile::ReadSectionValues(const std::string& section) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const std::string& k : Doc().Keys(section)) out.emplace_back(k, ReadString(section, k, ""));
    return out;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    WriteStrings({{section, key, value}});
}

void TIniFile::WriteStrings(const std::vector<Entry>& entries) {
    IniDocument& doc = Doc();
    if (unreadable_) {
        loaded_ = false;
        throw YrnError("Failed to read profile file " + path_);
    }
    bool appended = true;
    std::string tail;
    for (const Entry& e : entries) {
        appended = doc.Set(e.section, e.key, e.value) && appended;
        if (appended) tail += doc.LastAppend();
    }
    bool ok = writes_ == Writes::Pending      ? platform_.WriteWholeFilePending(path_, doc.Text())
              : appended && exists_ ? (writes_ == Writes::Staged ? platform_.AppendToFileStaged(path_, tail)
                                                                   : platform_.AppendToFile(path_, tail))
                                    : platform_.WriteWholeFile(path_, doc.Text());
    if (!ok) {
        loaded_ = false;  // the file on disk is what counts; read it again next time
        throw YrnError("Failed to write profile file " + path_);
    }
    exists_ = true;
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

}  // namespace yrn
