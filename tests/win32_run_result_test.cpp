// An update run on the Win32 backend records how it ended in the tool's key,
// the 32-bit view as every other value: time and kind as text, the result as
// a number.
#include <gtest/gtest.h>

#include <regex>

#include "core/FuncUnit.h"
#include "core/YRNUpdateFrm/TUpdateForm.h"
#include "platform/win32/Win32Platform.h"
#include "support/FaultPlatform.h"
#include "support/win32_Files.h"

namespace yrn::test {
namespace {

const wchar_t* const kKey = L"SOFTWARE\\Quenbrit\\YRN\\Update";

struct SilentView : UpdateView {
    void AddLine(const std::string&) override {}
    void SetCaption(const std::string&) override {}
    void SetEndBtnEnabled(bool) override {}
    bool AskYesNo(const std::string&, const std::string&, bool) override { return false; }
    void PostToSelf(uint32_t, uintptr_t, intptr_t) override {}
    void Close() override {}
};

DWORD Number(const wchar_t* name) {
    DWORD value = 99, size = sizeof value;
    ::RegGetValueW(HKEY_LOCAL_MACHINE, kKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

std::string Text(const wchar_t* name) {
    wchar_t value[64] = {};
    DWORD size = sizeof value;
    ::RegGetValueW(HKEY_LOCAL_MACHINE, kKey, name, RRF_RT_REG_SZ, nullptr, value, &size);
    return Narrow(value);
}

// A.exe goes in place; B.exe, packaged or not, has no target directory.
TEST(Win32RunResult, RecordedInTheRegistry) {
    const struct {
        bool withB, refused;
        DWORD result;
    } cases[] = {{false, false, 0}, {true, false, 1}, {false, true, 3}};
    const std::filesystem::path cwd = std::filesystem::current_path();
    for (const auto& c : cases) {
        Win32TempDir dir;
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
        ResetSettings();
        UpdatePath = dir / "pkg\\";
        BackupDir = dir / "old\\";
        LocalCopyDir = dir / "new\\";
        std::filesystem::create_directories(Fs(dir / "pkg"));
        std::filesystem::create_directories(Fs(dir / "inst"));
        PutFile(UpdatePath + "YRNUpdate.ini",
                "[FILES]\r\nA.exe=\r\nB.exe=\r\n[A.exe]\r\nSDir=" + dir / "inst" + "\r\n[B.exe]\r\nSDir=" + dir / "gone" + "\r\n");
        PutFile(UpdatePath + "A.exe", "new A");
        if (c.withB) PutFile(UpdatePath + "B.exe", "new B");
        std::filesystem::current_path(Fs(dir.Path()));  // for the run's log
        Win32Platform win32;
        FaultPlatform platform(win32);
        platform.AfterCall([&c](const CallRecord& r) {
            if (c.refused && r.call == Call::ReadWholeFile) throw PackageRefused("refused");
        });
        TUpdateForm form(platform);
        SilentView view;
        form.AttachView(&view);
        form.StartUpdate();
        std::filesystem::current_path(cwd);
        EXPECT_EQ(Number(L"LastRunResult"), c.result);
        EXPECT_EQ(Text(L"LastRunKind"), "update");
        EXPECT_TRUE(std::regex_match(Text(L"LastRunTime"), std::regex(R"(20\d\d-[01]\d-[0-3]\d [0-2]\d:[0-5]\d:[0-5]\d)")));
        EXPECT_EQ(GetFile(dir / "inst\\A.exe"), c.refused ? "" : "new A");
    }
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    ResetSettings();
}

}  // namespace
}  // namespace yrn::test
