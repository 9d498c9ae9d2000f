// The rollback run: the checked files of one backup set copied back onto the
// paths they were saved from.
#include "../DurableFiles.h"
#include "../FuncUnit.h"
#include "../text.h"
#include "RunFrame.h"
#include "TUpdateForm.h"
#include "TVersionInfo.h"

namespace yrn {
namespace {

// P up to and including its last "\" or ":"; empty when it has neither.
std::string DirectoryPart(const std::string& P) {
    size_t i = P.find_last_of("\\:");
    return i == std::string::npos ? std::string() : P.substr(0, i + 1);
}

class RollbackRun {
public:
    RollbackRun(Platform& platform, UpdateView& view, RunLog& log) : platform_(platform), view_(view), log_(log) {}
    RunResult Run();

private:
    bool RestoreFile(const std::string& N, const std::string& dir);

    Platform& platform_;
    UpdateView& view_;
    RunLog& log_;
    bool failed_ = false;  // a file was to be restored and is not
};

}  // namespace

void TUpdateForm::StartRollback() {
    const RunWords words{"rollback", RollbackCaption(), W("Старт программы отката обновления ЮКСВЕЛ."),
                         W("Сбой при замене исполняемых файлов ЮКСВЕЛ."), false};
    RunInFrame(platform_, *view_, words, [&](RunLog& log) { return RollbackRun(platform_, *view_, log).Run(); });
}

RunResult RollbackRun::Run() {
    log_.File(W("Восстановление из каталога: ") + BackupDir);
    if (!platform_.FileExists(BackupDir + "BackUp.ini")) {
        log_.Both(W("Не найден файл: ") + BackupDir + "BackUp.ini");
        return RunError;
    }
    const NameValueList empty;
    const NameValueList& list = RollbackList ? *RollbackList : empty;
    for (size_t i = 0; i < list.Count(); ++i) {
        const std::string N = list.Name(i);
        const std::string D = DirectoryPart(list.Value(N));
        if (D.empty()) continue;
        // A catalogue name that climbs out of the set would copy a file from
        // elsewhere to a place of its choosing; nor is the catalogue ever the
        // saved copy of a file.
        if (IsUnsafeFileName(N) || LandsOnCatalogue(N, platform_.WindowsFileNames())) {
            failed_ = true;
            log_.Both(W("Сбой при замене файла: ") + N);
            continue;
        }
        if (!platform_.FileExists(BackupDir + N)) continue;
        RestoreFile(N, D);
    }
    if (!platform_.Files().FlushPending()) throw YrnError("Failed to flush the restored files to disk");
    log_.Both(W("Замена исполняемых файлов завершена."));
    return failed_ ? RunFileFailed : RunClean;
}

bool RollbackRun::RestoreFile(const std::string& N, const std::string& dir) {
    const std::string D = IncludeTrailingBackslash(dir);
    if (IsMessage && !view_.AskYesNo(W("Заменить файл ") + N + "?", RollbackCaption(), true)) return false;
    log_.Both(W("Восстановление файла: ") + N);
    bool copied = true;
    bool result = false;
    try {
        std::string oldVersion;
        if (platform_.FileExists(D + N)) oldVersion = FileVersionOf(platform_, D + N);
        copied = platform_.Files().PlaceFile(BackupDir + N, D + N);
        std::string newVersion = FileVersionOf(platform_, BackupDir + N);
        if (copied) {
            result = true;
            log_.File(ReplacedLine(D, N, oldVersion, BackupDir, newVersion));
        }
    } catch (const std::exception&) {
        // A failure before the copy leaves the file as it was, and says no more.
    }
    if (!copied) log_.Both(W("Сбой при замене файла: ") + N);
    failed_ = failed_ || !result;
    return result;
}

}  // namespace yrn
