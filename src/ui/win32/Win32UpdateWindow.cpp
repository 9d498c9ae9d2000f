// The progress window TUpdateForm as a native dialog: the view the core's
// form logic draws into, and the window's own message loop.
#include "Win32Dialog.h"
#include "Win32UI.h"
#include "platform/win32/WideText.h"
#include "core/YRNUpdateFrm/TUpdateForm.h"
#include "resource.h"

namespace yrn {
namespace {

// The layout in pixels at 96 dpi; the panel with the button keeps to the
// bottom of the client area.
constexpr SIZE kClient{271, 341};
constexpr int kPanelHeight = 41;
constexpr ControlPlace kPlaces[] = {{IDC_LOGLIST, 0, 0, kClient.cx, 300}};
constexpr ControlPlace kPanelPlaces[] = {{IDC_PANEL1, 0, 0, kClient.cx, kPanelHeight}, {IDC_ENDBTN, 80, 8, 105, 25}};

// Drops the keys and clicks that queued up while a run held the thread:
// Enter typed during a run does nothing.
void DropQueuedInput() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

class UpdateWindow : public UpdateView, Win32Dialog {
public:
    UpdateWindow(HINSTANCE instance, TUpdateForm& form) : Win32Dialog(instance, L"Placement"), form_(form) {}

    // Creates the window owned by owner (disabled meanwhile, as for a modal
    // window), shows it, and runs its loop until it has closed. A failure of
    // a handler closes the window and is raised here, once the loop is over.
    void Run(HWND owner) {
        if (!Create(IDD_UPDATEFORM, owner)) return;
        if (owner) ::EnableWindow(owner, FALSE);
        form_.AttachView(this);
        Show();
        ::UpdateWindow(dialog_);
        form_.FormShow();

        RunLoop([this](const MSG& msg) {
            // Enter forwarded from LogList: the window's default button answers it.
            if (msg.hwnd != dialog_ || (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP) || msg.wParam != VK_RETURN)
                return false;
            if (msg.message == WM_KEYDOWN) PressEndBtn();
            return true;
        });
        form_.AttachView(nullptr);
        if (owner) {
            ::EnableWindow(owner, TRUE);
            ::SetActiveWindow(owner);
        }
        RaiseKeptFailure();
    }

    void AddLine(const std::string& text) override {
        HWND logList = Item(IDC_LOGLIST);
        if (!logList) return;
        // As a memo's line list: every line ends with a line break.
        const int length = ::GetWindowTextLengthW(logList);
        ::SendMessageW(logList, EM_SETSEL, length, length);
        const std::wstring line = Wide(text) + L"\r\n";
        ::SendMessageW(logList, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
        ::SendMessageW(logList, EM_SCROLLCARET, 0, 0);
        Repaint();
    }

    void SetCaption(const std::string& text) override {
        if (!dialog_) return;
        ::SetWindowTextW(dialog_, Wide(text).c_str());
        Repaint();
    }

    void SetEndBtnEnabled(bool enabled) override {
        if (!dialog_) return;
        ::EnableWindow(Item(IDC_ENDBTN), enabled ? TRUE : FALSE);
        Repaint();
    }

    bool AskYesNo(const std::string& text, const std::string& caption, bool defaultYes) override {
        const UINT style = MB_YESNO | MB_ICONQUESTION | (defaultYes ? MB_DEFBUTTON1 : MB_DEFBUTTON2);
        return ::MessageBoxW(dialog_, Wide(text).c_str(), Wide(caption).c_str(), style) == IDYES;
    }

    void PostToSelf(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        if (dialog_) ::PostMessageW(dialog_, message, wParam, lParam);
    }

    void Close() override {
        if (dialog_) ::DestroyWindow(dialog_);
    }

private:
    // Only the paint messages are handled between lines: the run itself stays
    // synchronous and takes no other message.
    void Repaint() {
        if (dialog_) ::RedrawWindow(dialog_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }

    bool EndBtnEnabled() const { return ::IsWindowEnabled(Item(IDC_ENDBTN)) != FALSE; }

    void PressEndBtn() {
        if (EndBtnEnabled()) ::SendMessageW(Item(IDC_ENDBTN), BM_CLICK, 0, 0);
    }

    void Layout() {
        const int dpi = Lay(kClient, kPlaces);
        PlaceControls(dialog_, kPanelPlaces, dpi, Scaled(kClient.cy, dpi) - Scaled(kPanelHeight, dpi));
        // The button lies on the panel.
        ::SetWindowPos(Item(IDC_ENDBTN), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }

    static LRESULT CALLBACK LogListProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<UpdateWindow*>(::GetWindowLongPtrW(edit, GWLP_USERDATA));
        if (!self) return ::DefWindowProcW(edit, message, wParam, lParam);
        // The edit's own Enter handling would press the default button at once;
        // Enter goes the form's way instead (LogListKeyPress).
        if (message == WM_KEYDOWN && wParam == VK_RETURN) return 0;
        if (message == WM_CHAR) {
            char key = wParam < 0x80 ? static_cast<char>(wParam) : 0;
            if (key == 13) self->Guarded([self, &key] { self->form_.LogListKeyPress(key); });
            if (!self->dialog_) return 0;  // closed by a failure: the edit is gone
        }
        return ::CallWindowProcW(self->logListBase_, edit, message, wParam, lParam);
    }

    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_INITDIALOG: {
                HWND logList = Item(IDC_LOGLIST);
                ::SendMessageW(logList, EM_SETLIMITTEXT, 0, 0);
                ::SetWindowLongPtrW(logList, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
                logListBase_ = reinterpret_cast<WNDPROC>(
                    ::SetWindowLongPtrW(logList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LogListProc)));
                if (form_.Mode() == 2) ::SetWindowTextW(dialog_, Wide(RollbackCaption()).c_str());
                Layout();
                return TRUE;
            }
            case WM_START_UPDATE:
            case WM_START_ROLLBACK:
                Guarded([this, message] { form_.HandleMessage(message); });
                DropQueuedInput();
                return TRUE;
            case WM_COMMAND:
                if (LOWORD(wParam) == IDC_ENDBTN && HIWORD(wParam) == BN_CLICKED && EndBtnEnabled())
                    Guarded([this] { form_.EndBtnClick(); });
                return TRUE;  // Escape (IDCANCEL) does not close the window
            case WM_CLOSE:
                if (EndBtnEnabled()) Guarded([this] { form_.EndBtnClick(); });
                return TRUE;
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLOREDIT:
                if (reinterpret_cast<HWND>(lParam) == Item(IDC_LOGLIST)) {
                    HDC dc = reinterpret_cast<HDC>(wParam);
                    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
                    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
                    return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
                }
                return FALSE;
            case WM_DRAWITEM: {
                auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
                if (item->CtlID != IDC_PANEL1) return FALSE;
                RECT r = item->rcItem;
                ::FillRect(item->hDC, &r, ::GetSysColorBrush(COLOR_BTNFACE));
                ::DrawEdge(item->hDC, &r, BDR_RAISEDINNER, BF_RECT);
                return TRUE;
            }
            case WM_DESTROY:
                if (logListBase_)
                    ::SetWindowLongPtrW(Item(IDC_LOGLIST), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(logListBase_));
                return FALSE;
            default:
                return FALSE;
        }
    }

    TUpdateForm& form_;
    WNDPROC logListBase_ = nullptr;
};

}  // namespace

void Win32UI::ShowUpdateForm(TUpdateForm& form) {
    UpdateWindow window(instance_, form);
    // Modal to the thread's active window, when there is one (the backup
    // dialog hides itself before the rollback window opens).
    window.Run(::GetActiveWindow());
}

}  // namespace yrn
