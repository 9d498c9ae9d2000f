// The progress window's logic: its mode, the start messages it posts itself,
// and the two runs it starts. The window itself (Win32 or
// console) is an UpdateView; nothing here knows which.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "../IniFile.h"
#include "../platform.h"
#include "../ui.h"

namespace yrn {

constexpr uint32_t WM_USER_ = 1024;
constexpr uint32_t WM_START_UPDATE = WM_USER_ + 3;    // 1027
constexpr uint32_t WM_START_ROLLBACK = WM_USER_ + 4;  // 1028
constexpr uint32_t WM_KEYDOWN_ = 256;
constexpr uint32_t WM_KEYUP_ = 257;

std::string UpdateCaption();    // "Обновление ЮКСВЕЛ"
std::string RollbackCaption();  // "Откат обновления ЮКСВЕЛ"

// Target directory tokens: replaces value by the directory (ending in "\")
// and returns true, or returns false when the file is not to be installed.
bool ResolveTargetDir(Platform& platform, std::string& value);

// A file name from a manifest that would reach outside its directories.
bool IsUnsafeFileName(const std::string& name);

// The file a name lands on within a directory, as one text to compare: "."
// and empty steps dropped; by Windows' rules also each step's trailing dots
// and blanks, in upper case.
std::string LandingName(const std::string& name, bool windowsNames);
// Whether the saved copy of name would be the backup set's catalogue.
bool LandsOnCatalogue(const std::string& name, bool windowsNames);

class TUpdateForm {
public:
    explicit TUpdateForm(Platform& platform);

    void SetMode(uint8_t mode) { Mode_ = mode; }
    uint8_t Mode() const { return Mode_; }

    // The view calls these.
    void AttachView(UpdateView* view) { view_ = view; }
    void FormShow();
    void EndBtnClick();
    void LogListKeyPress(char& key);
    void HandleMessage(uint32_t message);

    // The two runs; each hands its work to its own run object.
    void StartUpdate();
    void StartRollback();

private:
    Platform& platform_;
    UpdateView* view_ = nullptr;
    uint8_t Mode_ = 0;
};

}  // namespace yrn
