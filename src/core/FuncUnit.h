// Process-wide settings and directory variables, start-up (QueryParams),
// the Windows directory and the queue of programs started at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "NameValueList.h"
#include "platform.h"
#include "ui.h"

namespace yrn {

// Settings (start values are the defaults).
extern std::string UpdatePath;  // "C:\TOVR\UPDATE\"
extern uint8_t swType;          // 0 server, 1 client, 2 manager, 3 office
extern bool IsMessage;
extern bool IsNoVersion;

// Directories.
extern std::string BackupDir;     // backup root, then the run's backup set
extern std::string LocalCopyDir;  // local-copy root, then the run's local copy
extern const std::string WorkDir;
extern const std::string DBDir;
extern const std::string FromOfficeDir;
extern const std::string PaymentsDir;
extern const std::string RegKeyRoot;
extern const char* const DirKeys[4];

std::string UpdateRegKey();  // RegKeyRoot + "\Update"

// Lists that live shorter than the process.
extern std::unique_ptr<NameValueList> RunList;
extern std::unique_ptr<NameValueList> RollbackList;

// The result of the run that ended last in this process; none before.
extern std::optional<int32_t> LastRunResult;

// Puts every variable back to its start value (a new process, for tests).
void ResetSettings();

// Start-up modes.
enum : uint16_t { mrUpdate = 0, mrFailure = 1, mrCancel = 2, mrRollback = 3 };

// Splits a command line as the suite's programs build it: blanks and tabs
// separate arguments; a double quote opens or closes a quoted stretch and is
// dropped; a backslash is an ordinary character, so "C:\TOVR\UPDATE\" is
// one argument. "" is an empty argument.
std::vector<std::string> SplitCommandLine(const std::string& line);

// args are the command-line arguments after the program name.
uint16_t QueryParams(const std::vector<std::string>& args, Platform& platform, AppUI& ui);

std::string QueryWindowsDir(Platform& platform);

void AddToRunList(const std::string& path, const std::string& params);
void RunQueued(Platform& platform);

// The exit status of a start that failed, apart from every run's result.
constexpr int StartupFailureStatus = 10;

// The whole program: start-up, the chosen mode, the queued programs.
// Returns the exit status: the result of the run made, 0 when none was made,
// StartupFailureStatus after the failure box.
int RunProgram(const std::vector<std::string>& args, Platform& platform, AppUI& ui);

}  // namespace yrn
