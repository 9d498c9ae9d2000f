#include "RunFrame.h"

#include "../text.h"

namespace yrn {

void RunInFrame(Platform& platform, UpdateView& view, const RunWords& words,
                const std::function<void(RunLog&)>& steps) {
    RunLog log(platform, view);
    view.SetEndBtnEnabled(false);
    try {
        view.SetCaption(words.caption);
        log.Start(words.start);
        steps(log);
    } catch (const std::exception& e) {
        // What the run wrote before it failed stays written.
        platform.FlushPending();
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
