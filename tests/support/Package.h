// Test support: the package most run tests share, under the default package
// directory C:\TOVR\UPDATE\ of a prefix root. Five listed files: three
// overwrite installed files (one in a directory named by a token), one is
// new, one has no target here.
#pragma once

#include <string>
#include <vector>

#include "RunFixture.h"

namespace yrn::test {

struct PackageFile {
    std::string name;      // as in the manifest
    std::string target;    // Windows path it is installed to
    std::string native;    // that path under the root, relative
    std::string oldBytes;  // empty: not installed before the run
    std::string newBytes;
};

// Shift.exe, Lib.dll (C:\TOVR\LIB\), Readme.txt (new), Tool.exe (C:\TOVR\TOOLS\).
const std::vector<PackageFile>& PackageFiles();
const PackageFile& PackageFileNamed(const std::string& name);
void WritePackage(const TempRoot& root);

extern const char* const kBackupRootNative;  // c/TOVR/UPDATE/OldFiles
std::vector<std::string> BackupSets(const TempRoot& root);

// Rolls the backup set setName back as the suite asks for it.
RecordingView RollBack(Platform& platform, const TempRoot& root, const std::string& setName);

}  // namespace yrn::test
