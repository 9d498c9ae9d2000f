// YRNUpdate on Linux: the console front end over the POSIX backend.
#include <iostream>
#include <vector>

#include "ConsoleUI.h"
#include "core/FuncUnit.h"
#include "core/text.h"
#include "platform/posix/PosixPlatform.h"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(yrn::Utf8To1251(argv[i]));
    yrn::PosixPlatform platform;
    yrn::ConsoleUI ui(std::cin, std::cout, std::cerr);
    return yrn::RunProgram(args, platform, ui);
}
