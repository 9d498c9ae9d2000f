// The profile-file engine against Windows' own profile functions (here
// Wine's kernel32): the same files must read the same, and files written by
// either must read back the same through both.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/IniFile.h"
#include "core/text.h"
#include "platform/win32/Win32Platform.h"
#include "support/win32_Files.h"

namespace yrn::test {
namespace {

const char kDefault[] = "<def>";

// Windows' reading of a file, through the ANSI functions (the file's bytes
// are taken in the ANSI code page, 1251 here).
struct Reference {
    std::string path;
    mutable char buf[8192] = {};
    std::string Read(const std::string& section, const std::string& key) const {
        return std::string(buf, ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kDefault, buf, 8192, path.c_str()));
    }
    // The keys of a section, or (no section) the sections.
    Names List(const char* section = nullptr) const {
        const DWORD n = section ? ::GetPrivateProfileStringA(section, nullptr, "", buf, 8192, path.c_str())
                                : ::GetPrivateProfileSectionNamesA(buf, 8192, path.c_str());
        Names names;
        for (const char* name = buf; name < buf + n && *name; name += names.back().size() + 1) names.emplace_back(name);
        return names;
    }
    // Every section, key and value as Windows lists and reads them.
    std::string Dump() const {
        std::string all;
        for (const std::string& section : List())
            for (const std::string& key : List(section.c_str())) all += "[" + section + "] " + key + "=" + Read(section, key) + "\n";
        return Cp1251ToUtf8(all);
    }
};

// The names a query set is made of: every section and key of the file as
// Windows lists them, in other letter case, and absent ones. (The tool's
// own queries never carry surrounding blanks.)
Names Variants(const Names& names, const std::string& absent) {
    std::set<std::string> all{absent};
    for (const std::string& n : names) {
        all.insert(n);
        // Wine compares only Latin letters ignoring case (Windows compares
        // all): other letters are asked in the file's own case.
        if (std::ranges::all_of(n, [](unsigned char c) { return c < 0x80; })) all.insert(Upper1251(n));
    }
    return Names(all.begin(), all.end());
}

// Compares every query of both readers.
void ExpectSameReading(Platform& platform, const std::string& path, const std::string& what) {
    const Reference ref{path};
    TIniFile ours(platform, path);
    const Names sections = ref.List();
    for (const std::string& section : Variants(sections, W("Нет такой"))) {
        SCOPED_TRACE(what + " [" + Cp1251ToUtf8(section) + "]");
        EXPECT_EQ(ours.SectionExists(section), std::ranges::any_of(sections, [&](auto& s) { return SameText(s, TrimControls(section)); }));
        const Names keys = ref.List(section.c_str());
        EXPECT_EQ(ours.ReadSection(section), keys);
        for (const std::string& key : Variants(keys, "absent"))
            EXPECT_EQ(Cp1251ToUtf8(ours.ReadString(section, key, kDefault)), Cp1251ToUtf8(ref.Read(section, key))) << Cp1251ToUtf8(key);
    }
}

// The text is UTF-8, converted to 1251.
struct TrickyFile {
    const char *name, *utf8;
};

const TrickyFile kFiles[] = {
    {"plain", "[MAIN]\r\nLocalCopy=1\r\n[ExeFiles]\r\nVersion=12\r\n[FILES]\r\nShift.exe=\r\nPrices.dll=x\r\n"},
    {"lf_only", "[MAIN]\nLocalCopy=1\n[FILES]\nShift.exe=\nPrices.dll=x\n"},
    {"no_final_line_end", "[FILES]\r\nShift.exe=1\r\n[Shift.exe]\r\nVersion=5"},
    {"cr_at_end", "[A]\r\nk=v\r"},
    {"blanks", "  [ Shift.exe ]  \r\n  SDir  =  C:\\TOVR\\ with blanks  \r\n\tVersion\t=\t5\t\r\n Execute = 1\r\n"},
    {"quotes", "[Q]\r\nk1=\"quoted\"\r\nk2='single'\r\nk3=\"unbalanced\r\nk4= \" a \" \r\nk5=\"\"\r\nk6=\"a\"b\"\r\nk7=\"mixed'\r\nk8=\"\r\nk9='\r\n"},
    {"duplicates", "[FILES]\r\nA.exe=first\r\nB.exe=b\r\na.exe=second\r\n[Other]\r\nx=1\r\n[files]\r\nA.exe=third\r\nC.exe=c\r\n"},
    {"comments", "; leading comment\r\n[S]\r\n;k=commented\r\n  ;k2=indented comment\r\n#k3=hash\r\nk4=v ; not a comment\r\n"},
    {"odd_lines", "before=section\r\n[S]\r\nk==v\r\nk2=a=b\r\n[Closed] trailing\r\nafter=1\r\n"},
    {"blank_lines", "\r\n\r\n[A]\r\n\r\nk=1\r\n\r\n\r\n[B]\r\n\r\n"},
    {"cyrillic", "[ФАЙЛЫ]\r\nСмена.exe=Версия ёЁ\r\nЯщик.dll=я\r\n[Смена.exe]\r\nSDir=<РАБОЧАЯ>\r\nCDir=<БАЗА ДАННЫХ>\r\n"},
    {"empty", ""},
    {"only_blanks", "   \r\n\t\r\n"},
};

class Win32IniRead : public ::testing::TestWithParam<TrickyFile> {
protected:
    // The reference needs a Russian Windows (ANSI code page 1251).
    void SetUp() override { ASSERT_EQ(::GetACP(), 1251u); }
    Win32TempDir dir;
    Win32Platform platform;
};

// Each tricky file reads as Windows reads it. Then the writes a manifest run
// makes, on top of it, by us and by Windows: ours reads as Windows reads
// it, both files read the same, and no temporary file is left.
TEST_P(Win32IniRead, ReadsAndWritesAsWindows) {
    const TrickyFile& f = GetParam();
    const Reference ours{dir / "ours.ini"}, theirs{dir / "theirs.ini"};
    ASSERT_TRUE(PutFile(ours.path, Utf8To1251(f.utf8)) && PutFile(theirs.path, Utf8To1251(f.utf8)));
    ExpectSameReading(platform, ours.path, f.name);
    const char* writes[][3] = {
        {"FILES", "Shift.exe", ""}, {"FILES", "New.exe", ""}, {"Shift.exe", "Version", "6"}, {"files", "NEW.EXE", "again"},
        {"Новый раздел", "ключ", "значение"}, {"MAIN", "LocalCopy", "1"}, {"Q", "k1", "\"kept quotes\""},
        {"S", "k4", "  padded  "}, {"A", "k", "replaced"},
    };
    for (const auto& w : writes) {
        TIniFile(platform, ours.path).WriteString(W(w[0]), W(w[1]), W(w[2]));
        ASSERT_TRUE(::WritePrivateProfileStringA(W(w[0]).c_str(), W(w[1]).c_str(), W(w[2]).c_str(), theirs.path.c_str()));
    }
    ExpectSameReading(platform, ours.path, f.name + std::string(" written by us"));
    EXPECT_EQ(ours.Dump(), theirs.Dump());
    EXPECT_EQ(AllNames(dir.Path()), (Names{"ours.ini", "theirs.ini"}));
}

INSTANTIATE_TEST_SUITE_P(Files, Win32IniRead, ::testing::ValuesIn(kFiles), ByName);

}  // namespace
}  // namespace yrn::test
