// The last run's outcome: "LastRunTime", "LastRunKind" and "LastRunResult"
// in the registry, and the console tool's exit status.
#include <sys/wait.h>

#include <filesystem>

#include "support/FaultPlatform.h"
#include "support/Package.h"
#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

const DateTime kStart{2024, 3, 5, 10, 20, 7};
const std::string kTime = "\"LastRunTime\"=\"2024-03-05 10:20:07\"\r\n";
const std::string kKey = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n";

std::string Outcome(const std::string& kind, int result) {
    return "\"LastRunKind\"=\"" + kind + "\"\r\n\"LastRunResult\"=dword:0000000" + std::to_string(result) + "\r\n";
}

// The built tool on the shared package: its exit status, and what it recorded.
TEST(ConsoleProgram, ExitsWithTheResultItRecords) {
    const std::string unattended = "0 'C:\\TOVR\\UPDATE\\' 0";
    struct Case {
        std::string name, args, input;
        // a directory removed first, and the package version recorded before
        const char* removed;
        std::string version;
        int status;
        // nullptr: nothing recorded
        const char* kind;
    } cases[] = {
        {"a file failed", unattended, "", "c/TOVR/LIB", "", 1, "update"},
        {"an error", unattended, "", "", "\"7\"", 2, "update"},
        {"declined", unattended, "", "", "dword:00000007", 4, "update"},
        {"the form cancelled", "", "\n\n\n\nОтмена\n", "", "", 0, nullptr},
        {"a failed start", "x 'C:\\P' 0", "", "", "", StartupFailureStatus, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        WritePackage(root);
        if (*c.removed) std::filesystem::remove_all(root.Native(c.removed));
        if (!c.version.empty()) WriteFile(root.Native("registry.reg"), kKey + "\"UpdateVersion\"=" + c.version + "\r\n");
        const std::string cmd = "printf %s '" + c.input + "' | YRN_ROOT='" + root.Path() + "' '" YRN_TOOL_PATH "' " + c.args + " >/dev/null 2>&1";
        const int status = std::system(cmd.c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.status);
        const std::string registry = ReadFile(root.Native("registry.reg"));
        if (c.kind) EXPECT_NE(registry.find(Outcome(c.kind, c.status)), std::string::npos);
        else EXPECT_EQ(registry.find("LastRun"), std::string::npos);
    }
}

// An unattended update of the shared package on a fixed clock, some calls
// refused: every file it leaves, and the exit status.
std::pair<Snapshot, int> Update(const std::function<void(FaultPlatform&)>& faults) {
    TempRoot root;
    WritePackage(root);
    PosixPlatform posix(root.Path());
    FaultPlatform fp(posix);
    fp.SetClock(kStart);
    if (faults) faults(fp);
    ScriptedUI ui;
    const int status = RunProgram({"0", "C:\\TOVR\\UPDATE\\", "0"}, fp, ui);
    ResetSettings();
    return {TakeSnapshot(root.Path()), status};
}

// A package refused while the run reads its manifest: result 3 with the
// time the run started, whatever the clock says later.
TEST(RunResult, ARefusedPackageIsRecordedWithTheRunsStart) {
    const auto [files, status] = Update([](FaultPlatform& fp) {
        fp.AfterCall([&fp](const CallRecord& r) {
            if (r.call == Call::Now) fp.SetClock(DateTime{2025, 1, 1, 0, 0, 0});
            if (r.call == Call::ReadWholeFile && r.arg.ends_with("YRNUpdate.ini")) throw PackageRefused("refused");
        });
    });
    EXPECT_EQ(status, 3);
    EXPECT_NE(files.at("registry.reg").find(kTime + Outcome("update", 3)), std::string::npos);
    const PackageFile& shift = PackageFileNamed("Shift.exe");
    EXPECT_EQ(files.at(shift.native), shift.oldBytes);
}

// A registry that refuses the outcome, at the key's opening, its first value
// or its last: the run, its records and its status as without the outcome,
// and one more line in the log.
TEST(RunResult, ARegistryRefusingItChangesNothingElse) {
    const auto [clean, cleanStatus] = Update({});
    ASSERT_EQ(cleanStatus, 0);
    const struct {
        std::function<bool(const CallRecord&)> refuse;
        std::string kept;
    } cases[] = {
        {[n = 0](const CallRecord& r) mutable { return r.call == Call::OpenRegistryKey && ++n == 2; }, ""},
        {[](const CallRecord& r) { return r.arg == "LastRunTime"; }, ""},
        {[](const CallRecord& r) { return r.arg == "LastRunResult"; }, kTime + "\"LastRunKind\"=\"update\"\r\n"},
    };
    for (const auto& c : cases) {
        Snapshot expected = clean;
        std::string& registry = expected.at("registry.reg");
        registry.replace(registry.find(kTime), (kTime + Outcome("update", 0)).size(), c.kept);
        expected.at("cwd/YRNUpdate.log") += "05.03 10:20:07 " + W("Не удалось записать результат в реестр.") + "\r\n";
        const auto [files, status] = Update([&c](FaultPlatform& fp) { fp.FailWhen(c.refuse); });
        EXPECT_EQ(status, 0);
        EXPECT_EQ(files, expected) << c.kept;
    }
}

}  // namespace
}  // namespace yrn::test
