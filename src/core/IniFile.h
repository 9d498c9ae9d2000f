// Profile (INI) files with the Windows profile-file behaviour: section and
// key names match ignoring letter case and surrounding blanks, values are
// trimmed and unquoted on read, the first duplicate wins, lines starting with
// ';' are comments, a new key goes after the last entry of its section, a new
// section at the end of the file, lines end in CR LF. Bytes are kept as they
// are (Windows-1251). The parsed file is cached for the object's life; every
// write is on disk before the call returns, or, for a file opened as a
// pending record, by the platform's next FlushPending after its Commit.
#pragma once

#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform.h"

namespace yrn {

// Raised by a failed write (and by the other failures the runs catch).
class YrnError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raised when a package is refused before anything is changed (its
// signature or its files' hashes do not hold).
class PackageRefused : public YrnError {
public:
    using YrnError::YrnError;
};

class IniDocument {
public:
    explicit IniDocument(std::string bytes = {});

    const std::string* Find(const std::string& section, const std::string& key) const;
    bool SectionExists(const std::string& section) const;
    std::vector<std::string> Keys(const std::string& section) const;
    // Sets key in section. Returns true when the change only appended bytes
    // to the end of the text (so the caller may append instead of rewrite).
    bool Set(const std::string& section, const std::string& key, const std::string& value);

    // Joined from the lines once after a change in the middle; an append
    // extends it.
    const std::string& Text() const;
    // The bytes appended by the last Set that returned true.
    const std::string& LastAppend() const { return lastAppend_; }

private:
    struct Line {
        std::string text;
        enum Kind { Other, Section, Entry } kind = Other;
        std::string name;   // trimmed section or key name
        std::string value;  // trimmed, unquoted value
    };
    // A header and the lines up to the next one (the first block: the lines
    // before any header). A manifest may list many thousands of files: a
    // section grows without moving the rest of the document, and a long one
    // finds its keys by an index.
    struct Block {
        std::vector<Line> lines;
        size_t lastContent = 0;  // the last line that is not blank: a new entry goes after it
        mutable std::unordered_map<std::string, size_t> keys;  // upper-case name -> first entry
        mutable size_t keysIndexed = 0;                         // lines [0, keysIndexed) are in keys
    };
    static Line Parse(const std::string& text);
    size_t SectionBlock(const std::string& section) const;  // 0: none
    size_t EntryLine(const Block& block, const std::string& key) const;  // 0: none
    void AppendLine(Line line);
    void InsertLine(size_t block, size_t at, Line line);
    bool Appended(std::string bytes);

    std::vector<Block> blocks_;
    // First block of each section (upper-case name), built on demand.
    mutable std::unordered_map<std::string, size_t> sectionIndex_;
    mutable bool indexValid_ = false;
    bool endsWithNewline_ = true;
    std::string lastAppend_;
    mutable std::string text_;
    mutable bool textValid_ = false;
};

class TIniFile {
public:
    // Durable: every write on disk on return. Staged: appended entries on
    // disk by the platform's next durable copy. Pending: handed to the
    // platform at the first write (a refusal shows at once), again each time
    // the writes have doubled since, and by Commit; on disk by the platform's
    // next FlushPending after that.
    enum class Writes { Durable, Staged, Pending };
    TIniFile(Platform& platform, std::string path, Writes writes = Writes::Durable);

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def);
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def);
    bool ReadBool(const std::string& section, const std::string& key, bool def);
    bool ValueExists(const std::string& section, const std::string& key);
    bool SectionExists(const std::string& section);
    std::vector<std::string> ReadSection(const std::string& section);
    std::vector<std::pair<std::string, std::string>> ReadSectionValues(const std::string& section);

    // Throw YrnError when the file cannot be written.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    // Several values in one durable write: all of them are on disk when the
    // call returns, and the file never holds only some of them.
    struct Entry {
        std::string section, key, value;
    };
    void WriteStrings(const std::vector<Entry>& entries);
    // Hands the writes a Pending file still holds to the platform; throws
    // YrnError when it refuses them.
    void Commit();

    const std::string& FileName() const { return path_; }
    // Takes the file's bytes as already read (and checked) instead of
    // reading them from disk.
    void Preload(std::string bytes);

private:
    IniDocument& Doc();
    void HandOver();
    [[noreturn]] void Refused(const std::string& what);

    Platform& platform_;
    std::string path_;
    Writes writes_;
    IniDocument doc_;
    bool loaded_ = false;
    bool exists_ = false;
    bool unreadable_ = false;  // there, but the last read failed
    size_t pendingWrites_ = 0, handedOver_ = 0;  // a Pending file's writes: made, handed over
};

}  // namespace yrn
