// Every platform call of an update run and of a rollback run is failed once,
// one run per call; after each run the promises of the tool are checked on
// disk: no installed file changed without its saved copy in the backup set
// and its catalogue entry, nothing written that the run reported as written
// is lost, a file not in place is reported and keeps "UpdateVersion" from
// being recorded, the log is closed, the window's button enabled again, and
// an ordinary rollback afterwards brings every old byte back.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <random>
#include <set>

#include <sys/stat.h>

#include "core/IniFile.h"
#include "platform/posix/RegFile.h"
#include "support/FaultPlatform.h"
#include "support/RunFixture.h"

namespace yrn::test {
namespace {

const DateTime kRunTime{2024, 3, 5, 10, 20, 30};
const char* const kUpdateKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update";

struct PackageFile {
    std::string name;       // N
    std::string target;     // full Windows path the run installs to
    std::string native;     // its path below the root
    std::string oldBytes;   // empty: not installed before the run
    std::string newBytes;
};

// A package of five listed files: three overwrite installed files (one in a
// directory named by a token), one is new, one has no target here.
class FaultScenario {
public:
    explicit FaultScenario(const TempRoot& root) : root_(root) {
        files_ = {
            {"Shift.exe", "C:\\TOVR\\Shift.exe", "c/TOVR/Shift.exe", "old shift\r\n", "new shift, longer\r\n"},
            {"Lib.dll", "C:\\TOVR\\LIB\\Lib.dll", "c/TOVR/LIB/Lib.dll", std::string(5000, 'o'), std::string(7000, 'n')},
            {"Readme.txt", "C:\\TOVR\\Readme.txt", "c/TOVR/Readme.txt", "", "read me\r\n"},
            {"Tool.exe", "C:\\TOVR\\TOOLS\\Tool.exe", "c/TOVR/TOOLS/Tool.exe", "old tool", "new tool"},
        };
        WriteFile(root.Native("c/PKG/YRNUpdate.ini"),
                  "[ExeFiles]\r\nVersion=7\r\n[FILES]\r\nShift.exe=\r\nLib.dll=\r\nReadme.txt=\r\nTool.exe=\r\n"
                  "Skip.exe=\r\n[Shift.exe]\r\nSDir=<default>\r\nVersion=3\r\nExecute=1\r\nParams=/s\r\n"
                  "[Lib.dll]\r\nSDir=C:\\TOVR\\LIB\r\nVersion=2\r\n[Readme.txt]\r\nSDir=" + W("<РАБОЧАЯ>") +
                      "\r\nVersion=1\r\n[Tool.exe]\r\nSDir=C:\\TOVR\\TOOLS\\\r\nVersion=5\r\n"
                      "[Skip.exe]\r\nSDir=<none>\r\nVersion=9\r\n");
        WriteFile(root.Native("c/PKG/Skip.exe"), "never installed");
        for (const PackageFile& f : files_) {
            WriteFile(root.Native("c/PKG/" + f.name), f.newBytes);
            if (!f.oldBytes.empty()) WriteFile(root.Native(f.native), f.oldBytes);
        }
        WriteFile(root.Native("registry.reg"), std::string("REGEDIT4\r\n\r\n[") + kUpdateKey +
                                                   "]\r\n\"UpdatePath\"=\"C:\\\\PKG\\\\\"\r\n"
                                                   "\"UpdateVersion\"=dword:00000006\r\n"
                                                   "\"Shift.exe\"=dword:00000002\r\n\r\n");
    }

    const std::vector<PackageFile>& Files() const { return files_; }
    std::string Native(const std::string& rel) const { return root_.Native(rel); }

    // The one backup set of the run ("" when the run made none).
    std::string BackupSet() const {
        std::vector<std::string> sets = ListDir(Native("c/TOVR/UPDATE/OldFiles"));
        EXPECT_LE(sets.size(), 1u);
        return sets.empty() ? std::string() : Native("c/TOVR/UPDATE/OldFiles/" + sets[0]);
    }
    IniDocument Catalogue() const {
        std::string set = BackupSet();
        return IniDocument(set.empty() ? std::string() : ReadFile(set + "/BackUp.ini"));
    }
    RegKeyData Registry() const {
        RegFile reg = RegFile::Parse(ReadFile(Native("registry.reg")));
        RegKeyData* key = reg.FindKey(kUpdateKey);
        return key ? *key : RegKeyData{};
    }
    std::optional<uint32_t> RegDword(const std::string& name) const {
        RegKeyData key = Registry();
        RegValue* v = RegFile::FindValue(key, name);
        if (!v || v->type != RegType::Dword) return std::nullopt;
        return v->dword;
    }

private:
    const TempRoot& root_;
    std::vector<PackageFile> files_;
};

struct RunResult {
    RecordingView view;
    bool closed = false;
};

RunResult RunForm(Platform& platform, uint8_t mode) {
    RunResult r;
    TUpdateForm form(platform);
    form.AttachView(&r.view);
    form.SetMode(mode);
    form.FormShow();
    for (const RecordingView::Post& p : std::vector<RecordingView::Post>(r.view.posted)) form.HandleMessage(p.message);
    form.EndBtnClick();
    r.closed = r.view.closed;
    return r;
}

void UpdateSettings() {
    ResetSettings();
    UpdatePath = "C:\\PKG\\";
}

// Rollback settings for the catalogue of the backup set at setDir.
void RollbackSettings(const std::string& setName, const IniDocument& catalogue) {
    ResetSettings();
    BackupDir += setName + "\\";
    RollbackList = std::make_unique<NameValueList>();
    for (const std::string& key : catalogue.Keys("FILES")) RollbackList->SetValue(key, *catalogue.Find("FILES", key));
}

std::string SetName(const std::string& setDir) { return setDir.substr(setDir.find_last_of('/') + 1); }

bool HasLine(const RecordingView& view, const std::string& line) {
    return std::find(view.lines.begin(), view.lines.end(), line) != view.lines.end();
}

bool HasLineStarting(const RecordingView& view, const std::string& prefix) {
    for (const std::string& l : view.lines)
        if (l.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

std::string Describe(const CallRecord* failed) {
    if (!failed) return "no fault";
    return "fault at call " + std::to_string(failed->index) + " " + CallName(failed->call) + "(" +
           Cp1251ToUtf8(failed->arg) + ")";
}

// Files below dir whose names mark an interrupted copy.
std::vector<std::string> TempLeftovers(const std::string& dir) {
    std::vector<std::string> found;
    for (const std::string& name : ListDir(dir)) {
        std::string path = dir + "/" + name;
        if (name.rfind(".~yrn", 0) == 0) found.push_back(path);
        std::vector<std::string> sub = TempLeftovers(path);
        found.insert(found.end(), sub.begin(), sub.end());
    }
    return found;
}

// Every file below dir, relative to root ("c/TOVR/Shift.exe").
void AllFiles(const std::string& root, const std::string& rel, std::vector<std::string>& out) {
    for (const std::string& name : ListDir(root + "/" + rel)) {
        std::string path = rel.empty() ? name : rel + "/" + name;
        struct stat st;
        if (::stat((root + "/" + path).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) AllFiles(root, path, out);
        else out.push_back(path);
    }
}

// The run writes only its targets, its backup set, its local copy, the
// registry and the log.
void CheckNoStrayWrites(const FaultScenario& s, const std::string& context) {
    std::vector<std::string> files;
    AllFiles(s.Native(""), "", files);
    std::set<std::string> allowed{"registry.reg", "cwd/YRNUpdate.log", "c/PKG/YRNUpdate.ini", "c/PKG/Skip.exe"};
    for (const PackageFile& f : s.Files()) allowed.insert({f.native, "c/PKG/" + f.name});
    for (const std::string& f : files) {
        if (allowed.count(f)) continue;
        const std::string set = f.substr(0, f.find_last_of('/'));
        const std::string name = f.substr(f.find_last_of('/') + 1);
        bool inSet = set.rfind("c/TOVR/UPDATE/OldFiles/", 0) == 0 || set.rfind("c/TOVR/UPDATE/NewFiles/", 0) == 0;
        bool known = name == "BackUp.ini" || name == "YRNUpdate.ini" ||
                     std::any_of(s.Files().begin(), s.Files().end(), [&](const PackageFile& p) { return p.name == name; });
        EXPECT_TRUE(inSet && known && set.find('/', 23) == std::string::npos) << context << ": stray file " << f;
    }
}

// What the run reported as written to each INI file is exactly what is there.
void CheckIniWritesKept(const FaultPlatform& fp, const PosixPlatform& posix, const std::string& context) {
    std::map<std::string, std::string> expected, pending;  // pending: kept once a flush follows
    for (const CallRecord& r : fp.Records()) {
        if (!r.ok) continue;
        if (r.call == Call::WriteWholeFile) expected[r.arg] = r.value;
        if (r.call == Call::AppendToFile) expected[r.arg] += r.value;
        if (r.call == Call::WriteWholeFilePending) pending[r.arg] = r.value;
        if (r.call == Call::FlushPending)
            for (auto& [path, bytes] : std::exchange(pending, {})) expected[path] = bytes;
    }
    for (const auto& [path, bytes] : expected)
        EXPECT_EQ(ReadFile(posix.NativePath(path)), bytes) << context << ": " << path;
}

void CheckRegistryWritesKept(const FaultPlatform& fp, const FaultScenario& s, const std::string& context) {
    std::map<std::string, std::string> expected{{"UpdatePath", "C:\\PKG\\"}}, pending;
    for (const CallRecord& r : fp.Records()) {
        if (r.ok && (r.call == Call::RegWriteInteger || r.call == Call::RegWriteString)) expected[r.arg] = r.value;
        if (r.ok && r.call == Call::RegWriteIntegerPending) pending[r.arg] = r.value;
        if (r.ok && r.call == Call::FlushPending)
            for (auto& [name, value] : std::exchange(pending, {})) expected[name] = value;
    }
    RegKeyData key = s.Registry();
    for (const auto& [name, value] : expected) {
        RegValue* v = RegFile::FindValue(key, name);
        ASSERT_NE(v, nullptr) << context << ": registry lost " << name;
        EXPECT_EQ(v->type == RegType::Dword ? std::to_string(static_cast<int32_t>(v->dword)) : v->text, value) << context << name;
    }
}

void CheckWindowEnd(const RunResult& r, const FaultPlatform& fp, const std::string& context) {
    ASSERT_FALSE(r.view.endStates.empty()) << context;
    EXPECT_FALSE(r.view.endStates.front()) << context;
    EXPECT_TRUE(r.view.endStates.back()) << context;
    EXPECT_TRUE(r.closed) << context;
    EXPECT_EQ(fp.OpenLogFiles(), 0) << context << ": log file still open";
    EXPECT_EQ(fp.UnclosedLogFiles(), 0) << context << ": log released without Close";
}

// The invariants of an update run that may have met a fault.
void CheckAfterUpdate(const FaultScenario& s, const FaultPlatform& fp, const PosixPlatform& posix,
                      const RunResult& r) {
    const CallRecord* failed = fp.Failed();
    const std::string context = Describe(failed);
    CheckWindowEnd(r, fp, context);
    const IniDocument catalogue = s.Catalogue();
    const std::string set = s.BackupSet();
    bool allInPlace = true;
    bool lied = false;  // a false "no such file" answer turned a file into a silent skip
    for (const PackageFile& f : s.Files()) {
        // A false answer of a question cannot be told from a true one. "Not in
        // the package" makes the file a silent skip; "not installed" makes the
        // run try a copy that refuses the existing target, so the file fails
        // and stays as it was.
        const bool packageLie = failed && failed->call == Call::FileExists && failed->arg == "C:\\PKG\\" + f.name;
        const bool present = Exists(s.Native(f.native));
        const std::string now = ReadFile(s.Native(f.native));
        if (f.oldBytes.empty()) {
            EXPECT_TRUE(!present || now == f.newBytes) << context << ": " << f.name;
        } else {
            EXPECT_TRUE(now == f.oldBytes || now == f.newBytes) << context << ": " << f.name << " torn or lost";
        }
        if (now != f.newBytes) {
            allInPlace = false;
            // Not in place: said so, unless a false "not in the package" answer made it a silent skip.
            const bool silentSkip = packageLie;
            lied = lied || silentSkip;
            bool emptyManifest = failed && failed->call == Call::ReadWholeFile && failed->arg == "C:\\PKG\\YRNUpdate.ini";
            if (!silentSkip && !emptyManifest) {
                EXPECT_TRUE(HasLine(r.view, W("Сбой при замене файла: ") + f.name) ||
                            HasLineStarting(r.view, W("Сбой при обновлении исполняемых файлов ЮКСВЕЛ. ")) ||
                            HasLineStarting(r.view, W("Не найден файл: ")))
                    << context << ": " << f.name << " not in place without a failure line";
            }
        }
        if (!f.oldBytes.empty() && now != f.oldBytes) {
            // Changed: its saved copy is on disk and listed.
            const std::string* listed = catalogue.Find("FILES", f.name);
            ASSERT_NE(listed, nullptr) << context << ": " << f.name << " replaced without catalogue entry";
            EXPECT_EQ(*listed, f.target) << context;
            EXPECT_EQ(ReadFile(set + "/" + f.name), f.oldBytes) << context << ": saved copy of " << f.name;
        }
    }
    // The catalogue never lists a copy that is not there.
    for (const std::string& key : catalogue.Keys("FILES")) {
        auto it = std::find_if(s.Files().begin(), s.Files().end(), [&](const PackageFile& f) { return f.name == key; });
        ASSERT_NE(it, s.Files().end()) << context << ": stray catalogue entry " << key;
        EXPECT_EQ(ReadFile(set + "/" + key), it->oldBytes) << context << ": listed copy of " << key;
    }
    const std::optional<uint32_t> updateVersion = s.RegDword("UpdateVersion");
    if (!allInPlace && !lied) {
        EXPECT_EQ(updateVersion, std::optional<uint32_t>(6)) << context << ": UpdateVersion recorded";
    }
    if (!failed) {
        EXPECT_EQ(updateVersion, std::optional<uint32_t>(7));
    }
    CheckIniWritesKept(fp, posix, context);
    CheckRegistryWritesKept(fp, s, context);
    EXPECT_TRUE(TempLeftovers(s.Native("")).empty()) << context;
    CheckNoStrayWrites(s, context);
}

// An ordinary rollback of the run's set restores every installed file.
void CheckRestorable(const FaultScenario& s, PosixPlatform& posix, const std::string& context) {
    const std::string set = s.BackupSet();
    if (!set.empty()) {
        RollbackSettings(SetName(set), s.Catalogue());
        RunResult r = RunForm(posix, 2);
        EXPECT_TRUE(r.view.endStates.back()) << context;
    }
    for (const PackageFile& f : s.Files()) {
        if (!f.oldBytes.empty()) {
            EXPECT_EQ(ReadFile(s.Native(f.native)), f.oldBytes) << context << ": rollback left " << f.name;
        }
    }
}

class FaultRunTest : public ::testing::Test {
protected:
    void TearDown() override { ResetSettings(); }

    // One update run in a fresh root with the k-th call failed (0: none).
    int UpdateWithFault(int k, bool checkRollback) {
        TempRoot root;
        FaultScenario s(root);
        PosixPlatform posix(root.Path());
        FaultPlatform fp(posix);
        fp.SetClock(kRunTime);
        fp.FailCall(k);
        UpdateSettings();
        RunResult r = RunForm(fp, 1);
        CheckAfterUpdate(s, fp, posix, r);
        const CallRecord* failed = fp.Failed();
        const bool lie = failed && failed->call == Call::FileExists;
        if (lie) ++lies_;
        if (checkRollback) CheckRestorable(s, posix, Describe(failed));
        return fp.Calls();
    }

    int lies_ = 0;  // fault points that were a false "no such file" answer

    int RollbackWithFault(int k) {
        TempRoot root;
        FaultScenario s(root);
        PosixPlatform posix(root.Path());
        UpdateSettings();
        FaultPlatform clock(posix);
        clock.SetClock(kRunTime);
        RunForm(clock, 1);
        const std::string set = s.BackupSet();
        EXPECT_FALSE(set.empty());
        std::map<std::string, std::string> setBefore;
        for (const std::string& n : ListDir(set)) setBefore[n] = ReadFile(set + "/" + n);
        const std::string registryBefore = ReadFile(s.Native("registry.reg"));
        const std::string logBefore = ReadFile(s.Native("cwd/YRNUpdate.log"));

        FaultPlatform fp(posix);
        fp.FailCall(k);
        RollbackSettings(SetName(set), s.Catalogue());
        RunResult r = RunForm(fp, 2);
        const CallRecord* failed = fp.Failed();
        const std::string context = "rollback " + Describe(failed);
        CheckWindowEnd(r, fp, context);
        for (const PackageFile& f : s.Files()) {
            if (f.oldBytes.empty()) continue;
            const std::string now = ReadFile(s.Native(f.native));
            EXPECT_TRUE(now == f.oldBytes || now == f.newBytes) << context << ": " << f.name;
            bool silentSkip = failed && failed->call == Call::FileExists && failed->arg == BackupDir + f.name;
            if (now != f.oldBytes && !silentSkip) {
                EXPECT_TRUE(HasLine(r.view, W("Сбой при замене файла: ") + f.name) ||
                            HasLine(r.view, W("Сбой при замене исполняемых файлов ЮКСВЕЛ.")) ||
                            HasLineStarting(r.view, W("Не найден файл: ")))
                    << context << ": " << f.name << " not restored without a failure line";
            }
        }
        std::map<std::string, std::string> setAfter;
        for (const std::string& n : ListDir(set)) setAfter[n] = ReadFile(set + "/" + n);
        EXPECT_EQ(setAfter, setBefore) << context << ": the backup set changed";
        EXPECT_EQ(ReadFile(s.Native("registry.reg")), registryBefore) << context;
        std::string logged = logBefore;
        for (const CallRecord& rec : fp.Records())
            if (rec.ok && rec.call == Call::LogWrite) logged += rec.value;
        EXPECT_EQ(ReadFile(s.Native("cwd/YRNUpdate.log")), logged) << context << ": log lines lost";
        EXPECT_TRUE(TempLeftovers(s.Native("")).empty()) << context;
        CheckRestorable(s, posix, context);
        return fp.Calls();
    }
};

TEST_F(FaultRunTest, CleanRunDoesItAll) {
    TempRoot root;
    FaultScenario s(root);
    PosixPlatform posix(root.Path());
    FaultPlatform fp(posix);
    fp.SetClock(kRunTime);
    UpdateSettings();
    RunResult r = RunForm(fp, 1);
    CheckAfterUpdate(s, fp, posix, r);
    for (const PackageFile& f : s.Files()) EXPECT_EQ(ReadFile(s.Native(f.native)), f.newBytes) << f.name;
    EXPECT_EQ(s.BackupSet(), s.Native("c/TOVR/UPDATE/OldFiles/24-03-05 10-20"));
    EXPECT_EQ(s.Catalogue().Keys("FILES"), (std::vector<std::string>{"Shift.exe", "Lib.dll", "Tool.exe"}));
    EXPECT_EQ(s.RegDword("Readme.txt"), std::optional<uint32_t>(1));
    ASSERT_TRUE(RunList);
    EXPECT_EQ(RunList->Value("C:\\TOVR\\Shift.exe"), "/s");
    EXPECT_GT(fp.Calls(), 50);
}

TEST_F(FaultRunTest, UpdateSurvivesAFaultAtEveryCall) {
    const int clean = UpdateWithFault(0, false);
    for (int k = 1; k <= clean; ++k) {
        SCOPED_TRACE("update fault k=" + std::to_string(k));
        UpdateWithFault(k, true);
        if (HasFatalFailure()) return;
    }
    std::cout << "[ fault    ] update run: " << clean << " fault points covered (" << lies_
              << " of them a FileExists answered \"no\")\n";
}

TEST_F(FaultRunTest, RollbackSurvivesAFaultAtEveryCall) {
    const int clean = RollbackWithFault(0);
    for (int k = 1; k <= clean; ++k) {
        SCOPED_TRACE("rollback fault k=" + std::to_string(k));
        RollbackWithFault(k);
        if (HasFatalFailure()) return;
    }
    std::cout << "[ fault    ] rollback run: " << clean << " fault points covered\n";
}

// Every call of one kind fails: what the run does, line by line.
struct KindCase {
    FaultKind kind;
    const char* label;
    std::vector<std::string> inPlace;  // files that end with their new bytes
    std::vector<std::string> screen;   // UTF-8; a last line ending in "…" is a prefix
};

std::vector<std::string> Screen(std::initializer_list<const char*> lines) {
    std::vector<std::string> out;
    for (const char* l : lines) out.push_back(W(l));
    return out;
}

void ExpectScreen(const std::vector<std::string>& actual, const std::vector<std::string>& expected,
                  const std::string& context) {
    ASSERT_EQ(actual.size(), expected.size()) << context;
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::string& e = expected[i];
        const std::string ellipsis = W("…");
        if (e.size() >= ellipsis.size() && e.compare(e.size() - ellipsis.size(), ellipsis.size(), ellipsis) == 0) {
            std::string prefix = e.substr(0, e.size() - ellipsis.size());
            EXPECT_EQ(actual[i].substr(0, prefix.size()), prefix) << context << " line " << i;
        } else {
            EXPECT_EQ(actual[i], e) << context << " line " << i;
        }
    }
}

TEST_F(FaultRunTest, UpdateWithEveryCallOfOneKindFailing) {
    const std::vector<KindCase> cases = {
        {FaultKind::Copy, "copy", {},
         Screen({"Старт программы обновления ЮКСВЕЛ.", "Обновление файла: Shift.exe", "Сбой при замене файла: Shift.exe",
                 "Обновление файла: Lib.dll", "Сбой при замене файла: Lib.dll", "Обновление файла: Readme.txt",
                 "Сбой при замене файла: Readme.txt", "Обновление файла: Tool.exe", "Сбой при замене файла: Tool.exe",
                 "Обновление исполняемых файлов завершено."})},
        {FaultKind::CreateDirectory, "create directory", {"Readme.txt"},
         Screen({"Старт программы обновления ЮКСВЕЛ.", "Обновление файла: Shift.exe", "Сбой при замене файла: Shift.exe",
                 "Обновление файла: Lib.dll", "Сбой при замене файла: Lib.dll", "Обновление файла: Readme.txt",
                 "Обновление файла: Tool.exe", "Сбой при замене файла: Tool.exe",
                 "Обновление исполняемых файлов завершено."})},
        {FaultKind::IniWrite, "INI write", {"Readme.txt"},
         Screen({"Старт программы обновления ЮКСВЕЛ.", "Обновление файла: Shift.exe", "Сбой при замене файла: Shift.exe",
                 "Обновление файла: Lib.dll", "Сбой при замене файла: Lib.dll", "Обновление файла: Readme.txt",
                 "Сбой при обновлении исполняемых файлов ЮКСВЕЛ. …"})},
        {FaultKind::RegistryWrite, "registry write", {"Shift.exe"},
         Screen({"Старт программы обновления ЮКСВЕЛ.", "Обновление файла: Shift.exe",
                 "Сбой при обновлении исполняемых файлов ЮКСВЕЛ. …"})},
        {FaultKind::LogOpen, "log open", {},
         Screen({"Сбой при обновлении исполняемых файлов ЮКСВЕЛ. …"})},
        {FaultKind::LogWrite, "log write", {},
         Screen({"Старт программы обновления ЮКСВЕЛ.", "Сбой при обновлении исполняемых файлов ЮКСВЕЛ. …"})},
        {FaultKind::LogClose, "log close", {"Shift.exe", "Lib.dll", "Readme.txt", "Tool.exe"},
         Screen({"Старт программы обновления ЮКСВЕЛ.", "Обновление файла: Shift.exe", "Обновление файла: Lib.dll",
                 "Обновление файла: Readme.txt", "Обновление файла: Tool.exe",
                 "Обновление исполняемых файлов завершено.", "Сбой при обновлении исполняемых файлов ЮКСВЕЛ. …"})},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempRoot root;
        FaultScenario s(root);
        PosixPlatform posix(root.Path());
        FaultPlatform fp(posix);
        fp.SetClock(kRunTime);
        fp.FailKind(c.kind);
        UpdateSettings();
        RunResult r = RunForm(fp, 1);
        CheckAfterUpdate(s, fp, posix, r);
        ExpectScreen(r.view.lines, c.screen, c.label);
        for (const PackageFile& f : s.Files()) {
            bool placed = std::find(c.inPlace.begin(), c.inPlace.end(), f.name) != c.inPlace.end();
            EXPECT_EQ(ReadFile(s.Native(f.native)), placed ? f.newBytes : f.oldBytes) << f.name;
            // A file in place has its version recorded unless the registry refused it.
            if (c.kind != FaultKind::RegistryWrite && c.kind != FaultKind::IniWrite && placed) {
                EXPECT_TRUE(s.RegDword(f.name).has_value()) << f.name;
            }
        }
        EXPECT_EQ(s.RegDword("UpdateVersion"), std::optional<uint32_t>(c.inPlace.size() == 4 ? 7 : 6));
        CheckRestorable(s, posix, c.label);
    }
}

TEST_F(FaultRunTest, RollbackWithEveryCallOfOneKindFailing) {
    const std::vector<KindCase> cases = {
        {FaultKind::Copy, "copy", {"Shift.exe", "Lib.dll", "Tool.exe"},
         Screen({"Старт программы отката обновления ЮКСВЕЛ.", "Восстановление файла: Shift.exe",
                 "Сбой при замене файла: Shift.exe", "Восстановление файла: Lib.dll", "Сбой при замене файла: Lib.dll",
                 "Восстановление файла: Tool.exe", "Сбой при замене файла: Tool.exe",
                 "Замена исполняемых файлов завершена."})},
        {FaultKind::LogOpen, "log open", {"Shift.exe", "Lib.dll", "Tool.exe"},
         Screen({"Сбой при замене исполняемых файлов ЮКСВЕЛ."})},
        {FaultKind::LogWrite, "log write", {"Shift.exe", "Lib.dll", "Tool.exe"},
         Screen({"Старт программы отката обновления ЮКСВЕЛ.", "Сбой при замене исполняемых файлов ЮКСВЕЛ."})},
        {FaultKind::LogClose, "log close", {},
         Screen({"Старт программы отката обновления ЮКСВЕЛ.", "Восстановление файла: Shift.exe",
                 "Восстановление файла: Lib.dll", "Восстановление файла: Tool.exe",
                 "Замена исполняемых файлов завершена.", "Сбой при замене исполняемых файлов ЮКСВЕЛ."})},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempRoot root;
        FaultScenario s(root);
        PosixPlatform posix(root.Path());
        UpdateSettings();
        RunForm(posix, 1);
        const std::string set = s.BackupSet();
        FaultPlatform fp(posix);
        fp.FailKind(c.kind);
        RollbackSettings(SetName(set), s.Catalogue());
        RunResult r = RunForm(fp, 2);
        CheckWindowEnd(r, fp, c.label);
        ExpectScreen(r.view.lines, c.screen, c.label);
        for (const PackageFile& f : s.Files()) {
            if (f.oldBytes.empty()) continue;
            bool stillNew = std::find(c.inPlace.begin(), c.inPlace.end(), f.name) != c.inPlace.end();
            EXPECT_EQ(ReadFile(s.Native(f.native)), stillNew ? f.newBytes : f.oldBytes) << f.name;
        }
        CheckRestorable(s, posix, c.label);
    }
}

// Queued programs: a refused start never keeps the next one from starting.
TEST_F(FaultRunTest, RunQueuedGoesOnAfterARefusedStart) {
    TempRoot root;
    PosixPlatform posix(root.Path());
    for (const char* name : {"c/TOVR/one.sh", "c/TOVR/two.sh"}) {
        WriteFile(root.Native(name), "#!/bin/sh\necho \"$1\" > \"$2\"\n");
        ::chmod(root.Native(name).c_str(), 0755);
    }
    struct Case {
        const char* label;
        bool failAll;
        std::vector<bool> ran;  // one.sh, two.sh
    };
    int n = 0;
    for (const Case& c : {Case{"first start refused", false, {false, true}}, Case{"every start refused", true, {false, false}}}) {
        SCOPED_TRACE(c.label);
        FaultPlatform fp(posix);
        if (c.failAll) fp.FailKind(FaultKind::ProcessStart);
        else fp.FailWhen([](const CallRecord& r) { return r.call == Call::StartProcess && r.arg == "C:\\TOVR\\one.sh"; });
        ResetSettings();
        const std::string m1 = root.Native("m1-" + std::to_string(n)), m2 = root.Native("m2-" + std::to_string(n));
        ++n;
        AddToRunList("C:\\TOVR\\one.sh", "one " + m1);
        AddToRunList("C:\\TOVR\\missing.sh", "x");
        AddToRunList("C:\\TOVR\\two.sh", "two " + m2);
        RunQueued(fp);
        EXPECT_FALSE(RunList);
        std::vector<std::string> started;
        for (const CallRecord& rec : fp.Records())
            if (rec.call == Call::StartProcess) started.push_back(rec.arg);
        EXPECT_EQ(started, (std::vector<std::string>{"C:\\TOVR\\one.sh", "C:\\TOVR\\two.sh"}));
        for (int i = 0; i < 100 && c.ran[1] && !Exists(m2); ++i) ::usleep(20000);
        ::usleep(50000);
        EXPECT_EQ(Exists(m1), c.ran[0]);
        EXPECT_EQ(ReadFile(m2), c.ran[1] ? "two\n" : "");
    }
}

// A refused catalogue write followed by a catalogue that cannot be read back
// must not cost the entries already on disk.
TEST_F(FaultRunTest, CatalogueKeepsItsEntriesWhenItCannotBeReadBack) {
    TempRoot root;
    FaultScenario s(root);
    PosixPlatform posix(root.Path());
    FaultPlatform fp(posix);
    fp.SetClock(kRunTime);
    int appends = 0;
    fp.FailWhen([&](const CallRecord& r) {
        const bool catalogue = r.arg.size() > 10 && r.arg.compare(r.arg.size() - 10, 10, "BackUp.ini") == 0;
        if (catalogue && r.call == Call::AppendToFile) return ++appends == 1;  // the Lib.dll entry
        return catalogue && r.call == Call::ReadWholeFile && appends > 0;
    });
    UpdateSettings();
    RunResult r = RunForm(fp, 1);
    CheckAfterUpdate(s, fp, posix, r);
    EXPECT_EQ(ReadFile(s.Native("c/TOVR/Shift.exe")), "new shift, longer\r\n");
    ASSERT_NE(s.Catalogue().Find("FILES", "Shift.exe"), nullptr);
    CheckRestorable(s, posix, "catalogue unreadable");
}

// Several faults in one run, at random, questions left honest.
TEST_F(FaultRunTest, UpdateSurvivesRandomFaultStorms) {
    int runs = 0, faults = 0;
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        TempRoot root;
        FaultScenario s(root);
        PosixPlatform posix(root.Path());
        FaultPlatform fp(posix);
        fp.SetClock(kRunTime);
        fp.FailRandomly(seed, 0.06);
        UpdateSettings();
        RunResult r = RunForm(fp, 1);
        CheckAfterUpdate(s, fp, posix, r);
        CheckRestorable(s, posix, "seed " + std::to_string(seed));
        if (HasFatalFailure()) return;
        ++runs;
        faults += fp.FailedCount();
    }
    std::cout << "[ fault    ] " << runs << " storm runs, " << faults << " faults\n";
}

}  // namespace
}  // namespace yrn::test
