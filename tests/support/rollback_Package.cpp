#include "rollback_Package.h"

namespace yrn::test {

const char* const kBackupRootNative = "c/TOVR/UPDATE/OldFiles";

const std::vector<SampleFile>& SampleFiles() {
    static const std::vector<SampleFile> files = {
        {"Shift.exe", "C:\\TOVR\\Shift.exe", "c/TOVR/Shift.exe", "shift old\r\n\x01\x02", "shift NEW 2\r\n"},
        {"Lib.dll", "C:\\TOVR\\Lib\\Lib.dll", "c/TOVR/Lib/Lib.dll", std::string("lib old\0bytes", 13), "lib NEW"},
        {"Tool.exe", "C:\\TOVR\\Bin\\Tool.exe", "c/TOVR/Bin/Tool.exe", "tool old", "tool NEW, longer than before"},
        {"New.exe", "C:\\TOVR\\New.exe", "c/TOVR/New.exe", "", "brand new"},
    };
    return files;
}

void WriteSamplePackage(const TempRoot& root) {
    std::string ini = "[ExeFiles]\r\nVersion=3\r\n[FILES]\r\n";
    for (const SampleFile& f : SampleFiles()) ini += f.name + "=\r\n";
    for (const SampleFile& f : SampleFiles()) {
        const std::string dir = f.installed.substr(0, f.installed.size() - f.name.size());
        ini += "[" + f.name + "]\r\nSDir=" + dir + "\r\nVersion=1\r\n";
        WriteFile(root.Native("c/TOVR/UPDATE/" + f.name), f.newBytes);
        if (!f.oldBytes.empty()) WriteFile(root.Native(f.native), f.oldBytes);
    }
    WriteFile(root.Native("c/TOVR/UPDATE/YRNUpdate.ini"), ini);
}

std::vector<std::string> BackupSets(const TempRoot& root) { return ListDir(root.Native(kBackupRootNative)); }

}  // namespace yrn::test
