#include "RunLog.h"

#include <cstdio>

#include "../IniFile.h"

namespace yrn {

const char* const LogFileName = "YRNUpdate.log";

std::string FormatLogStamp(const DateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d %02d:%02d:%02d ", t.day % 100, t.month % 100, t.hour % 100,
                  t.minute % 100, t.second % 100);
    return buf;
}

std::string FormatBackupName(const DateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%02d %02d-%02d", t.year % 100, t.month % 100, t.day % 100,
                  t.hour % 100, t.minute % 100);
    return buf;
}

std::string FormatRunTime(const DateTime& t) {
    char buf[80];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

void RunLog::Start(const std::string& startText) {
    file_ = platform_.OpenAppend(LogFileName);
    if (!file_) {
        broken_ = true;
        throw YrnError("I/O error: cannot open " + std::string(LogFileName));
    }
    Screen(startText);
    Write("\r\n");
    File(startText);
}

void RunLog::Screen(const std::string& text) { view_.AddLine(text); }

void RunLog::Write(const std::string& bytes) {
    if (!Usable()) throw YrnError("I/O error: the run log is not open");
    if (!file_->Write(bytes) || !file_->Flush()) {
        broken_ = true;
        throw YrnError("I/O error: cannot write " + std::string(LogFileName));
    }
}

void RunLog::File(const std::string& text) {
    Write((lineOpen_ ? "\r\n" : "") + FormatLogStamp(platform_.Now()) + text + "\r\n");
    lineOpen_ = false;
}

void RunLog::FileUnterminated(const std::string& text) {
    Write(FormatLogStamp(platform_.Now()) + text);
    lineOpen_ = true;
}

void RunLog::Both(const std::string& text) {
    Screen(text);
    File(text);
}

bool RunLog::Close() {
    if (!file_) return true;
    bool ok = file_->Close();
    file_.reset();
    return ok;
}

}  // namespace yrn
