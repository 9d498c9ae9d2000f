// A Platform decorator for fault injection: it counts every call, including
// the calls on the log files and registry keys it hands out, and fails
// every call a predicate picks. A failed call does nothing and
// returns the failure value (false, nullptr, empty, zero); a failed copy
// leaves its target untouched.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/DurableFiles.h"
#include "core/platform.h"

namespace yrn::test {

// Every call the decorator counts, named once: first those it forwards alike,
// each with its shape, then those written out below.
#define YRN_FAULT_SHAPED_CALLS(X) \
    X(FileExists, Path) \
    X(DirectoryExists, Path) \
    X(CreateDir, Path) \
    X(ForceDirectories, Path) \
    X(Remove, Path) \
    X(Append, Write) \
    X(LinkSole, Copy) \
    X(Flush, Paths) \
    X(FlushVolumes, Paths) \
    X(FindFiles, Write) \
    X(StartProcess, Write) \
    X(LinkCount, Path) \
    X(FileSize, Path)
#define YRN_FAULT_OTHER_CALLS(X) \
    X(CopyToTemp) \
    X(WriteTemp) \
    X(Rename) \
    X(WindowsDirectory) \
    X(ReadWholeFile) \
    X(OpenAppend) \
    X(LogWrite) \
    X(LogFlush) \
    X(LogClose) \
    X(Now) \
    X(OpenRegistryKey) \
    X(RegValueExists) \
    X(RegReadString) \
    X(RegReadInteger) \
    X(RegWriteString) \
    X(RegWriteInteger) \
    X(RegWriteIntegers) \
    X(RegClose) \
    X(WaitForProcess) \
    X(VersionInfoSize) \
    X(VersionInfo) \
    X(VersionQuery)
#define YRN_FAULT_CALL_ENUM(call, ...) call,
#define YRN_FAULT_CALL_NAME(call, ...) #call,
// A copy or a rename is recorded by its target with its source as the value, a write by its file with the
// bytes as the value (a search: directory, pattern; a start: program, parameters), a flush by its paths.
#define YRN_FAULT_Path(call) \
    auto call(const std::string& p)->decltype(inner_.call(p)) override { return Do(Call::call, [&] { return inner_.call(p); }, p); }
#define YRN_FAULT_Paths(call) \
    bool call(const std::vector<std::string>& p) override { return Do(Call::call, [&] { return inner_.call(p); }, Joined(p)); }
#define YRN_FAULT_Copy(call) \
    bool call(const std::string& s, const std::string& d) override { return Do(Call::call, [&] { return inner_.call(s, d); }, d, s); }
#define YRN_FAULT_Write(call) \
    auto call(const std::string& p, const std::string& b)->decltype(inner_.call(p, b)) override { return Do(Call::call, [&] { return inner_.call(p, b); }, p, b); }
#define YRN_FAULT_FORWARD(call, shape) YRN_FAULT_##shape(call)

enum class Call { YRN_FAULT_SHAPED_CALLS(YRN_FAULT_CALL_ENUM) YRN_FAULT_OTHER_CALLS(YRN_FAULT_CALL_ENUM) };

inline const char* CallName(Call call) {
    static const char* const names[] = {YRN_FAULT_SHAPED_CALLS(YRN_FAULT_CALL_NAME) YRN_FAULT_OTHER_CALLS(YRN_FAULT_CALL_NAME)};
    return names[int(call)];
}

struct CallRecord {
    // 1-based
    int index = 0;
    Call call{};
    // arg: the path, value name or key; value: what a write wrote (registry
    // value text, INI or log bytes)
    std::string arg, value;
    // failed: by injection; ok: a yes/no call was made and said yes
    bool failed = false, ok = false;
};

// Picks the calls to fail (it sees the call's record so far).
using Pick = std::function<bool(const CallRecord&)>;

class FaultPlatform : public Platform {
    Platform& inner_;

public:
    explicit FaultPlatform(Platform& inner) : inner_(inner) {}

    // Fails every call the predicate picks.
    void FailWhen(Pick pick) { picks_.push_back(std::move(pick)); }
    // A fixed clock instead of the inner one (the call is still counted).
    void SetClock(std::optional<DateTime> clock) { clock_ = clock; }
    // Sees each call that was made, once it has returned.
    using Hook = std::function<void(const CallRecord&)>;
    void AfterCall(Hook hook) { afterCall_ = std::move(hook); }

    int Calls() const { return int(records_.size()); }
    auto& Records() const { return records_; }
    // the first failed call, if any
    const CallRecord* Failed() const {
        for (auto& r : records_)
            if (r.failed) return &r;
        return nullptr;
    }
    // Log files handed out that were not both closed and destroyed.
    int UnclosedLogFiles() const { return unclosedLogs_; }

    YRN_FAULT_SHAPED_CALLS(YRN_FAULT_FORWARD)
    bool CopyToTemp(const std::string& s, const std::string& d, std::string& temp) override {
        return Do(Call::CopyToTemp, [&] { return inner_.CopyToTemp(s, d, temp); }, d, s);
    }
    bool WriteTemp(const std::string& d, const std::string& b, std::string& temp) override {
        return Do(Call::WriteTemp, [&] { return inner_.WriteTemp(d, b, temp); }, d, b);
    }
    bool Rename(const std::string& s, const std::string& d, bool replace) override {
        return Do(Call::Rename, [&] { return inner_.Rename(s, d, replace); }, d, s);
    }
    std::string WindowsDirectory() override { return Do(Call::WindowsDirectory, [&] { return inner_.WindowsDirectory(); }); }
    bool WindowsFileNames() override { return inner_.WindowsFileNames(); }
    bool FileSha256(const std::string& p, std::string& digest) override { return inner_.FileSha256(p, digest); }
    bool VerifyP256(const std::string& xy, const std::string& m, const std::string& rs) override {
        return inner_.VerifyP256(xy, m, rs);
    }
    void ExpectHash(const std::string& src, const std::string& digest) override { inner_.ExpectHash(src, digest); }
    std::unique_ptr<RegistryKey> OpenExistingRegistryKey(const std::string& key) override {
        return inner_.OpenExistingRegistryKey(key);
    }
    bool ReadWholeFile(const std::string& p, std::string& bytes) override {
        return Do(Call::ReadWholeFile, [&] { return inner_.ReadWholeFile(p, bytes); }, p);
    }
    std::unique_ptr<TextFile> OpenAppend(const std::string& p) override {
        auto file = Do(Call::OpenAppend, [&] { return inner_.OpenAppend(p); }, p);
        if (file) ++unclosedLogs_;
        return file ? std::make_unique<LogFile>(*this, std::move(file), p) : nullptr;
    }
    DateTime Now() override { return Do(Call::Now, [&] { return clock_ ? *clock_ : inner_.Now(); }); }
    std::unique_ptr<RegistryKey> OpenRegistryKey(const std::string& key) override {
        auto k = Do(Call::OpenRegistryKey, [&] { return inner_.OpenRegistryKey(key); }, key);
        return k ? std::make_unique<Key>(*this, std::move(k)) : nullptr;
    }
    bool WaitForProcess(uint32_t pid) override {
        return Do(Call::WaitForProcess, [&] { return inner_.WaitForProcess(pid); }, std::to_string(pid));
    }
    uint32_t VersionInfoSize(const std::string& p, uint32_t& handle) override {
        handle = 0;
        return Do(Call::VersionInfoSize, [&] { return inner_.VersionInfoSize(p, handle); }, p);
    }
    bool VersionInfo(const std::string& p, uint32_t handle, uint32_t size, uint8_t* data) override {
        return Do(Call::VersionInfo, [&] { return inner_.VersionInfo(p, handle, size, data); }, p);
    }
    bool VersionQuery(uint8_t* data, uint32_t size, const std::string& sub, const uint8_t*& value, uint32_t& length) override {
        value = nullptr, length = 0;
        return Do(Call::VersionQuery, [&] { return inner_.VersionQuery(data, size, sub, value, length); }, sub);
    }

    // Counts the call, recorded by arg and value, and, unless it is failed,
    // makes it; else returns fail.
    template <class F, class R = std::invoke_result_t<F>>
    R Do(Call call, F make, std::string arg = {}, std::string value = {}, R fail = {}) {
        CallRecord r{Calls() + 1, call, arg, value};
        for (auto& pick : picks_) r.failed = r.failed || pick(r);
        records_.push_back(r);
        if (r.failed) return fail;
        R result = make();
        if constexpr (std::is_same_v<R, bool>) records_[r.index - 1].ok = result;
        if (afterCall_) afterCall_(records_[r.index - 1]);
        return result;
    }

private:
    static std::string Joined(const std::vector<std::string>& paths) {
        std::string all;
        for (auto& p : paths) all += (all.empty() ? "" : ";") + p;
        return all;
    }

    // A log file (with its path) or registry key handed out, whose calls are counted too.
    template <class Inner>
    struct Wrapped : Inner {
        Wrapped(FaultPlatform& owner, std::unique_ptr<Inner> inner, std::string path = {})
            : owner_(owner), inner_(std::move(inner)), path_(std::move(path)) {}
        FaultPlatform& owner_;
        std::unique_ptr<Inner> inner_;
        std::string path_;
    };
    struct LogFile : Wrapped<TextFile> {
        using Wrapped::Wrapped;
        ~LogFile() override { owner_.unclosedLogs_ -= closed_; }
        bool Write(const std::string& b) override { return owner_.Do(Call::LogWrite, [&] { return inner_->Write(b); }, path_, b); }
        bool Flush() override { return owner_.Do(Call::LogFlush, [&] { return inner_->Flush(); }, path_); }
        bool Close() override {
            closed_ = true;
            return owner_.Do(Call::LogClose, [&] { return inner_->Close(); }, path_);
        }
        bool closed_ = false;
    };
    struct Key : Wrapped<RegistryKey> {
        using Wrapped::Wrapped;
        bool ValueExists(const std::string& n) override {
            return owner_.Do(Call::RegValueExists, [&] { return inner_->ValueExists(n); }, n);
        }
// A value's read or write is recorded by the value's name, a write with the value as text.
#define YRN_FAULT_KEY(R, call, type, text, fail) \
    R call(const std::string& n, type v) override { return owner_.Do(Call::Reg##call, [&] { return inner_->call(n, v); }, n, text, fail); }
        YRN_FAULT_KEY(RegRead, ReadString, std::string&, {}, RegRead::Failed)
        YRN_FAULT_KEY(RegRead, ReadInteger, int32_t&, {}, RegRead::Failed)
        YRN_FAULT_KEY(bool, WriteString, const std::string&, v, false)
        YRN_FAULT_KEY(bool, WriteInteger, int32_t, std::to_string(v), false)
        bool WriteIntegers(const std::vector<std::pair<std::string, int32_t>>& values) override {
            std::string text;
            for (auto& [n, v] : values) text += n + "=" + std::to_string(v) + "\n";
            return owner_.Do(Call::RegWriteIntegers, [&] { return inner_->WriteIntegers(values); }, {}, text);
        }
        void Close() override { owner_.Do(Call::RegClose, [&] { return (inner_->Close(), true); }); }
    };

    std::vector<Pick> picks_;
    std::optional<DateTime> clock_;
    Hook afterCall_;
    std::vector<CallRecord> records_;
    int unclosedLogs_ = 0;
};

}
