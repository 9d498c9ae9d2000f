#include "Win32UI.h"

#include <string>

#include "Win32UpdateWindow.h"
#include "platform/win32/WideText.h"
#include "core/text.h"

namespace yrn {
namespace {

const wchar_t kPlacementRoot[] = L"Software\\Quenbrit\\YRN\\Update\\";
const wchar_t kUpdateFormPlacement[] = L"Placement";

bool ReadDword(HKEY key, const wchar_t* name, DWORD& value) {
    DWORD type = 0, size = sizeof value;
    return ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof value;
}

}  // namespace

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

bool LoadPlacement(POINT& topLeft) { return LoadPlacement(kUpdateFormPlacement, topLeft); }

void SavePlacement(POINT topLeft) { SavePlacement(kUpdateFormPlacement, topLeft); }

void Win32UI::ShowStartupFailure() {
    ::MessageBoxW(nullptr, Wide(W("Сбой при запуске программы обновления исполняемых файлов.")).c_str(), L"YRN Update",
                  MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
}

void Win32UI::ShowUpdateForm(TUpdateForm& form) {
    Win32UpdateWindow window(instance_, form);
    // Modal to the thread's active window, when there is one (the backup
    // dialog hides itself before the rollback window opens).
    window.Run(::GetActiveWindow());
}

}  // namespace yrn
