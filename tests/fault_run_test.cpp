// Every platform call of an update run and of a rollback run is failed once,
// one run per call; after each run the promises of the tool are checked on
// disk: every file whole, no installed file changed without its saved copy
// listed in the catalogue, a file not in place reported and keeping
// "UpdateVersion" from being recorded, the log closed and holding every line
// it took, the window's button enabled again, and an ordinary rollback
// afterwards bringing every old byte back.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <sstream>

#include "platform/posix/RegFile.h"
#include "support/FaultPlatform.h"
#include "support/Package.h"

namespace yrn::test {
namespace {

const DateTime kRunTime{2024, 3, 5, 10, 20, 30};
const std::string kUpdateKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update";
const std::string kGeneralFailure[] = {W("Сбой при обновлении исполняемых файлов ЮКСВЕЛ."),
                                       W("Сбой при замене исполняемых файлов ЮКСВЕЛ.")};

std::optional<uint32_t> RegDword(const TempRoot& root, const std::string& name) {
    RegFile reg = RegFile::Parse(ReadFile(root.Native("registry.reg")));
    RegKeyData* key = reg.FindKey(kUpdateKey);
    RegValue* v = key ? RegFile::FindValue(*key, name) : nullptr;
    return v && v->type == RegType::Dword ? std::optional<uint32_t>(v->dword) : std::nullopt;
}

bool Starts(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

using Inspect = std::function<void(const TempRoot&, const RecordingView&)>;

class FaultRunTest : public ::testing::Test {
protected:
    void TearDown() override { ResetSettings(); }

    // One run (mode 1 update, 2 rollback of a clean update) over the shared
    // package with the faults faults sets; checks what it left, shows it to
    // inspect and rolls back. Returns the number of calls the run made.
    int Run(uint8_t mode, const std::function<void(FaultPlatform&)>& faults, const Inspect& inspect = {}) {
        TempRoot root;
        WritePackage(root);
        WriteFile(root.Native("registry.reg"), "REGEDIT4\r\n\r\n[" + kUpdateKey + "]\r\n\"UpdatePath\"=\"C:\\\\TOVR\\\\UPDATE\\\\\"\r\n"
                                               "\"UpdateVersion\"=dword:00000006\r\n\"Shift.exe\"=dword:00000002\r\n\r\n");
        PosixPlatform posix(root.Path());
        FaultPlatform clock(posix), fp(posix);
        clock.SetClock(kRunTime), fp.SetClock(kRunTime);
        auto set = [&] { return BackupSets(root).empty() ? "" : root.Native(kBackupRootNative) + "/" + BackupSets(root)[0]; };
        if (mode == 2) ResetSettings(), RunWindow(clock, 1);
        const std::string setName = mode == 2 ? BackupSets(root).at(0) : "";
        auto setFiles = [&] { return set().empty() ? Snapshot{} : TakeSnapshot(set()); };
        const Snapshot before = TakeSnapshot(root.Path()), setBefore = setFiles();
        faults(fp);
        const RecordingView view = mode == 1 ? (ResetSettings(), RunWindow(fp, 1)) : RollBack(fp, root, setName);
        const CallRecord* failed = fp.Failed();
        const std::string context = !failed ? "no fault" : "fault at call " + std::to_string(failed->index) + " " +
                                                               CallName(failed->call) + "(" + Cp1251ToUtf8(failed->arg) + ")";
        EXPECT_EQ(view.endStates, (std::vector<bool>{false, true})) << context;
        EXPECT_EQ(fp.OpenLogFiles() + fp.UnclosedLogFiles(), 0) << context << ": log not closed";
        EXPECT_LE(BackupSets(root).size(), 1u) << context;
        ExpectWholeAndSaved(root, PackageFiles(), set(), context);
        bool allDone = true, skipped = false;
        for (const PackageFile& f : PackageFiles()) {
            const std::string now = ReadFile(root.Native(f.native));
            if (mode == 2 ? f.oldBytes.empty() || now == f.oldBytes : now == f.newBytes) continue;
            allDone = false;
            // A false "no such file" for the package's copy makes a silent skip, an unreadable manifest an empty package.
            const bool silent = failed && ((failed->call == Call::FileExists &&
                                            failed->arg == (mode == 1 ? "C:\\TOVR\\UPDATE\\" : BackupDir) + f.name) ||
                                           (failed->call == Call::ReadWholeFile && failed->arg == UpdatePath + "YRNUpdate.ini"));
            skipped = skipped || silent;
            EXPECT_TRUE(silent || std::any_of(view.lines.begin(), view.lines.end(), [&](const std::string& l) {
                            return l == W("Сбой при замене файла: ") + f.name || Starts(l, kGeneralFailure[mode - 1]) ||
                                   Starts(l, W("Не найден файл: "));
                        })) << context << ": " << f.name << " not done without a failure line";
            // A version is recorded only for a file in place.
            EXPECT_TRUE(mode == 2 || RegDword(root, f.name) == (f.name == "Shift.exe" ? std::optional<uint32_t>(2) : std::nullopt))
                << context << ": " << f.name;
        }
        EXPECT_TRUE(mode == 2 || (failed && (allDone || skipped)) || RegDword(root, "UpdateVersion") == (failed ? 6u : 7u)) << context;
        EXPECT_TRUE(failed || allDone) << "a clean run leaves every file in place";
        std::string logged = before.count("cwd/YRNUpdate.log") ? before.at("cwd/YRNUpdate.log") : "";
        for (const CallRecord& r : fp.Records()) logged += r.ok && r.call == Call::LogWrite ? r.value : "";
        EXPECT_EQ(ReadFile(root.Native("cwd/YRNUpdate.log")), logged) << context << ": log lines lost";
        const Snapshot after = TakeSnapshot(root.Path());
        for (const std::string& p : Changed(before, after)) {
            const bool target = std::any_of(PackageFiles().begin(), PackageFiles().end(), [&](auto& f) { return f.native == p; });
            EXPECT_TRUE(p.find(".~yrn") == std::string::npos &&
                        (target || p == "cwd/YRNUpdate.log" || (mode == 1 && (p == "registry.reg" || Starts(p, "c/TOVR/UPDATE/")))))
                << context << ": stray write " << p;
        }
        EXPECT_TRUE(mode == 1 || (setFiles() == setBefore && after.at("registry.reg") == before.at("registry.reg")))
            << context << ": the backup set or the registry changed";
        if (inspect) inspect(root, view);
        if (!set().empty()) RollBack(posix, root, set().substr(set().rfind('/') + 1));
        for (const PackageFile& f : PackageFiles())
            EXPECT_TRUE(f.oldBytes.empty() || ReadFile(root.Native(f.native)) == f.oldBytes) << context << ": rollback left " << f.name;
        return fp.Calls();
    }

    void EveryCall(uint8_t mode) {
        const int calls = Run(mode, [](FaultPlatform&) {});
        for (int k = 1; k <= calls && !HasFailure(); ++k) Run(mode, [k](FaultPlatform& fp) { fp.FailCall(k); });
        std::cout << "[ fault    ] " << (mode == 1 ? "update" : "rollback") << " run: " << calls << " fault points\n";
    }
};

TEST_F(FaultRunTest, UpdateSurvivesAFaultAtEveryCall) { EveryCall(1); }
TEST_F(FaultRunTest, RollbackSurvivesAFaultAtEveryCall) { EveryCall(2); }

// Every call of one kind fails: what the run does, line by line. Screen
// codes: S start, E end, F run failure, +X step on file X, !X its failure.
// done: files in place at the end, new bytes in an update, still new in a rollback.
struct KindCase { uint8_t mode; FaultKind kind; const char *done, *screen; };

std::string Screen(uint8_t mode, const std::string& codes) {
    const bool up = mode == 1;
    std::string out;
    std::istringstream in(codes);
    for (std::string t; in >> t; out += "\n") {
        if (t == "S") out += up ? "Старт программы обновления ЮКСВЕЛ." : "Старт программы отката обновления ЮКСВЕЛ.";
        if (t == "E") out += up ? "Обновление исполняемых файлов завершено." : "Замена исполняемых файлов завершена.";
        if (t == "F") out += Cp1251ToUtf8(kGeneralFailure[mode - 1]);
        if (t[0] == '+') out += (up ? "Обновление файла: " : "Восстановление файла: ") + t.substr(1);
        if (t[0] == '!') out += "Сбой при замене файла: " + t.substr(1);
    }
    return out;
}

TEST_F(FaultRunTest, EveryCallOfOneKindFailing) {
    const KindCase cases[] = {
        {1, FaultKind::Copy, "", "S +Shift.exe !Shift.exe +Lib.dll !Lib.dll +Readme.txt !Readme.txt +Tool.exe !Tool.exe E"},
        {1, FaultKind::CreateDirectory, "Readme.txt", "S +Shift.exe !Shift.exe +Lib.dll !Lib.dll +Readme.txt +Tool.exe !Tool.exe E"},
        {1, FaultKind::IniWrite, "Readme.txt", "S +Shift.exe !Shift.exe +Lib.dll !Lib.dll +Readme.txt F"},
        {1, FaultKind::RegistryWrite, "Shift.exe", "S +Shift.exe F"},
        {1, FaultKind::LogOpen, "", "F"},
        {1, FaultKind::LogWrite, "", "S F"},
        {1, FaultKind::LogClose, "Shift.exe Lib.dll Readme.txt Tool.exe", "S +Shift.exe +Lib.dll +Readme.txt +Tool.exe E F"},
        {2, FaultKind::Copy, "Shift.exe Lib.dll Tool.exe", "S +Shift.exe !Shift.exe +Lib.dll !Lib.dll +Tool.exe !Tool.exe E"},
        {2, FaultKind::LogOpen, "Shift.exe Lib.dll Tool.exe", "F"},
        {2, FaultKind::LogWrite, "Shift.exe Lib.dll Tool.exe", "S F"},
        {2, FaultKind::LogClose, "", "S +Shift.exe +Lib.dll +Tool.exe E F"},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + c.screen);
        Run(c.mode, [&](FaultPlatform& fp) { fp.FailKind(c.kind); }, [&](const TempRoot& root, const RecordingView& view) {
            std::string shown;  // the run failure's reason cut off
            for (const std::string& l : view.lines)
                shown += Cp1251ToUtf8(Starts(l, kGeneralFailure[0]) ? kGeneralFailure[0] : l) + "\n";
            EXPECT_EQ(shown, Screen(c.mode, c.screen));
            for (const PackageFile& f : PackageFiles()) {
                const bool listed = (" " + std::string(c.done) + " ").find(" " + f.name + " ") != std::string::npos;
                EXPECT_TRUE((c.mode == 2 && f.oldBytes.empty()) || ReadFile(root.Native(f.native)) == (listed ? f.newBytes : f.oldBytes)) << f.name;
                const bool exempt = c.kind == FaultKind::RegistryWrite || c.kind == FaultKind::IniWrite || c.mode == 2;
                EXPECT_TRUE(!listed || exempt || RegDword(root, f.name)) << f.name << " in place, version not recorded";
            }
            EXPECT_TRUE(c.mode == 2 || RegDword(root, "UpdateVersion") == (c.kind == FaultKind::LogClose ? 7u : 6u));
        });
    }
}

// A refused catalogue write followed by a catalogue that cannot be read back
// must not cost the entries already on disk (checked by Run).
TEST_F(FaultRunTest, CatalogueKeepsItsEntriesWhenItCannotBeReadBack) {
    int appends = 0;
    Run(1, [&](FaultPlatform& fp) {
        fp.FailWhen([&](const CallRecord& r) {
            const bool catalogue = r.arg.size() > 10 && r.arg.compare(r.arg.size() - 10, 10, "BackUp.ini") == 0;
            if (catalogue && r.call == Call::AppendToFile) return ++appends == 1;  // the Lib.dll entry
            return catalogue && r.call == Call::ReadWholeFile && appends > 0;
        });
    }, [](const TempRoot& root, const RecordingView&) {
        EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), PackageFileNamed("Shift.exe").newBytes);
    });
}

}  // namespace
}  // namespace yrn::test
