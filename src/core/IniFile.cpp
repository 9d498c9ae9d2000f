#include "IniFile.h"

#include "DurableFiles.h"

#include <algorithm>
#include <iterator>

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
    blocks_.emplace_back();  // the lines before the first header
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        std::string text = bytes.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        // Only a CR before the LF belongs to the line end: a CR that ends an
        // unterminated last line is kept, so that the text written back (and
        // appended to) reads as it did.
        if (nl != std::string::npos && !text.empty() && text.back() == '\r') text.pop_back();
        AppendLine(Parse(text));
        if (nl == std::string::npos) {
            endsWithNewline_ = false;
            break;
        }
        pos = nl + 1;
    }
}

size_t IniDocument::SectionBlock(const std::string& section) const {
    if (!indexValid_) {
        sectionIndex_.clear();
        for (size_t b = 1; b < blocks_.size(); ++b) sectionIndex_.emplace(Upper1251(blocks_[b].lines[0].name), b);
        indexValid_ = true;
    }
    auto it = sectionIndex_.find(Upper1251(TrimBlanks(section)));
    return it == sectionIndex_.end() ? 0 : it->second;
}

// A short section is searched line by line; a long one through its index,
// which takes in the lines added since it was last asked.
size_t IniDocument::EntryLine(const Block& block, const std::string& key) const {
    const std::string want = TrimBlanks(key);
    if (block.lines.size() <= 16) {
        for (size_t i = 1; i < block.lines.size(); ++i)
            if (block.lines[i].kind == Line::Entry && SameText(block.lines[i].name, want)) return i;
        return 0;
    }
    for (; block.keysIndexed < block.lines.size(); ++block.keysIndexed) {
        const Line& line = block.lines[block.keysIndexed];
        if (line.kind == Line::Entry) block.keys.emplace(Upper1251(line.name), block.keysIndexed);
    }
    auto it = block.keys.find(Upper1251(want));
    return it == block.keys.end() ? 0 : it->second;
}

void IniDocument::AppendLine(Line line) {
    if (line.kind == Line::Section) {
        blocks_.emplace_back();
        if (indexValid_) sectionIndex_.emplace(Upper1251(line.name), blocks_.size() - 1);
    }
    Block& block = blocks_.back();
    if (line.kind != Line::Other || !AllBlank(line.text)) block.lastContent = block.lines.size();
    block.lines.push_back(std::move(line));
}

// Only blank lines follow the place of a new entry (at), so no indexed entry
// moves. An entry that reads as a header starts a block of its own.
void IniDocument::InsertLine(size_t b, size_t at, Line line) {
    Block& block = blocks_[b];
    textValid_ = false;
    if (line.kind == Line::Section) {
        Block split;
        split.lines.push_back(std::move(line));
        std::move(block.lines.begin() + static_cast<std::ptrdiff_t>(at), block.lines.end(), std::back_inserter(split.lines));
        block.lines.resize(at);
        block.keysIndexed = std::min(block.keysIndexed, at);
        blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b + 1), std::move(split));
        indexValid_ = false;
        return;
    }
    if (at < block.keysIndexed) {
        if (line.kind == Line::Entry) block.keys.emplace(Upper1251(line.name), at);
        ++block.keysIndexed;
    }
    block.lines.insert(block.lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    block.lastContent = at;
}

bool IniDocument::Appended(std::string bytes) {
    if (textValid_) text_ += bytes;
    endsWithNewline_ = true;
    lastAppend_ = std::move(bytes);
    return true;
}

const std::string* IniDocument::Find(const std::string& section, const std::string& key) const {
    const size_t b = SectionBlock(section);
    const size_t i = b ? EntryLine(blocks_[b], key) : 0;
    return i ? &blocks_[b].lines[i].value : nullptr;
}

bool IniDocument::SectionExists(const std::string& section) const { return SectionBlock(section) != 0; }

std::vector<std::string> IniDocument::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    const size_t b = SectionBlock(section);
    if (b == 0) return keys;
    for (const Line& line : blocks_[b].lines)
        if (line.kind == Line::Entry) keys.push_back(line.name);
    return keys;
}

bool IniDocument::Set(const std::string& section, const std::string& key, const std::string& value) {
    const std::string sec = TrimBlanks(section), k = TrimBlanks(key);
    const std::string entry = k + "=" + value;
    lastAppend_.clear();
    const size_t b = SectionBlock(sec);
    if (b == 0) {
        std::string added = endsWithNewline_ ? "" : "\r\n";
        added += "[" + sec + "]\r\n" + entry + "\r\n";
        AppendLine(Parse("[" + sec + "]"));
        AppendLine(Parse(entry));
        return Appended(std::move(added));
    }
    Block& block = blocks_[b];
    if (const size_t i = EntryLine(block, k)) {
        block.lines[i] = Parse(block.lines[i].name + "=" + value);
        textValid_ = false;
        return false;
    }
    const size_t at = block.lastContent + 1;
    if (b + 1 < blocks_.size() || at < block.lines.size()) {
        InsertLine(b, at, Parse(entry));
        return false;
    }
    const std::string added = (endsWithNewline_ ? "" : "\r\n") + entry + "\r\n";
    AppendLine(Parse(entry));
    return Appended(added);
}

const std::string& IniDocument::Text() const {
    if (!textValid_) {
        size_t size = 0;
        for (const Block& block : blocks_)
            for (const Line& line : block.lines) size += line.text.size() + 2;
        text_.clear();
        text_.reserve(size);
        for (const Block& block : blocks_)
            for (const Line& line : block.lines) {
                text_ += line.text;
                text_ += "\r\n";
            }
        if (!endsWithNewline_) text_.resize(text_.size() - 2);
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
        exists_ = platform_.Files().ReadWholeFile(path_, bytes);
        // A file that is there but cannot be read is not an empty file:
        // rewriting it from an empty document would lose what it holds.
        unreadable_ = !exists_ && platform_.Files().FileExists(path_);
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
    if (unreadable_) Refused("Failed to read profile file " + path_);
    bool appended = true;
    std::string tail;
    for (const Entry& e : entries) {
        appended = doc.Set(e.section, e.key, e.value) && appended;
        if (appended) tail += doc.LastAppend();
    }
    if (writes_ == Writes::Pending) {
        // Handing the whole file over after each write would copy it once per write.
        if (++pendingWrites_ >= 2 * handedOver_) HandOver();
        return;
    }
    DurableFiles& files = platform_.Files();
    bool ok = appended && exists_ ? (writes_ == Writes::Staged ? files.AppendToFileStaged(path_, tail)
                                                               : files.AppendToFile(path_, tail))
                                  : files.WriteWholeFile(path_, doc.Text());
    if (!ok) Refused("Failed to write profile file " + path_);
    exists_ = true;
}

void TIniFile::Commit() {
    if (pendingWrites_ > handedOver_) HandOver();
}

void TIniFile::HandOver() {
    handedOver_ = pendingWrites_;
    if (!platform_.Files().WriteWholeFilePending(path_, doc_.Text())) Refused("Failed to write profile file " + path_);
    exists_ = true;
}

// The file as the platform has it is what counts: it is read again next time.
void TIniFile::Refused(const std::string& what) {
    loaded_ = false;
    throw YrnError(what);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

}  // namespace yrn
