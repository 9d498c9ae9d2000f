#include <gtest/gtest.h>

#include "core/FuncUnit.h"
#include "core/ParamQueryUnit.h"
#include "core/text.h"

namespace yrn {
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
    const std::tuple<const char*, const char*, bool> cases[] = {
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

TEST(Text, SplitCommandLineQuotesGroupBackslashesStay) {
    using Args = std::vector<std::string>;
    const std::pair<const char*, Args> cases[] = {
        {"YRNUpdate.exe 1234 \"C:\\TOVR\\UPDATE\\\" 1", {"YRNUpdate.exe", "1234", "C:\\TOVR\\UPDATE\\", "1"}},
        {"\"C:\\Program Files\\YRNUpdate.exe\" 1 \"C:\\Pack Q\\\" 2", {"C:\\Program Files\\YRNUpdate.exe", "1", "C:\\Pack Q\\", "2"}},
        {" x\tC:\\a\\  \"\"  ", {"x", "C:\\a\\", ""}},
        {"a\"b c\"d \\\"e\" \"\xDE\xCA\"", {"ab cd", "\\e", "\xDE\xCA"}},
        {"\"open quote", {"open quote"}},
        {"  ", {}},
    };
    for (auto& [line, args] : cases) EXPECT_EQ(SplitCommandLine(line), args) << line;
}

TEST(Text, ParseIntegers) {
    // {}: refused.
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"12", 12},
        {"-7", -7},
        {"+3", 3},
        {"$1F", 31},
        {"0x10", 16},
        {"0xff", 255},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-$80000000", INT32_MIN},
        {"-0X80000000", INT32_MIN},
        {"$7fffffff", INT32_MAX},
        {"-$80000001", {}},
        {"-2147483649", {}},
        {"$80000000", {}},
        {"$", {}},
        {"0x", {}},
        {"9x10", {}},
        {"$G", {}},
        {"1A", {}},
        {"2147483648", {}},
        {"", {}},
        {"1a", {}},
        {"-", {}},
    };
    for (auto [text, value] : cases) EXPECT_EQ(ParseInt32(text), value) << text;
    EXPECT_EQ(ParseInt64("4294967808"), 4294967808LL);
    EXPECT_EQ(ParseInt64("99999999999999999999"), std::nullopt);
    EXPECT_EQ(ParseInt64("-9223372036854775808"), INT64_MIN);
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

}  // namespace
}  // namespace yrn
