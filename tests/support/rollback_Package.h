// Test support: a small update package under the default package directory
// C:\TOVR\UPDATE\ of a prefix root, with older copies of most of its files
// already installed, so that an update run leaves a backup set to roll back.
#pragma once

#include <string>
#include <vector>

#include "RunFixture.h"

namespace yrn::test {

struct SampleFile {
    std::string name;       // as in the manifest (1251)
    std::string installed;  // Windows path it is installed to
    std::string native;     // that path under the root, relative
    std::string oldBytes;   // empty: not installed before the update
    std::string newBytes;
};

// Shift.exe into C:\TOVR\, Lib.dll into C:\TOVR\Lib\, Tool.exe into
// C:\TOVR\Bin\ (all three installed before), New.exe into C:\TOVR\ (new).
const std::vector<SampleFile>& SampleFiles();
void WriteSamplePackage(const TempRoot& root);

// The backup root under the prefix root (native, relative) and its sets.
extern const char* const kBackupRootNative;
std::vector<std::string> BackupSets(const TempRoot& root);

}  // namespace yrn::test
