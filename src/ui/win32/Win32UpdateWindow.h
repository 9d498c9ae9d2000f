// The progress window TUpdateForm as a native dialog: the view the core's
// form logic draws into, and the window's own message loop.
#pragma once

#include "platform/win32/Win32Api.h"

#include "core/YRNUpdateFrm/TUpdateForm.h"

namespace yrn {

class Win32UpdateWindow : public UpdateView {
public:
    Win32UpdateWindow(HINSTANCE instance, TUpdateForm& form) : instance_(instance), form_(form) {}

    // Creates the window owned by owner (disabled meanwhile, as for a modal
    // window), shows it, and runs its loop until it has closed.
    void Run(HWND owner);

    void AddLine(const std::string& text) override;
    void SetCaption(const std::string& text) override;
    void SetEndBtnEnabled(bool enabled) override;
    bool AskYesNo(const std::string& text, const std::string& caption, bool defaultYes) override;
    void PostToSelf(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void Close() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LogListProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Layout();
    void PressEndBtn();
    void Repaint();

    HINSTANCE instance_;
    TUpdateForm& form_;
    HWND dialog_ = nullptr;
    HWND logList_ = nullptr;
    HWND endBtn_ = nullptr;
    WNDPROC logListBase_ = nullptr;
};

}  // namespace yrn
