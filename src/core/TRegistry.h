// A registry accessor on HKEY_LOCAL_MACHINE that raises YrnError on a value
// of the wrong type and on a refused write, like the runs expect.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "DurableFiles.h"
#include "IniFile.h"
#include "platform.h"

namespace yrn {

class TRegistry : private DurableFiles::PendingWriter {
public:
    explicit TRegistry(Platform& platform) : platform_(platform) {}
    ~TRegistry() { CloseKey(); }

    // Opens the key with full access, creating it; a key that cannot be
    // opened finds no values and refuses every write.
    bool OpenKey(const std::string& key);
    // As OpenKey, but a key that cannot be opened is a failure: a run that
    // can neither read nor record versions must not start installing.
    void OpenKeyOrFail(const std::string& key);
    void CloseKey();

    bool ValueExists(const std::string& name);
    std::string ReadString(const std::string& name);
    int32_t ReadInteger(const std::string& name);
    bool ReadBool(const std::string& name) { return ReadInteger(name) != 0; }
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int32_t value);
    // Read back at once, on disk by the platform's next FlushPending.
    void WriteIntegerPending(const std::string& name, int32_t value);
    void WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

private:
    const int32_t* Pending(const std::string& name) const;
    bool WritePending() override;
    void DropPending() override {
        pending_.clear();
        pendingIndex_.clear();
    }

    Platform& platform_;
    std::unique_ptr<RegistryKey> key_;
    std::vector<std::pair<std::string, int32_t>> pending_;
    std::unordered_map<std::string, size_t> pendingIndex_;  // upper-case name -> place in pending_
};

}  // namespace yrn
