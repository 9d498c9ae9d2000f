// What every window of the program shares: a dialog from the resources whose
// procedure hands each message to its object, the place the window opens at
// (remembered per user when the window has a name for it), and the loop of a
// modeless dialog that runs as a modal window.
#pragma once

#include <exception>
#include <span>

#include "Win32Layout.h"

namespace yrn {

class Win32Dialog {
public:
    Win32Dialog(const Win32Dialog&) = delete;
    Win32Dialog& operator=(const Win32Dialog&) = delete;

protected:
    // placementName: the key under HKEY_CURRENT_USER\Software\Quenbrit\YRN\Update
    // that keeps the window's last position ("Left", "Top"); null for none.
    Win32Dialog(HINSTANCE instance, const wchar_t* placementName)
        : instance_(instance), placementName_(placementName) {}
    virtual ~Win32Dialog() = default;

    // The window's own messages. dialog_ is set from WM_INITDIALOG on; the
    // position is saved before WM_DESTROY comes, and dialog_ cleared after
    // WM_NCDESTROY.
    virtual INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // Shows the dialog resource as a modal dialog; EndDialog's result.
    INT_PTR RunModal(int resource) {
        return ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(resource), nullptr, Proc, reinterpret_cast<LPARAM>(this));
    }
    // Makes the dialog resource as a modeless dialog owned by owner.
    bool Create(int resource, HWND owner) {
        ::CreateDialogParamW(instance_, MAKEINTRESOURCEW(resource), owner, Proc, reinterpret_cast<LPARAM>(this));
        return dialog_ != nullptr;
    }
    void Show() {
        ::ShowWindow(dialog_, SW_SHOW);
        ::SetForegroundWindow(dialog_);
    }

    // Takes and dispatches messages until the window is gone, then makes sure
    // it is. A WM_QUIT met on the way is posted again for the loop outside.
    // filter sees each message first and returns true when it has handled it.
    template <class Filter>
    void RunLoop(Filter filter) {
        MSG msg;
        while (dialog_) {
            const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (got < 0) break;
            if (filter(msg)) continue;
            if (::IsDialogMessageW(dialog_, &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (dialog_) ::DestroyWindow(dialog_);
    }

    // Gives the window its client area (96-dpi pixels) and places the
    // controls. The window opens where the user left it, as long as that place
    // is still on a monitor; otherwise at firstPlace, or centred on the screen
    // when there is none. Returns the dpi the places were scaled to.
    int Lay(SIZE client, std::span<const ControlPlace> places, const POINT* firstPlace = nullptr);

    HWND Item(int id) const { return ::GetDlgItem(dialog_, id); }

    // Runs one of the form's handlers inside the window procedure, which no
    // failure may pass: the first one is kept and the window closes.
    // RaiseKeptFailure raises it once the window's loop is over.
    template <class Handler>
    void Guarded(Handler handler) {
        try {
            handler();
        } catch (...) {
            if (!failure_) failure_ = std::current_exception();
            if (dialog_) ::DestroyWindow(dialog_);
        }
    }
    void RaiseKeptFailure() const {
        if (failure_) std::rethrow_exception(failure_);
    }

    HINSTANCE instance_;
    HWND dialog_ = nullptr;

private:
    static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    const wchar_t* placementName_;
    std::exception_ptr failure_;
};

}  // namespace yrn
