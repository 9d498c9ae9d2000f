#include "ConsoleUI.h"

#include "core/BackUpUnit.h"
#include "core/YRNUpdateFrm/TUpdateForm.h"
#include "core/text.h"

namespace yrn {
namespace {

class ConsoleUpdateView : public UpdateView {
public:
    ConsoleUpdateView(ConsoleUI& ui, TUpdateForm& form) : ui_(ui), form_(form) {}

    void AddLine(const std::string& text) override { ui_.PrintLine(text); }
    void SetCaption(const std::string&) override {}
    void SetEndBtnEnabled(bool enabled) override { endEnabled_ = enabled; }
    bool AskYesNo(const std::string& text, const std::string&, bool defaultYes) override {
        for (;;) {
            ui_.PrintLine(text);
            std::string line;
            if (!ui_.ReadLine(line)) return defaultYes;
            bool valid;
            bool yes = ConsoleUI::ParseAnswer(line, defaultYes, valid);
            if (valid) return yes;
        }
    }
    void PostToSelf(uint32_t message, uintptr_t wParam, intptr_t) override { queue_.push_back({message, wParam}); }
    void Close() override { closed_ = true; }

    // The window's loop: posted messages first; then the window waits for
    // its OK button, which Enter (or the end of input) presses.
    void Run() {
        form_.FormShow();
        while (!closed_) {
            if (!queue_.empty()) {
                auto [message, wParam] = queue_.front();
                queue_.pop_front();
                if (message == WM_KEYDOWN_ && wParam == 13) PressEnd();
                else form_.HandleMessage(message);
                continue;
            }
            ui_.PrintLine("[OK]");
            std::string line;
            ui_.ReadLine(line);
            char key = 13;
            form_.LogListKeyPress(key);
            if (queue_.empty()) PressEnd();
        }
    }

private:
    void PressEnd() {
        if (endEnabled_) form_.EndBtnClick();
    }
    struct Posted {
        uint32_t message;
        uintptr_t wParam;
    };
    ConsoleUI& ui_;
    TUpdateForm& form_;
    std::deque<Posted> queue_;
    bool endEnabled_ = true;
    bool closed_ = false;
};

}  // namespace

void ConsoleUI::PrintLine(const std::string& text) { out_ << Cp1251ToUtf8(text) << '\n' << std::flush; }

bool ConsoleUI::ReadLine(std::string& line) {
    std::string raw;
    if (!std::getline(in_, raw)) return false;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    line = Utf8To1251(raw);
    return true;
}

bool ConsoleUI::ParseAnswer(const std::string& line, bool defaultYes, bool& valid) {
    const std::string a = Upper1251(TrimControls(line));
    valid = true;
    if (a.empty()) return defaultYes;
    if (a == "Y" || a == "YES" || a == W("Д") || a == W("ДА")) return true;
    if (a == "N" || a == "NO" || a == W("Н") || a == W("НЕТ")) return false;
    valid = false;
    return defaultYes;
}

void ConsoleUI::ShowStartupFailure() {
    err_ << "YRN Update: " << Cp1251ToUtf8(W("Сбой при запуске программы обновления исполняемых файлов.")) << '\n'
         << std::flush;
}

void ConsoleUI::ShowUpdateForm(TUpdateForm& form) {
    ConsoleUpdateView view(*this, form);
    form.AttachView(&view);
    view.Run();
    form.AttachView(nullptr);
}

}  // namespace yrn
