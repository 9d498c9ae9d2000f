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

// What a run, however it ended, leaves on disk: every file holds its old or
// its new bytes (a new one may be missing); each old file changed has its
// saved copy in the backup set setDir (native, "" for none) and is listed in
// its catalogue, which lists nothing else.
void ExpectWholeAndSaved(const TempRoot& root, const std::vector<PackageFile>& files, const std::string& setDir,
                         const std::string& context);
// Rolls the backup set setName back as the suite asks for it.
RecordingView RollBack(Platform& platform, const TempRoot& root, const std::string& setName);

}  // namespace yrn::test
