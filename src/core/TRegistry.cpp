#include "TRegistry.h"

#include "text.h"

namespace yrn {
namespace {

[[noreturn]] void Fail(RegRead r, const std::string& name) {
    if (r == RegRead::WrongType) throw YrnError("Invalid data type for '" + name + "'");
    throw YrnError("Failed to get data for '" + name + "'");
}

}  // namespace

bool TRegistry::OpenKey(const std::string& key) {
    CloseKey();
    key_ = platform_.OpenRegistryKey(key);
    return key_ != nullptr;
}

void TRegistry::OpenKeyOrFail(const std::string& key) {
    if (!OpenKey(key)) throw YrnError("Failed to open registry key '" + key + "'");
}

// Closing the key keeps what was written to it, as the registry does: values
// still pending are written now, after the copies they describe.
void TRegistry::CloseKey() {
    DurableFiles& files = platform_.Files();
    if (files.HasPendingWriter(this)) files.FlushPending();
    files.DropPendingWriter(this);
    DropPending();
    if (key_) key_->Close();
    key_.reset();
}

// Value names are matched as the registry matches them: case ignored.
const int32_t* TRegistry::Pending(const std::string& name) const {
    auto it = pendingIndex_.find(Upper1251(name));
    return it == pendingIndex_.end() ? nullptr : &pending_[it->second].second;
}

bool TRegistry::ValueExists(const std::string& name) { return key_ && (Pending(name) || key_->ValueExists(name)); }

std::string TRegistry::ReadString(const std::string& name) {
    std::string value;
    RegRead r = key_ ? key_->ReadString(name, value) : RegRead::Failed;
    if (r == RegRead::Missing) return {};
    if (r != RegRead::Ok) Fail(r, name);
    return value;
}

int32_t TRegistry::ReadInteger(const std::string& name) {
    if (const int32_t* pending = key_ ? Pending(name) : nullptr) return *pending;
    int32_t value = 0;
    RegRead r = key_ ? key_->ReadInteger(name, value) : RegRead::Failed;
    if (r != RegRead::Ok) Fail(r, name);
    return value;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    if (!key_ || !key_->WriteString(name, value)) throw YrnError("Failed to set data for '" + name + "'");
}

void TRegistry::WriteInteger(const std::string& name, int32_t value) {
    if (!key_ || !key_->WriteInteger(name, value)) throw YrnError("Failed to set data for '" + name + "'");
}

void TRegistry::WriteIntegerPending(const std::string& name, int32_t value) {
    DurableFiles& files = platform_.Files();
    if (!key_ || files.FlushFailed()) throw YrnError("Failed to set data for '" + name + "'");
    auto [it, added] = pendingIndex_.emplace(Upper1251(name), pending_.size());
    if (added) pending_.emplace_back(name, value);
    else pending_[it->second].second = value;
    files.AddPendingWriter(this);
}

bool TRegistry::WritePending() {
    if (!key_ || !key_->WriteIntegers(pending_)) return false;
    DropPending();
    platform_.Files().DropPendingWriter(this);
    return true;
}

}  // namespace yrn
