// The profile-file engine: any bytes parse; the text it writes is stable
// under a second parse; a set value is found again, in memory and after the
// text is parsed back; an append-only change is exactly the old text plus
// the appended bytes (the file is appended to on that promise); the text
// kept up to date by a change is the text joined anew.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/IniFile.h"

namespace {

std::string Blanks(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

// What a read returns for a value written as v.
std::string ReadBack(const std::string& v) {
    std::string t = Blanks(v);
    if (t.size() >= 2 && (t[0] == '"' || t[0] == '\'') && t.back() == t[0]) t = t.substr(1, t.size() - 2);
    return t;
}

// s without the banned characters (NUL bytes become blanks).
std::string Without(const std::string& s, const char* banned) {
    std::string out;
    for (char c : s) {
        if (c == '\0') out += ' ';
        else if (!std::strchr(banned, c)) out += c;
    }
    return out;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // Names and values as the tool writes them: one line each, a section name
    // without "]", a key that is not a comment or a header and has no "=".
    std::string section = Without(in.ConsumeRandomLengthString(40), "\r\n]");
    std::string key = Blanks(Without(in.ConsumeRandomLengthString(40), "\r\n="));
    while (!key.empty() && (key[0] == ';' || key[0] == '[' || key[0] == ' ' || key[0] == '\t')) key.erase(0, 1);
    std::string value = Without(in.ConsumeRandomLengthString(80), "\r\n");
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    yrn::IniDocument doc(bytes);
    const std::string text = doc.Text();
    Check(yrn::IniDocument(text).Text() == text);

    const bool appended = doc.Set(section, key, value);
    const std::string after = doc.Text();
    // The text kept up to date by Set is the text joined from the lines.
    yrn::IniDocument fresh(bytes);
    fresh.Set(section, key, value);
    Check(fresh.Text() == after);
    if (appended) {
        Check(after == text + doc.LastAppend());
        // The file on disk is the original bytes plus the appended ones.
        Check(yrn::IniDocument(bytes + doc.LastAppend()).Text() == after);
    }
    const std::string* found = doc.Find(section, key);
    Check(found && *found == ReadBack(value));
    Check(doc.SectionExists(section));

    yrn::IniDocument again(after);
    Check(again.Text() == after);
    const std::string* foundAgain = again.Find(section, key);
    Check(foundAgain && *foundAgain == ReadBack(value));
    Check(again.Keys(section) == doc.Keys(section));
    return 0;
}
