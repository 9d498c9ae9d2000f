// What the logic needs of the windows. The Win32 backend shows native
// windows; the console front end prints lines and reads answers from stdin.
// No logic lives behind these interfaces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace yrn {

class TUpdateForm;
struct TParamForm;
class TBackUpForm;

// The progress window's view. Posted messages come back, in order, to
// TUpdateForm::HandleMessage once the window's loop takes them.
class UpdateView {
public:
    virtual ~UpdateView() = default;
    virtual void AddLine(const std::string& text) = 0;  // new last line of LogList
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetEndBtnEnabled(bool enabled) = 0;
    // Yes/no box owned by the window, question icon. True for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption, bool defaultYes) = 0;
    virtual void PostToSelf(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
    virtual void Close() = 0;
};

// The application: the boxes and the windows the entry and the dialogs open.
class AppUI {
public:
    virtual ~AppUI() = default;
    // No owner, "Сбой при запуске программы обновления исполняемых
    // файлов.", caption "YRN Update", OK, error icon, topmost.
    virtual void ShowStartupFailure() = 0;
    // Shows the parameters dialog modally; returns its dialog result
    // (1 "Обновить", 3 "Откат", 2 anything else).
    virtual int ShowParamForm(TParamForm& form) = 0;
    // Creates a view for form, shows it (FormShow), runs its loop until it
    // closes. Used both for the main window and for the modal rollback window.
    virtual void ShowUpdateForm(TUpdateForm& form) = 0;
    // Shows the backup selection dialog as the main window until it closes.
    virtual void ShowBackUpForm(TBackUpForm& form) = 0;
};

}  // namespace yrn

namespace yrn {
// The backup selection dialog's view: it draws TBackUpForm's lists.
class BackUpView {
public:
    virtual ~BackUpView() = default;
    virtual void ListsChanged() = 0;  // DirList or FileList content or selection changed
    virtual void Hide() = 0;
    virtual void Close() = 0;
};
}  // namespace yrn
