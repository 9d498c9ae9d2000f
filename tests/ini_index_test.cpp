// A document written key by key answers every lookup as the same text parsed
// afresh does: the section index follows inserted lines and new sections,
// duplicate section headers (the first wins) included.
#include <gtest/gtest.h>

#include "core/IniFile.h"

namespace yrn {
namespace {

void ExpectSameAnswers(const IniDocument& written, const std::string& context) {
    const IniDocument parsed(written.Text());
    for (const char* section : {"MAIN", "files", "A", "B", "C", " b ", "New", "Dup", "[x", "Z"}) {
        EXPECT_EQ(written.SectionExists(section), parsed.SectionExists(section)) << context << " " << section;
        EXPECT_EQ(written.Keys(section), parsed.Keys(section)) << context << " " << section;
        for (const char* key : {"k", "K1", "k2", "Version", "x"}) {
            const std::string *w = written.Find(section, key), *p = parsed.Find(section, key);
            EXPECT_EQ(w ? *w : "(none)", p ? *p : "(none)") << context << " " << section << "/" << key;
        }
    }
}

TEST(IniDocumentIndex, LookupsAfterEveryWriteMatchAFreshParse) {
    struct Step { const char *section, *key, *value; };
    const std::tuple<const char*, const char*, std::vector<Step>> cases[] = {
        {"inserts before later sections", "[FILES]\r\n[A]\r\nk=1\r\n[B]\r\nk=2\r\n",
         {{"FILES", "k", "a"}, {"FILES", "K1", "b"}, {"A", "k2", "c"}, {"B", "k", "3"}, {"C", "x", "new"}}},
        {"duplicate headers", "[Dup]\r\nk=1\r\n[A]\r\n[dup]\r\nk=2\r\nx=3\r\n", {{"Dup", "x", "first"}, {"A", "k", "a"}, {"DUP", "k2", "again"}}},
        {"unterminated last line", "[A]\r\nk=1", {{"A", "K1", "v"}, {"B", "k", "w"}, {"A", "k2", "z"}}},
        {"blank lines and comments at a section end", "[A]\r\nk=1\r\n\r\n;note\r\n[B]\r\n\r\n",
         {{"A", "K1", "v"}, {" b ", "k", "w"}, {"B", "k2", "z"}}},
        {"a key that reads as a header", "[A]\r\n[B]\r\nk=1\r\n", {{"A", "[x", "v"}, {"[x", "k", "w"}, {"B", "x", "z"}}},
        {"empty text", "", {{"New", "Version", "1"}, {"New", "k", "2"}, {"MAIN", "k", "3"}, {"New", "x", "4"}}},
    };
    for (const auto& [name, start, steps] : cases) {
        IniDocument doc(start);
        ExpectSameAnswers(doc, std::string(name) + " before");
        for (size_t i = 0; i < steps.size(); ++i) {
            doc.Set(steps[i].section, steps[i].key, steps[i].value);
            ExpectSameAnswers(doc, std::string(name) + " after step " + std::to_string(i));
        }
    }
}

}  // namespace
}  // namespace yrn
