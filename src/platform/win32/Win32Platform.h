// The Win32 backend: the real file system, registry, processes and version
// service of Windows, always through the wide APIs with explicit 1251
// conversion.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "core/HeldFileWait.h"
#include "core/platform.h"

namespace yrn {

class Win32Platform : public Platform {
public:
    Win32Platform();
    // Called between the waits of a copy for a file another process holds
    // open, so that the windows keep painting.
    void SetWhileWaiting(std::function<void()> hook) { whileWaiting_ = std::move(hook); }

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
    std::string WindowsDirectory() override;
    bool WindowsFileNames() override { return true; }
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
    // Whether the temp a copy from src wrote holds the bytes ExpectHash
    // asked of src (true when it asked none).
    bool CopiedAsExpected(const std::string& src, const std::wstring& temp) const;

    HeldFileWait heldFileWait_;
    std::function<void()> whileWaiting_;
    std::map<std::string, std::string> expectedHashes_;  // source path, upper case -> SHA-256
};

// The command line StartProcess hands over: the program, in double quotes
// when it holds a blank or a tab, one space, then the parameters unchanged.
std::string StartCommandLine(const std::string& program, const std::string& params);

// The name of the hidden file beside path that a replacement is written to
// before it takes path's place.
std::string ReplacementTempName(const std::string& path);

// The n-th name beside path that the running program's own file is moved
// to when a copy replaces it: path + "." + n + ".~old".
std::string MovedAsideName(const std::string& path, int n);

// Removes the files that earlier runs moved aside from this program's own
// name, only names of the form MovedAsideName writes; one that cannot be
// removed yet stays for the next start.
void RemoveMovedAsideFiles();

}  // namespace yrn
