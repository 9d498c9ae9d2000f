// An update run and a rollback run over the shared package, cut two ways.
// Each platform call in turn fails and the run goes on: the failure is
// reported, "UpdateVersion" is not recorded while a file is not in place, the
// log is closed and holds every line it took, every file holds its old or its
// new bytes and rolling back brings every old byte back. And the power goes
// after any system call the POSIX backend makes: see PowerCut below.
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <regex>

#include "platform/posix/RegFile.h"
#include "support/FaultPlatform.h"
#include "support/Package.h"
#include "support/posix_CrashRecorder.h"
#include "ui/console/ConsoleUI.h"

namespace yrn::test {
namespace {

const DateTime kRunTime{2024, 3, 5, 10, 20, 30};
const std::string kUpdateKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update";
const std::string kFailure[] = {W("Сбой при обновлении исполняемых файлов ЮКСВЕЛ."), W("Сбой при замене исполняемых файлов ЮКСВЕЛ.")};

std::optional<uint32_t> RegDword(const TempRoot& root, const std::string& name) {
    RegFile reg = RegFile::Parse(ReadFile(root.Native("registry.reg")));
    RegKeyData* key = reg.FindKey(kUpdateKey);
    RegValue* v = key ? RegFile::FindValue(*key, name) : nullptr;
    return v && v->type == RegType::Dword ? std::optional<uint32_t>(v->dword) : std::nullopt;
}

// The registry file without the last run's outcome.
std::string Records(const TempRoot& root) {
    return std::regex_replace(ReadFile(root.Native("registry.reg")), std::regex("\"LastRun[^\r]*\r\n"), "");
}

std::string SetDir(const TempRoot& root, const std::string& set) { return root.Native(kBackupRootNative) + "/" + set; }

// The run to cut: the update, or the rollback of the set the scene made.
RecordingView Start(FaultPlatform& fp, const TempRoot& root, uint8_t mode) {
    fp.SetClock(kRunTime);
    if (mode == 2) return RollBack(fp, root, BackupSets(root).at(0));
    ResetSettings();
    return RunWindow(fp, 1);
}

// The shared package and the registry; for a rollback (mode 2) the package installed by a clean update.
void LayScene(const TempRoot& root, uint8_t mode) {
    WritePackage(root);
    WriteFile(root.Native("registry.reg"), "REGEDIT4\r\n\r\n[" + kUpdateKey + "]\r\n"
                                           "\"UpdatePath\"=\"C:\\\\TOVR\\\\UPDATE\\\\\"\r\n"
                                           "\"UpdateVersion\"=dword:00000006\r\n\"Shift.exe\"=dword:00000002\r\n\r\n");
    PosixPlatform posix(root.Path());
    FaultPlatform fp(posix);
    if (mode == 2) Start(fp, root, 1);
}

// What a run or a cut may leave: every file whole (unflushed: a file not
// replaced may be torn by the suite's own write), each replaced one saved
// and listed, the catalogue listing only saved copies of old bytes; no
// record ahead of what it lists. Returns whether every file was replaced.
bool ExpectSafe(const TempRoot& root, uint8_t mode, bool unflushed = false) {
    const std::vector<std::string> sets = BackupSets(root);
    EXPECT_LE(sets.size(), 1u);
    const std::string set = sets.empty() ? "" : SetDir(root, sets[0]);
    const IniDocument catalogue(set.empty() ? "" : ReadFile(set + "/BackUp.ini"));
    bool all = true;
    for (const PackageFile& f : PackageFiles()) {
        const std::string now = ReadFile(root.Native(f.native));
        const bool replaced = now == f.newBytes, old = f.oldBytes.empty() ? !Exists(root.Native(f.native)) : now == f.oldBytes;
        EXPECT_TRUE(replaced || old || unflushed) << f.name << " torn or lost";
        all = all && replaced;
        if (replaced && !f.oldBytes.empty()) {
            EXPECT_EQ(ReadFile(set + "/" + f.name), f.oldBytes) << f.name << " replaced, not saved";
            EXPECT_EQ(catalogue.Find("FILES", f.name) ? *catalogue.Find("FILES", f.name) : "", f.target) << f.name;
        }
        const std::optional<uint32_t> version = RegDword(root, f.name);
        EXPECT_TRUE(mode == 2 || replaced || !version || (f.name == "Shift.exe" && version == 2u)) << f.name << " recorded, not in place";
    }
    for (const std::string& name : catalogue.Keys("FILES")) {
        const std::string saved = ReadFile(set + "/" + name);
        EXPECT_TRUE(saved.empty() || unflushed || saved == PackageFileNamed(name).oldBytes) << "listed " << name;
    }
    const std::string local = root.Native("c/TOVR/UPDATE/NewFiles/" + (sets.empty() ? "" : sets[0]));
    for (const std::string& name : IniDocument(ReadFile(local + "/YRNUpdate.ini")).Keys("FILES"))
        EXPECT_EQ(ReadFile(local + "/" + name), PackageFileNamed(name).newBytes) << "local copy of " << name;
    return all;
}

// Rolling the sets back, the latest first, restores every old byte. A set
// cut before its first catalogue entry holds no listed copy (nothing was
// replaced), and its rollback says so.
// tornAllowed: the suite's own write left its files torn; a replaced one then
// holds its old bytes again, the others are as they were.
void ExpectRolledBack(const TempRoot& root, bool tornAllowed = false) {
    std::vector<std::string> sets = BackupSets(root);
    std::sort(sets.rbegin(), sets.rend());
    PosixPlatform posix(root.Path());
    for (const std::string& set : sets) {
        const RecordingView view = RollBack(posix, root, set);
        const bool catalogued = Exists(SetDir(root, set) + "/BackUp.ini");
        EXPECT_EQ(view.lines.back(), catalogued ? W("Замена исполняемых файлов завершена.") : W("Не найден файл: ") + BackupDir + "BackUp.ini");
    }
    ResetSettings();
    for (const PackageFile& f : PackageFiles()) {
        const std::string now = ReadFile(root.Native(f.native));
        EXPECT_TRUE(f.oldBytes.empty() || now == f.oldBytes || (tornAllowed && now != f.newBytes)) << "rolled back " << f.name;
    }
}

// A run writes its targets, its log, the registry and, an update, the
// package's copies below C:\TOVR\UPDATE\.
void ExpectNoStrayWrite(const Snapshot& before, const TempRoot& root, uint8_t mode) {
    std::set<std::string> own = {"cwd/YRNUpdate.log", "registry.reg"}, copies = {"YRNUpdate.ini", "BackUp.ini"};
    for (const PackageFile& f : PackageFiles()) {
        own.insert(f.native);
        copies.insert(f.name);
    }
    for (const std::string& p : Changed(before, TakeSnapshot(root.Path()))) {
        const bool copy = mode == 1 && p.starts_with("c/TOVR/UPDATE/") && copies.count(p.substr(p.rfind('/') + 1));
        EXPECT_TRUE(own.count(p) || copy) << "stray write " << p;
    }
}

using Faults = std::function<void(FaultPlatform&)>;
using Inspect = std::function<void(const TempRoot&, const RecordingView&)>;

class InterruptedRunTest : public ::testing::Test {
protected:
    void TearDown() override { ResetSettings(); }

    // One run (mode 1 update, 2 rollback) with the faults faults sets;
    // checks what it left, shows it to inspect and rolls back. Returns the
    // number of calls the run made.
    int Run(uint8_t mode, const Faults& faults, const Inspect& inspect = {}) {
        TempRoot root;
        LayScene(root, mode);
        PosixPlatform posix(root.Path());
        FaultPlatform fp(posix);
        const Snapshot before = TakeSnapshot(root.Path());
        const std::string records = Records(root);
        if (faults) faults(fp);
        const RecordingView view = Start(fp, root, mode);
        const CallRecord* failed = fp.Failed();
        SCOPED_TRACE(failed ? "fault at call " + std::to_string(failed->index) + " " + CallName(failed->call) + "(" + Cp1251ToUtf8(failed->arg) + ")" : "no fault");
        EXPECT_EQ(view.endStates, (std::vector<bool>{false, true}));
        EXPECT_EQ(fp.UnclosedLogFiles(), 0);
        ExpectSafe(root, mode);
        bool allDone = true, skipped = false;
        for (const PackageFile& f : PackageFiles()) {
            const std::string now = ReadFile(root.Native(f.native));
            if (mode == 2 ? f.oldBytes.empty() || now == f.oldBytes : now == f.newBytes) continue;
            allDone = false;
            // A false "no such file" for the package's copy makes a silent skip, an unreadable manifest an empty package.
            const bool silent = failed && ((failed->call == Call::FileExists && failed->arg == (mode == 1 ? "C:\\TOVR\\UPDATE\\" : BackupDir) + f.name) ||
                                           (failed->call == Call::ReadWholeFile && failed->arg == UpdatePath + "YRNUpdate.ini"));
            skipped = skipped || silent;
            const auto said = [&](const std::string& l) {
                return l == W("Сбой при замене файла: ") + f.name || l.starts_with(kFailure[mode - 1]) || l.starts_with(W("Не найден файл: "));
            };
            EXPECT_TRUE(silent || std::any_of(view.lines.begin(), view.lines.end(), said)) << f.name << " not done without a failure line";
        }
        EXPECT_TRUE(mode == 2 || (failed && (allDone || skipped)) || RegDword(root, "UpdateVersion") == (failed ? 6u : 7u));
        EXPECT_TRUE(failed || allDone);
        std::string logged = before.count("cwd/YRNUpdate.log") ? before.at("cwd/YRNUpdate.log") : "";
        for (const CallRecord& r : fp.Records()) logged += r.ok && r.call == Call::LogWrite ? r.value : "";
        EXPECT_EQ(ReadFile(root.Native("cwd/YRNUpdate.log")), logged) << "log lines lost";
        ExpectNoStrayWrite(before, root, mode);
        EXPECT_TRUE(mode == 1 || Records(root) == records) << "a rollback changed the registry's records";
        if (inspect) inspect(root, view);
        ExpectRolledBack(root);
        return fp.Calls();
    }

    // Fails each call of a clean run in turn.
    void EveryFault(uint8_t mode) {
        const int calls = Run(mode, {});
        for (int k = 1; k <= calls && !HasFailure(); ++k) Run(mode, [k](FaultPlatform& fp) { fp.FailCall(k); });
    }
};

TEST_F(InterruptedRunTest, UpdateSurvivesAFaultAtEveryCall) { EveryFault(1); }
TEST_F(InterruptedRunTest, RollbackSurvivesAFaultAtEveryCall) { EveryFault(2); }

// A refused catalogue write followed by a catalogue that cannot be read back
// must not cost the entries already on disk (checked by Run).
TEST_F(InterruptedRunTest, CatalogueKeepsItsEntriesWhenItCannotBeReadBack) {
    int appends = 0;
    Run(1, [&](FaultPlatform& fp) {
        fp.FailWhen([&](const CallRecord& r) {
            const bool catalogue = r.arg.ends_with("BackUp.ini");
            // the Lib.dll entry
            if (catalogue && r.call == Call::Append) return ++appends == 1;
            return catalogue && r.call == Call::ReadWholeFile && appends > 0;
        });
    }, [](const TempRoot& root, const RecordingView&) { EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), PackageFileNamed("Shift.exe").newBytes); });
}

// Readme.txt's entry in the local manifest is held back from the platform, not lost, when the run then fails.
TEST_F(InterruptedRunTest, FailedRunKeepsItsLocalManifestEntries) {
    Run(1, [](FaultPlatform& fp) {
        fp.FailWhen([](const CallRecord& r) { return r.call == Call::LogWrite && r.value.find("Tool.exe") != std::string::npos; });
    }, [](const TempRoot& root, const RecordingView&) {
        const std::string local = ReadFile(root.Native("c/TOVR/UPDATE/NewFiles/" + BackupSets(root).at(0) + "/YRNUpdate.ini"));
        EXPECT_EQ(IniDocument(local).Keys("FILES"), (std::vector<std::string>{"Shift.exe", "Lib.dll", "Readme.txt"}));
    });
}

// A failure raised before the copy back (here while the installed file's
// version is read) leaves the file as it was and names no failed copy.
TEST(RestoreFile, AFailureBeforeTheCopySaysNoMore) {
    TempRoot root;
    LayScene(root, 2);
    PosixPlatform posix(root.Path());
    FaultPlatform fp(posix);
    fp.AfterCall([](const CallRecord& r) {
        if (r.call == Call::VersionInfoSize && r.arg == "C:\\TOVR\\Shift.exe") throw std::runtime_error("unreadable");
    });
    const RecordingView view = RollBack(fp, root, BackupSets(root).at(0));
    ResetSettings();
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), PackageFileNamed("Shift.exe").newBytes);
    EXPECT_EQ(std::count(view.lines.begin(), view.lines.end(), W("Сбой при замене файла: Shift.exe")), 0);
}

// Power cuts, judged from the calls the backend makes (the recorder's disk
// model): every state a cut may leave at any point of the run is laid down
// and checked; the next start of the tool leaves no saved copy sharing its
// bytes; a rollback brings back every old byte. Once the run has ended,
// nothing waits for a flush and no saved copy shares its bytes.
struct PowerCutCase {
    const char* name;
    uint8_t mode;
    void (*scene)(const TempRoot&);
    // fails system calls with EIO
    CrashRecorder::Fault fail;
    std::function<void(FaultPlatform&)> faults;
    // the suite wrote the installed files just before the run
    bool unflushed;
};

void PrintTo(const PowerCutCase& c, std::ostream* os) { *os << c.name; }

void NoScene(const TempRoot&) {}
void SecondName(const TempRoot& root) { ::link(root.Native("c/TOVR/Shift.exe").c_str(), root.Native("c/TOVR/LIB/Shift.exe").c_str()); }
void ListedTwice(const TempRoot& root) {
    const std::string manifest = root.Native("c/TOVR/UPDATE/YRNUpdate.ini");
    std::string text = ReadFile(manifest);
    text.insert(text.find("Lib.dll=\r\n"), "Shift.exe=\r\n");
    WriteFile(manifest, text);
}

bool NoFault(const std::string&, const std::string&, int) { return false; }
// The first replacement of Shift.exe fails, and so does its saved copy's unsharing.
bool ShiftPlacedAndUnsharedOnce(const std::string& call, const std::string& path, int nth) {
    return call == "rename" && path.ends_with("/Shift.exe") && path.find("NewFiles") == std::string::npos && nth == 1;
}
// As Linux reports a lost write: once; the next flush says all is well.
// The rollback flushes the volume once, at its end; the update first for its batch of files.
bool FirstVolumeFlushFails(const std::string& call, const std::string&, int nth) { return call == "syncfs" && nth == 1; }
bool SecondVolumeFlushFails(const std::string& call, const std::string&, int nth) { return call == "syncfs" && nth == 2; }
// The versions held for the end of the run cannot be written.
bool RecordsRefused(const std::string& call, const std::string& path, int nth) {
    return call == "rename" && path.ends_with("/registry.reg") && nth == 1;
}

// The log refuses Lib.dll's first line: Shift.exe is in place by then.
void LibLineRefused(FaultPlatform& fp) {
    fp.FailWhen([](const CallRecord& r) { return r.call == Call::LogWrite && r.value.find("Lib.dll") != std::string::npos; });
}
void ThirdRestoreLineRefused(FaultPlatform& fp) {
    fp.FailWhen([](const CallRecord& r) { return r.call == Call::LogWrite && r.value.find("Tool.exe") != std::string::npos; });
}

const PowerCutCase kPowerCuts[] = {
    {"update", 1, NoScene, NoFault, {}, false},
    {"rollback", 2, NoScene, NoFault, {}, false},
    {"update_of_files_written_just_before", 1, NoScene, NoFault, {}, true},
    {"update_of_a_file_with_a_second_name", 1, SecondName, NoFault, {}, false},
    {"update_listing_a_file_twice_whose_saved_copy_cannot_be_unshared", 1, ListedTwice, ShiftPlacedAndUnsharedOnce, {}, false},
    {"update_whose_batch_flush_fails", 1, NoScene, FirstVolumeFlushFails, {}, false},
    {"update_whose_final_flush_fails", 1, NoScene, SecondVolumeFlushFails, {}, false},
    {"rollback_whose_final_flush_fails", 2, NoScene, FirstVolumeFlushFails, {}, false},
    {"update_whose_records_are_refused", 1, NoScene, RecordsRefused, {}, false},
    {"update_failing_part_way", 1, NoScene, NoFault, LibLineRefused, false},
    {"rollback_failing_part_way", 2, NoScene, NoFault, ThirdRestoreLineRefused, false},
};

// Every catalogued saved copy has bytes of its own.
void ExpectUnshared(const TempRoot& root) {
    ResetSettings();
    PosixPlatform posix(root.Path());
    for (const std::string& set : BackupSets(root))
        for (const std::string& name : IniDocument(ReadFile(SetDir(root, set) + "/BackUp.ini")).Keys("FILES"))
            EXPECT_LE(posix.LinkCount(BackupDir + set + "\\" + name), 1) << name;
}

class PowerCut : public ::testing::TestWithParam<PowerCutCase> {
protected:
    void TearDown() override { ResetSettings(); }
};

TEST_P(PowerCut, LeavesEveryFileWholeSavedAndRestorable) {
    const PowerCutCase& c = GetParam();
    TempRoot root;
    LayScene(root, c.mode);
    c.scene(root);
    std::set<std::string> unflushed;
    for (const PackageFile& f : PackageFiles())
        if (c.unflushed && !f.oldBytes.empty()) unflushed.insert(f.native);
    PosixPlatform posix(root.Path());
    FaultPlatform fp(posix);
    if (c.faults) c.faults(fp);
    Recorder().Start(root.Path(), unflushed);
    Recorder().FailWhen(c.fail);
    const RecordingView view = Start(fp, root, c.mode);
    Recorder().Stop();
    // The recorder saw every change: its disk, all flushed, is the real one.
    TempRoot replay;
    CrashRecorder::Lay(Recorder().Now(), replay.Path());
    Snapshot real = TakeSnapshot(root.Path()), seen = TakeSnapshot(replay.Path());
    real.erase("cwd/YRNUpdate.log");
    EXPECT_EQ(seen, real);
    EXPECT_FALSE(Recorder().Pending());
    EXPECT_TRUE(RegDword(root, "LastRunResult"));
    EXPECT_EQ(view.lines.back().starts_with(kFailure[c.mode - 1]), c.fail == FirstVolumeFlushFails || c.fail == SecondVolumeFlushFails || c.fail == RecordsRefused || c.faults);
    ExpectUnshared(root);
    // A file's step that ended recorded both its local copy and its version.
    const std::vector<std::string> sets = BackupSets(root);
    const IniDocument local(ReadFile(root.Native("c/TOVR/UPDATE/NewFiles/" + (sets.empty() ? "" : sets[0]) + "/YRNUpdate.ini")));
    for (const std::string& name : local.Keys("FILES"))
        EXPECT_EQ(std::to_string(RegDword(root, name).value_or(0)), *local.Find(name, "Version")) << name << " copied, version not recorded";
    const std::vector<CrashState> states = Recorder().States();
    SkipFlushes(true);
    for (size_t i = 0; i < states.size() && !HasFailure(); ++i) {
        SCOPED_TRACE("state " + std::to_string(i) + " of " + std::to_string(states.size()));
        TempRoot cut;
        CrashRecorder::Lay(states[i], cut.Path());
        const bool all = ExpectSafe(cut, c.mode, c.unflushed);
        EXPECT_TRUE(all || c.mode == 2 || RegDword(cut, "UpdateVersion") != 7u);
        ResetSettings();
        PosixPlatform next(cut.Path());
        std::istringstream none;
        std::ostringstream shown;
        ConsoleUI ui(none, shown, shown);
        // the next start of the tool, its form cancelled
        RunProgram({}, next, ui);
        ExpectUnshared(cut);
        ExpectSafe(cut, c.mode, c.unflushed);
        ExpectRolledBack(cut, c.unflushed);
    }
    SkipFlushes(false);
    std::cout << "[ cut      ] " << c.name << ": " << states.size() << " states\n";
}

INSTANTIATE_TEST_SUITE_P(Run, PowerCut, ::testing::ValuesIn(kPowerCuts),
                         [](const ::testing::TestParamInfo<PowerCutCase>& info) { return std::string(info.param.name); });

// A group commit waits for at most 64 new files: a package of 70 is
// flushed in two batches, and every file is in place.
TEST(GroupCommit, WaitsForAtMost64Files) {
    TempRoot root;
    std::string manifest = "[FILES]\r\n", sections;
    for (int i = 0; i < 70; ++i) {
        const std::string name = "F" + std::to_string(i) + ".dll";
        manifest += name + "=\r\n";
        sections += "[" + name + "]\r\nSDir=C:\\T\\\r\n";
        WriteFile(root.Native("c/P/" + name), "new");
        WriteFile(root.Native("c/T/" + name), "old");
    }
    WriteFile(root.Native("c/P/YRNUpdate.ini"), manifest + sections);
    PosixPlatform posix(root.Path());
    FaultPlatform fp(posix);
    ResetSettings();
    UpdatePath = "C:\\P\\";
    RunWindow(fp, 1);
    ResetSettings();
    std::vector<size_t> batches;
    for (const CallRecord& r : fp.Records()) {
        size_t temps = 0;
        for (size_t at = r.arg.find(".~yrn"); at != std::string::npos; at = r.arg.find(".~yrn", at + 1)) ++temps;
        if (r.call == Call::FlushVolumes && temps > 0) batches.push_back(temps);
    }
    EXPECT_EQ(batches, (std::vector<size_t>{64, 6}));
    for (int i = 0; i < 70; ++i) EXPECT_EQ(ReadFile(root.Native("c/T/F" + std::to_string(i) + ".dll")), "new") << i;
}

// A staged saved copy that is gone by the next durable copy fails that copy
// only, not every one after it.
TEST(StagedCopy, GoneFailsOnlyTheNextDurableCopy) {
    TempRoot root;
    PosixPlatform posix(root.Path());
    WriteFile(root.Native("c/a"), "a");
    WriteFile(root.Native("c/new"), "n");
    ASSERT_TRUE(posix.Files().SaveCopyStaged("C:\\a", "C:\\saved-a"));
    ::unlink(root.Native("c/saved-a").c_str());
    EXPECT_FALSE(posix.Files().PlaceFile("C:\\new", "C:\\b"));
    EXPECT_TRUE(posix.Files().PlaceFile("C:\\new", "C:\\b"));
    EXPECT_TRUE(posix.Files().RemoveFile("C:\\b"));
    EXPECT_FALSE(posix.Files().RemoveFile("C:\\b"));
}

// Each call that promises to be durable leaves nothing waiting for a flush.
TEST(DurableWrites, AreOnDiskOnReturn) {
    TempRoot root;
    PosixPlatform posix(root.Path());
    WriteFile(root.Native("c/a"), "a");
    const std::function<bool()> calls[] = {
        [&] { return posix.Files().CopyNewFile("C:\\a", "C:\\b"); },
        [&] { return posix.Files().CopyFile("C:\\a", "C:\\b"); },
        [&] { return posix.Files().AppendToFile("C:\\b", "c"); },
        [&] { return posix.Files().WriteWholeFile("C:\\d", "d"); },
        [&] { return posix.CreateDir("C:\\e"); },
        [&] { return posix.Files().SaveCopy("C:\\d", "C:\\e\\d"); },
    };
    for (size_t i = 0; i < std::size(calls); ++i) {
        Recorder().Start(root.Path());
        EXPECT_TRUE(calls[i]()) << i;
        Recorder().Stop();
        EXPECT_FALSE(Recorder().Pending()) << i;
    }
    EXPECT_EQ(ReadFile(root.Native("c/b")), "ac");
}

// A whole file held for the end of the run reads back at once, and one with
// no directory to land in is refused at once, or at the end when its
// directory has gone meanwhile; a saved copy with bytes of its own is left as
// it is; a file with a second name is saved by a copy that takes no name.
TEST(DurableWrites, HeldWholeFilesAndUnsharedCopies) {
    TempRoot root;
    PosixPlatform posix(root.Path());
    DurableFiles& files = posix.Files();
    WriteFile(root.Native("c/a"), "a");
    std::string held;
    EXPECT_FALSE(files.WriteWholeFilePending("C:\\none\\x", "x"));
    EXPECT_TRUE(files.WriteWholeFilePending("C:\\x", "x"));
    EXPECT_TRUE(files.FileExists("C:\\x") && files.ReadWholeFile("C:\\x", held));
    EXPECT_EQ(held, "x");
    EXPECT_TRUE(files.UnshareCopy("C:\\a"));
    WriteFile(root.Native("c/d/.keep"), "");
    EXPECT_TRUE(files.WriteWholeFilePending("C:\\d\\y", "y"));
    std::filesystem::remove_all(root.Native("c/d"));
    EXPECT_FALSE(files.FlushPending());
    ::link(root.Native("c/a").c_str(), root.Native("c/a2").c_str());
    EXPECT_FALSE(files.SaveCopy("C:\\a", "C:\\x"));
    EXPECT_EQ(ReadFile(root.Native("c/x")) + ReadFile(root.Native("c/a")), "xa");
}

// A flush the disk refuses fails the append that needed it.
TEST(DurableWrites, ARefusedFlushFailsTheAppend) {
    TempRoot root;
    PosixPlatform posix(root.Path());
    WriteFile(root.Native("c/b"), "b");
    Recorder().Start(root.Path());
    Recorder().FailWhen([](const std::string& call, const std::string&, int) { return call == "fsync"; });
    const bool appended = posix.Files().AppendToFile("C:\\b", "c");
    Recorder().Stop();
    EXPECT_FALSE(appended);
}

}  // namespace
}  // namespace yrn::test
