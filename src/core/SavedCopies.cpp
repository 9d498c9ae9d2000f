#include "SavedCopies.h"

#include "DurableFiles.h"
#include "FuncUnit.h"
#include "IniFile.h"
#include "YRNUpdateFrm/TUpdateForm.h"

namespace yrn {

void UnshareSavedCopies(Platform& platform) {
    for (const std::string& set : platform.FindFiles(BackupDir, "*-*-* *-*")) {
        const std::string dir = BackupDir + set + "\\";
        if (!platform.FileExists(dir + "BackUp.ini")) continue;
        try {
            TIniFile catalogue(platform, dir + "BackUp.ini");
            for (const std::string& N : catalogue.ReadSection("FILES")) {
                if (IsUnsafeFileName(N) || LandsOnCatalogue(N, platform.WindowsFileNames())) continue;
                if (platform.LinkCount(dir + N) > 1) platform.Files().UnshareCopy(dir + N);
            }
        } catch (const std::exception&) {
            // An unreadable catalogue: its set is left as it is.
        }
    }
}

}  // namespace yrn
