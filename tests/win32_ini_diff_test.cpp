// The profile-file engine against Windows' own profile functions (here
// Wine's kernel32) on files where a naive reading would differ: the same
// files read the same, and after the writes of a run, by us on one copy and
// by Windows on another, both copies read the same through both.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "core/IniFile.h"
#include "core/text.h"
#include "platform/win32/Win32Platform.h"
#include "support/win32_Files.h"

namespace yrn::test {
namespace {

// Windows' answer: a value; with no key, the section's keys; with neither,
// the sections (names ending in NUL).
string Windows(string path, const char* section, const char* key = nullptr) {
    char buf[4096];
    return {buf, GetPrivateProfileStringA(section, key, key ? "<def>" : "", buf, sizeof buf, path.c_str())};
}

// The names listed, in upper case too, and an absent one.
std::set<string> Variants(string listed) {
    std::set<string> all{"absent"};
    for (auto name = listed.c_str(); name < listed.c_str() + listed.size(); name += std::strlen(name) + 1) all.insert({name, Upper1251(name)});
    return all;
}

// Both readers on each query; Windows' reading of the whole file.
string ExpectSameReading(string path) {
    Win32Platform p;
    TIniFile ours(p, path);
    string all;
    for (auto& s : Variants(Windows(path, nullptr))) {
        auto keys = Windows(path, s.c_str());
        string ourKeys;
        for (auto& k : ours.ReadSection(s)) ourKeys += k + '\0';
        EXPECT_EQ(ourKeys, keys) << s;
        for (auto& k : Variants(keys)) {
            auto theirs = Windows(path, s.c_str(), k.c_str());
            all += s + "|" + k + "=" + theirs + "\n";
            EXPECT_EQ(ours.ReadString(s, k, "<def>"), theirs) << s << "|" << k;
        }
    }
    return all;
}

TEST(Win32IniDiff, ReadsAndWritesAsWindows) {
    std::pair<string, string> files[] = {
        {"blanks_lf_cr", "  [ Shift.exe ]  \n  SDir  =  C:\\a b  \n[B]\r\n\tV\t=\t5\t\r"},
        {"quotes", "[Q]\r\nk1=\"q\"\r\nk2='s'\r\nk3=\"unbalanced\r\nk4= \" a \" \r\nk6=\"a\"b\"\r\n"},
        {"duplicates", "[FILES]\r\nA.exe=1\r\na.exe=2\r\n[O]\r\nx=1\r\n[files]\r\nA.exe=3\r\nC.exe=c\r\n"},
        {"odd_lines", "before=section\r\n[S]\r\n;k=c\r\n  ;k2=\r\n#k3=h\r\nk4=v ; no comment\r\nk==v\r\n[C] trailing\r\nafter=1\r\n"},
    };
    const char* writes[][3] = {
        {"files", "A.EXE", "x"},
        {"S", "k4", "  \"padded\"  "},
    };
    Win32Platform p;
    for (auto& [name, text] : files) {
        SCOPED_TRACE(name);
        Win32TempDir dir;
        auto ours = dir / "ours.ini", theirs = dir / "theirs.ini";
        ASSERT_TRUE(PutFile(ours, text) && PutFile(theirs, text));
        ExpectSameReading(ours);
        for (auto& w : writes) {
            TIniFile(p, ours).WriteString(w[0], w[1], w[2]);
            ASSERT_TRUE(WritePrivateProfileStringA(w[0], w[1], w[2], theirs.c_str()));
        }
        EXPECT_EQ(ExpectSameReading(ours), ExpectSameReading(theirs));
    }
}

}
}
