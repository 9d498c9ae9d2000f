// The last run's outcome: "LastRunTime", "LastRunKind" and "LastRunResult"
// in the registry, and the console tool's exit status.
#include <filesystem>

#include "support/FaultPlatform.h"
#include "support/Package.h"
#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

const std::string kTime = "\"LastRunTime\"=\"2024-03-05 10:20:07\"\r\n";
const std::string kKind = "\"LastRunKind\"=\"update\"\r\n";

// An update's kind and result as recorded.
std::string Recorded(unsigned result) { return kKind + Dw("LastRunResult", result) + "\r\n"; }

// The built tool on the shared package: its exit status, and what it recorded.
TEST(ConsoleProgram, ExitsWithTheResult) {
    std::string unattended = "0 'C:\\TOVR\\UPDATE\\' 0";
    struct {
        std::string name, args, input;
        // a directory removed first, and the package version recorded before
        const char* removed;
        std::string version;
        int status;
        // an update's outcome recorded, or nothing
        bool recorded;
    } cases[] = {
        {"a file failed", unattended, "", "c/TOVR/LIB", "", 1, true},
        {"an error", unattended, "", "", "\"7\"", 2, true},
        {"declined", unattended, "", "", "dword:00000007", 4, true},
        {"the form cancelled", "", "\n\n\n\nОтмена\n", "", "", 0, false},
        {"a failed start", "x 'C:\\P' 0", "", "", "", StartupFailureStatus, false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        WritePackage(root);
        if (*c.removed) std::filesystem::remove_all(root.Native(c.removed));
        if (!c.version.empty()) WriteFile(root.Native("registry.reg"), kRegistryHead + "\"UpdateVersion\"=" + c.version + "\r\n");
        EXPECT_EQ(RunTool(root, c.args, c.input), c.status);
        auto registry = ReadFile(root.Native("registry.reg"));
        if (c.recorded) EXPECT_NE(registry.find(Recorded(c.status)), std::string::npos);
        else EXPECT_EQ(registry.find("LastRun"), std::string::npos);
    }
}

// An unattended update of the shared package on a fixed clock, some calls
// refused: every file it leaves, and the exit status.
std::pair<Snapshot, int> Update(std::function<void(FaultPlatform&)> faults) {
    TempRoot root;
    WritePackage(root);
    PosixPlatform posix(root.Path());
    FaultPlatform fp(posix);
    fp.SetClock(DateTime{2024, 3, 5, 10, 20, 7});
    if (faults) faults(fp);
    ScriptedUI ui;
    int status = RunProgram({"0", "C:\\TOVR\\UPDATE\\", "0"}, fp, ui);
    ResetSettings();
    return {TakeSnapshot(root.Path()), status};
}

// A package refused while the run reads its manifest: result 3 with the
// time the run started, whatever the clock says later.
TEST(RunResult, RefusedPackage) {
    auto [files, status] = Update([](auto& fp) {
        fp.AfterCall([&fp](auto& r) {
            if (r.call == Call::Now) fp.SetClock(DateTime{2025, 1, 1, 0, 0, 0});
            if (r.call == Call::ReadWholeFile && r.arg.ends_with("YRNUpdate.ini")) throw PackageRefused("refused");
        });
    });
    EXPECT_EQ(status, 3);
    EXPECT_NE(files.at("registry.reg").find(kTime + Recorded(3)), std::string::npos);
    auto& shift = PackageFileNamed("Shift.exe");
    EXPECT_EQ(files.at(shift.native), shift.oldBytes);
}

// A registry that refuses the outcome, at the key's opening, its first value
// or its last: the run, its records and its status as without the outcome,
// and one more line in the log.
TEST(RunResult, RegistryRefusingTheOutcome) {
    auto [clean, cleanStatus] = Update({});
    ASSERT_EQ(cleanStatus, 0);
    struct {
        std::function<bool(const CallRecord&)> refuse;
        std::string kept;
    } cases[] = {
        {[n = 0](auto& r) mutable { return r.call == Call::OpenRegistryKey && ++n == 2; }, ""},
        {[](auto& r) { return r.arg == "LastRunTime"; }, ""},
        {[](auto& r) { return r.arg == "LastRunResult"; }, kTime + kKind},
    };
    for (auto& c : cases) {
        auto expected = clean;
        auto& registry = expected.at("registry.reg");
        registry.replace(registry.find(kTime), (kTime + Recorded(0)).size(), c.kept);
        expected.at("cwd/YRNUpdate.log") += "05.03 10:20:07 " + W("Не удалось записать результат в реестр.") + "\r\n";
        EXPECT_EQ(Update([&c](auto& fp) { fp.FailWhen(c.refuse); }), std::pair(expected, 0)) << c.kept;
    }
}

}
}
