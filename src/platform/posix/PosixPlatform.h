// The POSIX backend: drive paths mapped under a prefix root, the registry in
// a REGEDIT4 file, file names in UTF-8 on disk.
#pragma once

#include <map>
#include <string>

#include "core/platform.h"

namespace yrn {

class PosixPlatform : public Platform {
public:
    // root: the prefix root; empty takes $YRN_ROOT, $XDG_DATA_HOME/yrnupdate
    // or ~/.local/share/yrnupdate.
    explicit PosixPlatform(std::string root = {});

    const std::string& Root() const { return root_; }
    // "X:\a\b" -> root/x/a/b; "/abs" unchanged; other paths relative. UTF-8.
    std::string NativePath(const std::string& path) const;

    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    bool CreateDir(const std::string& path) override;
    bool ForceDirectories(const std::string& path) override;
    bool CopyToTemp(const std::string& src, const std::string& target, std::string& temp) override;
    bool WriteTemp(const std::string& target, const std::string& bytes, std::string& temp) override;
    bool Append(const std::string& path, const std::string& bytes) override;
    bool Rename(const std::string& from, const std::string& to, bool replace) override;
    bool LinkSole(const std::string& from, const std::string& to) override;
    int LinkCount(const std::string& path) override;
    uint64_t FileSize(const std::string& path) override;
    bool Remove(const std::string& path) override;
    bool Flush(const std::vector<std::string>& paths) override;
    bool FlushVolumes(const std::vector<std::string>& paths) override;
    std::vector<std::string> FindFiles(const std::string& dir, const std::string& pattern) override;
    std::string WindowsDirectory() override { return "C:\\WINDOWS"; }
    bool ReadWholeFile(const std::string& path, std::string& bytes) override;
    std::unique_ptr<TextFile> OpenAppend(const std::string& path) override;
    DateTime Now() override;
    std::unique_ptr<RegistryKey> OpenRegistryKey(const std::string& key) override;
    bool WaitForProcess(uint32_t pid) override;
    bool StartProcess(const std::string& program, const std::string& params) override;
    uint32_t VersionInfoSize(const std::string& path, uint32_t& handle) override;
    bool VersionInfo(const std::string& path, uint32_t handle, uint32_t size, uint8_t* data) override;
    bool VersionQuery(uint8_t* data, uint32_t size, const std::string& subBlock, const uint8_t*& value,
                      uint32_t& length) override;
    bool FileSha256(const std::string& path, std::string& digest) override;
    bool VerifyP256(const std::string& xy, const std::string& message, const std::string& rs) override;
    void ExpectHash(const std::string& src, const std::string& digest) override;
    std::unique_ptr<RegistryKey> OpenExistingRegistryKey(const std::string& key) override;

private:
    // Whether the temp file a copy from the native path from wrote holds
    // the bytes ExpectHash asked of that source (true when it asked none).
    bool CopiedAsExpected(const std::string& from, const std::string& tempPath) const;
    std::string root_;
    std::map<std::string, std::string> expectedHashes_;  // native source path -> SHA-256
};

// Splits a parameter text into arguments by the Windows command-line rules
// (blanks separate, double quotes group, backslashes before a quote escape).
std::vector<std::string> SplitWindowsCommandLine(const std::string& params);

// Native helpers shared by the backend's files.
bool NativeWriteAtomic(const std::string& nativePath, const std::string& bytes);

}  // namespace yrn
