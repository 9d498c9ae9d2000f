// The backup selection dialog's logic: the backup sets under the backup root,
// the files of the chosen one, and the start of the rollback.
#pragma once

#include <string>
#include <vector>

#include "platform.h"
#include "ui.h"

namespace yrn {

struct FileItem {
    std::string caption;  // file name
    std::string path;     // full path the file was saved from
    bool checked = true;
};

class TBackUpForm {
public:
    TBackUpForm(Platform& platform, AppUI& ui) : platform_(platform), ui_(ui) {}
    void AttachView(BackUpView* view) { view_ = view; }

    std::vector<std::string> DirList;
    int DirListIndex = -1;  // selected line, -1 for none
    std::vector<FileItem> FileList;
    int FileListIndex = -1;  // selected (and focused) item, -1 for none

    void FormShow();
    void DirListClick();
    void FileListEnter();
    void StartBtnClick();
    void CancelBtnClick();

private:
    void Changed() {
        if (view_) view_->ListsChanged();
    }
    Platform& platform_;
    AppUI& ui_;
    BackUpView* view_ = nullptr;
};

}  // namespace yrn
