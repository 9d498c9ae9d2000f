#include "RunFrame.h"

#include "../DurableFiles.h"
#include "../FuncUnit.h"
#include "../TRegistry.h"
#include "../text.h"

namespace yrn {
namespace {

// A result that cannot be recorded changes nothing of the run: the log tells it.
void RecordResult(Platform& platform, RunLog& log, const std::string& kind, const DateTime& start, RunResult result) {
    try {
        TRegistry registry(platform);
        registry.OpenKeyOrFail(UpdateRegKey());
        registry.WriteString("LastRunTime", FormatRunTime(start));
        registry.WriteString("LastRunKind", kind);
        registry.WriteInteger("LastRunResult", result);
    } catch (const std::exception&) {
        try {
            if (log.Usable()) log.File(W("Не удалось записать результат в реестр."));
        } catch (const std::exception&) {
            // The log itself failed: nothing more to tell.
        }
    }
}

}  // namespace

void RunInFrame(Platform& platform, UpdateView& view, const RunWords& words,
                const std::function<RunResult(RunLog&)>& steps) {
    const DateTime start = platform.Now();
    RunResult result = RunError;
    RunLog log(platform, view);
    view.SetEndBtnEnabled(false);
    try {
        view.SetCaption(words.caption);
        log.Start(words.start);
        result = steps(log);
    } catch (const std::exception& e) {
        result = dynamic_cast<const PackageRefused*>(&e) ? RunRefused : RunError;
        // What the run wrote before it failed stays written.
        platform.Files().FlushPending();
        log.Screen(words.failureDetail ? words.failure + " " + e.what() : words.failure);
        if (log.Usable()) {
            try {
                // The detailed line ends with the error's text; the next run's bare line end ends it.
                if (words.failureDetail) log.FileUnterminated(words.failure + "\r\n" + e.what());
                else log.File(words.failure);
            } catch (const std::exception&) {
                // The log itself failed: the screen line above tells it.
            }
        }
    }
    RecordResult(platform, log, words.kind, start, result);
    LastRunResult = result;
    if (!log.Close())
        log.Screen(words.failureDetail ? words.failure + " I/O error: cannot close " + LogFileName : words.failure);
    view.SetEndBtnEnabled(true);
}

std::string ReplacedLine(const std::string& dir, const std::string& N, const std::string& oldVersion,
                         const std::string& from, const std::string& newVersion) {
    return W("Файл ") + dir + N + W(" (версия ") + oldVersion + ") " + W(" заменен на ") + from + N +
           W(" (версия ") + newVersion + ") ";
}

}  // namespace yrn
