// The profile-file engine: it reads as Windows profiles do and writes in
// place, at its section's end or the file's end; after every write each
// lookup answers as the same text parsed afresh does (the section index
// follows inserted lines and new sections, duplicate headers included).
#include <gtest/gtest.h>

#include "core/IniFile.h"
#include "core/text.h"
#include "support/PeImages.h"

namespace yrn::test {
namespace {

// Blanks, quotes, comments and sections or keys given twice read as Windows
// reads them (the Windows comparison test; the INI fuzz target for blanks and
// quotes). Not there: a line without "=" is a key with an empty value, and
// Cyrillic names match in any case (Wine folds Latin letters only).
TEST(IniDocument, BareKeysAndCyrillicCase) {
    IniDocument d(W("[Files]\r\nBare\r\nk=1x1\t\r\nq=\"\"\r\n[Секция]\nКлюч=Значение\n"));
    EXPECT_EQ(d.Keys("files"), (std::vector<std::string>{"Bare", "k", "q"}));
    EXPECT_EQ(*d.Find("files", "q"), "");
    EXPECT_EQ(*d.Find("FILES", "bare"), "");
    EXPECT_EQ(*d.Find("files", "K"), "1x1");
    EXPECT_EQ(*d.Find(W("СЕКЦИЯ"), W("ключ")), W("Значение"));
    EXPECT_EQ(d.Find("Missing", "k"), nullptr);
    // An unterminated last line stays so.
    EXPECT_EQ(IniDocument("[A]\r\nx=1").Text(), "[A]\r\nx=1");
}

void ExpectSameAnswers(const IniDocument& written, const char* context) {
    SCOPED_TRACE(context);
    IniDocument parsed(written.Text());
    for (auto section : {"MAIN", "files", "A", "B", "C", " b ", "New", "Dup", "[x", "Z"}) {
        SCOPED_TRACE(section);
        EXPECT_EQ(written.SectionExists(section), parsed.SectionExists(section));
        EXPECT_EQ(written.Keys(section), parsed.Keys(section));
        for (auto key : {"k", "K1", "k2", "Version", "x"}) {
            auto w = written.Find(section, key), p = parsed.Find(section, key);
            EXPECT_EQ(w ? *w : "(none)", p ? *p : "(none)") << key;
        }
    }
}

// Each case in the golden file: its writes as appends (+) or not (.), then the text they leave.
TEST(IniDocument, WritesInPlaceAndAnswersAsAFreshParse) {
    struct Step { const char *section, *key, *value; };
    // A section long enough to find its keys by an index.
    std::string longA = "[A]\r\n";
    for (int i = 0; i < 16; ++i) longA += "x=" + std::to_string(i) + "\r\n";
    longA += "\r\n[B]\r\n";
    std::pair<const char*, std::vector<Step>> cases[] = {
        {"", {{"FILES", "a", "1"}}},
        {"[FILES]\r\na=1\r\n", {{"files", "A", "2"}, {"FILES", "b", ""}}},
        {"[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", {{"A", "z", "3"}}},
        {"[A]\r\nx=1", {{"A", "y", "2"}}},
        {"[A]\nx=1\n", {{"B", "y", "2"}}},
        {"; top\r\n", {{"S", "k", "v"}}},
        // Inserts before later sections; duplicate headers (the first wins); an unterminated last line; blank
        // lines and comments at a section end; a key that reads as a header; empty text.
        {"[FILES]\r\n[A]\r\nk=1\r\n[B]\r\nk=2\r\n", {{"FILES", "k", "a"}, {"FILES", "K1", "b"}, {"A", "k2", "c"}, {"B", "k", "3"}, {"C", "x", "new"}}},
        {"[Dup]\r\nk=1\r\n[A]\r\n[dup]\r\nk=2\r\nx=3\r\n", {{"Dup", "x", "first"}, {"A", "k", "a"}, {"DUP", "k2", "again"}}},
        {"[A]\r\nk=1", {{"A", "K1", "v"}, {"B", "k", "w"}, {"A", "k2", "z"}}},
        {"[A]\r\nk=1\r\n\r\n;note\r\n[B]\r\n\r\n", {{"A", "K1", "v"}, {" b ", "k", "w"}, {"B", "k2", "z"}}},
        {"[A]\r\n[B]\r\nk=1\r\n", {{"A", "[x", "v"}, {"[x", "k", "w"}, {"B", "x", "z"}}},
        {"", {{"New", "Version", "1"}, {"New", "k", "2"}, {"MAIN", "k", "3"}, {"New", "x", "4"}}},
        {longA.c_str(), {{"A", "k", "1"}, {"a", "K", "2"}, {"A", "[x", "v"}, {"A", "k2", "3"}, {"A", "x", "y"}}},
    };
    std::string report;
    for (auto& [before, steps] : cases) {
        SCOPED_TRACE(before);
        IniDocument doc(before);
        ExpectSameAnswers(doc, "before");
        std::string appended;
        for (auto [section, key, value] : steps) {
            appended += doc.Set(section, key, value) ? '+' : '.';
            ExpectSameAnswers(doc, key);
        }
        report += "== " + appended + "\n" + doc.Text() + "\n";
    }
    ExpectGolden(report, "ini_writes.txt");
}

}
}
