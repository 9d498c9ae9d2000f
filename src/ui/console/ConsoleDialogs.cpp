// The parameters dialog and the backup selection on the terminal: line-based
// forms read line by line from the input, so a person or a script can drive
// them. The end of input cancels.
#include <optional>

#include "ConsoleUI.h"
#include "core/BackUpUnit.h"
#include "core/ParamQueryUnit.h"
#include "core/text.h"

namespace yrn {
namespace {

std::string TypeName(int index) {
    return index >= 0 && index < 4 ? SWTypeItem(index) : W("(не выбран)");
}

std::string YesNo(bool value) { return value ? W("да") : W("нет"); }

// "0".."3" or a type name in any letter case; nullopt for anything else.
std::optional<int> ParseType(const std::string& answer) {
    const std::string a = Upper1251(answer);
    for (int i = 0; i < 4; ++i)
        if (a == std::to_string(i) || a == Upper1251(SWTypeItem(i))) return i;
    return std::nullopt;
}

// The three buttons of the dialog, by word or by their number in the prompt.
std::optional<int> ParseParamChoice(const std::string& answer) {
    const std::string a = Upper1251(answer);
    if (a.empty() || a == "1" || a == Upper1251(W("Обновить")) || a == "UPDATE") return 1;
    if (a == "2" || a == Upper1251(W("Откат")) || a == "ROLLBACK") return 3;
    if (a == "3" || a == Upper1251(W("Отмена")) || a == "CANCEL") return 2;
    return std::nullopt;
}

// One field: the answer line trimmed, or nullopt at the end of input.
std::optional<std::string> Ask(ConsoleUI& ui, const std::string& prompt) {
    ui.PrintLine(prompt);
    std::string line;
    if (!ui.ReadLine(line)) return std::nullopt;
    return TrimControls(line);
}

void PrintParamForm(ConsoleUI& ui, const TParamForm& form) {
    ui.PrintLine(W("Обновление ЮКСВЕЛ"));
    ui.PrintLine(W("Перед тем, как начать обновление,"));
    ui.PrintLine(W("закройте все приложения ЮКСВЕЛ!"));
    ui.PrintLine(W("  Обновление из папки: ") + form.eUpdateDir);
    ui.PrintLine(W("  Тип обновляемого ПО: ") + TypeName(form.cbSWType));
    ui.PrintLine(W("  Запрос при обновлении файла: ") + YesNo(form.cbIsMessage));
    ui.PrintLine(W("  Не проверять номер версии файла: ") + YesNo(form.cbIsNoVersion));
}

bool AskDirectory(ConsoleUI& ui, TParamForm& form) {
    std::optional<std::string> a = Ask(ui, W("Обновление из папки [") + form.eUpdateDir + "]:");
    if (!a) return false;
    if (!a->empty()) form.eUpdateDir = *a;
    return true;
}

// Asks until a type is chosen; Enter keeps a valid current type only.
bool AskType(ConsoleUI& ui, TParamForm& form) {
    for (;;) {
        std::optional<std::string> a = Ask(ui, W("Тип обновляемого ПО (0 Сервер, 1 Клиент, 2 Менеджер, 3 Офис) [") +
                                                   TypeName(form.cbSWType) + "]:");
        if (!a) return false;
        if (a->empty() && form.cbSWType >= 0 && form.cbSWType < 4) return true;
        if (std::optional<int> type = ParseType(*a)) {
            form.cbSWType = *type;
            return true;
        }
        ui.PrintLine(W("Выберите тип: 0, 1, 2, 3 или его название."));
    }
}

bool AskOption(ConsoleUI& ui, const std::string& label, bool& value) {
    for (;;) {
        std::optional<std::string> a = Ask(ui, label + " (y/n) [" + (value ? "y" : "n") + "]:");
        if (!a) return false;
        bool valid = false;
        bool yes = ConsoleUI::ParseAnswer(*a, value, valid);
        if (valid) {
            value = yes;
            return true;
        }
        ui.PrintLine(W("Ответьте y или n (д или н)."));
    }
}

class ConsoleBackUpView : public BackUpView {
public:
    void ListsChanged() override { changed = true; }
    void Hide() override {}
    void Close() override { closed = true; }
    bool changed = true;
    bool closed = false;
};

void PrintBackUpForm(ConsoleUI& ui, const TBackUpForm& form) {
    ui.PrintLine(W("Откат обновления:"));
    if (form.DirList.empty()) ui.PrintLine(W("  (нет)"));
    for (size_t i = 0; i < form.DirList.size(); ++i)
        ui.PrintLine((static_cast<int>(i) == form.DirListIndex ? " > " : "   ") + std::to_string(i + 1) + "  " +
                     form.DirList[i]);
    ui.PrintLine(W("Файлы:"));
    if (form.FileList.empty()) ui.PrintLine(W("  (нет)"));
    for (size_t i = 0; i < form.FileList.size(); ++i)
        ui.PrintLine("   " + std::to_string(i + 1) + (form.FileList[i].checked ? " [x] " : " [ ] ") +
                     form.FileList[i].caption);
}

// A whole-text positive number, as a 0-based index; nullopt otherwise.
std::optional<size_t> ParseIndex(const std::string& text) {
    const std::string t = TrimControls(text);
    if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const size_t n = std::stoul(t);
    if (n == 0) return std::nullopt;
    return n - 1;
}

// "н 2", "набор 2", "s 2", "set 2" (blank optional): the set's text after the word.
std::optional<std::string> SetCommandArgument(const std::string& answer) {
    const std::string a = Upper1251(answer);
    for (const std::string& word : {Upper1251(W("набор")), Upper1251(W("н")), std::string("SET"), std::string("S")})
        if (a.size() > word.size() && a.compare(0, word.size(), word) == 0) {
            const std::string rest = a.substr(word.size());
            if (rest.find_first_not_of(" 0123456789") == std::string::npos) return rest;
        }
    return std::nullopt;
}

enum class BackUpCommand { Start, Cancel, Other };

BackUpCommand ApplyBackUpAnswer(ConsoleUI& ui, TBackUpForm& form, ConsoleBackUpView& view, const std::string& answer) {
    const std::string a = Upper1251(answer);
    if (a.empty() || a == Upper1251(W("Откат")) || a == "ROLLBACK") return BackUpCommand::Start;
    if (a == Upper1251(W("Отмена")) || a == "CANCEL") return BackUpCommand::Cancel;
    if (a == "+" || a == "-") {
        for (FileItem& item : form.FileList) item.checked = a == "+";
        view.changed = true;
    } else if (std::optional<size_t> file = ParseIndex(a)) {
        if (*file < form.FileList.size()) {
            form.FileList[*file].checked = !form.FileList[*file].checked;
            view.changed = true;
        } else {
            ui.PrintLine(W("Нет файла с номером ") + a + ".");
        }
    } else if (std::optional<std::string> set = SetCommandArgument(a)) {
        std::optional<size_t> index = ParseIndex(*set);
        if (index && *index < form.DirList.size()) {
            form.DirListIndex = static_cast<int>(*index);
            form.DirListClick();
        } else {
            ui.PrintLine(W("Нет набора с номером ") + TrimControls(*set) + ".");
        }
    } else {
        ui.PrintLine(W("Не понятно: ") + answer);
    }
    return BackUpCommand::Other;
}

}  // namespace

int ConsoleUI::ShowParamForm(TParamForm& form) {
    PrintParamForm(*this, form);
    if (!AskDirectory(*this, form)) return 2;
    if (!AskType(*this, form)) return 2;
    if (!AskOption(*this, W("Запрос при обновлении файла"), form.cbIsMessage)) return 2;
    if (!AskOption(*this, W("Не проверять номер версии файла"), form.cbIsNoVersion)) return 2;
    for (;;) {
        std::optional<std::string> a = Ask(*this, W("1 Обновить, 2 Откат, 3 Отмена [Обновить]:"));
        if (!a) return 2;
        if (std::optional<int> choice = ParseParamChoice(*a)) return *choice;
        PrintLine(W("Введите Обновить, Откат или Отмена (или 1, 2, 3)."));
    }
}

void ConsoleUI::ShowBackUpForm(TBackUpForm& form) {
    ConsoleBackUpView view;
    form.AttachView(&view);
    PrintLine(W("Откат обновления"));
    try {
        form.FormShow();
        while (!view.closed) {
            if (view.changed) PrintBackUpForm(*this, form);
            view.changed = false;
            PrintLine(W("Номер файла: отметить или снять; н N: набор N; +/-: все/ни одного"));
            std::optional<std::string> a = Ask(*this, W("Откат или Отмена [Откат]:"));
            BackUpCommand command = a ? ApplyBackUpAnswer(*this, form, view, *a) : BackUpCommand::Cancel;
            if (command == BackUpCommand::Start) form.StartBtnClick();
            else if (command == BackUpCommand::Cancel) form.CancelBtnClick();
        }
    } catch (const std::exception& e) {
        // The dialog closes on a failure too; the message is all that is left to show.
        err_ << Cp1251ToUtf8(e.what()) << '\n' << std::flush;
    }
    form.AttachView(nullptr);
}

}  // namespace yrn
