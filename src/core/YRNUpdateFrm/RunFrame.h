// What the update and the rollback run share: the button off and the caption
// set, the log opened with the run's start line, the run's own steps, a
// failure escaping them reported in the run's own words, the run's result
// recorded, and on every path the log closed and the button on again.
#pragma once

#include <functional>
#include <string>

#include "../platform.h"
#include "../ui.h"
#include "RunLog.h"

namespace yrn {

// How a run ended, as the registry's "LastRunResult" and the console tool's
// exit status tell it.
enum RunResult : int32_t {
    RunClean = 0,       // no failure
    RunFileFailed = 1,  // ended, but at least one file failed
    RunError = 2,       // an error ended it
    RunRefused = 3,     // the package refused before anything changed
    RunDeclined = 4,    // the person declined the package at the version question
};

struct RunWords {
    std::string kind;  // "update" or "rollback", as "LastRunKind" records it
    std::string caption;
    std::string start;    // the first line on screen and in the log
    std::string failure;  // the line of a failure that ends the run
    bool failureDetail;   // whether that line carries the error's text
};

// The steps tell how the run ended unless a failure ends it. The result goes
// to LastRunResult and, last of all the run writes, to the registry.
void RunInFrame(Platform& platform, UpdateView& view, const RunWords& words,
                const std::function<RunResult(RunLog&)>& steps);

// The log line of a file copied into place: "Файл " + dir + N + " (версия " +
// old + ") " + " заменен на " + from + N + " (версия " + new + ") ".
std::string ReplacedLine(const std::string& dir, const std::string& N, const std::string& oldVersion,
                         const std::string& from, const std::string& newVersion);

}  // namespace yrn
