// The update run: one package installed file by file, each overwritten file
// saved into the run's backup set first.
#include <map>
#include <optional>
#include <vector>

#include "../FuncUnit.h"
#include "../TRegistry.h"
#include "../text.h"
#include "TUpdateForm.h"
#include "TVersionInfo.h"

namespace yrn {

struct TUpdateForm::UpdateRun {
    UpdateRun(Platform& p, UpdateView& v) : platform(p), log(p, v), registry(p) {}
    Platform& platform;
    RunLog log;
    bool failed = false;
    std::unique_ptr<TIniFile> manifest;
    TRegistry registry;
    std::unique_ptr<TIniFile> catalogue;
    std::unique_ptr<TIniFile> localManifest;
    // Where in the set this run saved a copy, and of which installed file.
    std::map<std::string, std::string> saved;
};

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

}  // namespace

void TUpdateForm::StartUpdate() {
    if (!platform_.DirectoryExists(FromOfficeDir)) platform_.CreateDir(FromOfficeDir);

    UpdateRun run(platform_, *view_);
    view_->SetEndBtnEnabled(false);
    try {
        view_->SetCaption(UpdateCaption());
        run.log.Start(W("Старт программы обновления ЮКСВЕЛ."));
        run.log.File(W("Обновление из каталога: ") + UpdatePath);
        const std::string manifestPath = UpdatePath + "YRNUpdate.ini";
        if (!platform_.FileExists(manifestPath)) {
            run.log.Both(W("Не найден файл: ") + manifestPath);
        } else {
            platform_.ForceDirectories(BackupDir);
            platform_.ForceDirectories(LocalCopyDir);
            std::string setName = FreeSetName(platform_, FormatBackupName(platform_.Now()));
            BackupDir += setName + "\\";
            LocalCopyDir += setName + "\\";

            run.manifest = std::make_unique<TIniFile>(platform_, manifestPath);
            TIniFile& pkg = *run.manifest;
            run.registry.OpenKeyOrFail(UpdateRegKey());

            bool declined = false;
            if (!IsNoVersion && pkg.ValueExists("ExeFiles", "Version")) {
                int32_t P = pkg.ReadInteger("ExeFiles", "Version", 0);
                run.log.File(W("Версия обновления: ") + std::to_string(P));
                if (run.registry.ValueExists("UpdateVersion")) {
                    int32_t R = run.registry.ReadInteger("UpdateVersion");
                    run.log.File(W("Версия последнего обновления: ") + std::to_string(R));
                    std::optional<std::string> question;
                    if (P < R) question = W("Устанавливаемая версия ниже текущей. Продолжить обновление?");
                    else if (P == R) question = W("Данная версия обновления уже установлена. Продолжить обновление?");
                    if (question && !view_->AskYesNo(*question, UpdateCaption(), false)) declined = true;
                }
            }

            if (declined) {
                run.log.Screen(W("Обновление исполняемых файлов завершено."));
            } else {
                // A type outside 0..3 is refused at start-up; keep the run safe anyway.
                const char* dirKey = DirKeys[swType & 3];
                const std::vector<std::string> files = pkg.ReadSection("FILES");
                for (const std::string& N : files) {
                    if (!IsNoVersion && run.registry.ValueExists(N) &&
                        pkg.ReadInteger(N, "Version", 0) <= run.registry.ReadInteger(N))
                        continue;
                    std::string T = pkg.ReadString(N, dirKey, "<none>");
                    if (T == "<none>") continue;
                    if (IsUnsafeFileName(N)) {
                        std::string probe = T;
                        if (!ResolveTargetDir(platform_, probe)) continue;
                        run.failed = true;
                        run.log.Both(W("Сбой при замене файла: ") + N);
                        continue;
                    }
                    if (!platform_.FileExists(UpdatePath + N)) continue;
                    if (!ReplaceFile(run, N, T)) continue;
                    if (!pkg.ValueExists("MAIN", "LocalCopy")) CopyToLocal(run, N);
                    run.registry.WriteIntegerPending(N, pkg.ReadInteger(N, "Version", 0));
                    if (pkg.ReadBool(N, "Execute", false)) AddToRunList(T + N, pkg.ReadString(N, "Params", ""));
                }
                // The records written as the run went reach the disk here, before the one that says it is done.
                if (!platform_.FlushPending()) throw YrnError("Failed to flush the run's records to disk");
                if (!run.failed && pkg.ValueExists("ExeFiles", "Version"))
                    run.registry.WriteInteger("UpdateVersion", pkg.ReadInteger("ExeFiles", "Version", 0));
                run.manifest.reset();
                run.catalogue.reset();
                run.localManifest.reset();
                run.registry.CloseKey();
                run.log.Both(W("Обновление исполняемых файлов завершено."));
            }
        }
    } catch (const std::exception& e) {
        platform_.FlushPending();
        run.manifest.reset();
        run.catalogue.reset();
        run.localManifest.reset();
        run.registry.CloseKey();
        const std::string text = W("Сбой при обновлении исполняемых файлов ЮКСВЕЛ.");
        run.log.Screen(text + " " + e.what());
        if (run.log.Usable()) {
            try {
                run.log.FileUnterminated(text + "\r\n" + e.what());
            } catch (const std::exception&) {
                // The log itself failed: the screen line above tells it.
            }
        }
    }
    if (!run.log.Close()) run.log.Screen(W("Сбой при обновлении исполняемых файлов ЮКСВЕЛ. ") + "I/O error: cannot close " + LogFileName);
    view_->SetEndBtnEnabled(true);
}

void TUpdateForm::CopyToLocal(UpdateRun& run, const std::string& N) {
    if (!run.localManifest) platform_.CreateDir(LocalCopyDir);
    if (!platform_.CopyFilePending(UpdatePath + N, LocalCopyDir + N)) return;
    TIniFile& pkg = *run.manifest;
    if (!run.localManifest) {
        run.localManifest = std::make_unique<TIniFile>(platform_, LocalCopyDir + "YRNUpdate.ini", TIniFile::Writes::Pending);
        run.localManifest->WriteBool("MAIN", "LocalCopy", true);
        run.localManifest->WriteInteger("ExeFiles", "Version", pkg.ReadInteger("ExeFiles", "Version", 0));
    }
    // The file's entry and its six values reach the disk in one write: the
    // local manifest never lists a file without its values.
    std::vector<TIniFile::Entry> entry{{"FILES", N, ""}};
    static const char* const keys[][2] = {{"SDir", "<none>"}, {"CDir", "<none>"}, {"MDir", "<none>"},
                                          {"Version", "0"},   {"Execute", "0"},   {"Param", ""}};
    for (const auto& k : keys) entry.push_back({N, k[0], pkg.ReadString(N, k[0], k[1])});
    run.localManifest->WriteStrings(entry);
}

bool TUpdateForm::ReplaceFile(UpdateRun& run, const std::string& N, std::string& T) {
    if (!ResolveTargetDir(platform_, T)) return false;
    if (IsMessage && !view_->AskYesNo(W("Заменить файл ") + N + "?", UpdateCaption(), true)) return false;
    run.log.Both(W("Обновление файла: ") + N);
    bool placed = false;  // the new file is in place
    bool savedNow = false;  // its saved copy made by this call
    try {
        std::string oldVersion, newVersion;
        const std::string installed = T + N;
        bool saved = true;
        const bool existed = platform_.FileExists(installed);
        if (existed) {
            // A copy this run saved already of this same file (the name
            // listed twice) holds the file as it was before the run and is
            // never overwritten. Any other file in that place, the catalogue
            // above all, is not this file's saved copy: the copy goes only
            // onto a free name.
            const bool windowsNames = platform_.WindowsFileNames();
            const std::string landing = LandingName(N, windowsNames);
            const std::string source = LandingName(installed, windowsNames);
            if (auto it = run.saved.find(landing); it != run.saved.end()) {
                saved = it->second == source;
            } else if (LandsOnCatalogue(N, windowsNames)) {
                saved = false;
            } else {
                if (!run.catalogue) platform_.CreateDir(BackupDir);
                saved = savedNow = platform_.SaveCopy(installed, BackupDir + N);
            }
            if (saved) {
                run.saved.emplace(landing, source);
                // The installed file is overwritten only once the catalogue lists its saved copy.
                if (!run.catalogue) run.catalogue = std::make_unique<TIniFile>(platform_, BackupDir + "BackUp.ini");
                run.catalogue->WriteString("FILES", N, installed);
            }
            oldVersion = FileVersionOf(platform_, installed);
        }
        if (saved) {
            // Where no installed file was seen, the copy takes the name only
            // while it is free: a wrong "no such file" cannot overwrite a
            // file nobody saved.
            placed = existed ? platform_.PlaceFile(UpdatePath + N, installed)
                             : platform_.CopyNewFile(UpdatePath + N, installed);
            newVersion = FileVersionOf(platform_, UpdatePath + N);
        }
        if (placed)
            run.log.File(W("Файл ") + T + N + W(" (версия ") + oldVersion + ") " + W(" заменен на ") + UpdatePath + N +
                         W(" (версия ") + newVersion + ") ");
    } catch (const std::exception&) {
        // Judged by the outcome as it stands: a file not in place is a failure.
    }
    // A saved copy linked to a file left in place would change with it.
    if (savedNow && !placed) platform_.UnshareCopy(BackupDir + N);
    if (!placed) {
        run.failed = true;
        run.log.Both(W("Сбой при замене файла: ") + N);
    }
    return placed;
}

}  // namespace yrn
