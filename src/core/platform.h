// The one layer between the tool and the operating system. Every text is
// Windows-1251; paths are Windows paths ("C:\TOVR\Shift.exe"). Each backend
// (POSIX, Win32) maps them to the real system. Every call may fail: the core
// treats a false result as the operation's failure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace yrn {

struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// An open text file (the run log). After Flush the bytes written are with
// the system, and outlive this process; the log is no record the promise
// rests on, so neither backend forces it to the disk.
class TextFile {
public:
    virtual ~TextFile() = default;
    virtual bool Write(const std::string& bytes) = 0;
    virtual bool Flush() = 0;
    virtual bool Close() = 0;
};

enum class RegRead { Ok, Missing, WrongType, Failed };

// One opened registry key under HKEY_LOCAL_MACHINE.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    virtual bool ValueExists(const std::string& name) = 0;
    virtual RegRead ReadString(const std::string& name, std::string& value) = 0;
    virtual RegRead ReadInteger(const std::string& name, int32_t& value) = 0;
    virtual bool WriteString(const std::string& name, const std::string& value) = 0;
    virtual bool WriteInteger(const std::string& name, int32_t value) = 0;
    // Every value written, durably, in one go.
    virtual bool WriteIntegers(const std::vector<std::pair<std::string, int32_t>>& values) = 0;
    virtual void Close() = 0;
};

class DurableFiles;

class Platform {
public:
    Platform();
    virtual ~Platform();
    // This platform's writes in their durable order, made of the steps below.
    DurableFiles& Files();

    // Files and directories.
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    virtual bool CreateDir(const std::string& path) = 0;         // last level only
    virtual bool ForceDirectories(const std::string& path) = 0;  // with missing parents
    // Writing files. The backend only offers the steps; when each write
    // reaches the disk, and in what order, is DurableFiles' business
    // (core/DurableFiles.h), reached through Files(). Nothing below is
    // durable until Flush or FlushVolumes says so.
    //
    // A new file beside target, under a hidden temp name that directory
    // searches skip, holding src's bytes; temp receives its name. Fails,
    // leaving no temp, when src cannot be read or its bytes are not those
    // ExpectHash asked of it.
    virtual bool CopyToTemp(const std::string& src, const std::string& target, std::string& temp) = 0;
    // As CopyToTemp, holding bytes.
    virtual bool WriteTemp(const std::string& target, const std::string& bytes, std::string& temp) = 0;
    // Appends bytes to the existing file at path.
    virtual bool Append(const std::string& path, const std::string& bytes) = 0;
    // Gives the file from the name to in one step: replacing a file there
    // when replace, else only while to is free.
    virtual bool Rename(const std::string& from, const std::string& to, bool replace) = 0;
    // Makes to a second name of the file from, only when nothing but a new
    // file taking from's name can change its bytes (it has no other name
    // and no other writer). False, nothing made, otherwise.
    virtual bool LinkSole(const std::string& from, const std::string& to) = 0;
    // The number of names (hard links) of the file at path; 0 when it
    // cannot be read.
    virtual int LinkCount(const std::string& path) = 0;
    // The size of the file at path in bytes; 0 when it cannot be read.
    virtual uint64_t FileSize(const std::string& path) = 0;
    virtual bool Remove(const std::string& path) = 0;
    // Makes the bytes of the files and the entries of the directories
    // (paths ending in a backslash) in paths durable, all issued together.
    virtual bool Flush(const std::vector<std::string>& paths) = 0;
    // As Flush, but may flush whole volumes holding the paths instead: one
    // call where the paths are many.
    virtual bool FlushVolumes(const std::vector<std::string>& paths) { return Flush(paths); }

    // Names (without path) of the entries of dir matching the wildcard
    // pattern ('*', '?'), files and directories alike, without hidden and
    // system entries. dir ends with a backslash.
    virtual std::vector<std::string> FindFiles(const std::string& dir, const std::string& pattern) = 0;
    // The Windows directory, without a trailing backslash; empty when unknown.
    virtual std::string WindowsDirectory() = 0;
    // Whether file names follow Windows' rules: letter case is ignored and a
    // name's trailing dots and blanks are dropped.
    virtual bool WindowsFileNames() { return false; }

    // The whole file at path, as it is on disk (Files() also sees the
    // writes that wait for the end of a run).
    virtual bool ReadWholeFile(const std::string& path, std::string& bytes) = 0;

    // Text file opened for appending, created when missing. nullptr on failure.
    virtual std::unique_ptr<TextFile> OpenAppend(const std::string& path) = 0;

    // Local date and time.
    virtual DateTime Now() = 0;

    // Registry key HKEY_LOCAL_MACHINE\<key>, opened with full access and
    // created when missing. nullptr when it cannot be opened.
    virtual std::unique_ptr<RegistryKey> OpenRegistryKey(const std::string& key) = 0;

    // Opens the process with the synchronize right and waits for its end
    // without time limit. False when no handle could be had (no wait).
    virtual bool WaitForProcess(uint32_t pid) = 0;
    // Starts program with the parameter text, without waiting.
    virtual bool StartProcess(const std::string& program, const std::string& params) = 0;

    // Version resources, as GetFileVersionInfoSize / GetFileVersionInfo /
    // VerQueryValue. The block is opaque to the core; values are 1251 text.
    virtual uint32_t VersionInfoSize(const std::string& path, uint32_t& handle) = 0;
    virtual bool VersionInfo(const std::string& path, uint32_t handle, uint32_t size, uint8_t* data) = 0;
    virtual bool VersionQuery(uint8_t* data, uint32_t size, const std::string& subBlock,
                              const uint8_t*& value, uint32_t& length) = 0;

    // Hashes and signatures, by the system's own library.
    //
    // The SHA-256 (32 bytes) of the file at path; false when it cannot be read.
    virtual bool FileSha256(const std::string& path, std::string& digest) = 0;
    // Whether rs (r || s, 32 bytes each) is an ECDSA P-256 signature over the
    // SHA-256 of message by the public point xy (X || Y, 32 bytes each).
    virtual bool VerifyP256(const std::string& xy, const std::string& message, const std::string& rs) = 0;
    // From now on each copy from src hashes the bytes it wrote, before they
    // take their name, and fails, leaving its target as it was, unless their
    // SHA-256 is digest (32 bytes).
    virtual void ExpectHash(const std::string& src, const std::string& digest) = 0;
    // As OpenRegistryKey, but only reads a key that is there: nullptr when it
    // is missing, and nothing created.
    virtual std::unique_ptr<RegistryKey> OpenExistingRegistryKey(const std::string& key) { return OpenRegistryKey(key); }

private:
    std::unique_ptr<DurableFiles> files_;
};

}  // namespace yrn
