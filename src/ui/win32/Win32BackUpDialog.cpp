// The backup selection dialog TBackUpForm as the program's main window: the
// view that draws the form's two lists, and the window's own loop. Every
// event goes to the form's handler; the window keeps no logic of its own.
#include <stdexcept>
#include <string>
#include <vector>

#include "Win32Dialog.h"
#include "Win32Glyphs.h"
#include "Win32UI.h"
#include "platform/win32/WideText.h"
#include "core/BackUpUnit.h"
#include "core/text.h"
#include "resource.h"

namespace yrn {
namespace {

constexpr SIZE kClient{277, 216};
constexpr POINT kFirstPlace{344, 149};
constexpr int kLineHeight = 13;
constexpr int kFileColumnWidth = 100;
constexpr ControlPlace kPlaces[] = {
    {IDC_BACKUP_LABEL1, 8, 8, 96, 13}, {IDC_BACKUP_LABEL2, 128, 8, 40, 13}, {IDC_DIRLIST, 8, 24, 113, 145},
    {IDC_FILELIST, 128, 24, 121, 145}, {IDOK, 77, 184, 91, 25},            {IDCANCEL, 173, 184, 91, 25},
};
constexpr UINT kChecked = INDEXTOSTATEIMAGEMASK(2);

class BackUpWindow : public BackUpView, Win32Dialog {
public:
    BackUpWindow(HINSTANCE instance, TBackUpForm& form) : Win32Dialog(instance, L"BackUpPlacement"), form_(form) {}

    // Shows the dialog and runs its loop until it has closed. A failure of a
    // handler closes the dialog and is raised here, once the loop is over.
    void Run() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&controls);
        form_.AttachView(this);
        if (Create(IDD_BACKUPFORM, nullptr)) {
            Show();
            ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(dirList_), TRUE);
        }
        RunLoop([](const MSG&) { return false; });
        form_.AttachView(nullptr);
        RaiseKeptFailure();
        if (!created_) throw std::runtime_error("the backup selection dialog could not be shown");
    }

    void ListsChanged() override {
        if (!dialog_) return;
        filling_ = true;
        ShowDirList();
        ShowFileList();
        filling_ = false;
    }

    void Hide() override {
        if (dialog_) ::ShowWindow(dialog_, SW_HIDE);
    }

    void Close() override {
        if (dialog_) ::DestroyWindow(dialog_);
    }

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_INITDIALOG:
                created_ = true;
                dirList_ = Item(IDC_DIRLIST);
                fileList_ = Item(IDC_FILELIST);
                Layout();
                Guarded([this] { form_.FormShow(); });
                return TRUE;
            case WM_COMMAND:
                switch (LOWORD(wParam)) {
                    case IDOK:  // "Откат", also Enter
                        Guarded([this] { form_.StartBtnClick(); });
                        return TRUE;
                    case IDCANCEL:  // "Отмена", Escape and the close box
                        Guarded([this] { form_.CancelBtnClick(); });
                        return TRUE;
                    case IDC_DIRLIST:
                        if (HIWORD(wParam) == LBN_SELCHANGE && !filling_) {
                            form_.DirListIndex = static_cast<int>(::SendMessageW(dirList_, LB_GETCURSEL, 0, 0));
                            Guarded([this] { form_.DirListClick(); });
                        }
                        return TRUE;
                    default:
                        return FALSE;
                }
            case WM_NOTIFY: {
                const auto* header = reinterpret_cast<const NMHDR*>(lParam);
                if (header->hwndFrom != fileList_) return FALSE;
                if (header->code == NM_SETFOCUS) Guarded([this] { form_.FileListEnter(); });
                if (header->code == LVN_ITEMCHANGED && !filling_)
                    FileListItemChanged(*reinterpret_cast<const NMLISTVIEW*>(lParam));
                return FALSE;
            }
            default:
                return FALSE;
        }
    }

    void Layout() {
        const int dpi = Lay(kClient, kPlaces, &kFirstPlace);
        FitLabelToText(Item(IDC_BACKUP_LABEL1));
        FitLabelToText(Item(IDC_BACKUP_LABEL2));

        ::SendMessageW(dirList_, LB_SETITEMHEIGHT, 0, Scaled(kLineHeight, dpi));
        ListView_SetExtendedListViewStyle(fileList_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        std::wstring title = Wide(W("Файл"));
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = Scaled(kFileColumnWidth, dpi);
        column.pszText = title.data();
        ListView_InsertColumn(fileList_, 0, &column);

        glyphs_.Set(instance_, Item(IDOK), IDB_ROLLBACK, IDB_ROLLBACK_DISABLED);
        glyphs_.Set(instance_, Item(IDCANCEL), IDB_CANCEL, IDB_CANCEL_DISABLED);
    }

    void ShowDirList() {
        if (shownDirs_ != form_.DirList) {
            ::SendMessageW(dirList_, LB_RESETCONTENT, 0, 0);
            for (const std::string& name : form_.DirList)
                ::SendMessageW(dirList_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(name).c_str()));
            shownDirs_ = form_.DirList;
        }
        ::SendMessageW(dirList_, LB_SETCURSEL, static_cast<WPARAM>(form_.DirListIndex), 0);
    }

    // Items are made anew only when captions or check marks differ from
    // what is shown; the selection follows FileListIndex.
    void ShowFileList() {
        std::vector<std::pair<std::string, bool>> items;
        for (const FileItem& item : form_.FileList) items.emplace_back(item.caption, item.checked);
        if (items != shownFiles_) {
            ListView_DeleteAllItems(fileList_);
            for (size_t i = 0; i < items.size(); ++i) {
                std::wstring caption = Wide(items[i].first);
                LVITEMW item{};
                item.mask = LVIF_TEXT;
                item.iItem = static_cast<int>(i);
                item.pszText = caption.data();
                const int at = ListView_InsertItem(fileList_, &item);
                ListView_SetCheckState(fileList_, at, items[i].second ? TRUE : FALSE);
            }
            shownFiles_ = std::move(items);
        }
        ListView_SetItemState(fileList_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        if (form_.FileListIndex >= 0 && form_.FileListIndex < static_cast<int>(shownFiles_.size())) {
            ListView_SetItemState(fileList_, form_.FileListIndex, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
            ListView_EnsureVisible(fileList_, form_.FileListIndex, FALSE);
        }
    }

    // The user's check marks and selection go into the form's items.
    void FileListItemChanged(const NMLISTVIEW& change) {
        if (!(change.uChanged & LVIF_STATE) || change.iItem < 0) return;
        const auto index = static_cast<size_t>(change.iItem);
        if (index >= form_.FileList.size() || index >= shownFiles_.size()) return;
        if ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) {
            const bool checked = (change.uNewState & LVIS_STATEIMAGEMASK) == kChecked;
            form_.FileList[index].checked = checked;
            shownFiles_[index].second = checked;
        }
        if ((change.uNewState ^ change.uOldState) & LVIS_SELECTED)
            form_.FileListIndex = ListView_GetNextItem(fileList_, -1, LVNI_SELECTED);
    }

    TBackUpForm& form_;
    HWND dirList_ = nullptr;
    HWND fileList_ = nullptr;
    bool created_ = false;
    bool filling_ = false;
    ButtonGlyphs glyphs_;
    std::vector<std::string> shownDirs_;
    std::vector<std::pair<std::string, bool>> shownFiles_;
};

}  // namespace

void Win32UI::ShowBackUpForm(TBackUpForm& form) {
    BackUpWindow window(instance_, form);
    window.Run();
}

}  // namespace yrn
