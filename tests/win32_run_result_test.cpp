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

// A value of the tool's key as "type:data", a number in decimal.
std::string Value(const wchar_t* name) {
    DWORD type = 0, size = 128;
    wchar_t data[64] = {};
    HKEY key = nullptr;  // the 32-bit view, the one the tool uses
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
        ::RegGetValueW(key, nullptr, name, RRF_RT_ANY, &type, data, &size);
        ::RegCloseKey(key);
    }
    return std::to_string(type) + ":" + (type == REG_DWORD ? std::to_string(data[0] | static_cast<DWORD>(data[1]) << 16) : Narrow(data));
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
        HKEY key = nullptr;  // emptied in the 32-bit view, the one the tool uses
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
            ::RegDeleteTreeW(key, nullptr);
            ::RegCloseKey(key);
        }
        ResetSettings();
        UpdatePath = dir / "pkg\\";
        BackupDir = dir / "old\\";
        LocalCopyDir = dir / "new\\";
        std::filesystem::create_directories(Fs(UpdatePath));
        PutFile(UpdatePath + "YRNUpdate.ini",
                "[FILES]\r\nA.exe=\r\nB.exe=\r\n[A.exe]\r\nSDir=" + dir.Path() + "\r\n[B.exe]\r\nSDir=" + dir / "gone" + "\r\n");
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
        EXPECT_EQ(Value(L"LastRunResult"), "4:" + std::to_string(c.result));
        EXPECT_EQ(Value(L"LastRunKind"), "1:update");
        EXPECT_TRUE(std::regex_match(Value(L"LastRunTime"), std::regex(R"(1:20\d\d-[01]\d-[0-3]\d [0-2]\d:[0-5]\d:[0-5]\d)")));
    }
    ResetSettings();
}

}  // namespace
}  // namespace yrn::test
