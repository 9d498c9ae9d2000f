#include "PackageReport.h"

#include <map>
#include <set>

#include "core/FuncUnit.h"
#include "core/IniFile.h"
#include "core/KeyEnvelope.h"
#include "core/YRNUpdateFrm/PackageCheck.h"
#include "core/YRNUpdateFrm/TUpdateForm.h"
#include "core/text.h"

namespace yrn {
namespace {

const char* const kTypeNames[4] = {"server", "client", "manager", "office"};

bool IsDeviceName(const std::string& name) {
    static const std::set<std::string> devices = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != '\\' && name[i] != '/') continue;
        std::string part = Upper1251(name.substr(start, i - start));
        part = part.substr(0, part.find('.'));
        while (!part.empty() && part.back() == ' ') part.pop_back();
        const bool numbered = part.size() == 4 && (part.rfind("COM", 0) == 0 || part.rfind("LPT", 0) == 0) &&
                              part[3] >= '1' && part[3] <= '9';
        if (devices.count(part) || numbered) return true;
        start = i + 1;
    }
    return false;
}

// The manifest's lines that the station reads as nothing it knows.
void CheckLines(const std::string& text, PackageReport& report, std::vector<std::string>& sections) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        report.errors.push_back("YRNUpdate.ini starts with a UTF-8 byte order mark; the station reads Windows-1251");
    std::string section;
    size_t number = 0;
    for (size_t pos = 0; pos < text.size(); ++number) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        const std::string line = TrimControls(text.substr(pos, nl - pos));
        pos = nl + 1;
        const std::string where = "YRNUpdate.ini line " + std::to_string(number + 1) + ": ";
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.find(']') == std::string::npos) report.errors.push_back(where + "a section header without \"]\"");
            section = TrimControls(line.substr(1, line.find(']') - 1));
            sections.push_back(section);
        } else if (section.empty()) {
            report.errors.push_back(where + "outside any section");
        } else if (line.find('=') == std::string::npos && !SameText(section, "FILES")) {
            report.errors.push_back(where + "not key=value");
        }
    }
}

void CheckVersion(const IniDocument& manifest, const std::string& section, const std::string& what,
                  PackageReport& report) {
    const std::string* version = manifest.Find(section, "Version");
    if (!version) report.warnings.push_back(what + ": no Version");
    else if (!ParseInt32(*version)) report.errors.push_back(what + ": Version \"" + *version + "\" is not an integer");
}

// A target value: not installed (false), or a directory or known token.
bool CheckTarget(Platform& platform, const std::string& N, const char* key, const std::string& value,
                 PackageReport& report) {
    std::string resolved = value;
    if (!ResolveTargetDir(platform, resolved)) return false;
    const bool literal = resolved == IncludeTrailingBackslash(value);
    const bool directory = (value.size() >= 3 && value[1] == ':' && value[2] == '\\') || value.rfind("\\\\", 0) == 0;
    if (literal && !directory)
        report.errors.push_back(N + ": " + key + " \"" + value + "\" is neither a directory, <none> nor a known token");
    return true;
}

}  // namespace

PackageReport CheckPackageDir(Platform& platform, const std::string& dir, const std::string& keys,
                              const std::string* given) {
    PackageReport report;
    std::string text = given ? *given : std::string();
    if (!given && !platform.ReadWholeFile(dir + "YRNUpdate.ini", text)) {
        report.errors.push_back("YRNUpdate.ini cannot be read");
        return report;
    }
    std::vector<std::string> sections;
    CheckLines(text, report, sections);
    const IniDocument manifest(text);
    CheckVersion(manifest, "ExeFiles", "[ExeFiles]", report);
    const std::vector<std::string> files = manifest.Keys("FILES");
    if (files.empty()) report.errors.push_back("[FILES] lists no file");
    std::set<std::string> listed;
    for (const std::string& N : files) {
        if (!listed.insert(Upper1251(N)).second) {
            report.errors.push_back(N + ": listed twice");
            continue;
        }
        if (IsUnsafeFileName(N)) report.errors.push_back(N + ": a name the station refuses (absolute, \"..\", \":\")");
        else if (IsDeviceName(N)) report.errors.push_back(N + ": a device name");
        if (!manifest.SectionExists(N)) {
            report.warnings.push_back(N + ": listed without a section; no installation type installs it");
            continue;
        }
        if (!platform.FileExists(dir + N)) report.errors.push_back(N + ": missing from the package");
        CheckVersion(manifest, N, N, report);
        bool installed = false;
        for (const char* key : DirKeys) {
            const std::string* value = manifest.Find(N, key);
            installed = CheckTarget(platform, N, key, value ? *value : "<none>", report) || installed;
        }
        const std::string* execute = manifest.Find(N, "Execute");
        if (!installed && execute && ParseInt32(*execute).value_or(0) != 0)
            report.warnings.push_back(N + ": Execute on a file no installation type installs");
    }
    for (const std::string& section : sections)
        if (!SameText(section, "FILES") && !SameText(section, "ExeFiles") && !SameText(section, "MAIN") &&
            !listed.count(Upper1251(section)))
            report.warnings.push_back("[" + section + "]: a section of a file not listed in [FILES]");
    // The hashes, and the signature under the keys given, as the station checks them.
    try {
        if (!given) CheckPackage(platform, dir, keys.empty() ? std::nullopt : std::optional<std::string>(keys));
    } catch (const PackageRefused& e) {
        report.errors.push_back(std::string(e.what()).substr(std::string("Package refused: ").size()));
    }
    for (size_t type = 0; type < 4; ++type) {
        std::set<std::string> shown;
        for (const std::string& N : files) {
            const std::string* target = manifest.Find(N, DirKeys[type]);
            std::string resolved = target ? *target : "<none>";
            if (target && ResolveTargetDir(platform, resolved) && platform.FileExists(dir + N) &&
                shown.insert(Upper1251(N)).second)
                report.installs.push_back(std::string(kTypeNames[type]) + ": " + N + " -> " + *target);
        }
    }
    return report;
}

}  // namespace yrn
