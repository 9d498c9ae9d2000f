#include "Win32Layout.h"

namespace yrn {

int SystemDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int Scaled(int pixels, int dpi) { return ::MulDiv(pixels, dpi, 96); }

SIZE SizeClientArea(HWND window, int width, int height, int dpi) {
    RECT frame{0, 0, Scaled(width, dpi), Scaled(height, dpi)};
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const SIZE outer{frame.right - frame.left, frame.bottom - frame.top};
    ::SetWindowPos(window, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return outer;
}

void PlaceControls(HWND dialog, std::span<const ControlPlace> places, int dpi, int top) {
    for (const ControlPlace& p : places)
        if (HWND control = ::GetDlgItem(dialog, p.id))
            ::MoveWindow(control, Scaled(p.left, dpi), top + Scaled(p.top, dpi), Scaled(p.width, dpi),
                         Scaled(p.height, dpi), FALSE);
}

constexpr LONG kLabelSpare = 3;

void FitLabelToText(HWND label) {
    if (!label) return;
    wchar_t text[256];
    const int length = ::GetWindowTextW(label, text, 256);
    HDC dc = ::GetDC(label);
    if (!dc) return;
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE extent{};
    const bool measured = ::GetTextExtentPoint32W(dc, text, length, &extent) != FALSE;
    ::SelectObject(dc, old);
    ::ReleaseDC(label, dc);
    RECT r;
    // A text exactly as wide as its label loses its last letter to the
    // label's word wrap: keep a few pixels spare.
    const LONG width = extent.cx + kLabelSpare;
    if (!measured || !::GetWindowRect(label, &r) || width <= r.right - r.left) return;
    ::SetWindowPos(label, nullptr, 0, 0, width, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace yrn
