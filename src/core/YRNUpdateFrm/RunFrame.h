// What the update and the rollback run share: the button off and the caption
// set, the log opened with the run's start line, the run's own steps, a
// failure escaping them reported in the run's own words, and on every path
// the log closed and the button on again.
#pragma once

#include <functional>
#include <string>

#include "../platform.h"
#include "../ui.h"
#include "RunLog.h"

namespace yrn {

struct RunWords {
    std::string caption;
    std::string start;    // the first line on screen and in the log
    std::string failure;  // the line of a failure that ends the run
    bool failureDetail;   // whether that line carries the error's text
};

void RunInFrame(Platform& platform, UpdateView& view, const RunWords& words,
                const std::function<void(RunLog&)>& steps);

// The log line of a file copied into place: "Файл " + dir + N + " (версия " +
// old + ") " + " заменен на " + from + N + " (версия " + new + ") ".
std::string ReplacedLine(const std::string& dir, const std::string& N, const std::string& oldVersion,
                         const std::string& from, const std::string& newVersion);

}  // namespace yrn
