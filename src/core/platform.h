// The one layer between the tool and the operating system. Every text is
// Windows-1251; paths are Windows paths ("C:\TOVR\Shift.exe"). Each backend
// (POSIX, Win32) maps them to the real system. Every call may fail: the core
// treats a false result as the operation's failure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace yrn {

struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// An open text file (the run log). Write does not flush; Flush pushes the
// bytes to the disk.
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
    // As WriteInteger, but on disk only by the next Platform::FlushPending.
    virtual bool WriteIntegerPending(const std::string& name, int32_t value) { return WriteInteger(name, value); }
    virtual void Close() = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Files and directories.
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool DirectoryExists(const std::string& path) = 0;
    virtual bool CreateDir(const std::string& path) = 0;         // last level only
    virtual bool ForceDirectories(const std::string& path) = 0;  // with missing parents
    // Copies src over dst (overwriting), atomically and durably: dst is either
    // its old bytes or the complete new bytes. Creates no directory.
    virtual bool CopyFile(const std::string& src, const std::string& dst) = 0;
    // As CopyFile, but only onto a name that is free: fails, leaving dst as
    // it is, when dst exists. Used where the caller believes dst is missing,
    // so that a wrong belief can never overwrite a file nobody saved.
    virtual bool CopyNewFile(const std::string& src, const std::string& dst) = 0;
    // Saves the file src under the free name dst, durably, without copying
    // a byte where the file system allows: dst is then a hard link, so src
    // keeps its old bytes only while it is replaced by a new file taking its
    // name (as the copies here do), never written in place. Else as
    // CopyNewFile.
    virtual bool SaveCopy(const std::string& src, const std::string& dst) { return CopyNewFile(src, dst); }
    // The number of names (hard links) of the file at path; 0 when it
    // cannot be read.
    virtual int LinkCount(const std::string&) { return 1; }
    // Gives the file at path bytes of its own when it shares them with
    // another name: a copy of it, durable, takes the name. False when that
    // fails; path is then as it was.
    virtual bool UnshareCopy(const std::string&) { return true; }
    // Removes the file at path, durably.
    virtual bool RemoveFile(const std::string&) { return false; }
    // As SaveCopy and AppendToFile, but durable only by the next copy that
    // makes its own bytes durable (PlaceFile above all, before its new file
    // takes the name) or FlushPending: a replacement then commits the saved
    // copy, its catalogue entry and its own bytes in one go.
    virtual bool SaveCopyStaged(const std::string& src, const std::string& dst) { return SaveCopy(src, dst); }
    virtual bool AppendToFileStaged(const std::string& path, const std::string& bytes) {
        return AppendToFile(path, bytes);
    }

    // Writes whose durability waits for FlushPending. The run makes durable
    // at once only what its safety needs; the rest is flushed once, at its end.
    //
    // As CopyFile, but the new name is durable only by the next FlushPending:
    // after a power cut before it, dst holds its old bytes or the complete
    // new ones, never a mix.
    virtual bool PlaceFile(const std::string& src, const std::string& dst) { return CopyFile(src, dst); }
    // As CopyFile, but durable only by the next FlushPending: a power cut
    // before it may leave dst missing or torn.
    virtual bool CopyFilePending(const std::string& src, const std::string& dst) { return CopyFile(src, dst); }
    // As WriteWholeFile, but durable only by the next FlushPending; a power
    // cut before it leaves the file as it was.
    virtual bool WriteWholeFilePending(const std::string& path, const std::string& bytes) {
        return WriteWholeFile(path, bytes);
    }
    // Makes every pending write durable: first the copies and names, then
    // the whole files and registry values that may list them.
    virtual bool FlushPending() { return true; }
    // Names (without path) of the entries of dir matching the wildcard
    // pattern ('*', '?'), files and directories alike, without hidden and
    // system entries. dir ends with a backslash.
    virtual std::vector<std::string> FindFiles(const std::string& dir, const std::string& pattern) = 0;
    // The Windows directory, without a trailing backslash; empty when unknown.
    virtual std::string WindowsDirectory() = 0;
    // Whether file names follow Windows' rules: letter case is ignored and a
    // name's trailing dots and blanks are dropped.
    virtual bool WindowsFileNames() { return false; }

    // Whole-file access for the profile-file engine.
    virtual bool ReadWholeFile(const std::string& path, std::string& bytes) = 0;
    // Replaces path with bytes atomically and durably (on disk on return).
    virtual bool WriteWholeFile(const std::string& path, const std::string& bytes) = 0;
    // Appends bytes to an existing file and makes them durable.
    virtual bool AppendToFile(const std::string& path, const std::string& bytes) = 0;

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
};

}  // namespace yrn
