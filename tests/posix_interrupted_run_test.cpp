// An update run and a rollback run over the shared package, cut two ways.
// Each platform call in turn fails and the run goes on: the failure is
// reported, "UpdateVersion" is not recorded while a file is not in place, the
// log is closed and holds every line it took, every file holds its old or its
// new bytes and rolling back brings every old byte back. And the power goes
// after any system call the POSIX backend makes: see PowerCut below.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <regex>

#include "platform/posix/RegFile.h"
#include "support/FaultPlatform.h"
#include "support/Package.h"
#include "support/dialog_ScriptedUI.h"
#include "support/posix_CrashRecorder.h"
#include "ui/console/ConsoleUI.h"

namespace yrn::test {
namespace {

const std::string kFailure[] = {W("Сбой при обновлении исполняемых файлов ЮКСВЕЛ."), W("Сбой при замене исполняемых файлов ЮКСВЕЛ.")};

// A prefix root, read back as the checks below need it.
struct Tree : TempRoot {
    std::string Read(std::string rel) { return ReadFile(Native(rel)); }

    std::optional<uint32_t> RegDword(std::string name) {
        auto reg = RegFile::Parse(Read("registry.reg"));
        auto* key = reg.FindKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update");
        auto* v = key ? RegFile::FindValue(*key, name) : nullptr;
        return v && v->type == RegType::Dword ? std::optional(v->dword) : std::nullopt;
    }

    // The registry file without the last run's outcome.
    std::string Records() { return std::regex_replace(Read("registry.reg"), std::regex("\"LastRun[^\r]*\r\n"), ""); }

    // A file of the backup set named set.
    std::string SetFile(std::string set, std::string name) {
        return Native(kBackupRootNative) + "/" + set + "/" + name;
    }

    // The run's backup set, "" before the run made one.
    std::string FirstSet() {
        auto sets = BackupSets(*this);
        return sets.empty() ? "" : sets[0];
    }

    // A file of the local copy of the package the run made beside its backup set.
    std::string Local(std::string name) { return Read("c/TOVR/UPDATE/NewFiles/" + FirstSet() + "/" + name); }

    // The run to cut (mode 1 the update, 2 the rollback of the set the scene made).
    RecordingView Start(FaultPlatform& fp, uint8_t mode) {
        fp.SetClock(DateTime{2024, 3, 5, 10, 20, 30});
        if (mode == 2) return RollBack(fp, *this, BackupSets(*this).at(0));
        ResetSettings();
        return RunWindow(fp, 1);
    }

    // What a run or a cut may leave: every file whole (unflushed: a file not
    // replaced may be torn by the suite's own write), each replaced one saved
    // and listed, the catalogue listing only saved copies of old bytes; no
    // record ahead of what it lists. Returns whether every file was replaced.
    bool ExpectSafe(uint8_t mode, bool unflushed = false) {
        EXPECT_LE(BackupSets(*this).size(), 1u);
        auto set = FirstSet();
        IniDocument catalogue(ReadFile(SetFile(set, "BackUp.ini")));
        bool all = true;
        for (auto& f : PackageFiles()) {
            SCOPED_TRACE(f.name);
            auto now = Read(f.native);
            bool replaced = now == f.newBytes, old = f.oldBytes.empty() ? !Exists(Native(f.native)) : now == f.oldBytes;
            // neither torn nor lost
            EXPECT_TRUE(replaced || old || unflushed);
            all = all && replaced;
            // replaced: saved and listed
            if (replaced && !f.oldBytes.empty()) {
                EXPECT_EQ(ReadFile(SetFile(set, f.name)), f.oldBytes);
                auto* listed = catalogue.Find("FILES", f.name);
                EXPECT_EQ(listed ? *listed : "", f.target);
            }
            // its version is not recorded before it is in place
            auto version = RegDword(f.name);
            EXPECT_TRUE(mode == 2 || replaced || !version || (f.name == "Shift.exe" && version == 2u));
        }
        // each listed copy holds old bytes; each local copy the new ones
        for (auto& name : catalogue.Keys("FILES")) {
            auto saved = ReadFile(SetFile(set, name));
            EXPECT_TRUE(saved.empty() || unflushed || saved == PackageFileNamed(name).oldBytes) << name;
        }
        for (auto& name : IniDocument(Local("YRNUpdate.ini")).Keys("FILES"))
            EXPECT_EQ(Local(name), PackageFileNamed(name).newBytes) << name;
        return all;
    }

    // Rolling the sets back, the latest first, restores every old byte. A set
    // cut before its first catalogue entry holds no listed copy (nothing was
    // replaced), and its rollback says so.
    // tornAllowed: the suite's own write left its files torn; a replaced one then
    // holds its old bytes again, the others are as they were.
    void ExpectRolledBack(bool tornAllowed = false) {
        PosixPlatform posix(Path());
        auto sets = BackupSets(*this);
        std::ranges::reverse(sets);
        for (auto& set : sets) {
            auto view = RollBack(posix, *this, set);
            EXPECT_EQ(view.lines.back(), Exists(SetFile(set, "BackUp.ini")) ? W("Замена исполняемых файлов завершена.") : W("Не найден файл: ") + BackupDir + "BackUp.ini");
        }
        ResetSettings();
        for (auto& f : PackageFiles()) {
            auto now = Read(f.native);
            EXPECT_TRUE(f.oldBytes.empty() || now == f.oldBytes || (tornAllowed && now != f.newBytes)) << f.name;
        }
    }

    // Every catalogued saved copy has bytes of its own.
    void ExpectUnshared() {
        ResetSettings();
        for (auto& set : BackupSets(*this))
            for (auto& name : IniDocument(ReadFile(SetFile(set, "BackUp.ini"))).Keys("FILES"))
                EXPECT_LE(PosixPlatform(Path()).LinkCount(BackupDir + set + "\\" + name), 1) << name;
    }
};

// The shared package and the registry laid for a run in mode (for a rollback,
// the package installed by a clean update), and the platform the run goes through.
struct Scene : Tree {
    Scene(uint8_t mode) {
        WritePackage(*this);
        WriteFile(Native("registry.reg"), RegistryWith({"\"UpdatePath\"=\"C:\\\\TOVR\\\\UPDATE\\\\\"", Dw("UpdateVersion", 6), Dw("Shift.exe", 2)}));
        FaultPlatform clean(posix);
        if (mode == 2) Start(clean, 1);
    }

    PosixPlatform posix{Path()};
    FaultPlatform fp{posix};
};

// Fails each line of the log that names the file.
Pick LogLineRefused(std::string file) {
    return [file](auto& r) { return r.call == Call::LogWrite && r.value.find(file) != std::string::npos; };
}

struct InterruptedRunTest : RunTest {
    // One run (mode 1 update, 2 rollback) with the calls fail picks failed;
    // checks what it left, shows it to inspect and rolls back. Returns the
    // number of calls the run made.
    int Run(uint8_t mode, Pick fail, std::function<void(Tree&)> inspect = {}) {
        Scene s(mode);
        auto before = TakeSnapshot(s.Path());
        auto records = s.Records();
        if (fail) s.fp.FailWhen(fail);
        auto view = s.Start(s.fp, mode);
        auto* failed = s.fp.Failed();
        // the failed call with its argument, as "FileExists(C:\...)"
        auto fault = failed ? CallName(failed->call) + ("(" + failed->arg + ")") : "";
        SCOPED_TRACE("fault: " + Cp1251ToUtf8(fault));
        EXPECT_TRUE(view.endStates == (std::vector<bool>{false, true}) && s.fp.UnclosedLogFiles() == 0);
        s.ExpectSafe(mode);
        bool allDone = true, skipped = false;
        // A run writes its targets, its log, the registry and, an update, the
        // package's copies below C:\TOVR\UPDATE\.
        std::set<std::string> own = {"cwd/YRNUpdate.log", "registry.reg"}, copies = {"YRNUpdate.ini", "BackUp.ini"};
        for (auto& f : PackageFiles()) {
            own.insert(f.native);
            copies.insert(f.name);
            auto now = s.Read(f.native);
            if (mode == 2 ? f.oldBytes.empty() || now == f.oldBytes : now == f.newBytes) continue;
            allDone = false;
            // A false "no such file" for the package's copy makes a silent skip, an unreadable manifest an empty package.
            bool silent = fault == "FileExists(" + (mode == 1 ? "C:\\TOVR\\UPDATE\\" : BackupDir) + f.name + ")" ||
                          fault == "ReadWholeFile(" + UpdatePath + "YRNUpdate.ini)";
            skipped = skipped || silent;
            // a file not done without a failure line is a silent failure
            EXPECT_TRUE(silent || std::ranges::any_of(view.lines, [&](auto& l) {
                return l == W("Сбой при замене файла: ") + f.name || l.starts_with(kFailure[mode - 1]) || l.starts_with(W("Не найден файл: "));
            })) << f.name;
        }
        EXPECT_TRUE(mode == 2 || (failed && (allDone || skipped)) || s.RegDword("UpdateVersion") == (failed ? 6u : 7u));
        EXPECT_TRUE(failed || allDone);
        // every line the log took, after those it held before (an entry of "" if none: the log is the run's own below)
        auto logged = before["cwd/YRNUpdate.log"];
        for (auto& r : s.fp.Records()) logged += r.ok && r.call == Call::LogWrite ? r.value : "";
        EXPECT_EQ(s.Read("cwd/YRNUpdate.log"), logged);
        // no stray write
        for (auto& p : Changed(before, TakeSnapshot(s.Path())))
            EXPECT_TRUE(own.count(p) || (mode == 1 && p.starts_with("c/TOVR/UPDATE/") && copies.count(p.substr(p.rfind('/') + 1)))) << p;
        // a rollback leaves the registry's records alone
        EXPECT_TRUE(mode == 1 || s.Records() == records);
        if (inspect) inspect(s);
        s.ExpectRolledBack();
        return s.fp.Calls();
    }

    // Fails each call of a clean run in turn.
    void EveryFault(uint8_t mode) {
        int calls = Run(mode, {});
        for (int k = 1; k <= calls && !HasFailure(); ++k) Run(mode, [k](auto& r) { return r.index == k; });
    }
};

TEST_F(InterruptedRunTest, UpdateSurvivesAFaultAtEveryCall) { EveryFault(1); }
TEST_F(InterruptedRunTest, RollbackSurvivesAFaultAtEveryCall) { EveryFault(2); }

// A refused catalogue write followed by a catalogue that cannot be read back
// must not cost the entries already on disk (checked by Run).
TEST_F(InterruptedRunTest, CatalogueKeepsItsEntriesWhenItCannotBeReadBack) {
    int appends = 0;
    Run(1, [&](auto& r) {
        bool catalogue = r.arg.ends_with("BackUp.ini");
        // the Lib.dll entry
        if (catalogue && r.call == Call::Append) return ++appends == 1;
        return catalogue && r.call == Call::ReadWholeFile && appends > 0;
    }, [](auto& root) { EXPECT_EQ(root.Read("c/TOVR/Shift.exe"), PackageFileNamed("Shift.exe").newBytes); });
}

// Readme.txt's entry in the local manifest is held back from the platform, not lost, when the run then fails.
TEST_F(InterruptedRunTest, FailedRunKeepsItsLocalManifestEntries) {
    Run(1, LogLineRefused("Tool.exe"), [](auto& root) {
        EXPECT_EQ(IniDocument(root.Local("YRNUpdate.ini")).Keys("FILES"), (std::vector<std::string>{"Shift.exe", "Lib.dll", "Readme.txt"}));
    });
}

// A failure raised before the copy back (here while the installed file's
// version is read) leaves the file as it was and names no failed copy.
TEST_F(RunTest, RestoreFailingBeforeTheCopySaysNoMore) {
    Scene s(2);
    s.fp.AfterCall([](auto& r) {
        if (r.call == Call::VersionInfoSize && r.arg == "C:\\TOVR\\Shift.exe") throw std::runtime_error("unreadable");
    });
    auto view = s.Start(s.fp, 2);
    EXPECT_TRUE(s.Read("c/TOVR/Shift.exe") == PackageFileNamed("Shift.exe").newBytes && std::ranges::count(view.lines, W("Сбой при замене файла: Shift.exe")) == 0);
}

// Power cuts, judged from the calls the backend makes (the recorder's disk
// model): every state a cut may leave at any point of the run is laid down
// and checked; the next start of the tool leaves no saved copy sharing its
// bytes; a rollback brings back every old byte. Once the run has ended,
// nothing waits for a flush and no saved copy shares its bytes.
struct PowerCutCase {
    const char* name;
    uint8_t mode;
    // the run ends on its failure line
    bool fails = false;
    // fails system calls with EIO
    CrashRecorder::Fault fail = nullptr;
    // fails platform calls
    Pick faults = {};
    void (*scene)(Tree&) = nullptr;
    // the suite wrote the installed files just before the run
    bool unflushed = false;
};

void SecondName(Tree& root) { ::link(root.Native("c/TOVR/Shift.exe").c_str(), root.Native("c/TOVR/LIB/Shift.exe").c_str()); }
void ListedTwice(Tree& root) {
    auto manifest = root.Read("c/TOVR/UPDATE/YRNUpdate.ini");
    manifest.insert(manifest.find("Lib.dll=\r\n"), "Shift.exe=\r\n");
    WriteFile(root.Native("c/TOVR/UPDATE/YRNUpdate.ini"), manifest);
}

// As Linux reports a lost write: once; the next flush says all is well.
// The rollback flushes the volume once, at its end; the update first for its batch of files.
template <int failing>
bool VolumeFlushFails(const std::string& call, const std::string&, int nth) {
    return call == "syncfs" && nth == failing;
}

const PowerCutCase kPowerCuts[] = {
    {"update", 1},
    {"rollback", 2},
    {"update_of_files_written_just_before", 1, false, nullptr, {}, nullptr, true},
    {"update_of_a_file_with_a_second_name", 1, false, nullptr, {}, SecondName},
    // The first replacement of Shift.exe fails, and so does its saved copy's unsharing: the run still ends well.
    {"update_listing_a_file_twice_whose_saved_copy_cannot_be_unshared", 1, false, [](auto& call, auto& path, int nth) { return call == "rename" && path.ends_with("/Shift.exe") && path.find("NewFiles") == std::string::npos && nth == 1; }, {}, ListedTwice},
    {"update_whose_batch_flush_fails", 1, true, VolumeFlushFails<1>},
    {"update_whose_final_flush_fails", 1, true, VolumeFlushFails<2>},
    {"rollback_whose_final_flush_fails", 2, true, VolumeFlushFails<1>},
    // The versions held for the end of the run cannot be written.
    {"update_whose_records_are_refused", 1, true, [](auto& call, auto& path, int nth) { return call == "rename" && path.ends_with("/registry.reg") && nth == 1; }},
    // The log refuses Lib.dll's first line: Shift.exe is in place by then.
    {"update_failing_part_way", 1, true, nullptr, LogLineRefused("Lib.dll")},
    {"rollback_failing_part_way", 2, true, nullptr, LogLineRefused("Tool.exe")},
};

struct PowerCut : RunTest, testing::WithParamInterface<PowerCutCase> {};

TEST_P(PowerCut, LeavesEveryFileWholeSavedAndRestorable) {
    auto& c = GetParam();
    Scene s(c.mode);
    if (c.scene) c.scene(s);
    std::set<std::string> unflushed;
    for (auto& f : PackageFiles())
        if (c.unflushed && !f.oldBytes.empty()) unflushed.insert(f.native);
    if (c.faults) s.fp.FailWhen(c.faults);
    Recorder().Start(s.Path(), unflushed);
    Recorder().FailWhen(c.fail);
    auto view = s.Start(s.fp, c.mode);
    Recorder().Stop();
    // The recorder saw every change: its disk, all flushed, is the real one.
    TempRoot replay;
    CrashRecorder::Lay(Recorder().Now(), replay.Path());
    auto real = TakeSnapshot(s.Path());
    real.erase("cwd/YRNUpdate.log");
    EXPECT_EQ(TakeSnapshot(replay.Path()), real);
    EXPECT_TRUE(!Recorder().Pending() && s.RegDword("LastRunResult"));
    EXPECT_EQ(view.lines.back().starts_with(kFailure[c.mode - 1]), c.fails);
    s.ExpectUnshared();
    // A file's step that ended recorded both its local copy and its version.
    IniDocument local(s.Local("YRNUpdate.ini"));
    for (auto& name : local.Keys("FILES"))
        EXPECT_EQ(std::to_string(s.RegDword(name).value_or(0)), *local.Find(name, "Version")) << name;
    auto states = Recorder().States();
    SkipFlushes(true);
    for (size_t i = 0; i < states.size() && !HasFailure(); ++i) {
        SCOPED_TRACE("state " + std::to_string(i));
        Tree cut;
        CrashRecorder::Lay(states[i], cut.Path());
        EXPECT_TRUE(cut.ExpectSafe(c.mode, c.unflushed) || c.mode == 2 || cut.RegDword("UpdateVersion") != 7u);
        ResetSettings();
        PosixPlatform next(cut.Path());
        std::stringstream none, shown;
        ConsoleUI ui(none, shown, shown);
        // the next start of the tool, its form cancelled
        RunProgram({}, next, ui);
        cut.ExpectUnshared();
        cut.ExpectSafe(c.mode, c.unflushed);
        cut.ExpectRolledBack(c.unflushed);
    }
    SkipFlushes(false);
    std::cout << "[ cut      ] " << c.name << ": " << states.size() << " states\n";
}

INSTANTIATE_TEST_SUITE_P(Run, PowerCut, testing::ValuesIn(kPowerCuts), kCaseName);

// The backend's durable file calls over a bare root, whose drive C: is c/.
struct DurableWrites : RunTest {
    std::string OnC(std::string rel) { return root.Native("c/" + rel); }
    DurableFiles& files = platform.Files();
};

// A group commit waits for at most 64 new files: a package of 70 is
// flushed in two batches, and every file is in place.
TEST_F(DurableWrites, GroupCommitWaitsForAtMost64Files) {
    std::string manifest = "[FILES]\r\n", sections;
    Snapshot placed;
    for (int i = 0; i < 70; ++i) {
        auto name = "F" + std::to_string(i) + ".dll";
        manifest += name + "=\r\n";
        sections += "[" + name + "]\r\nSDir=C:\\T\\\r\n";
        WriteFile(OnC("P/" + name), "new");
        WriteFile(OnC("T/" + name), "old");
        placed[name] = "new";
    }
    WriteFile(OnC("P/YRNUpdate.ini"), manifest + sections);
    FaultPlatform fp(platform);
    UpdatePath = "C:\\P\\";
    RunWindow(fp, 1);
    std::vector<size_t> batches;
    for (auto& r : fp.Records()) {
        size_t temps = 0;
        for (auto at = r.arg.find(".~yrn"); at != std::string::npos; at = r.arg.find(".~yrn", at + 1)) ++temps;
        if (r.call == Call::FlushVolumes && temps > 0) batches.push_back(temps);
    }
    EXPECT_EQ(batches, (std::vector<size_t>{64, 6}));
    EXPECT_EQ(TakeSnapshot(OnC("T")), placed);
}

// A staged saved copy that is gone by the next durable copy fails that copy
// only, not every one after it.
TEST_F(DurableWrites, StagedCopyGoneFailsOnlyTheNextDurableCopy) {
    WriteFile(OnC("a"), "a");
    WriteFile(OnC("new"), "n");
    ASSERT_TRUE(files.SaveCopyStaged("C:\\a", "C:\\saved-a"));
    ::unlink(OnC("saved-a").c_str());
    EXPECT_TRUE(!files.PlaceFile("C:\\new", "C:\\b") && files.PlaceFile("C:\\new", "C:\\b") && files.RemoveFile("C:\\b") && !files.RemoveFile("C:\\b"));
}

// Each call that promises to be durable leaves nothing waiting for a flush.
TEST_F(DurableWrites, AreOnDiskOnReturn) {
    WriteFile(OnC("a"), "a");
    std::function<bool()> calls[] = {
        [&] { return files.CopyNewFile("C:\\a", "C:\\b"); },
        [&] { return files.CopyFile("C:\\a", "C:\\b"); },
        [&] { return files.AppendToFile("C:\\b", "c"); },
        [&] { return files.WriteWholeFile("C:\\d", "d"); },
        [&] { return platform.CreateDir("C:\\e"); },
        [&] { return files.SaveCopy("C:\\d", "C:\\e\\d"); },
    };
    for (size_t i = 0; i < std::size(calls); ++i) {
        Recorder().Start(root.Path());
        EXPECT_TRUE(calls[i]()) << i;
        Recorder().Stop();
        EXPECT_FALSE(Recorder().Pending()) << i;
    }
    EXPECT_EQ(ReadFile(OnC("b")), "ac");
}

// A whole file held for the end of the run reads back at once, and one with
// no directory to land in is refused at once, or at the end when its
// directory has gone meanwhile; a saved copy with bytes of its own is left as
// it is; a file with a second name is saved by a copy that takes no name.
TEST_F(DurableWrites, HeldWholeFilesAndUnsharedCopies) {
    WriteFile(OnC("a"), "a");
    WriteFile(OnC("d/.keep"), "");
    std::string held;
    EXPECT_TRUE(!files.WriteWholeFilePending("C:\\none\\x", "x") && files.WriteWholeFilePending("C:\\x", "x") && files.FileExists("C:\\x") &&
                files.ReadWholeFile("C:\\x", held) && held == "x");
    EXPECT_TRUE(files.UnshareCopy("C:\\a") && files.WriteWholeFilePending("C:\\d\\y", "y"));
    fs::remove_all(OnC("d"));
    EXPECT_FALSE(files.FlushPending());
    ::link(OnC("a").c_str(), OnC("a2").c_str());
    EXPECT_FALSE(files.SaveCopy("C:\\a", "C:\\x"));
    EXPECT_EQ(ReadFile(OnC("x")) + ReadFile(OnC("a")), "xa");
}

// A write the system cuts short (here past the process's file size limit)
// fails the whole-file write, leaving the file as it was, an append and a
// registry value's write.
TEST_F(DurableWrites, AWriteCutShortLeavesTheFileAsItWas) {
    WriteFile(OnC("w"), "old");
    auto registry = RegistryWith({Dw("a", 1)});
    WriteFile(root.Native("registry.reg"), registry);
    auto key = platform.OpenRegistryKey("SOFTWARE\\Quenbrit\\YRN\\Update");
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit was;
    ::getrlimit(RLIMIT_FSIZE, &was);
    rlimit small{4, was.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    bool written = files.WriteWholeFile("C:\\w", "0123456789");
    auto left = ReadFile(OnC("w"));
    bool appended = files.AppendToFile("C:\\w", "0123456789");
    bool recorded = key->WriteInteger("a", 2);
    ::setrlimit(RLIMIT_FSIZE, &was);
    ::signal(SIGXFSZ, SIG_DFL);
    EXPECT_TRUE(!written && left == "old" && !appended);
    EXPECT_TRUE(!recorded && Registry() == registry);
}

// A flush the disk refuses fails the append that needed it.
TEST_F(DurableWrites, ARefusedFlushFailsTheAppend) {
    WriteFile(OnC("b"), "b");
    Recorder().Start(root.Path());
    Recorder().FailWhen([](auto& call, auto&, int) { return call == "fsync"; });
    EXPECT_FALSE(files.AppendToFile("C:\\b", "c"));
    Recorder().Stop();
}

}
}
