#include "FuncUnit.h"

#include <exception>

#include "BackUpUnit.h"
#include "ParamQueryUnit.h"
#include "SavedCopies.h"
#include "TRegistry.h"
#include "YRNUpdateFrm/TUpdateForm.h"
#include "text.h"

namespace yrn {

std::string UpdatePath;
uint8_t swType;
bool IsMessage;
bool IsNoVersion;
std::string BackupDir;
std::string LocalCopyDir;
const std::string WorkDir = "C:\\TOVR\\";
const std::string DBDir = "C:\\TOVR\\DB";
const std::string FromOfficeDir = "C:\\TOVR\\FromOffice";
const std::string PaymentsDir = "C:\\TOVR\\Payments8";
const std::string RegKeyRoot = "SOFTWARE\\Quenbrit\\YRN";
const char* const DirKeys[4] = {"SDir", "CDir", "MDir", "ODir"};
std::unique_ptr<NameValueList> RunList;
std::unique_ptr<NameValueList> RollbackList;
std::optional<int32_t> LastRunResult;

std::string SWTypeItem(int index) {
    static const char* const items[4] = {"Сервер", "Клиент", "Менеджер", "Офис"};
    return index >= 0 && index < 4 ? W(items[index]) : std::string();
}

namespace {
struct StartValues {
    StartValues() { ResetSettings(); }
} startValues;
}  // namespace

void ResetSettings() {
    UpdatePath = "C:\\TOVR\\UPDATE\\";
    swType = 0;
    IsMessage = false;
    IsNoVersion = false;
    BackupDir = "C:\\TOVR\\UPDATE\\OldFiles\\";
    LocalCopyDir = "C:\\TOVR\\UPDATE\\NewFiles\\";
    RunList.reset();
    RollbackList.reset();
    LastRunResult.reset();
}

std::string UpdateRegKey() { return RegKeyRoot + "\\Update"; }

std::string QueryWindowsDir(Platform& platform) {
    std::string dir = platform.WindowsDirectory();
    if (dir.size() > 255) dir.clear();
    return dir;
}

namespace {

void ReadBack(const TParamForm& form) {
    UpdatePath = IncludeTrailingBackslash(form.eUpdateDir);
    swType = static_cast<uint8_t>(form.cbSWType);
    IsMessage = form.cbIsMessage;
    IsNoVersion = form.cbIsNoVersion;
}

uint16_t DialogBranch(Platform& platform, AppUI& ui) {
    // In this order so that on every way out the dialog goes before the key is closed.
    TRegistry registry(platform);
    TParamForm form;
    registry.OpenKey(UpdateRegKey());
    if (registry.ValueExists("UpdatePath")) UpdatePath = registry.ReadString("UpdatePath");
    if (registry.ValueExists("swType")) swType = static_cast<uint8_t>(registry.ReadInteger("swType"));
    if (registry.ValueExists("IsMessage")) IsMessage = registry.ReadBool("IsMessage");
    if (registry.ValueExists("IsNoVersion")) IsNoVersion = registry.ReadBool("IsNoVersion");

    form.eUpdateDir = UpdatePath;
    form.cbSWType = swType < 4 ? swType : -1;
    form.cbIsMessage = IsMessage;
    form.cbIsNoVersion = IsNoVersion;
    const int result = ui.ShowParamForm(form);
    // The dialog accepts "Обновить" and "Откат" only with a type chosen.
    if ((result == 1 || result == 3) && (form.cbSWType < 0 || form.cbSWType > 3)) return mrCancel;
    if (result == 1) {
        ReadBack(form);
        registry.WriteString("UpdatePath", UpdatePath);
        registry.WriteInteger("swType", swType);
        registry.WriteBool("IsMessage", IsMessage);
        registry.WriteBool("IsNoVersion", IsNoVersion);
        return mrUpdate;
    }
    if (result == 3) {
        ReadBack(form);
        registry.WriteString("UpdatePath", UpdatePath);
        registry.WriteInteger("swType", swType);
        registry.WriteBool("IsMessage", IsMessage);
        return mrRollback;
    }
    return mrCancel;
}

}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> args;
    std::string arg;
    bool inArg = false, quoted = false;
    for (const char c : line) {
        if (!quoted && (c == ' ' || c == '\t')) {
            if (inArg) args.push_back(arg);
            arg.clear();
            inArg = false;
            continue;
        }
        inArg = true;
        if (c == '"')
            quoted = !quoted;
        else
            arg += c;
    }
    if (inArg) args.push_back(arg);
    return args;
}

uint16_t QueryParams(const std::vector<std::string>& args, Platform& platform, AppUI& ui) {
    uint16_t result = mrFailure;
    try {
        if (args.size() == 3) {
            std::optional<int32_t> type = ParseInt32(args[2]);
            if (!type) throw YrnError("'" + args[2] + "' is not a valid integer value");
            // Only the four installation types have a target key in a manifest.
            if (*type < 0 || *type > 3) throw YrnError("installation type out of range");
            swType = static_cast<uint8_t>(*type);
            UpdatePath = IncludeTrailingBackslash(args[1]);
            std::optional<int64_t> pid = ParseInt64(args[0]);
            if (!pid) throw YrnError("'" + args[0] + "' is not a valid integer value");
            platform.WaitForProcess(static_cast<uint32_t>(static_cast<uint64_t>(*pid) & 0xFFFFFFFFu));
            result = mrUpdate;
        }
        if (result != mrUpdate) result = DialogBranch(platform, ui);
    } catch (const std::exception&) {
        // Every start-up failure ends in the one failure box.
    }
    return result;
}

void AddToRunList(const std::string& path, const std::string& params) {
    if (!RunList) RunList = std::make_unique<NameValueList>();
    RunList->Add(path + "=" + params);
}

void RunQueued(Platform& platform) {
    if (!RunList) return;
    const size_t count = RunList->Count();
    for (size_t i = 0; i < count; ++i) {
        try {
            const std::string path = RunList->Name(i);
            if (!platform.FileExists(path)) continue;
            platform.StartProcess(path, RunList->Value(path));
        } catch (...) {
            // One entry's failure never keeps the others from starting.
        }
    }
    RunList.reset();
}

int RunProgram(const std::vector<std::string>& args, Platform& platform, AppUI& ui) {
    UnshareSavedCopies(platform);
    const int mode = QueryParams(args, platform, ui);
    bool failureShown = mode == mrFailure;
    try {
        switch (mode) {
            case mrUpdate: {
                TUpdateForm form(platform);
                form.SetMode(1);
                ui.ShowUpdateForm(form);
                break;
            }
            case mrFailure:
                ui.ShowStartupFailure();
                break;
            case mrRollback: {
                TBackUpForm form(platform, ui);
                ui.ShowBackUpForm(form);
                break;
            }
            default:
                break;
        }
    } catch (const std::exception&) {
        // The runs handle their own failures; what still escapes a window
        // (no memory, a window that cannot be made) ends the program with
        // the failure box instead of an abort.
        RollbackList.reset();
        ui.ShowStartupFailure();
        failureShown = true;
    }
    RunQueued(platform);
    if (LastRunResult) return *LastRunResult;
    return failureShown ? StartupFailureStatus : 0;
}

}  // namespace yrn
