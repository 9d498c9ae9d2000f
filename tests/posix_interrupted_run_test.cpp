// An update run and a rollback run over the shared package, cut two ways.
// Each platform call in turn fails and the run goes on: the failure is
// reported, "UpdateVersion" is not recorded while a file is not in place, the
// log is closed and holds every line it took, every file holds its old or its
// new bytes and rolling back brings every old byte back. And the power goes
// after any system call the POSIX backend makes: see PowerCut below.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <regex>
#include <sstream>

#include "platform/posix/RegFile.h"
#include "support/Package.h"
#include "support/FaultPlatform.h"
#include "support/posix_CrashRecorder.h"
#include "ui/console/ConsoleUI.h"

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

// What any cut leaves: every file whole, each replaced one saved and listed in the run's set.
void ExpectSafe(const TempRoot& root) {
    const std::vector<std::string> sets = BackupSets(root);
    EXPECT_LE(sets.size(), 1u);
    ExpectWholeAndSaved(root, PackageFiles(), sets.empty() ? "" : SetDir(root, sets[0]), "");
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
        EXPECT_EQ(view.lines.back(), catalogued ? W("Замена исполняемых файлов завершена.")
                                                : W("Не найден файл: ") + BackupDir + "BackUp.ini");
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
    for (const std::string& p : Changed(before, TakeSnapshot(root.Path()))) {
        const std::string name = p.substr(p.rfind('/') + 1);
        const bool target = std::any_of(PackageFiles().begin(), PackageFiles().end(), [&](auto& f) { return f.native == p; });
        const bool copy = p.starts_with("c/TOVR/UPDATE/") && (name == "YRNUpdate.ini" || name == "BackUp.ini" ||
                          std::any_of(PackageFiles().begin(), PackageFiles().end(), [&](auto& f) { return f.name == name; }));
        const bool runs = target || p == "cwd/YRNUpdate.log" || p == "registry.reg" || (mode == 1 && copy);
        EXPECT_TRUE(runs) << "stray write " << p;
    }
}

using Faults = std::function<void(PosixPlatform&, FaultPlatform&)>;
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
        auto setFiles = [&] { return BackupSets(root).empty() ? Snapshot{} : TakeSnapshot(SetDir(root, BackupSets(root)[0])); };
        const Snapshot before = TakeSnapshot(root.Path()), setBefore = setFiles();
        const std::string recordsBefore = Records(root);
        if (faults) faults(posix, fp);
        const RecordingView view = Start(fp, root, mode);
        const CallRecord* failed = fp.Failed();
        SCOPED_TRACE(!failed ? "no fault" : "fault at call " + std::to_string(failed->index) + " " + CallName(failed->call) +
                                                "(" + Cp1251ToUtf8(failed->arg) + ")");
        EXPECT_EQ(view.endStates, (std::vector<bool>{false, true}));
        EXPECT_EQ(fp.UnclosedLogFiles(), 0) << "log not closed";
        ExpectSafe(root);
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
                            return l == W("Сбой при замене файла: ") + f.name || l.starts_with(kGeneralFailure[mode - 1]) ||
                                   l.starts_with(W("Не найден файл: "));
                        })) << f.name << " not done without a failure line";
            // A version is recorded only for a file in place.
            EXPECT_TRUE(mode == 2 || RegDword(root, f.name) == (f.name == "Shift.exe" ? std::optional<uint32_t>(2) : std::nullopt))
                << f.name;
        }
        EXPECT_TRUE(mode == 2 || (failed && (allDone || skipped)) || RegDword(root, "UpdateVersion") == (failed ? 6u : 7u));
        EXPECT_TRUE(failed || allDone) << "a clean run leaves every file in place";
        std::string logged = before.count("cwd/YRNUpdate.log") ? before.at("cwd/YRNUpdate.log") : "";
        for (const CallRecord& r : fp.Records()) logged += r.ok && r.call == Call::LogWrite ? r.value : "";
        EXPECT_EQ(ReadFile(root.Native("cwd/YRNUpdate.log")), logged) << "log lines lost";
        ExpectNoStrayWrite(before, root, mode);
        EXPECT_TRUE(mode == 1 || (setFiles() == setBefore && Records(root) == recordsBefore))
            << "the backup set or the registry's records changed";
        if (inspect) inspect(root, view);
        ExpectRolledBack(root);
        return fp.Calls();
    }

    // Fails each call of a clean run in turn.
    void EveryFault(uint8_t mode) {
        const int calls = Run(mode, {});
        for (int k = 1; k <= calls && !HasFailure(); ++k) Run(mode, [k](PosixPlatform&, FaultPlatform& fp) { fp.FailCall(k); });
    }
};

TEST_F(InterruptedRunTest, UpdateSurvivesAFaultAtEveryCall) { EveryFault(1); }
TEST_F(InterruptedRunTest, RollbackSurvivesAFaultAtEveryCall) { EveryFault(2); }

// Every call of one kind fails: what the run does, line by line. Screen
// codes: S start, E end, F run failure, +X step on file X, !X its failure.
// done: files in place at the end, new bytes in an update, still new in a rollback.
// result: the "LastRunResult" recorded, 9 for none.
struct KindCase { uint8_t mode; FaultKind kind; uint32_t result; const char *done, *screen; };

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

TEST_F(InterruptedRunTest, EveryCallOfOneKindFailing) {
    const KindCase cases[] = {
        {1, FaultKind::Copy, 1, "", "S +Shift.exe !Shift.exe +Lib.dll !Lib.dll +Readme.txt !Readme.txt +Tool.exe !Tool.exe E"},
        {1, FaultKind::CreateDirectory, 1, "Readme.txt", "S +Shift.exe !Shift.exe +Lib.dll !Lib.dll +Readme.txt +Tool.exe !Tool.exe E"},
        {1, FaultKind::IniWrite, 2, "Readme.txt", "S +Shift.exe !Shift.exe +Lib.dll !Lib.dll +Readme.txt F"},
        {1, FaultKind::RegistryWrite, 9, "Shift.exe", "S +Shift.exe F"},
        {1, FaultKind::LogOpen, 2, "", "F"},
        {1, FaultKind::LogWrite, 2, "", "S F"},
        {1, FaultKind::LogClose, 0, "Shift.exe Lib.dll Readme.txt Tool.exe", "S +Shift.exe +Lib.dll +Readme.txt +Tool.exe E F"},
        {2, FaultKind::Copy, 1, "Shift.exe Lib.dll Tool.exe", "S +Shift.exe !Shift.exe +Lib.dll !Lib.dll +Tool.exe !Tool.exe E"},
        {2, FaultKind::LogOpen, 2, "Shift.exe Lib.dll Tool.exe", "F"},
        {2, FaultKind::LogWrite, 2, "Shift.exe Lib.dll Tool.exe", "S F"},
        {2, FaultKind::LogClose, 0, "", "S +Shift.exe +Lib.dll +Tool.exe E F"},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + c.screen);
        Run(c.mode, [&](PosixPlatform&, FaultPlatform& fp) { fp.FailKind(c.kind); },
            [&](const TempRoot& root, const RecordingView& view) {
            std::string shown;  // the run failure's reason cut off
            for (const std::string& l : view.lines)
                shown += Cp1251ToUtf8(l.starts_with(kGeneralFailure[0]) ? kGeneralFailure[0] : l) + "\n";
            EXPECT_EQ(shown, Screen(c.mode, c.screen));
            for (const PackageFile& f : PackageFiles()) {
                const bool listed = (" " + std::string(c.done) + " ").find(" " + f.name + " ") != std::string::npos;
                EXPECT_TRUE((c.mode == 2 && f.oldBytes.empty()) || ReadFile(root.Native(f.native)) == (listed ? f.newBytes : f.oldBytes)) << f.name;
                const bool exempt = c.kind == FaultKind::RegistryWrite || c.kind == FaultKind::IniWrite || c.mode == 2;
                EXPECT_TRUE(!listed || exempt || RegDword(root, f.name)) << f.name << " in place, version not recorded";
            }
            EXPECT_TRUE(c.mode == 2 || RegDword(root, "UpdateVersion") == (c.kind == FaultKind::LogClose ? 7u : 6u));
            EXPECT_EQ(RegDword(root, "LastRunResult").value_or(9), c.result);
        });
    }
}

// A refused catalogue write followed by a catalogue that cannot be read back
// must not cost the entries already on disk (checked by Run).
TEST_F(InterruptedRunTest, CatalogueKeepsItsEntriesWhenItCannotBeReadBack) {
    int appends = 0;
    Run(1, [&](PosixPlatform&, FaultPlatform& fp) {
        fp.FailWhen([&](const CallRecord& r) {
            const bool catalogue = r.arg.ends_with("BackUp.ini");
            if (catalogue && r.call == Call::AppendToFileStaged) return ++appends == 1;  // the Lib.dll entry
            return catalogue && r.call == Call::ReadWholeFile && appends > 0;
        });
    }, [](const TempRoot& root, const RecordingView&) {
        EXPECT_EQ(ReadFile(root.Native("c/TOVR/Shift.exe")), PackageFileNamed("Shift.exe").newBytes);
    });
}

// Readme.txt's entry in the local manifest is held back from the platform, not lost, when the run then fails.
TEST_F(InterruptedRunTest, FailedRunKeepsItsLocalManifestEntries) {
    Run(1, [](PosixPlatform&, FaultPlatform& fp) {
        fp.FailWhen([](const CallRecord& r) { return r.call == Call::LogWrite && r.value.find("Tool.exe") != std::string::npos; });
    }, [](const TempRoot& root, const RecordingView&) {
        const std::string local = ReadFile(root.Native("c/TOVR/UPDATE/NewFiles/" + BackupSets(root).at(0) + "/YRNUpdate.ini"));
        EXPECT_EQ(IniDocument(local).Keys("FILES"), (std::vector<std::string>{"Shift.exe", "Lib.dll", "Readme.txt"}));
    });
}

// A saved copy is the installed file itself under a second name (no byte
// copied); one whose file then cannot be replaced gets bytes of its own, or
// a later change of the file would change the saved copy too.
TEST_F(InterruptedRunTest, SavedCopyIsALinkUnlessItsFileStaysInPlace) {
    auto inode = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    const PackageFile &shift = PackageFileNamed("Shift.exe"), &lib = PackageFileNamed("Lib.dll");
    ino_t oldLib = 0;
    Run(1, [&](PosixPlatform& posix, FaultPlatform& fp) {
        oldLib = inode(posix.Root() + "/" + lib.native);
        fp.FailWhen([&](const CallRecord& r) { return r.call == Call::PlaceFile && r.arg == shift.target; });
    }, [&](const TempRoot& root, const RecordingView&) {
        const std::string saved = SetDir(root, BackupSets(root).at(0)) + "/";
        EXPECT_EQ(inode(saved + "Lib.dll"), oldLib);
        EXPECT_EQ(ReadFile(saved + "Lib.dll"), lib.oldBytes);
        EXPECT_NE(inode(saved + "Shift.exe"), inode(root.Native(shift.native)));
        EXPECT_EQ(ReadFile(saved + "Shift.exe"), shift.oldBytes);
    });
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
    CrashRecorder::Fault fail;  // fails system calls with EIO
    std::function<void(FaultPlatform&)> faults;
    bool unflushed;  // the suite wrote the installed files just before the run
};

void PrintTo(const PowerCutCase& c, std::ostream* os) { *os << c.name; }

const PackageFile& Shift() { return PackageFileNamed("Shift.exe"); }

void NoScene(const TempRoot&) {}
void SecondName(const TempRoot& root) { ::link(root.Native(Shift().native).c_str(), root.Native("c/TOVR/LIB/Shift.exe").c_str()); }
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
bool FinalFlushFails(const std::string& call, const std::string&, int nth) { return call == "syncfs" && nth == 1; }

// Lib.dll's entry in the local copy's manifest is refused: Shift.exe is in place by then.
void LocalManifestRefused(FaultPlatform& fp) {
    fp.FailWhen([](const CallRecord& r) { return r.call == Call::WriteWholeFilePending && r.value.find("[Lib.dll]") != std::string::npos; });
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
    {"update_whose_final_flush_fails", 1, NoScene, FinalFlushFails, {}, false},
    {"rollback_whose_final_flush_fails", 2, NoScene, FinalFlushFails, {}, false},
    {"update_failing_part_way", 1, NoScene, NoFault, LocalManifestRefused, false},
    {"rollback_failing_part_way", 2, NoScene, NoFault, ThirdRestoreLineRefused, false},
};

// What a cut may leave: every file whole (unflushed: a file not replaced may
// be torn by the suite's own write), each replaced one saved and listed; no
// record ahead of what it lists.
void ExpectSafeAfterCut(const TempRoot& root, uint8_t mode, bool unflushed) {
    const std::vector<std::string> sets = BackupSets(root);
    ASSERT_LE(sets.size(), 1u);
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
    EXPECT_TRUE(mode == 2 || all || RegDword(root, "UpdateVersion") != 7u);
    const std::string local = root.Native("c/TOVR/UPDATE/NewFiles/" + (sets.empty() ? "" : sets[0]));
    for (const std::string& name : IniDocument(ReadFile(local + "/YRNUpdate.ini")).Keys("FILES"))
        EXPECT_EQ(ReadFile(local + "/" + name), PackageFileNamed(name).newBytes) << "local copy of " << name;
}

// Every catalogued saved copy there has bytes of its own, the old ones (but
// where the suite's own write left a file not yet replaced torn). A copy
// whose file was never replaced may be missing: its unsharing failed, or its
// catalogue entry reached the disk before its name.
void ExpectSavedCopiesOwnTheirBytes(const TempRoot& root, bool unflushed = false) {
    ResetSettings();
    PosixPlatform posix(root.Path());
    for (const std::string& set : BackupSets(root)) {
        const IniDocument catalogue(ReadFile(SetDir(root, set) + "/BackUp.ini"));
        for (const std::string& name : catalogue.Keys("FILES")) {
            const std::string saved = SetDir(root, set) + "/" + name;
            if (!Exists(saved)) continue;
            EXPECT_EQ(posix.LinkCount(BackupDir + set + "\\" + name), 1) << name;
            const PackageFile& f = PackageFileNamed(name);
            const bool replaced = ReadFile(root.Native(f.native)) == f.newBytes;
            EXPECT_TRUE(ReadFile(saved) == f.oldBytes || (unflushed && !replaced)) << name;
        }
    }
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
    const bool flushFailed = c.fail == FinalFlushFails;
    // The recorder saw every change: its disk, all flushed, is the real one.
    TempRoot replay;
    CrashRecorder::Lay(Recorder().Now(), replay.Path());
    Snapshot real = TakeSnapshot(root.Path()), seen = TakeSnapshot(replay.Path());
    real.erase("cwd/YRNUpdate.log");
    EXPECT_EQ(seen, real);
    EXPECT_FALSE(Recorder().Pending()) << "the run ended with writes not durable";
    EXPECT_TRUE(RegDword(root, "LastRunResult")) << "the outcome not recorded";
    EXPECT_EQ(view.lines.back().starts_with(kGeneralFailure[c.mode - 1]), flushFailed || c.faults != nullptr);
    ExpectSavedCopiesOwnTheirBytes(root);
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
        ExpectSafeAfterCut(cut, c.mode, c.unflushed);
        ResetSettings();
        PosixPlatform next(cut.Path());
        for (const auto& [name, file] : states[i].files) {
            const size_t slash = name.rfind('/');
            if (!name.starts_with("c/") || name.compare(slash, 6, "/.~yrn") != 0) continue;
            std::string dir = "C:\\" + name.substr(2, slash - 1);
            std::replace(dir.begin(), dir.end(), '/', '\\');
            const std::vector<std::string> listed = next.FindFiles(dir, "*");
            EXPECT_EQ(std::count(listed.begin(), listed.end(), name.substr(slash + 1)), 0) << "an unfinished copy listed: " << name;
        }
        std::istringstream none;
        std::ostringstream shown;
        ConsoleUI ui(none, shown, shown);
        RunProgram({}, next, ui);  // the next start of the tool, its form cancelled
        ExpectSavedCopiesOwnTheirBytes(cut, c.unflushed);
        ExpectRolledBack(cut, c.unflushed);
    }
    SkipFlushes(false);
    std::cout << "[ cut      ] " << c.name << ": " << states.size() << " states\n";
}

INSTANTIATE_TEST_SUITE_P(Run, PowerCut, ::testing::ValuesIn(kPowerCuts),
                         [](const ::testing::TestParamInfo<PowerCutCase>& info) { return std::string(info.param.name); });

// A staged saved copy that is gone by the next durable copy fails that copy
// only, not every one after it.
TEST(StagedCopy, GoneFailsOnlyTheNextDurableCopy) {
    TempRoot root;
    PosixPlatform posix(root.Path());
    WriteFile(root.Native("c/a"), "a");
    WriteFile(root.Native("c/new"), "n");
    ASSERT_TRUE(posix.SaveCopyStaged("C:\\a", "C:\\saved-a"));
    ::unlink(root.Native("c/saved-a").c_str());
    EXPECT_FALSE(posix.PlaceFile("C:\\new", "C:\\b"));
    EXPECT_TRUE(posix.PlaceFile("C:\\new", "C:\\b"));
    EXPECT_TRUE(posix.RemoveFile("C:\\b"));
    EXPECT_FALSE(posix.RemoveFile("C:\\b"));
}

// Each call that promises to be durable leaves nothing waiting for a flush.
TEST(DurableWrites, AreOnDiskOnReturn) {
    TempRoot root;
    PosixPlatform posix(root.Path());
    WriteFile(root.Native("c/a"), "a");
    const std::function<bool()> calls[] = {
        [&] { return posix.CopyNewFile("C:\\a", "C:\\b"); },
        [&] { return posix.CopyFile("C:\\a", "C:\\b"); },
        [&] { return posix.AppendToFile("C:\\b", "c"); },
        [&] { return posix.WriteWholeFile("C:\\d", "d"); },
        [&] { return posix.CreateDir("C:\\e"); },
        [&] { return posix.SaveCopy("C:\\d", "C:\\e\\d"); },
    };
    for (size_t i = 0; i < std::size(calls); ++i) {
        Recorder().Start(root.Path());
        EXPECT_TRUE(calls[i]()) << i;
        Recorder().Stop();
        EXPECT_FALSE(Recorder().Pending()) << i;
    }
    EXPECT_EQ(ReadFile(root.Native("c/b")), "ac");
}

}  // namespace
}  // namespace yrn::test
