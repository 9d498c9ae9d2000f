// The console front end: every screen line is one stdout line (UTF-8); a
// question or prompt reads one line from the input stream.
#pragma once

#include <deque>
#include <iostream>
#include <string>

#include "core/platform.h"
#include "core/ui.h"

namespace yrn {

class ConsoleUI : public AppUI {
public:
    ConsoleUI(std::istream& in, std::ostream& out, std::ostream& err) : in_(in), out_(out), err_(err) {}

    void ShowStartupFailure() override;
    int ShowParamForm(TParamForm& form) override;
    void ShowUpdateForm(TUpdateForm& form) override;
    void ShowBackUpForm(TBackUpForm& form) override;

    // Prints text (1251) as one UTF-8 line.
    void PrintLine(const std::string& text);
    // Reads one line, converted to 1251; false at end of input.
    bool ReadLine(std::string& line);
    // Yes/no from a line: y/yes/д/да, n/no/н/нет, any case; the default otherwise.
    static bool ParseAnswer(const std::string& line, bool defaultYes, bool& valid);


private:
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace yrn
