// The update run end to end on real files under a temporary prefix: each case
// starts from the worked example and its whole outcome is a golden file.
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

const char* kWorkedManifest =
    "[ExeFiles]\r\nVersion=12\r\n[FILES]\r\nShift.exe=\r\nPrices.dll=\r\n"
    "[Shift.exe]\r\nSDir=<default>\r\nCDir=<default>\r\nMDir=<НЕ НУЖНО>\r\nVersion=5\r\nExecute=1\r\n"
    "Params=/silent\r\n"
    "[Prices.dll]\r\nSDir=<DB>\r\nCDir=D:\\Shared\r\nVersion=3\r\n";

class UpdateRunTest : public RunTest {
public:
    using RunTest::root;
    void Put(const std::string& rel, const std::string& bytes) { WriteFile(root.Native(rel), bytes); }
    void Reg(const std::string& values) {
        Put("registry.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n" + values + "\r\n");
    }
    void Remove(const std::string& rel) { std::filesystem::remove_all(root.Native(rel)); }
};

struct RunCase {
    const char* name;
    std::function<void(UpdateRunTest&)> setup;
    std::deque<bool> answers;
};
void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class UpdateRunCase : public UpdateRunTest, public ::testing::WithParamInterface<RunCase> {};

// The worked example: a client installation, Shift.exe = 4 and UpdateVersion = 11
// recorded, D:\Shared present.
TEST_P(UpdateRunCase, LeavesItsGoldenOutcome) {
    Put("d/Pack/YRNUpdate.ini", W(kWorkedManifest));
    Put("d/Pack/Shift.exe", "new shift");
    Put("d/Pack/Prices.dll", "new prices");
    Put("c/TOVR/Shift.exe", "old shift");
    Put("d/Shared/.keep", "");
    Reg("\"Shift.exe\"=dword:00000004\r\n\"UpdateVersion\"=dword:0000000b\r\n");
    UpdatePath = "D:\\Pack\\";
    swType = 1;
    if (GetParam().setup) GetParam().setup(*this);
    const RecordingView view = RunUpdate(GetParam().answers);
    // The set's name is the start's stamp; every directory of this run carries it.
    std::smatch set;
    std::regex_search(BackupDir, set, std::regex(R"(\\(\d\d-\d\d-\d\d \d\d-\d\d)\\$)"));
    std::string notes = "BackupDir: " + BackupDir + "\n";
    for (size_t i = 0; RunList && i < RunList->Count(); ++i) notes += "RunList: " + RunList->Line(i) + "\n";
    ExpectGolden(RunReport(root, view, set.size() > 1 ? set.str(1) : "", 0, notes), std::string("update_") + GetParam().name + ".txt");
}

const char* kSecond = "\"Shift.exe\"=dword:00000005\r\n\"UpdateVersion\"=dword:0000000c\r\n";

INSTANTIATE_TEST_SUITE_P(
    Runs, UpdateRunCase,
    ::testing::Values(
        RunCase{"worked_example", {}, {}},
        RunCase{"manager_installs_nothing_records_version", [](UpdateRunTest&) { swType = 2; }, {}},
        RunCase{"missing_manifest", [](UpdateRunTest& t) { UpdatePath = "D:\\Empty\\"; t.Put("d/Empty/.keep", ""); }, {}},
        RunCase{"older_package_recorded", [](UpdateRunTest& t) { t.Reg("\"UpdateVersion\"=dword:0000000b\r\n"); }, {false}},
        RunCase{"same_package_declined", [](UpdateRunTest& t) { t.Reg("\"UpdateVersion\"=dword:0000000c\r\n"); }, {false}},
        RunCase{"same_package_accepted", [](UpdateRunTest& t) { t.Reg("\"UpdateVersion\"=dword:0000000c\r\n"); }, {true}},
        RunCase{"lower_package_declined", [](UpdateRunTest& t) { t.Reg("\"UpdateVersion\"=dword:0000000d\r\n"); }, {false}},
        RunCase{"lower_package_accepted", [](UpdateRunTest& t) { t.Reg("\"UpdateVersion\"=dword:0000000d\r\n"); }, {true}},
        RunCase{"no_version_checks_install_equal", [](UpdateRunTest& t) { t.Reg(kSecond); IsNoVersion = true; }, {}},
        RunCase{"equal_file_version_skipped", [](UpdateRunTest& t) { t.Reg("\"Shift.exe\"=dword:00000005\r\n"); }, {}},
        // Installed twice: the set keeps the first saved copy, not the new file.
        RunCase{"name_listed_twice", [](UpdateRunTest& t) {
                    t.Put("d/Pack/YRNUpdate.ini", "[ExeFiles]\r\nVersion=12\r\n[FILES]\r\nShift.exe=\r\nShift.exe=\r\n"
                                                  "[Shift.exe]\r\nCDir=<default>\r\nVersion=5\r\n");
                    IsNoVersion = true; }, {}},
        RunCase{"answer_no_skips_without_failure", [](UpdateRunTest&) { IsMessage = true; }, {false, true}},
        RunCase{"missing_target_directory", [](UpdateRunTest& t) { t.Remove("d/Shared"); }, {}},
        RunCase{"local_copy_mark", [](UpdateRunTest& t) { t.Put("d/Pack/YRNUpdate.ini", W(kWorkedManifest) + "[MAIN]\r\nLocalCopy=0\r\n"); }, {}},
        RunCase{"recorded_version_of_wrong_type", [](UpdateRunTest& t) { t.Reg("\"UpdateVersion\"=\"eleven\"\r\n"); }, {}},
        RunCase{"log_cannot_be_opened", [](UpdateRunTest& t) { ::mkdir(t.root.Native("cwd/YRNUpdate.log").c_str(), 0777); }, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace yrn::test
