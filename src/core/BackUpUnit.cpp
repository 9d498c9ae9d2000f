#include "BackUpUnit.h"

#include <algorithm>

#include "FuncUnit.h"
#include "IniFile.h"
#include "YRNUpdateFrm/TUpdateForm.h"
#include "text.h"

namespace yrn {

void TBackUpForm::FormShow() {
    DirList = platform_.FindFiles(BackupDir, "*-*-* *-*");
    std::sort(DirList.begin(), DirList.end(), [](const std::string& a, const std::string& b) {
        return Upper1251(a) < Upper1251(b);
    });
    DirListIndex = static_cast<int>(DirList.size()) - 1;
    DirListClick();
}

void TBackUpForm::DirListClick() {
    if (DirListIndex < 0 || DirListIndex >= static_cast<int>(DirList.size())) return;
    FileList.clear();
    FileListIndex = -1;
    TIniFile catalogue(platform_, BackupDir + DirList[static_cast<size_t>(DirListIndex)] + "\\BackUp.ini");
    for (const auto& [name, value] : catalogue.ReadSectionValues("FILES")) FileList.push_back({name, value, true});
    Changed();
}

void TBackUpForm::FileListEnter() {
    if (FileListIndex < 0 && !FileList.empty()) {
        FileListIndex = 0;
        Changed();
    }
}

void TBackUpForm::StartBtnClick() {
    if (view_) view_->Hide();
    try {
        if (DirListIndex >= 0 && DirListIndex < static_cast<int>(DirList.size())) {
            RollbackList = std::make_unique<NameValueList>();
            BackupDir += DirList[static_cast<size_t>(DirListIndex)] + "\\";
            for (const FileItem& item : FileList)
                if (item.checked) RollbackList->SetValue(item.caption, item.path);
            TUpdateForm form(platform_);
            form.SetMode(2);
            ui_.ShowUpdateForm(form);
            RollbackList.reset();
        }
    } catch (...) {
        // The dialog closes on every path; the failure goes on to the caller.
        RollbackList.reset();
        if (view_) view_->Close();
        throw;
    }
    if (view_) view_->Close();
}

void TBackUpForm::CancelBtnClick() {
    if (view_) view_->Close();
}

}  // namespace yrn
