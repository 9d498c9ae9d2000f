// The rollback run: the checked files of one backup set copied back onto the
// paths they were saved from.
#include "../FuncUnit.h"
#include "../text.h"
#include "TUpdateForm.h"
#include "TVersionInfo.h"

namespace yrn {
namespace {

// P up to and including its last "\" or ":"; empty when it has neither.
std::string DirectoryPart(const std::string& P) {
    size_t i = P.find_last_of("\\:");
    return i == std::string::npos ? std::string() : P.substr(0, i + 1);
}

}  // namespace

void TUpdateForm::StartRollback() {
    RunLog log(platform_, *view_);
    view_->SetEndBtnEnabled(false);
    try {
        view_->SetCaption(RollbackCaption());
        log.Start(W("Старт программы отката обновления ЮКСВЕЛ."));
        log.File(W("Восстановление из каталога: ") + BackupDir);
        if (!platform_.FileExists(BackupDir + "BackUp.ini")) {
            log.Both(W("Не найден файл: ") + BackupDir + "BackUp.ini");
        } else {
            const NameValueList empty;
            const NameValueList& list = RollbackList ? *RollbackList : empty;
            for (size_t i = 0; i < list.Count(); ++i) {
                const std::string N = list.Name(i);
                const std::string D = DirectoryPart(list.Value(N));
                if (D.empty()) continue;
                // A catalogue name that climbs out of the set would copy a
                // file from elsewhere to a place of its choosing.
                // Nor is the catalogue ever the saved copy of a file.
                if (IsUnsafeFileName(N) || LandsOnCatalogue(N, platform_.WindowsFileNames())) {
                    log.Both(W("Сбой при замене файла: ") + N);
                    continue;
                }
                if (!platform_.FileExists(BackupDir + N)) continue;
                RestoreFile(log, N, D);
            }
            if (!platform_.FlushPending()) throw YrnError("Failed to flush the restored files to disk");
            log.Both(W("Замена исполняемых файлов завершена."));
        }
    } catch (const std::exception&) {
        platform_.FlushPending();
        const std::string text = W("Сбой при замене исполняемых файлов ЮКСВЕЛ.");
        log.Screen(text);
        if (log.Usable()) {
            try {
                log.File(text);
            } catch (const std::exception&) {
                // The log itself failed: the screen line tells it.
            }
        }
    }
    if (!log.Close()) log.Screen(W("Сбой при замене исполняемых файлов ЮКСВЕЛ."));
    view_->SetEndBtnEnabled(true);
}

bool TUpdateForm::RestoreFile(RunLog& log, const std::string& N, std::string D) {
    bool result = false;
    D = IncludeTrailingBackslash(D);
    if (IsMessage && !view_->AskYesNo(W("Заменить файл ") + N + "?", RollbackCaption(), true)) return false;
    log.Both(W("Восстановление файла: ") + N);
    bool copied = true;
    try {
        std::string oldVersion;
        if (platform_.FileExists(D + N)) oldVersion = FileVersionOf(platform_, D + N);
        copied = platform_.PlaceFile(BackupDir + N, D + N);
        std::string newVersion = FileVersionOf(platform_, BackupDir + N);
        if (copied) {
            result = true;
            log.File(W("Файл ") + D + N + W(" (версия ") + oldVersion + ") " + W(" заменен на ") + BackupDir + N +
                     W(" (версия ") + newVersion + ") ");
        }
    } catch (const std::exception&) {
        // A failure before the copy leaves the file as it was, and says no more.
    }
    if (!copied) log.Both(W("Сбой при замене файла: ") + N);
    return result;
}

}  // namespace yrn
