#include "TRegistry.h"

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

void TRegistry::CloseKey() {
    if (key_) key_->Close();
    key_.reset();
}

bool TRegistry::ValueExists(const std::string& name) { return key_ && key_->ValueExists(name); }

std::string TRegistry::ReadString(const std::string& name) {
    std::string value;
    RegRead r = key_ ? key_->ReadString(name, value) : RegRead::Failed;
    if (r == RegRead::Missing) return {};
    if (r != RegRead::Ok) Fail(r, name);
    return value;
}

int32_t TRegistry::ReadInteger(const std::string& name) {
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
    if (!key_ || !key_->WriteIntegerPending(name, value)) throw YrnError("Failed to set data for '" + name + "'");
}

}  // namespace yrn
