#include <gtest/gtest.h>

#include "core/FuncUnit.h"
#include "core/ParamQueryUnit.h"
#include "core/text.h"
#include "support/PeImages.h"

namespace yrn::test {
namespace {

TEST(Text, Cp1251RoundTripsEveryByte) {
    std::string all;
    // 0x98 has no character.
    for (int c = 1; c < 256; ++c)
        if (c != 0x98) all += char(c);
    EXPECT_EQ(Utf8To1251(Cp1251ToUtf8(all)), all);
    EXPECT_EQ(Cp1251ToUtf8("\xDE\xCA\xD1\xC2\xC5\xCB\x80"), "ЮКСВЕЛЂ");
    EXPECT_EQ(Utf8To1251("日本\u0080😀\xD0" "A\xFF\xD0"), "?????A??");
}

TEST(Text, SameTextAndWildcardFoldLatinAndCyrillic) {
    EXPECT_TRUE(SameText("Shift.EXE", "shift.exe") && SameText(W("ФАЙЛЫ Ёж АЯ AZ"), W("файлы ёж ая az")));
    EXPECT_FALSE(SameText("abc", "abd") || SameText("abc", "abcd"));
    std::tuple<const char*, const char*, bool> cases[] = {
        {"*-*-* *-*", "26-12-07 06-15", true},
        {"*-*-* *-*", "26-12-07 06-15-02", true},
        {"*-*-* *-*", "26-12-07", false},
        {"*-*-* *-*", "BackUp.ini", false},
        {"*.INI", "backup.ini", true},
        {"a?c", "abc", true},
        {"a?c", "abd", false},
    };
    for (auto [pattern, name, match] : cases) EXPECT_EQ(WildcardMatch(pattern, name), match) << pattern << " " << name;
}

// Each text and its value, or "refused".
TEST(Text, ParseIntegers) {
    std::string report;
    auto show = [&](const char* text, auto value) { report += text + std::string(" -> ") + (value ? std::to_string(*value) : "refused") + "\n"; };
    for (auto text : {"12",
                             "-7",
                             "+3",
                             "$1F",
                             "0x10",
                             "0xff",
                             "2147483647",
                             "-2147483648",
                             "-$80000000",
                             "-0X80000000",
                             "$7fffffff",
                             "-$80000001",
                             "-2147483649",
                             "$80000000",
                             "$",
                             "0x",
                             "9x10",
                             "$G",
                             "1A",
                             "2147483648",
                             "",
                             "1a",
                             "-"})
        show(text, ParseInt32(text));
    for (auto text : {"4294967808", "99999999999999999999", "-9223372036854775808"}) show(text, ParseInt64(text));
    ExpectGolden(report, "parse_integers.txt");
}

TEST(SWTypeItem, NamesTheFourTypesOnly) {
    EXPECT_TRUE(SWTypeItem(-1).empty() && SWTypeItem(4).empty());
}

TEST(NameValueList, LookupSetAndRemove) {
    NameValueList l;
    l.SetValue("Shift.exe", "C:\\TOVR\\Shift.exe");
    l.SetValue("a.dll", "D:\\a.dll");
    // Replaces in place.
    l.SetValue("SHIFT.EXE", "X:\\Shift.exe");
    l.SetValue("a.dll", "");
    l.Add("p=1=2");
    ASSERT_EQ(l.Count(), 2u);
    EXPECT_EQ(l.Line(0), "SHIFT.EXE=X:\\Shift.exe");
    EXPECT_EQ(l.Value("shift.exe"), "X:\\Shift.exe");
    EXPECT_TRUE(l.Name(1) == "p" && l.ValueAt(1) == "1=2");
}

}
}
