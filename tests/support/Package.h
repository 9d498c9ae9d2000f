// Test support: the package most run tests share (its manifest is
// tests/data/manifests/shared.ini), under the default package directory
// C:\TOVR\UPDATE\ of a prefix root. Five listed files: three
// overwrite installed files (one in a directory named by a token), one is
// new, one has no target here.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "RunFixture.h"
#include "core/IniFile.h"

namespace yrn::test {

struct PackageFile {
    // as in the manifest
    std::string name;
    // Windows path it is installed to
    std::string target;
    // that path under the root, relative
    std::string native;
    // empty: not installed before the run
    std::string oldBytes;
    std::string newBytes;
};

// Shift.exe, Lib.dll (C:\TOVR\LIB\), Readme.txt (new), Tool.exe (C:\TOVR\TOOLS\).
inline const std::vector<PackageFile>& PackageFiles() {
    static const std::vector<PackageFile> files = {
        {"Shift.exe", "C:\\TOVR\\Shift.exe", "c/TOVR/Shift.exe", "old shift\r\n\x01\x02", "new shift, longer\r\n"},
        {"Lib.dll", "C:\\TOVR\\LIB\\Lib.dll", "c/TOVR/LIB/Lib.dll", std::string(5000, 'o') + '\0', std::string(7000, 'n')},
        {"Readme.txt", "C:\\TOVR\\Readme.txt", "c/TOVR/Readme.txt", "", "read me\r\n"},
        {"Tool.exe", "C:\\TOVR\\TOOLS\\Tool.exe", "c/TOVR/TOOLS/Tool.exe", "old tool", "new tool"},
    };
    return files;
}
inline const PackageFile& PackageFileNamed(std::string name) {
    for (auto& f : PackageFiles())
        if (f.name == name) return f;
    throw std::runtime_error("no package file " + name);
}
inline void WritePackage(const TempRoot& root) {
    WriteFile(root.Native("c/TOVR/UPDATE/YRNUpdate.ini"), ReadFile(YRN_TEST_DATA "/manifests/shared.ini"));
    WriteFile(root.Native("c/TOVR/UPDATE/Skip.exe"), "never installed");
    for (auto& f : PackageFiles()) {
        WriteFile(root.Native("c/TOVR/UPDATE/" + f.name), f.newBytes);
        if (!f.oldBytes.empty()) WriteFile(root.Native(f.native), f.oldBytes);
    }
}

inline const char* const kBackupRootNative = "c/TOVR/UPDATE/OldFiles";
inline std::vector<std::string> BackupSets(const TempRoot& root) { return ListDir(root.Native(kBackupRootNative)); }

// Rolls the backup set setName back as the suite asks for it.
inline RecordingView RollBack(Platform& platform, const TempRoot& root, std::string setName) {
    ResetSettings();
    BackupDir += setName + "\\";
    const IniDocument catalogue(ReadFile(root.Native(kBackupRootNative) + "/" + setName + "/BackUp.ini"));
    RollbackList = std::make_unique<NameValueList>();
    for (auto& key : catalogue.Keys("FILES")) RollbackList->SetValue(key, *catalogue.Find("FILES", key));
    return RunWindow(platform, 2);
}

}
