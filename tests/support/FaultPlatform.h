// A Platform decorator for fault injection: it counts every call, including
// the calls on the log files and registry keys it hands out, and fails the
// k-th call or every call of chosen kinds. A failed call does nothing and
// returns the failure value (false, nullptr, empty, zero); a failed copy
// leaves its target untouched.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/platform.h"

namespace yrn::test {

enum class Call {
    FileExists, DirectoryExists, CreateDir, ForceDirectories, CopyFile, CopyNewFile, FindFiles, WindowsDirectory,
    ReadWholeFile, WriteWholeFile, AppendToFile, OpenAppend, LogWrite, LogFlush, LogClose, Now,
    OpenRegistryKey, RegValueExists, RegReadString, RegReadInteger, RegWriteString, RegWriteInteger, RegClose,
    WaitForProcess, StartProcess, VersionInfoSize, VersionInfo, VersionQuery,
    SaveCopy, UnshareCopy, PlaceFile, CopyFilePending, WriteWholeFilePending, FlushPending, RegWriteIntegerPending,
};

// The kinds of call a test can fail as a whole.
enum class FaultKind { Copy, CreateDirectory, IniWrite, RegistryWrite, LogOpen, LogWrite, LogClose, ProcessStart };

const char* CallName(Call call);
bool InKind(Call call, FaultKind kind);
// A question whose failure value is also a valid answer ("no such file"):
// the caller cannot tell the failure from the answer.
bool IsQuery(Call call);

struct CallRecord {
    int index = 0;  // 1-based
    Call call{};
    std::string arg;    // path, value name or key
    std::string value;  // what a write wrote (registry value text, INI bytes)
    bool failed = false;  // failed by injection
    bool ok = false;      // the call was made and reported success
};

class FaultPlatform : public Platform {
public:
    explicit FaultPlatform(Platform& inner) : inner_(inner) {}

    void FailCall(int k) { failAt_ = k; }  // 0: none
    void FailKind(FaultKind kind) { kinds_.insert(kind); }
    // Fails every call the predicate picks (it sees the call's record so far).
    void FailWhen(std::function<bool(const CallRecord&)> pick) { picks_.push_back(std::move(pick)); }
    // Fails each call that is not a question with probability p (seeded).
    void FailRandomly(uint32_t seed, double p) {
        rng_.seed(seed);
        randomP_ = p;
    }
    void ClearFaults() {
        failAt_ = 0;
        kinds_.clear();
        randomP_ = 0;
        picks_.clear();
    }
    void ResetCount() { records_.clear(); }
    // A fixed clock instead of the inner one (the call is still counted).
    void SetClock(std::optional<DateTime> clock) { clock_ = clock; }

    int Calls() const { return static_cast<int>(records_.size()); }
    const std::vector<CallRecord>& Records() const { return records_; }
    const CallRecord* Failed() const;  // the first failed call, if any
    int FailedCount() const;
    int OpenLogFiles() const { return openLogs_; }
    int UnclosedLogFiles() const { return unclosedLogs_; }

    bool FileExists(const std::string& path) override;
    bool DirectoryExists(const std::string& path) override;
    bool CreateDir(const std::string& path) override;
    bool ForceDirectories(const std::string& path) override;
    bool CopyFile(const std::string& src, const std::string& dst) override;
    bool CopyNewFile(const std::string& src, const std::string& dst) override;
    bool SaveCopy(const std::string& src, const std::string& dst) override;
    bool UnshareCopy(const std::string& path) override;
    bool PlaceFile(const std::string& src, const std::string& dst) override;
    bool CopyFilePending(const std::string& src, const std::string& dst) override;
    bool WriteWholeFilePending(const std::string& path, const std::string& bytes) override;
    bool FlushPending() override;
    std::vector<std::string> FindFiles(const std::string& dir, const std::string& pattern) override;
    std::string WindowsDirectory() override;
    bool WindowsFileNames() override { return inner_.WindowsFileNames(); }
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

    // Used by the wrapped log files and registry keys. True: go on and do it.
    bool Enter(Call call, const std::string& arg, const std::string& value = {});
    // Notes the outcome of the call just entered; returns it.
    bool Outcome(bool ok) {
        records_.back().ok = ok;
        if (afterCall_) afterCall_(records_.back());
        return ok;
    }
    // Sees each call that was made, once it has returned.
    void AfterCall(std::function<void(const CallRecord&)> hook) { afterCall_ = std::move(hook); }
    void LogOpened() { ++openLogs_, ++unclosedLogs_; }
    void LogReleased(bool closeAttempted) {
        --openLogs_;
        if (closeAttempted) --unclosedLogs_;
    }

private:
    Platform& inner_;
    int failAt_ = 0;
    std::set<FaultKind> kinds_;
    std::mt19937 rng_;
    double randomP_ = 0;
    std::vector<std::function<bool(const CallRecord&)>> picks_;
    std::optional<DateTime> clock_;
    std::function<void(const CallRecord&)> afterCall_;
    std::vector<CallRecord> records_;
    int openLogs_ = 0;
    int unclosedLogs_ = 0;
};

}  // namespace yrn::test
