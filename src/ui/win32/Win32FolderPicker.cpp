#include "Win32FolderPicker.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace yrn {
namespace {

// COM for the calling thread for as long as the object lives, when the
// thread does not have it already.
class ComScope {
public:
    ComScope() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    // RPC_E_CHANGED_MODE: COM is there, in another apartment kind; fine to use.
    bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

template <class T>
void Release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

enum class Picked { Yes, Cancelled, Unavailable };

// The folder picker of Vista and later.
Picked PickWithItemDialog(HWND owner, std::wstring& folder) {
    IFileOpenDialog* dialog = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                  reinterpret_cast<void**>(&dialog))))
        return Picked::Unavailable;
    Picked picked = Picked::Unavailable;
    FILEOPENDIALOGOPTIONS options = 0;
    if (SUCCEEDED(dialog->GetOptions(&options)) &&
        SUCCEEDED(dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST))) {
        IShellItem* start = nullptr;
        if (!folder.empty() &&
            SUCCEEDED(::SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_IShellItem,
                                                    reinterpret_cast<void**>(&start))))
            dialog->SetFolder(start);
        Release(start);
        const HRESULT shown = dialog->Show(owner);
        if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
            picked = Picked::Cancelled;
        } else if (SUCCEEDED(shown)) {
            IShellItem* item = nullptr;
            PWSTR path = nullptr;
            if (SUCCEEDED(dialog->GetResult(&item)) && SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
                folder = path;
                picked = Picked::Yes;
            }
            if (path) ::CoTaskMemFree(path);
            Release(item);
        }
    }
    Release(dialog);
    return picked;
}

// The older tree-shaped chooser, for systems without the picker.
bool PickWithBrowseDialog(HWND owner, std::wstring& folder) {
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
    if (!chosen) return false;
    wchar_t path[MAX_PATH] = {};
    const bool ok = ::SHGetPathFromIDListW(chosen, path) != FALSE;
    ::CoTaskMemFree(chosen);
    if (ok) folder = path;
    return ok;
}

}  // namespace

bool PickFolder(HWND owner, std::wstring& folder) {
    ComScope com;
    if (!com.Usable()) return false;
    switch (PickWithItemDialog(owner, folder)) {
        case Picked::Yes:
            return true;
        case Picked::Cancelled:
            return false;
        case Picked::Unavailable:
            break;
    }
    return PickWithBrowseDialog(owner, folder);
}

}  // namespace yrn
