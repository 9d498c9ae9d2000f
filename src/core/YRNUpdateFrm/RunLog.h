// The run log service shared by both runs: screen lines go to the progress
// window, file lines to "YRNUpdate.log" with a "dd.mm hh:nn:ss " stamp, each
// flushed at once. A failed file operation raises YrnError and leaves the
// log broken: later file lines are dropped so that the failure can still be
// shown on screen and the run can end.
#pragma once

#include <memory>
#include <string>

#include "../platform.h"
#include "../ui.h"

namespace yrn {

extern const char* const LogFileName;  // "YRNUpdate.log"

std::string FormatLogStamp(const DateTime& t);   // "dd.mm hh:nn:ss "
std::string FormatBackupName(const DateTime& t);  // "yy-mm-dd hh-mm"
std::string FormatRunTime(const DateTime& t);     // "yyyy-mm-dd hh:nn:ss"

class RunLog {
public:
    RunLog(Platform& platform, UpdateView& view) : platform_(platform), view_(view) {}

    // Opens the log (append, or create) and writes the start of a run.
    void Start(const std::string& startText);
    void Screen(const std::string& text);
    void File(const std::string& text);
    void Both(const std::string& text);
    // A file line with no line end after it: the next run's bare line end
    // ends it, or the next file line of this run.
    void FileUnterminated(const std::string& text);
    bool Usable() const { return file_ && !broken_; }
    // Closes the file. False when closing failed.
    bool Close();

private:
    void Write(const std::string& bytes);

    Platform& platform_;
    UpdateView& view_;
    std::unique_ptr<TextFile> file_;
    bool broken_ = false;
    bool lineOpen_ = false;  // the last file line has no line end yet
};

}  // namespace yrn
