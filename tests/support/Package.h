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
const std::vector<PackageFile>& PackageFiles();
const PackageFile& PackageFileNamed(const std::string& name);
void WritePackage(const TempRoot& root);

// c/TOVR/UPDATE/OldFiles
extern const char* const kBackupRootNative;
std::vector<std::string> BackupSets(const TempRoot& root);

// Rolls the backup set setName back as the suite asks for it.
RecordingView RollBack(Platform& platform, const TempRoot& root, const std::string& setName);

}  // namespace yrn::test
