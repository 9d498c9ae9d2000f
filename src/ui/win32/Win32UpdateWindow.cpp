#include "Win32UpdateWindow.h"

#include "Win32Loop.h"
#include "Win32UI.h"
#include "platform/win32/WideText.h"
#include "resource.h"

namespace yrn {
namespace {

// The layout in pixels at 96 dpi.
constexpr int kClientWidth = 271, kClientHeight = 341;
constexpr int kLogListHeight = 300;
constexpr int kPanelHeight = 41;
constexpr int kEndBtnLeft = 80, kEndBtnTop = 8, kEndBtnWidth = 105, kEndBtnHeight = 25;

int Scaled(int pixels, int dpi) { return MulDiv(pixels, dpi, 96); }

int SystemDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// Drops the keys and clicks that queued up while a run held the thread:
// Enter typed during a run does nothing.
void DropQueuedInput() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

}  // namespace

void Win32UpdateWindow::Run(HWND owner) {
    dialog_ = ::CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_UPDATEFORM), owner, DialogProc,
                                   reinterpret_cast<LPARAM>(this));
    if (!dialog_) return;
    if (owner) ::EnableWindow(owner, FALSE);
    form_.AttachView(this);
    ::ShowWindow(dialog_, SW_SHOW);
    ::SetForegroundWindow(dialog_);
    ::UpdateWindow(dialog_);
    form_.FormShow();

    RunDialogLoop(dialog_, [this](const MSG& msg) {
        // Enter forwarded from LogList: the window's default button answers it.
        if (msg.hwnd != dialog_ || (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP) || msg.wParam != VK_RETURN)
            return false;
        if (msg.message == WM_KEYDOWN) PressEndBtn();
        return true;
    });
    if (dialog_) ::DestroyWindow(dialog_);
    form_.AttachView(nullptr);
    if (owner) {
        ::EnableWindow(owner, TRUE);
        ::SetActiveWindow(owner);
    }
}

void Win32UpdateWindow::AddLine(const std::string& text) {
    if (!logList_) return;
    // As a memo's line list: every line ends with a line break.
    const int length = ::GetWindowTextLengthW(logList_);
    ::SendMessageW(logList_, EM_SETSEL, length, length);
    const std::wstring line = Wide(text) + L"\r\n";
    ::SendMessageW(logList_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    ::SendMessageW(logList_, EM_SCROLLCARET, 0, 0);
    Repaint();
}

void Win32UpdateWindow::SetCaption(const std::string& text) {
    if (!dialog_) return;
    ::SetWindowTextW(dialog_, Wide(text).c_str());
    Repaint();
}

void Win32UpdateWindow::SetEndBtnEnabled(bool enabled) {
    if (!endBtn_) return;
    ::EnableWindow(endBtn_, enabled ? TRUE : FALSE);
    Repaint();
}

bool Win32UpdateWindow::AskYesNo(const std::string& text, const std::string& caption, bool defaultYes) {
    const UINT style = MB_YESNO | MB_ICONQUESTION | (defaultYes ? MB_DEFBUTTON1 : MB_DEFBUTTON2);
    return ::MessageBoxW(dialog_, Wide(text).c_str(), Wide(caption).c_str(), style) == IDYES;
}

void Win32UpdateWindow::PostToSelf(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (dialog_) ::PostMessageW(dialog_, message, wParam, lParam);
}

void Win32UpdateWindow::Close() {
    if (dialog_) ::DestroyWindow(dialog_);
}

// Only the paint messages are handled between lines: the run itself stays
// synchronous and takes no other message.
void Win32UpdateWindow::Repaint() {
    if (dialog_) ::RedrawWindow(dialog_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Win32UpdateWindow::PressEndBtn() {
    if (endBtn_ && ::IsWindowEnabled(endBtn_)) ::SendMessageW(endBtn_, BM_CLICK, 0, 0);
}

void Win32UpdateWindow::Layout() {
    const int dpi = SystemDpi();
    const int width = Scaled(kClientWidth, dpi), height = Scaled(kClientHeight, dpi);
    const int panelTop = height - Scaled(kPanelHeight, dpi);
    RECT frame{0, 0, width, height};
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(dialog_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(dialog_, GWL_EXSTYLE));
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int outerWidth = frame.right - frame.left, outerHeight = frame.bottom - frame.top;

    // Centred on the screen the first time; where the user left it later,
    // as long as that place is still on a monitor.
    POINT topLeft{(::GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2, (::GetSystemMetrics(SM_CYSCREEN) - outerHeight) / 2};
    POINT remembered;
    if (LoadPlacement(remembered)) {
        RECT there{remembered.x, remembered.y, remembered.x + outerWidth, remembered.y + outerHeight};
        if (::MonitorFromRect(&there, MONITOR_DEFAULTTONULL)) topLeft = remembered;
    }
    ::SetWindowPos(dialog_, nullptr, topLeft.x, topLeft.y, outerWidth, outerHeight, SWP_NOZORDER | SWP_NOACTIVATE);

    ::MoveWindow(logList_, 0, 0, width, Scaled(kLogListHeight, dpi), FALSE);
    ::MoveWindow(::GetDlgItem(dialog_, IDC_PANEL1), 0, panelTop, width, height - panelTop, FALSE);
    ::MoveWindow(endBtn_, Scaled(kEndBtnLeft, dpi), panelTop + Scaled(kEndBtnTop, dpi), Scaled(kEndBtnWidth, dpi),
                 Scaled(kEndBtnHeight, dpi), FALSE);
    // The button lies on the panel.
    ::SetWindowPos(endBtn_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

INT_PTR CALLBACK Win32UpdateWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32UpdateWindow*>(lParam);
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        self->dialog_ = dialog;
    }
    auto* self = reinterpret_cast<Win32UpdateWindow*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    return self ? self->Handle(message, wParam, lParam) : FALSE;
}

LRESULT CALLBACK Win32UpdateWindow::LogListProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32UpdateWindow*>(::GetWindowLongPtrW(edit, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(edit, message, wParam, lParam);
    // The edit's own Enter handling would press the default button at once;
    // Enter goes the form's way instead (LogListKeyPress).
    if (message == WM_KEYDOWN && wParam == VK_RETURN) return 0;
    if (message == WM_CHAR) {
        char key = wParam < 0x80 ? static_cast<char>(wParam) : 0;
        if (key == 13) self->form_.LogListKeyPress(key);
    }
    return ::CallWindowProcW(self->logListBase_, edit, message, wParam, lParam);
}

INT_PTR Win32UpdateWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            logList_ = ::GetDlgItem(dialog_, IDC_LOGLIST);
            endBtn_ = ::GetDlgItem(dialog_, IDC_ENDBTN);
            ::SendMessageW(logList_, EM_SETLIMITTEXT, 0, 0);
            ::SetWindowLongPtrW(logList_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            logListBase_ = reinterpret_cast<WNDPROC>(
                ::SetWindowLongPtrW(logList_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LogListProc)));
            if (form_.Mode() == 2) ::SetWindowTextW(dialog_, Wide(RollbackCaption()).c_str());
            Layout();
            return TRUE;
        case WM_START_UPDATE:
        case WM_START_ROLLBACK:
            form_.HandleMessage(message);
            DropQueuedInput();
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_ENDBTN && HIWORD(wParam) == BN_CLICKED && ::IsWindowEnabled(endBtn_))
                form_.EndBtnClick();
            return TRUE;  // Escape (IDCANCEL) does not close the window
        case WM_CLOSE:
            if (::IsWindowEnabled(endBtn_)) form_.EndBtnClick();
            return TRUE;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
            if (reinterpret_cast<HWND>(lParam) == logList_) {
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
        case WM_DESTROY: {
            RECT r;
            if (::GetWindowRect(dialog_, &r)) SavePlacement(POINT{r.left, r.top});
            if (logList_ && logListBase_)
                ::SetWindowLongPtrW(logList_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(logListBase_));
            return FALSE;
        }
        case WM_NCDESTROY:
            dialog_ = logList_ = endBtn_ = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace yrn
