#include "FaultPlatform.h"

namespace yrn::test {
namespace {

class FaultTextFile : public TextFile {
public:
    FaultTextFile(FaultPlatform& owner, std::unique_ptr<TextFile> inner, std::string path)
        : owner_(owner), inner_(std::move(inner)), path_(std::move(path)) {
        owner_.LogOpened();
    }
    ~FaultTextFile() override { owner_.LogReleased(closeAttempted_); }

    bool Write(const std::string& bytes) override {
        if (!owner_.Enter(Call::LogWrite, path_, bytes)) return false;
        return owner_.Outcome(inner_->Write(bytes));
    }
    bool Flush() override {
        if (!owner_.Enter(Call::LogFlush, path_)) return false;
        return owner_.Outcome(inner_->Flush());
    }
    bool Close() override {
        closeAttempted_ = true;
        if (!owner_.Enter(Call::LogClose, path_)) return false;
        return owner_.Outcome(inner_->Close());
    }

private:
    FaultPlatform& owner_;
    std::unique_ptr<TextFile> inner_;
    std::string path_;
    bool closeAttempted_ = false;
};

class FaultRegistryKey : public RegistryKey {
public:
    FaultRegistryKey(FaultPlatform& owner, std::unique_ptr<RegistryKey> inner)
        : owner_(owner), inner_(std::move(inner)) {}

    bool ValueExists(const std::string& name) override {
        if (!owner_.Enter(Call::RegValueExists, name)) return false;
        return owner_.Outcome(inner_->ValueExists(name));
    }
    RegRead ReadString(const std::string& name, std::string& value) override {
        if (!owner_.Enter(Call::RegReadString, name)) return RegRead::Failed;
        RegRead r = inner_->ReadString(name, value);
        owner_.Outcome(r == RegRead::Ok);
        return r;
    }
    RegRead ReadInteger(const std::string& name, int32_t& value) override {
        if (!owner_.Enter(Call::RegReadInteger, name)) return RegRead::Failed;
        RegRead r = inner_->ReadInteger(name, value);
        owner_.Outcome(r == RegRead::Ok);
        return r;
    }
    bool WriteString(const std::string& name, const std::string& value) override {
        if (!owner_.Enter(Call::RegWriteString, name, value)) return false;
        return owner_.Outcome(inner_->WriteString(name, value));
    }
    bool WriteInteger(const std::string& name, int32_t value) override {
        if (!owner_.Enter(Call::RegWriteInteger, name, std::to_string(value))) return false;
        return owner_.Outcome(inner_->WriteInteger(name, value));
    }
    bool WriteIntegerPending(const std::string& name, int32_t value) override {
        if (!owner_.Enter(Call::RegWriteIntegerPending, name, std::to_string(value))) return false;
        return owner_.Outcome(inner_->WriteIntegerPending(name, value));
    }
    void Close() override {
        if (!owner_.Enter(Call::RegClose, {})) return;
        inner_->Close();
        owner_.Outcome(true);
    }

private:
    FaultPlatform& owner_;
    std::unique_ptr<RegistryKey> inner_;
};

}  // namespace

const char* CallName(Call call) {
    static const char* const names[] = {
        "FileExists",      "DirectoryExists", "CreateDir",      "ForceDirectories", "CopyFile",
        "CopyNewFile",     "FindFiles",       "WindowsDirectory", "ReadWholeFile", "WriteWholeFile",   "AppendToFile",
        "OpenAppend",      "LogWrite",        "LogFlush",       "LogClose",         "Now",
        "OpenRegistryKey", "RegValueExists",  "RegReadString",  "RegReadInteger",   "RegWriteString",
        "RegWriteInteger", "RegClose",        "WaitForProcess", "StartProcess",     "VersionInfoSize",
        "VersionInfo",     "VersionQuery",    "SaveCopy",       "UnshareCopy",      "PlaceFile",
        "CopyFilePending", "WriteWholeFilePending", "FlushPending", "RegWriteIntegerPending",
    };
    return names[static_cast<int>(call)];
}

bool InKind(Call call, FaultKind kind) {
    switch (kind) {
        case FaultKind::Copy:
            return call == Call::CopyFile || call == Call::CopyNewFile || call == Call::SaveCopy ||
                   call == Call::UnshareCopy || call == Call::PlaceFile || call == Call::CopyFilePending;
        case FaultKind::CreateDirectory: return call == Call::CreateDir || call == Call::ForceDirectories;
        case FaultKind::IniWrite:
            return call == Call::WriteWholeFile || call == Call::AppendToFile || call == Call::WriteWholeFilePending;
        case FaultKind::RegistryWrite:
            return call == Call::RegWriteString || call == Call::RegWriteInteger || call == Call::RegWriteIntegerPending;
        case FaultKind::LogOpen: return call == Call::OpenAppend;
        case FaultKind::LogWrite: return call == Call::LogWrite || call == Call::LogFlush;
        case FaultKind::LogClose: return call == Call::LogClose;
        case FaultKind::ProcessStart: return call == Call::StartProcess;
    }
    return false;
}

bool IsQuery(Call call) {
    switch (call) {
        case Call::FileExists:
        case Call::DirectoryExists:
        case Call::FindFiles:
        case Call::WindowsDirectory:
        case Call::ReadWholeFile:
        case Call::Now:
        case Call::RegValueExists:
        case Call::VersionInfoSize:
        case Call::VersionInfo:
        case Call::VersionQuery:
            return true;
        default:
            return false;
    }
}

const CallRecord* FaultPlatform::Failed() const {
    for (const CallRecord& r : records_)
        if (r.failed) return &r;
    return nullptr;
}

int FaultPlatform::FailedCount() const {
    int n = 0;
    for (const CallRecord& r : records_) n += r.failed ? 1 : 0;
    return n;
}

bool FaultPlatform::Enter(Call call, const std::string& arg, const std::string& value) {
    CallRecord r;
    r.index = static_cast<int>(records_.size()) + 1;
    r.call = call;
    r.arg = arg;
    r.value = value;
    r.failed = r.index == failAt_;
    for (FaultKind k : kinds_)
        if (InKind(call, k)) r.failed = true;
    if (randomP_ > 0 && !IsQuery(call) && std::uniform_real_distribution<double>(0, 1)(rng_) < randomP_)
        r.failed = true;
    for (const auto& pick : picks_)
        if (pick(r)) r.failed = true;
    records_.push_back(r);
    return !r.failed;
}

bool FaultPlatform::FileExists(const std::string& path) {
    if (!Enter(Call::FileExists, path)) return false;
    return Outcome(inner_.FileExists(path));
}

bool FaultPlatform::DirectoryExists(const std::string& path) {
    if (!Enter(Call::DirectoryExists, path)) return false;
    return Outcome(inner_.DirectoryExists(path));
}

bool FaultPlatform::CreateDir(const std::string& path) {
    if (!Enter(Call::CreateDir, path)) return false;
    return Outcome(inner_.CreateDir(path));
}

bool FaultPlatform::ForceDirectories(const std::string& path) {
    if (!Enter(Call::ForceDirectories, path)) return false;
    return Outcome(inner_.ForceDirectories(path));
}

bool FaultPlatform::CopyFile(const std::string& src, const std::string& dst) {
    if (!Enter(Call::CopyFile, dst, src)) return false;
    return Outcome(inner_.CopyFile(src, dst));
}

bool FaultPlatform::CopyNewFile(const std::string& src, const std::string& dst) {
    if (!Enter(Call::CopyNewFile, dst, src)) return false;
    return Outcome(inner_.CopyNewFile(src, dst));
}

bool FaultPlatform::SaveCopy(const std::string& src, const std::string& dst) {
    if (!Enter(Call::SaveCopy, dst, src)) return false;
    return Outcome(inner_.SaveCopy(src, dst));
}

bool FaultPlatform::UnshareCopy(const std::string& path) {
    if (!Enter(Call::UnshareCopy, path)) return false;
    return Outcome(inner_.UnshareCopy(path));
}

bool FaultPlatform::PlaceFile(const std::string& src, const std::string& dst) {
    if (!Enter(Call::PlaceFile, dst, src)) return false;
    return Outcome(inner_.PlaceFile(src, dst));
}

bool FaultPlatform::CopyFilePending(const std::string& src, const std::string& dst) {
    if (!Enter(Call::CopyFilePending, dst, src)) return false;
    return Outcome(inner_.CopyFilePending(src, dst));
}

bool FaultPlatform::WriteWholeFilePending(const std::string& path, const std::string& bytes) {
    if (!Enter(Call::WriteWholeFilePending, path, bytes)) return false;
    return Outcome(inner_.WriteWholeFilePending(path, bytes));
}

bool FaultPlatform::FlushPending() {
    if (!Enter(Call::FlushPending, {})) return false;
    return Outcome(inner_.FlushPending());
}

std::vector<std::string> FaultPlatform::FindFiles(const std::string& dir, const std::string& pattern) {
    if (!Enter(Call::FindFiles, dir, pattern)) return {};
    std::vector<std::string> names = inner_.FindFiles(dir, pattern);
    Outcome(true);
    return names;
}

std::string FaultPlatform::WindowsDirectory() {
    if (!Enter(Call::WindowsDirectory, {})) return {};
    std::string dir = inner_.WindowsDirectory();
    Outcome(!dir.empty());
    return dir;
}

bool FaultPlatform::ReadWholeFile(const std::string& path, std::string& bytes) {
    if (!Enter(Call::ReadWholeFile, path)) return false;
    return Outcome(inner_.ReadWholeFile(path, bytes));
}

bool FaultPlatform::WriteWholeFile(const std::string& path, const std::string& bytes) {
    if (!Enter(Call::WriteWholeFile, path, bytes)) return false;
    return Outcome(inner_.WriteWholeFile(path, bytes));
}

bool FaultPlatform::AppendToFile(const std::string& path, const std::string& bytes) {
    if (!Enter(Call::AppendToFile, path, bytes)) return false;
    return Outcome(inner_.AppendToFile(path, bytes));
}

std::unique_ptr<TextFile> FaultPlatform::OpenAppend(const std::string& path) {
    if (!Enter(Call::OpenAppend, path)) return nullptr;
    std::unique_ptr<TextFile> file = inner_.OpenAppend(path);
    if (!Outcome(file != nullptr)) return nullptr;
    return std::make_unique<FaultTextFile>(*this, std::move(file), path);
}

DateTime FaultPlatform::Now() {
    if (!Enter(Call::Now, {})) return {};
    DateTime t = clock_ ? *clock_ : inner_.Now();
    Outcome(true);
    return t;
}

std::unique_ptr<RegistryKey> FaultPlatform::OpenRegistryKey(const std::string& key) {
    if (!Enter(Call::OpenRegistryKey, key)) return nullptr;
    std::unique_ptr<RegistryKey> k = inner_.OpenRegistryKey(key);
    if (!Outcome(k != nullptr)) return nullptr;
    return std::make_unique<FaultRegistryKey>(*this, std::move(k));
}

bool FaultPlatform::WaitForProcess(uint32_t pid) {
    if (!Enter(Call::WaitForProcess, std::to_string(pid))) return false;
    return Outcome(inner_.WaitForProcess(pid));
}

bool FaultPlatform::StartProcess(const std::string& program, const std::string& params) {
    if (!Enter(Call::StartProcess, program, params)) return false;
    return Outcome(inner_.StartProcess(program, params));
}

uint32_t FaultPlatform::VersionInfoSize(const std::string& path, uint32_t& handle) {
    handle = 0;
    if (!Enter(Call::VersionInfoSize, path)) return 0;
    uint32_t size = inner_.VersionInfoSize(path, handle);
    Outcome(size != 0);
    return size;
}

bool FaultPlatform::VersionInfo(const std::string& path, uint32_t handle, uint32_t size, uint8_t* data) {
    if (!Enter(Call::VersionInfo, path)) return false;
    return Outcome(inner_.VersionInfo(path, handle, size, data));
}

bool FaultPlatform::VersionQuery(uint8_t* data, uint32_t size, const std::string& subBlock, const uint8_t*& value,
                                 uint32_t& length) {
    value = nullptr;
    length = 0;
    if (!Enter(Call::VersionQuery, subBlock)) return false;
    return Outcome(inner_.VersionQuery(data, size, subBlock, value, length));
}

}  // namespace yrn::test
