#include "Win32Dialog.h"

#include <string>

namespace yrn {
namespace {

const wchar_t kPlacementRoot[] = L"Software\\Quenbrit\\YRN\\Update\\";

bool ReadDword(HKEY key, const wchar_t* name, DWORD& value) {
    DWORD type = 0, size = sizeof value;
    return ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof value;
}

bool LoadPlacement(const wchar_t* name, POINT& topLeft) {
    HKEY key;
    const std::wstring path = std::wstring(kPlacementRoot) + name;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD left = 0, top = 0;
    const bool ok = ReadDword(key, L"Left", left) && ReadDword(key, L"Top", top);
    ::RegCloseKey(key);
    if (ok) topLeft = POINT{static_cast<LONG>(left), static_cast<LONG>(top)};
    return ok;
}

void SavePlacement(const wchar_t* name, POINT topLeft) {
    HKEY key;
    const std::wstring path = std::wstring(kPlacementRoot) + name;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                          &key, nullptr) != ERROR_SUCCESS)
        return;
    const DWORD left = static_cast<DWORD>(topLeft.x), top = static_cast<DWORD>(topLeft.y);
    ::RegSetValueExW(key, L"Left", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&left), sizeof left);
    ::RegSetValueExW(key, L"Top", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&top), sizeof top);
    ::RegCloseKey(key);
}

}  // namespace

int Win32Dialog::Lay(SIZE client, std::span<const ControlPlace> places, const POINT* firstPlace) {
    const int dpi = SystemDpi();
    const SIZE outer = SizeClientArea(dialog_, client.cx, client.cy, dpi);
    POINT topLeft = firstPlace ? *firstPlace
                               : POINT{(::GetSystemMetrics(SM_CXSCREEN) - outer.cx) / 2,
                                       (::GetSystemMetrics(SM_CYSCREEN) - outer.cy) / 2};
    POINT remembered;
    if (placementName_ && LoadPlacement(placementName_, remembered)) {
        RECT there{remembered.x, remembered.y, remembered.x + outer.cx, remembered.y + outer.cy};
        if (::MonitorFromRect(&there, MONITOR_DEFAULTTONULL)) topLeft = remembered;
    }
    ::SetWindowPos(dialog_, nullptr, topLeft.x, topLeft.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceControls(dialog_, places, dpi);
    return dpi;
}

INT_PTR CALLBACK Win32Dialog::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<Win32Dialog*>(lParam)->dialog_ = dialog;
    }
    auto* self = reinterpret_cast<Win32Dialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (!self) return FALSE;
    RECT r;
    if (message == WM_DESTROY && self->placementName_ && ::GetWindowRect(dialog, &r))
        SavePlacement(self->placementName_, POINT{r.left, r.top});
    const INT_PTR result = self->Handle(message, wParam, lParam);
    if (message == WM_NCDESTROY) self->dialog_ = nullptr;
    return result;
}

}  // namespace yrn
