// The update run: one package installed file by file, each overwritten file
// saved into the run's backup set first.
#include <map>
#include <optional>
#include <vector>

#include "../DurableFiles.h"
#include "../FuncUnit.h"
#include "../TRegistry.h"
#include "../text.h"
#include "PackageCheck.h"
#include "RunFrame.h"
#include "TUpdateForm.h"
#include "TVersionInfo.h"

namespace yrn {
namespace {

// The backup set's name: the run time, or, when a set of that name (or the
// local copy of that name) is already there, the time with "-02", "-03"...
// so that an earlier run's saved copies are never replaced. Such names still
// match "*-*-* *-*" and sort right after the taken one.
std::string FreeSetName(Platform& platform, const std::string& base) {
    auto taken = [&](const std::string& name) {
        for (const std::string& root : {BackupDir, LocalCopyDir})
            if (platform.DirectoryExists(root + name) || platform.FileExists(root + name)) return true;
        return false;
    };
    if (!taken(base)) return base;
    for (int i = 2; i < 10000; ++i) {
        std::string n = std::to_string(i);
        std::string name = base + "-" + (n.size() < 2 ? "0" + n : n);
        if (!taken(name)) return name;
    }
    throw YrnError("No free backup set name for " + base);
}

// The run's state, from the manifest test to the end of the run.
class UpdateRun {
public:
    UpdateRun(Platform& platform, UpdateView& view, RunLog& log)
        : platform_(platform), view_(view), log_(log), registry_(platform) {}
    // A run that failed keeps the records it wrote: the frame flushes them.
    // The failure reported is the run's own, not a refusal of these.
    ~UpdateRun() {
        DropSteps();
        try {
            if (localManifest_) localManifest_->Commit();
        } catch (const YrnError&) {
        }
    }
    RunResult Run();

private:
    bool AskToGoOn(TIniFile& pkg);
    // One file of the package on its way: saved, listed and its new bytes
    // prepared, or already done with when it is no installed file's.
    struct Step {
        std::string N, T, oldVersion, newVersion;
        bool savedNow = false;       // its saved copy made by this step
        bool versionsRead = false;  // both versions known: the step's file line can be written
        int slot = -1;               // its place among the prepared files
        bool placed = false;         // the new file took the name
    };
    // Begins the file's step: nothing when the file has no target here or
    // the user declined it.
    std::optional<Step> BeginFile(const std::string& N, const std::string& target);
    // Ends each begun step in order, once the prepared files are committed.
    void EndSteps();
    // The step's lines, and what follows a new file in place; a saved copy
    // of a file left in place gets bytes of its own or goes.
    void EndStep(Step& step);
    // Steps cut short by an error: no file of theirs took its name.
    void DropSteps();
    void CopyToLocal(const std::string& N);

    Platform& platform_;
    UpdateView& view_;
    RunLog& log_;
    bool failed_ = false;
    CheckedPackage package_;
    std::unique_ptr<TIniFile> manifest_;
    TRegistry registry_;
    std::unique_ptr<TIniFile> catalogue_;
    std::unique_ptr<TIniFile> localManifest_;
    // Where in the set this run saved a copy, and of which installed file.
    std::map<std::string, std::string> saved_;
    // Begun steps whose files wait for the group commit.
    std::vector<Step> steps_;
};

// A group commit waits for at most this many files, or bytes of new files
// (so that a package of large files never needs much more room than it has).
constexpr size_t kGroupFiles = 64;
constexpr uint64_t kGroupBytes = uint64_t{32} << 20;

}  // namespace

void TUpdateForm::StartUpdate() {
    if (!platform_.DirectoryExists(FromOfficeDir)) platform_.CreateDir(FromOfficeDir);
    const RunWords words{"update", UpdateCaption(), W("Старт программы обновления ЮКСВЕЛ."),
                         W("Сбой при обновлении исполняемых файлов ЮКСВЕЛ."), true};
    RunInFrame(platform_, *view_, words, [&](RunLog& log) { return UpdateRun(platform_, *view_, log).Run(); });
}

RunResult UpdateRun::Run() {
    log_.File(W("Обновление из каталога: ") + UpdatePath);
    const std::string manifestPath = UpdatePath + "YRNUpdate.ini";
    if (!platform_.FileExists(manifestPath)) {
        log_.Both(W("Не найден файл: ") + manifestPath);
        return RunError;
    }
    package_ = CheckPackage(platform_, UpdatePath, ReadPackageKeys(platform_));
    platform_.ForceDirectories(BackupDir);
    platform_.ForceDirectories(LocalCopyDir);
    std::string setName = FreeSetName(platform_, FormatBackupName(platform_.Now()));
    BackupDir += setName + "\\";
    LocalCopyDir += setName + "\\";

    manifest_ = std::make_unique<TIniFile>(platform_, manifestPath);
    manifest_->Preload(package_.manifest);
    TIniFile& pkg = *manifest_;
    registry_.OpenKeyOrFail(UpdateRegKey());
    if (!AskToGoOn(pkg)) {
        log_.Screen(W("Обновление исполняемых файлов завершено."));
        return RunDeclined;
    }

    // A type outside 0..3 is refused at start-up; keep the run safe anyway.
    const char* dirKey = DirKeys[swType & 3];
    for (const std::string& N : pkg.ReadSection("FILES")) {
        if (!IsNoVersion && registry_.ValueExists(N) && pkg.ReadInteger(N, "Version", 0) <= registry_.ReadInteger(N))
            continue;
        const std::string T = pkg.ReadString(N, dirKey, "<none>");
        if (T == "<none>") continue;
        if (IsUnsafeFileName(N)) {
            std::string probe = T;
            if (!ResolveTargetDir(platform_, probe)) continue;
            EndSteps();
            failed_ = true;
            log_.Both(W("Сбой при замене файла: ") + N);
            continue;
        }
        if (!platform_.FileExists(UpdatePath + N)) continue;
        std::optional<Step> step = BeginFile(N, T);
        if (!step) continue;
        steps_.push_back(std::move(*step));
        DurableFiles& files = platform_.Files();
        // A step with nothing prepared (a new file, one not saved) ends at once, with those before it.
        if (steps_.back().slot < 0 || IsMessage || files.PreparedFiles() >= kGroupFiles ||
            files.PreparedBytes() >= kGroupBytes)
            EndSteps();
    }
    EndSteps();
    // The records written as the run went reach the disk here, before the one that says it is done.
    if (localManifest_) localManifest_->Commit();
    if (!platform_.Files().FlushPending()) throw YrnError("Failed to flush the run's records to disk");
    if (!failed_ && pkg.ValueExists("ExeFiles", "Version"))
        registry_.WriteInteger("UpdateVersion", pkg.ReadInteger("ExeFiles", "Version", 0));
    manifest_.reset();
    catalogue_.reset();
    localManifest_.reset();
    registry_.CloseKey();
    log_.Both(W("Обновление исполняемых файлов завершено."));
    return failed_ ? RunFileFailed : RunClean;
}

// The package version against the recorded one: a lower or equal package
// goes on only when the user says so.
bool UpdateRun::AskToGoOn(TIniFile& pkg) {
    if (IsNoVersion || !pkg.ValueExists("ExeFiles", "Version")) return true;
    int32_t P = pkg.ReadInteger("ExeFiles", "Version", 0);
    log_.File(W("Версия обновления: ") + std::to_string(P));
    if (!registry_.ValueExists("UpdateVersion")) return true;
    int32_t R = registry_.ReadInteger("UpdateVersion");
    log_.File(W("Версия последнего обновления: ") + std::to_string(R));
    if (P > R) return true;
    const std::string question = P < R ? W("Устанавливаемая версия ниже текущей. Продолжить обновление?")
                                       : W("Данная версия обновления уже установлена. Продолжить обновление?");
    return view_.AskYesNo(question, UpdateCaption(), false);
}

void UpdateRun::CopyToLocal(const std::string& N) {
    if (!localManifest_) platform_.CreateDir(LocalCopyDir);
    if (!platform_.Files().CopyFilePending(UpdatePath + N, LocalCopyDir + N)) return;
    TIniFile& pkg = *manifest_;
    if (!localManifest_) {
        localManifest_ = std::make_unique<TIniFile>(platform_, LocalCopyDir + "YRNUpdate.ini", TIniFile::Writes::Pending);
        localManifest_->WriteBool("MAIN", "LocalCopy", true);
        localManifest_->WriteInteger("ExeFiles", "Version", pkg.ReadInteger("ExeFiles", "Version", 0));
        // The signed manifest as checked, so that the copy's files can be checked against it again.
        if (package_.signature && (!platform_.Files().WriteWholeFilePending(LocalCopyDir + "Package.ini", package_.manifest) ||
                                   !platform_.Files().WriteWholeFilePending(LocalCopyDir + "Package.sig", *package_.signature)))
            throw YrnError("Failed to write the signed manifest into " + LocalCopyDir);
    }
    // The file's entry and its values reach the disk in one write: the
    // local manifest never lists a file without its values.
    std::vector<TIniFile::Entry> entry{{"FILES", N, ""}};
    static const char* const keys[][2] = {{"SDir", "<none>"}, {"CDir", "<none>"}, {"MDir", "<none>"},
                                          {"ODir", "<none>"}, {"Version", "0"},   {"Execute", "0"},
                                          {"Param", ""},      {"Params", ""}};
    for (const auto& k : keys) entry.push_back({N, k[0], pkg.ReadString(N, k[0], k[1])});
    if (pkg.ValueExists(N, "SHA256")) entry.push_back({N, "SHA256", pkg.ReadString(N, "SHA256", "")});
    localManifest_->WriteStrings(entry);
}

std::optional<UpdateRun::Step> UpdateRun::BeginFile(const std::string& N, const std::string& target) {
    Step step;
    step.N = N;
    std::string& T = step.T = target;
    if (!ResolveTargetDir(platform_, T)) return std::nullopt;
    const bool windowsNames = platform_.WindowsFileNames();
    const std::string landing = LandingName(N, windowsNames), installed = T + N;
    // A name listed again waits for the end of the first listing's step:
    // that one decides whether its saved copy stays.
    if (saved_.count(landing)) EndSteps();
    if (IsMessage && !view_.AskYesNo(W("Заменить файл ") + N + "?", UpdateCaption(), true)) return std::nullopt;
    DurableFiles& files = platform_.Files();
    try {
        // Where no installed file was seen, the copy takes the name only
        // while it is free (a wrong "no such file" cannot overwrite a file
        // nobody saved), at once and on its own.
        if (!platform_.FileExists(installed)) {
            EndSteps();
            step.placed = files.CopyNewFile(UpdatePath + N, installed);
            step.newVersion = FileVersionOf(platform_, UpdatePath + N);
            step.versionsRead = true;
            return step;
        }
        // A copy this run saved already of this same file (the name listed
        // twice) holds the file as it was before the run and is never
        // overwritten. Any other file in that place, the catalogue above
        // all, is not this file's saved copy: the copy goes only onto a
        // free name.
        bool saved = false;
        const std::string source = LandingName(installed, windowsNames);
        if (auto it = saved_.find(landing); it != saved_.end()) {
            saved = it->second == source;
        } else if (!LandsOnCatalogue(N, windowsNames)) {
            if (!catalogue_) platform_.CreateDir(BackupDir);
            // The catalogue's first entry makes a new file, durable at once: its saved copy is so first.
            saved = step.savedNow = catalogue_ ? files.SaveCopyStaged(installed, BackupDir + N)
                                               : files.SaveCopy(installed, BackupDir + N);
        }
        if (saved) {
            saved_.emplace(landing, source);
            // The installed file is overwritten only once the catalogue lists its saved copy:
            // the commit makes both durable before the new file takes the name.
            if (!catalogue_)
                catalogue_ = std::make_unique<TIniFile>(platform_, BackupDir + "BackUp.ini", TIniFile::Writes::Staged);
            catalogue_->WriteString("FILES", N, installed);
        }
        step.oldVersion = FileVersionOf(platform_, installed);
        if (saved) {
            step.slot = static_cast<int>(files.PreparedFiles());
            files.PrepareFile(UpdatePath + N, installed);
            step.newVersion = FileVersionOf(platform_, UpdatePath + N);
            step.versionsRead = true;
        }
    } catch (const std::exception&) {
        // Judged by the outcome as it stands: a file not in place is a failure.
    }
    return step;
}

void UpdateRun::EndSteps() {
    const std::vector<bool> placed = platform_.Files().CommitPrepared();
    for (Step& step : steps_)
        if (step.slot >= 0) step.placed = static_cast<size_t>(step.slot) < placed.size() && placed[step.slot];
    while (!steps_.empty()) {
        Step step = std::move(steps_.front());
        steps_.erase(steps_.begin());
        EndStep(step);
    }
}

void UpdateRun::EndStep(Step& step) {
    const std::string& N = step.N;
    DurableFiles& files = platform_.Files();
    // A saved copy linked to a file left in place would change with it.
    // One that cannot get bytes of its own goes (the file it was saved from
    // is still in place), and is no longer counted as saved: a second
    // listing of the name saves the file anew.
    if (!step.placed && step.savedNow && !files.UnshareCopy(BackupDir + N)) {
        files.RemoveFile(BackupDir + N);
        saved_.erase(LandingName(N, platform_.WindowsFileNames()));
    }
    log_.Both(W("Обновление файла: ") + N);
    if (!step.placed) {
        failed_ = true;
        log_.Both(W("Сбой при замене файла: ") + N);
        return;
    }
    try {
        if (step.versionsRead) log_.File(ReplacedLine(step.T, N, step.oldVersion, UpdatePath, step.newVersion));
    } catch (const std::exception&) {
        // The file is in place: a line that cannot be written changes nothing of that.
    }
    TIniFile& pkg = *manifest_;
    if (!pkg.ValueExists("MAIN", "LocalCopy")) CopyToLocal(N);
    registry_.WriteIntegerPending(N, pkg.ReadInteger(N, "Version", 0));
    if (pkg.ReadBool(N, "Execute", false)) AddToRunList(step.T + N, pkg.ReadString(N, "Params", ""));
}

void UpdateRun::DropSteps() {
    DurableFiles& files = platform_.Files();
    files.DropPrepared();
    for (const Step& step : std::exchange(steps_, {}))
        if (!step.placed && step.savedNow && !files.UnshareCopy(BackupDir + step.N)) files.RemoveFile(BackupDir + step.N);
}

}  // namespace yrn
