// The POSIX backend: drive paths mapped under a prefix root, the registry in
// a REGEDIT4 file, file names in UTF-8 on disk.
#pragma once

#include <map>
#include <set>
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
    bool CopyFile(const std::string& src, const std::string& dst) override;
    bool CopyNewFile(const std::string& src, const std::string& dst) override;
    bool SaveCopy(const std::string& src, const std::string& dst) override;
    int LinkCount(const std::string& path) override;
    bool UnshareCopy(const std::string& path) override;
    bool RemoveFile(const std::string& path) override;
    bool SaveCopyStaged(const std::string& src, const std::string& dst) override;
    bool AppendToFileStaged(const std::string& path, const std::string& bytes) override;
    bool PlaceFile(const std::string& src, const std::string& dst) override;
    bool CopyFilePending(const std::string& src, const std::string& dst) override;
    bool WriteWholeFilePending(const std::string& path, const std::string& bytes) override;
    bool FlushPending() override;
    std::vector<std::string> FindFiles(const std::string& dir, const std::string& pattern) override;
    std::string WindowsDirectory() override { return "C:\\WINDOWS"; }
    bool ReadWholeFile(const std::string& path, std::string& bytes) override;
    bool WriteWholeFile(const std::string& path, const std::string& bytes) override;
    bool AppendToFile(const std::string& path, const std::string& bytes) override;
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

    // A holder of values that wait for FlushPending (a registry key).
    class PendingWriter {
    public:
        virtual bool WritePending() = 0;
        virtual void DropPending() = 0;

    protected:
        ~PendingWriter() = default;
    };
    void AddPendingWriter(PendingWriter* writer) { writers_.insert(writer); }
    void DropPendingWriter(PendingWriter* writer) { writers_.erase(writer); }
    bool HasPendingWriter(PendingWriter* writer) const { return writers_.count(writer) > 0; }
    // A flush failed: the writes that waited for it were dropped, and no
    // later one is taken.
    bool FlushFailed() const { return flushFailed_; }

private:
    // How much of a copy is durable on return: all of it; its bytes but not
    // its name; nothing.
    enum class Sync { All, Data, None };
    bool Copy(const std::string& src, const std::string& dst, bool replace, Sync sync = Sync::All);
    bool Save(const std::string& src, const std::string& dst, bool staged);
    bool SyncWithStaged(int fd);
    bool SyncTogether(const std::vector<std::string>& paths);
    // Whether the temp file a copy from the native path from wrote holds
    // the bytes ExpectHash asked of that source (true when it asked none).
    bool CopiedAsExpected(const std::string& from, const std::string& tempPath) const;
    std::string root_;
    // Pending writes: directories whose files and names wait for a syncfs
    // of their file system; whole files held until written; registry keys.
    std::set<std::string> pendingDirs_;
    // Staged writes: files and directories to fsync with the next durable copy.
    std::set<std::string> staged_;
    std::map<std::string, std::string> pendingWholeFiles_;
    std::set<PendingWriter*> writers_;
    bool flushFailed_ = false;
    std::map<std::string, std::string> expectedHashes_;  // native source path -> SHA-256
};

// Splits a parameter text into arguments by the Windows command-line rules
// (blanks separate, double quotes group, backslashes before a quote escape).
std::vector<std::string> SplitWindowsCommandLine(const std::string& params);

// Native helpers shared by the backend's files.
bool NativeWriteAtomic(const std::string& nativePath, const std::string& bytes);

}  // namespace yrn
