#include "TUpdateForm.h"

#include "../FuncUnit.h"
#include "../text.h"

namespace yrn {

std::string UpdateCaption() { return W("Обновление ЮКСВЕЛ"); }
std::string RollbackCaption() { return W("Откат обновления ЮКСВЕЛ"); }

TUpdateForm::TUpdateForm(Platform& platform) : platform_(platform), Mode_(0) {}

void TUpdateForm::FormShow() {
    if (!view_) return;
    if (Mode_ == 1) view_->PostToSelf(WM_START_UPDATE, 0, 0);
    else if (Mode_ == 2) view_->PostToSelf(WM_START_ROLLBACK, 0, 0);
}

void TUpdateForm::EndBtnClick() {
    if (view_) view_->Close();
}

void TUpdateForm::LogListKeyPress(char& key) {
    if (key == 13 && view_) {
        view_->PostToSelf(WM_KEYDOWN_, 13, 0);
        view_->PostToSelf(WM_KEYUP_, 13, 0);
    }
}

void TUpdateForm::HandleMessage(uint32_t message) {
    if (message == WM_START_UPDATE) StartUpdate();
    else if (message == WM_START_ROLLBACK) StartRollback();
}

bool ResolveTargetDir(Platform& platform, std::string& value) {
    struct Token {
        const char* latin;
        const char* cyrillic;
        int target;  // 0 work, 1 windows, 2 system, 3 db, 4 from office, 5 payments, 6 trk, 7 none
    };
    static const Token tokens[] = {
        {"<default>", "<РАБОЧАЯ>", 0},   {"<windows>", "<ОС>", 1},         {"<system>", "<СИСТЕМНАЯ>", 2},
        {"<DB>", "<БАЗА ДАННЫХ>", 3},    {"<fromOffice>", "<ИЗ ОФИСА>", 4}, {"<payments>", "<ВИДЫ ОПЛАТЫ>", 5},
        {nullptr, "<ТРК>", 6},           {"<none>", "<НЕ НУЖНО>", 7},
    };
    for (const Token& t : tokens) {
        if (!((t.latin && value == t.latin) || value == W(t.cyrillic))) continue;
        switch (t.target) {
            case 0: value = WorkDir; break;
            case 1: value = QueryWindowsDir(platform); break;
            // A 32-bit program's "System32" is where the suite's 32-bit
            // programs look for their libraries.
            case 2: value = QueryWindowsDir(platform) + "\\System32"; break;
            case 3: value = DBDir; break;
            case 4: value = FromOfficeDir; break;
            case 5: value = PaymentsDir; break;
            case 6: value = "C:\\TOVR\\TRK\\"; break;
            default: return false;
        }
        value = IncludeTrailingBackslash(value);
        return true;
    }
    if (TrimControls(value).empty()) return false;
    value = IncludeTrailingBackslash(value);
    return true;
}

bool IsUnsafeFileName(const std::string& name) {
    if (name.empty() || name.size() > 259) return true;
    if (name[0] == '\\' || name[0] == '/') return true;
    size_t segStart = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size()) {
            unsigned char c = static_cast<unsigned char>(name[i]);
            if (c < 32 || c == ':') return true;
            if (c != '\\' && c != '/') continue;
        }
        if (name.compare(segStart, i - segStart, "..") == 0 && i - segStart == 2) return true;
        segStart = i + 1;
    }
    return false;
}

std::string LandingName(const std::string& name, bool windowsNames) {
    std::string out, step;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '\\' && name[i] != '/') {
            step += name[i];
            continue;
        }
        if (windowsNames) {
            while (!step.empty() && (step.back() == '.' || step.back() == ' ')) step.pop_back();
            step = Upper1251(step);
        }
        if (!step.empty() && step != ".") out += (out.empty() ? "" : "\\") + step;
        step.clear();
    }
    return out;
}

bool LandsOnCatalogue(const std::string& name, bool windowsNames) {
    return LandingName(name, windowsNames) == LandingName("BackUp.ini", windowsNames);
}

}  // namespace yrn
