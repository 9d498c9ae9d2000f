// The Win32 backend on the real API (Windows, or Wine's implementation of it).
#include <gtest/gtest.h>

#include <algorithm>

#include "core/IniFile.h"
#include "core/TRegistry.h"
#include "core/YRNUpdateFrm/TVersionInfo.h"
#include "core/text.h"
#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/WideText.h"
#include "support/PeBuilder.h"
#include "support/win32_Files.h"
#include "yrn_version.h"

namespace yrn::test {
namespace {

using Names = std::vector<std::string>;

// ---------------------------------------------------------------- registry

class Win32Registry : public ::testing::Test {
protected:
    void SetUp() override { Delete(); }
    void TearDown() override { Delete(); }
    void Delete() { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(key).c_str()); }

    // The raw value, straight from the 32-bit view.
    bool Raw(const std::string& name, DWORD& type, std::string& data) {
        HKEY h;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &h) != ERROR_SUCCESS)
            return false;
        DWORD size = 0;
        LONG r = ::RegQueryValueExW(h, Wide(name).c_str(), nullptr, &type, nullptr, &size);
        data.assign(size, '\0');
        if (r == ERROR_SUCCESS)
            r = ::RegQueryValueExW(h, Wide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        ::RegCloseKey(h);
        return r == ERROR_SUCCESS;
    }
    void PutRaw(const std::string& name, DWORD type, const std::string& data) {
        HKEY h;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                                    nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(h, Wide(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                   static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        ::RegCloseKey(h);
    }

    const std::string key = "SOFTWARE\\Quenbrit\\YRN\\Win32Test" + std::to_string(::GetCurrentProcessId());
    Win32Platform platform;
};

std::string Utf16Bytes(const std::u16string& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), (s.size() + 1) * 2);  // with the NUL
}

TEST_F(Win32Registry, OpenCreatesTheKeyInThe32BitView) {
    std::unique_ptr<RegistryKey> k = platform.OpenRegistryKey(key);
    ASSERT_TRUE(k);
    HKEY h;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &h), ERROR_SUCCESS);
    ::RegCloseKey(h);
    k->Close();
}

TEST_F(Win32Registry, StringsAndIntegersAreStoredAsWideStringsAndDwords) {
    auto k = platform.OpenRegistryKey(key);
    ASSERT_TRUE(k);
    const std::string path = W("C:\\ЮКСВЕЛ\\Пакет ёЁ\\");
    ASSERT_TRUE(k->WriteString("UpdatePath", path));
    ASSERT_TRUE(k->WriteInteger("swType", -7));
    ASSERT_TRUE(k->WriteInteger(W("Смена.exe"), 5));

    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(Raw("UpdatePath", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, Utf16Bytes(u"C:\\ЮКСВЕЛ\\Пакет ёЁ\\"));
    ASSERT_TRUE(Raw("swType", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, std::string("\xF9\xFF\xFF\xFF", 4));
    ASSERT_TRUE(Raw(W("Смена.exe"), type, data));
    EXPECT_EQ(data, std::string("\x05\0\0\0", 4));

    std::string s;
    int32_t i = 0;
    EXPECT_EQ(k->ReadString("UpdatePath", s), RegRead::Ok);
    EXPECT_EQ(s, path);
    EXPECT_EQ(k->ReadInteger("swType", i), RegRead::Ok);
    EXPECT_EQ(i, -7);
    EXPECT_EQ(k->ReadInteger(W("СМЕНА.EXE"), i), RegRead::Ok) << "value names ignore letter case";
    EXPECT_EQ(i, 5);
}

TEST_F(Win32Registry, TypedReadsRefuseTheOtherTypes) {
    PutRaw("text", REG_SZ, Utf16Bytes(u"12"));
    PutRaw("expand", REG_EXPAND_SZ, Utf16Bytes(u"%TEMP%"));
    PutRaw("number", REG_DWORD, std::string("\x0C\0\0\0", 4));
    PutRaw("binary", REG_BINARY, std::string("\x01\x02\x03\x04", 4));
    PutRaw("multi", REG_MULTI_SZ, std::string("a\0\0\0\0\0", 6));
    PutRaw("empty", REG_SZ, std::string());
    auto k = platform.OpenRegistryKey(key);
    ASSERT_TRUE(k);

    struct Case {
        const char* name;
        RegRead asString, asInteger;
        const char* text;
        int32_t number;
    };
    const Case cases[] = {
        {"text", RegRead::Ok, RegRead::WrongType, "12", 0},
        {"expand", RegRead::Ok, RegRead::WrongType, "%TEMP%", 0},
        {"number", RegRead::WrongType, RegRead::Ok, "", 12},
        {"binary", RegRead::WrongType, RegRead::WrongType, "", 0},
        {"multi", RegRead::WrongType, RegRead::WrongType, "", 0},
        {"empty", RegRead::Ok, RegRead::WrongType, "", 0},
        {"missing", RegRead::Missing, RegRead::Missing, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string s = "unchanged";
        int32_t i = -1;
        EXPECT_EQ(k->ReadString(c.name, s), c.asString);
        EXPECT_EQ(k->ReadInteger(c.name, i), c.asInteger);
        if (c.asString == RegRead::Ok) {
            EXPECT_EQ(s, c.text);
        }
        if (c.asInteger == RegRead::Ok) {
            EXPECT_EQ(i, c.number);
        }
        EXPECT_EQ(k->ValueExists(c.name), c.asString != RegRead::Missing);
    }
}

TEST_F(Win32Registry, TheRunsAccessorRaisesOnTheWrongType) {
    PutRaw("swType", REG_SZ, Utf16Bytes(u"1"));
    PutRaw("UpdatePath", REG_DWORD, std::string("\x01\0\0\0", 4));
    TRegistry registry(platform);
    ASSERT_TRUE(registry.OpenKey(key));
    try {
        registry.ReadInteger("swType");
        FAIL() << "no failure";
    } catch (const YrnError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'swType'");
    }
    EXPECT_THROW(registry.ReadString("UpdatePath"), YrnError);
    EXPECT_THROW(registry.ReadInteger("absent"), YrnError);
    EXPECT_EQ(registry.ReadString("absent"), "");
}

// ------------------------------------------------------------------- files

class Win32Files : public ::testing::Test {
protected:
    Win32TempDir dir;
    Win32Platform platform;
};

TEST_F(Win32Files, ExistsTellsFilesFromDirectories) {
    ASSERT_TRUE(PutFile(dir / "f.txt", "x"));
    EXPECT_TRUE(platform.FileExists(dir / "f.txt"));
    EXPECT_FALSE(platform.DirectoryExists(dir / "f.txt"));
    EXPECT_TRUE(platform.DirectoryExists(dir.Path()));
    EXPECT_FALSE(platform.FileExists(dir.Path()));
    EXPECT_FALSE(platform.FileExists(dir / "none.txt"));
    EXPECT_FALSE(platform.DirectoryExists(dir / "none"));
}

TEST_F(Win32Files, CreateDirMakesOneLevelForceDirectoriesAll) {
    EXPECT_FALSE(platform.CreateDir(dir / "a\\b"));
    EXPECT_FALSE(PathExists(dir / "a"));
    EXPECT_TRUE(platform.CreateDir(dir / "a"));
    EXPECT_FALSE(platform.CreateDir(dir / "a")) << "already there";
    EXPECT_TRUE(platform.ForceDirectories(dir / W("x\\Каталог с пробелом\\z\\")));
    EXPECT_TRUE(platform.DirectoryExists(dir / W("x\\Каталог с пробелом\\z")));
    EXPECT_TRUE(platform.ForceDirectories(dir / "x")) << "an existing directory";
    ASSERT_TRUE(PutFile(dir / "file", "x"));
    EXPECT_FALSE(platform.ForceDirectories(dir / "file\\sub"));
}

// How CopyFile(src, dst) and CopyNewFile end for each state of the target.
struct CopyCase {
    const char* what;
    bool sourceThere;
    enum Target { Missing, Older, ReadOnly, Hidden, NoDirectory } target;
    bool ok;
    bool onlyNew = false;  // CopyNewFile
};

class Win32Copy : public Win32Files, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(Win32Copy, ReplacesOrLeavesTheTargetWhole) {
    const CopyCase& c = GetParam();
    const std::string fresh = "new content\r\n" + std::string(3000, 'n');
    const std::string old = std::string(9000, 'o');
    if (c.sourceThere) {
        ASSERT_TRUE(PutFile(dir / W("Новый.exe"), fresh));
    }
    ASSERT_TRUE(platform.CreateDir(dir / "to"));
    std::string target = dir / "to\\Shift.exe";
    if (c.target == CopyCase::NoDirectory) target = dir / "absent\\Shift.exe";
    const bool hadOld = c.target == CopyCase::Older || c.target == CopyCase::ReadOnly || c.target == CopyCase::Hidden;
    if (hadOld) {
        ASSERT_TRUE(PutFile(target, old));
    }
    if (c.target == CopyCase::ReadOnly) {
        ASSERT_TRUE(SetAttributes(target, FILE_ATTRIBUTE_READONLY));
    }
    if (c.target == CopyCase::Hidden) {
        ASSERT_TRUE(SetAttributes(target, FILE_ATTRIBUTE_HIDDEN));
    }

    const std::string source = dir / W("Новый.exe");
    EXPECT_EQ(c.onlyNew ? platform.CopyNewFile(source, target) : platform.CopyFile(source, target), c.ok);

    EXPECT_EQ(GetFile(target), c.ok ? fresh : hadOld ? old : "");
    EXPECT_FALSE(PathExists(dir / "absent")) << "no directory is created";
    EXPECT_EQ(AllNames(dir / "to\\"), c.target == CopyCase::Missing && !c.ok ? Names{}
                                      : c.target == CopyCase::NoDirectory  ? Names{}
                                                                           : Names{"Shift.exe"})
        << "no temporary file is left behind";
    if (c.ok) {
        const DWORD a = ::GetFileAttributesW(Wide(target).c_str());
        EXPECT_FALSE(a & FILE_ATTRIBUTE_HIDDEN) << "the copy is not hidden like its temporary";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Win32Copy,
    ::testing::Values(CopyCase{"new", true, CopyCase::Missing, true}, CopyCase{"over", true, CopyCase::Older, true},
                      CopyCase{"readonly", true, CopyCase::ReadOnly, false},
                      CopyCase{"hidden", true, CopyCase::Hidden, false},
                      CopyCase{"nodir", true, CopyCase::NoDirectory, false},
                      CopyCase{"nosource", false, CopyCase::Older, false},
                      CopyCase{"nosource_new", false, CopyCase::Missing, false},
                      CopyCase{"only_new_free", true, CopyCase::Missing, true, true},
                      CopyCase{"only_new_taken", true, CopyCase::Older, false, true},
                      CopyCase{"only_new_hidden", true, CopyCase::Hidden, false, true},
                      CopyCase{"only_new_nodir", true, CopyCase::NoDirectory, false, true}),
    [](const ::testing::TestParamInfo<CopyCase>& info) { return std::string(info.param.what); });

// A copy that meets a file the holder program keeps open: a hold that ends
// within the wait is waited out, one held for good fails after about 5 s
// with the target as it was and no temporary file left.
struct HeldCase {
    const char* what;
    bool sourceHeld;
    const char* share;
    int holdMs;  // 0: for good
};

class Win32HeldCopy : public Win32Files, public ::testing::WithParamInterface<HeldCase> {};

TEST_P(Win32HeldCopy, WaitsOutAMomentaryHoldOnly) {
    const HeldCase& c = GetParam();
    ASSERT_TRUE(PutFile(dir / "new.exe", "new"));
    ASSERT_TRUE(PutFile(dir / "Shift.exe", "old"));
    const std::wstring line = Wide("\"" + HolderPath() + "\" \"" + dir.Path() + (c.sourceHeld ? "new.exe" : "Shift.exe") +
                                   "\" " + c.share + " " + std::to_string(c.holdMs) + " \"" + (dir / "ready") + "\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION holder{};
    std::wstring mutableLine = line;
    ASSERT_TRUE(::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &holder));
    ::CloseHandle(holder.hThread);
    ASSERT_EQ(WaitForFile(dir / "ready"), "1");
    const ULONGLONG start = ::GetTickCount64();
    const bool ok = platform.CopyFile(dir / "new.exe", dir / "Shift.exe");
    const ULONGLONG took = ::GetTickCount64() - start;
    ::TerminateProcess(holder.hProcess, 0);
    ::WaitForSingleObject(holder.hProcess, INFINITE);
    ::CloseHandle(holder.hProcess);

    EXPECT_EQ(ok, c.holdMs != 0);
    EXPECT_EQ(GetFile(dir / "Shift.exe"), ok ? "new" : "old");
    EXPECT_GE(took, ok ? c.holdMs - 1000u : 4900u);
    EXPECT_LE(took, ok ? c.holdMs + 1000u : 5600u);
    EXPECT_EQ(AllNames(dir.Path()), (Names{"Shift.exe", "new.exe", "ready"})) << "no temporary file is left behind";
}

INSTANTIATE_TEST_SUITE_P(Holds, Win32HeldCopy,
                         ::testing::Values(HeldCase{"target_unshared_2500ms", false, "none", 2500},
                                           HeldCase{"target_read_shared_2500ms", false, "read", 2500},
                                           HeldCase{"source_unshared_2500ms", true, "none", 2500},
                                           HeldCase{"target_unshared_for_good", false, "none", 0},
                                           HeldCase{"target_read_shared_for_good", false, "read", 0}),
                         [](const ::testing::TestParamInfo<HeldCase>& info) { return std::string(info.param.what); });

DWORD Links(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    HANDLE h = ::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    return info.nNumberOfLinks;
}

// A saved copy is a hard link that keeps the old bytes once a copy replaces
// the file; a read-only file is copied; a link whose file stays gets bytes
// of its own; a taken name is refused.
TEST_F(Win32Files, SaveCopyLinksWhereACopyWouldReplaceTheFile) {
    ASSERT_TRUE(PutFile(dir / "Shift.exe", "old shift") && PutFile(dir / "Lib.dll", "old lib") &&
                PutFile(dir / "Ro.dll", "old ro") && PutFile(dir / "new", "new bytes"));
    ASSERT_TRUE(SetAttributes(dir / "Ro.dll", FILE_ATTRIBUTE_READONLY));
    for (const char* name : {"Shift.exe", "Lib.dll", "Ro.dll"})
        ASSERT_TRUE(platform.SaveCopy(dir / name, dir / (std::string("saved-") + name))) << name;
    EXPECT_EQ(Links(dir / "saved-Shift.exe"), 2u);
    EXPECT_EQ(Links(dir / "saved-Ro.dll"), 1u);
    EXPECT_EQ(GetFile(dir / "saved-Ro.dll"), "old ro");
    ASSERT_TRUE(platform.CopyFile(dir / "new", dir / "Shift.exe"));
    EXPECT_EQ(GetFile(dir / "saved-Shift.exe"), "old shift");
    EXPECT_EQ(Links(dir / "saved-Shift.exe"), 1u);
    EXPECT_TRUE(platform.UnshareCopy(dir / "saved-Lib.dll"));
    EXPECT_EQ(Links(dir / "Lib.dll"), 1u);
    EXPECT_EQ(GetFile(dir / "saved-Lib.dll"), "old lib");
    EXPECT_FALSE(platform.SaveCopy(dir / "new", dir / "saved-Lib.dll"));
    EXPECT_EQ(GetFile(dir / "saved-Lib.dll"), "old lib");
}

TEST_F(Win32Files, CopyKeepsTheSourcesTimeOfLastChange) {
    ASSERT_TRUE(PutFile(dir / "a", "abc"));
    HANDLE h = ::CreateFileW(Wide(dir / "a").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME when{0x12345600u, 0x01D00000u};
    ASSERT_TRUE(::SetFileTime(h, nullptr, nullptr, &when));
    ::CloseHandle(h);
    ASSERT_TRUE(platform.CopyFile(dir / "a", dir / "b"));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExW(Wide(dir / "b").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, when.dwHighDateTime);
    EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, when.dwLowDateTime);
}

TEST_F(Win32Files, WholeFileReadWriteAndAppend) {
    std::string bytes;
    EXPECT_FALSE(platform.ReadWholeFile(dir / "x.ini", bytes));
    EXPECT_FALSE(platform.AppendToFile(dir / "x.ini", "a")) << "appends only to a file that is there";
    EXPECT_FALSE(PathExists(dir / "x.ini"));

    ASSERT_TRUE(platform.WriteWholeFile(dir / "x.ini", "[A]\r\nk=1\r\n"));
    ASSERT_TRUE(platform.WriteWholeFile(dir / "x.ini", "[B]\r\n"));
    ASSERT_TRUE(platform.AppendToFile(dir / "x.ini", W("ключ=значение\r\n")));
    ASSERT_TRUE(platform.ReadWholeFile(dir / "x.ini", bytes));
    EXPECT_EQ(bytes, "[B]\r\n" + W("ключ=значение\r\n"));
    EXPECT_EQ(AllNames(dir.Path()), Names{"x.ini"});
    EXPECT_FALSE(platform.WriteWholeFile(dir / "none\\x.ini", "x"));
    EXPECT_FALSE(PathExists(dir / "none"));
}

TEST_F(Win32Files, LogFileAppendsAcrossOpens) {
    const std::string log = dir / "YRNUpdate.log";
    for (const char* text : {"\r\nfirst\r\n", "second\r\n"}) {
        std::unique_ptr<TextFile> f = platform.OpenAppend(log);
        ASSERT_TRUE(f);
        EXPECT_TRUE(f->Write(text));
        EXPECT_TRUE(f->Flush());
        EXPECT_TRUE(f->Close());
        EXPECT_FALSE(f->Write("after close"));
    }
    EXPECT_EQ(GetFile(log), "\r\nfirst\r\nsecond\r\n");
    EXPECT_FALSE(platform.OpenAppend(dir / "none\\YRNUpdate.log"));
}

TEST_F(Win32Files, FindFilesSkipsHiddenAndSystemEntries) {
    for (const std::string& name : {std::string("a.txt"), std::string("b.ini"), std::string("h.txt"),
                                    std::string("s.txt"), W("Отчёт.txt")})
        ASSERT_TRUE(PutFile(dir / name, "x"));
    ASSERT_TRUE(platform.CreateDir(dir / "22-03-05 14-07"));
    ASSERT_TRUE(platform.CreateDir(dir / "hidden dir"));
    ASSERT_TRUE(SetAttributes(dir / "h.txt", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetAttributes(dir / "s.txt", FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetAttributes(dir / "hidden dir", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY));

    struct Case {
        const char* pattern;
        Names names;
    };
    const Case cases[] = {
        {"*", {"22-03-05 14-07", "a.txt", "b.ini", W("Отчёт.txt")}},
        {"*.txt", {"a.txt", W("Отчёт.txt")}},
        {"?.ini", {"b.ini"}},
        {"*-*-* *-*", {"22-03-05 14-07"}},
        {"none*", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> found = platform.FindFiles(dir.Path(), c.pattern);
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, c.names) << c.pattern;
    }
    EXPECT_TRUE(platform.FindFiles(dir / "none\\", "*").empty());
}

TEST(Win32System, WindowsDirectoryWithoutTrailingBackslash) {
    Win32Platform platform;
    wchar_t buf[MAX_PATH];
    const UINT n = ::GetWindowsDirectoryW(buf, MAX_PATH);
    std::string expected = Narrow(std::wstring(buf, n));
    if (!expected.empty() && expected.back() == '\\') expected.pop_back();
    EXPECT_EQ(platform.WindowsDirectory(), expected);
    EXPECT_FALSE(expected.empty());
    EXPECT_TRUE(platform.DirectoryExists(platform.WindowsDirectory() + "\\System32"));
}

TEST(Win32System, NowIsTheLocalTime) {
    Win32Platform platform;
    SYSTEMTIME before, after;
    ::GetLocalTime(&before);
    const DateTime now = platform.Now();
    ::GetLocalTime(&after);
    EXPECT_GE(now.year, before.wYear);
    EXPECT_LE(now.year, after.wYear);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    if (before.wMinute == after.wMinute) {
        EXPECT_EQ(now.day, before.wDay);
        EXPECT_EQ(now.hour, before.wHour);
        EXPECT_EQ(now.minute, before.wMinute);
    }
}

// --------------------------------------------------------------- processes

TEST(Win32Process, WaitRefusesOwnAndUnknownProcesses) {
    Win32Platform platform;
    EXPECT_FALSE(platform.WaitForProcess(::GetCurrentProcessId()));
    EXPECT_FALSE(platform.WaitForProcess(0));
    EXPECT_FALSE(platform.WaitForProcess(0xFFFFFFF0u));
}

TEST(Win32Process, WaitReturnsWhenTheProcessHasEnded) {
    Win32TempDir dir;
    Win32Platform platform;
    ASSERT_TRUE(platform.CopyFile(MarkerPath(), dir / "Marker.exe"));
    std::wstring line = Wide("\"" + (dir / "Marker.exe") + "\" sleep:700");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    ::CloseHandle(info.hThread);
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(platform.WaitForProcess(info.dwProcessId));
    EXPECT_GE(::GetTickCount() - start, 500u);
    EXPECT_NE(GetFile(dir / "started.txt"), "") << "the process had finished its work";
    EXPECT_EQ(::WaitForSingleObject(info.hProcess, 0), WAIT_OBJECT_0);
    ::CloseHandle(info.hProcess);
}

TEST(Win32Process, CommandLineOfAStart) {
    struct Case {
        std::string program, params, line;
    };
    const Case cases[] = {
        {"C:\\TOVR\\Shift.exe", "/silent", "C:\\TOVR\\Shift.exe /silent"},
        {"C:\\TOVR\\Shift.exe", "", "C:\\TOVR\\Shift.exe "},
        {"C:\\Program Files\\TOVR\\Shift.exe", "a \"b c\"", "\"C:\\Program Files\\TOVR\\Shift.exe\" a \"b c\""},
        {"C:\\Tab\there.exe", "", "\"C:\\Tab\there.exe\" "},
    };
    for (const Case& c : cases) EXPECT_EQ(StartCommandLine(c.program, c.params), c.line);
}

TEST(Win32Process, StartRunsExactlyTheNamedProgram) {
    Win32TempDir dir;
    Win32Platform platform;
    ASSERT_TRUE(platform.CreateDir(dir / "dir with blank"));
    ASSERT_TRUE(platform.CopyFile(MarkerPath(), dir / "dir with blank\\Marker.exe"));
    // The shorter prefix of the path that a plain command line would try first.
    ASSERT_TRUE(platform.CopyFile(MarkerPath(), dir / "dir.exe"));

    const std::string program = dir / "dir with blank\\Marker.exe";
    ASSERT_TRUE(platform.StartProcess(program, W("/silent \"два слова\" Пуск")));
    EXPECT_EQ(WaitForFile(dir / "dir with blank\\started.txt"),
              Cp1251ToUtf8("\"" + program + "\" " + W("/silent \"два слова\" Пуск")) + "\n");
    ::Sleep(200);
    EXPECT_FALSE(PathExists(dir / "started.txt")) << "dir.exe was started";

    EXPECT_FALSE(platform.StartProcess(dir / "none.exe", ""));
    ASSERT_TRUE(PutFile(dir / "data.exe", "not a program"));
    EXPECT_FALSE(platform.StartProcess(dir / "data.exe", ""));
}

// ----------------------------------------------------------------- version

TEST(Win32Version, TheCoreReaderOverTheWindowsVersionService) {
    Win32TempDir dir;
    Win32Platform platform;
    VersionResource r = RussianResource((2u << 16) | 1, 15, "2.1.0.15");
    r.stringTables[0].strings.push_back({"FileDescription", "Смена АЗС"});
    ASSERT_TRUE(PutFile(dir / "Shift.exe", BuildPeFile(r)));
    ASSERT_TRUE(PutFile(dir / "Empty.exe", BuildPeFile(RussianResource(1u << 16, 0, ""))));
    ASSERT_TRUE(PutFile(dir / "Fixed.dll", BuildPeFile(RussianResource((10u << 16) | 0, (65535u << 16) | 1, nullptr))));
    ASSERT_TRUE(PutFile(dir / "data.txt", "plain text"));

    {
        TVersionInfo info(platform, dir / "Shift.exe");
        EXPECT_EQ(info.FileVersionText(), "2.1.0.15");
        EXPECT_EQ(info.TranslationKey(), "041904E3");
        EXPECT_EQ(info.StringValue("FileDescription"), W("Смена АЗС"));
        EXPECT_EQ(info.StringValue("filedescription"), W("Смена АЗС")) << "names ignore letter case";
        EXPECT_EQ(info.StringValue("Comments"), "");
    }
    EXPECT_EQ(FileVersionOf(platform, dir / "Empty.exe"), "1.0.0.0");
    EXPECT_EQ(FileVersionOf(platform, dir / "Fixed.dll"), "10.0.65535.1");
    EXPECT_EQ(FileVersionOf(platform, dir / "data.txt"), "");
    EXPECT_EQ(FileVersionOf(platform, dir / "none.exe"), "");
}

TEST(Win32Version, StringAnswersLieInsideTheBlockAndStayValid) {
    Win32Platform platform;
    uint32_t handle = 0;
    const uint32_t size = platform.VersionInfoSize(ProductPath(), handle);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> data(size);
    ASSERT_TRUE(platform.VersionInfo(ProductPath(), handle, size, data.data()));
    const uint8_t *a = nullptr, *b = nullptr;
    uint32_t la = 0, lb = 0;
    ASSERT_TRUE(platform.VersionQuery(data.data(), size, "\\StringFileInfo\\041904E3\\ProductName", a, la));
    ASSERT_TRUE(platform.VersionQuery(data.data(), size, "\\StringFileInfo\\041904E3\\FileVersion", b, lb));
    for (const uint8_t* p : {a, b}) {
        EXPECT_GE(p, data.data());
        EXPECT_LT(p, data.data() + size);
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(a)), W("ЮКСВЕЛ")) << "the first answer is intact";
    EXPECT_EQ(la, W("ЮКСВЕЛ").size() + 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b)), YRN_VERSION_TEXT);
    EXPECT_FALSE(platform.VersionQuery(data.data(), size, "\\StringFileInfo\\041904E3\\Nothing", a, la));
    EXPECT_EQ(a, nullptr);
}

TEST(Win32Version, TheProductCarriesItsOwnVersion) {
    Win32Platform platform;
    TVersionInfo info(platform, ProductPath());
    EXPECT_EQ(info.FileVersionText(), YRN_VERSION_TEXT);
    EXPECT_EQ(info.StringValue("ProductVersion"), YRN_VERSION_TEXT);
    EXPECT_EQ(info.TranslationKey(), "041904E3");
    EXPECT_EQ(info.StringValue("OriginalFilename"), "YRNUpdate.exe");
    EXPECT_EQ(info.StringValue("FileDescription"), W("Обновление исполняемых файлов ЮКСВЕЛ"));
    uint32_t ms = 0, ls = 0;
    ASSERT_TRUE(info.FixedFileVersion(ms, ls));
    EXPECT_EQ(VersionToText(ms, ls), YRN_VERSION_TEXT);
}

}  // namespace
}  // namespace yrn::test
