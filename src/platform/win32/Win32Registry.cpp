#include "Win32Api.h"

#include "Win32Platform.h"
#include "WideText.h"

namespace yrn {
namespace {

// The suite's other programs are 32-bit: they read the settings and the
// installed versions from the 32-bit view (WOW6432Node on a 64-bit Windows).
// The view is asked for explicitly so that it does not depend on how this
// program happens to be built.
constexpr REGSAM kAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

class Win32RegistryKey : public RegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}
    ~Win32RegistryKey() override { Close(); }

    bool ValueExists(const std::string& name) override {
        return key_ && ::RegQueryValueExW(key_, Wide(name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

    RegRead ReadString(const std::string& name, std::string& value) override {
        DWORD type = 0, size = 0;
        const RegRead r = Query(name, type, size);
        if (r != RegRead::Ok) return r;
        if (type != REG_SZ && type != REG_EXPAND_SZ) return RegRead::WrongType;
        std::wstring data((size + 1) / 2 + 1, L'\0');
        DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        if (::RegQueryValueExW(key_, Wide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) !=
            ERROR_SUCCESS)
            return RegRead::Failed;
        data.resize(got / sizeof(wchar_t));
        const size_t nul = data.find(L'\0');
        if (nul != std::wstring::npos) data.resize(nul);
        value = Narrow(data);
        return RegRead::Ok;
    }

    RegRead ReadInteger(const std::string& name, int32_t& value) override {
        DWORD type = 0, size = 0;
        const RegRead r = Query(name, type, size);
        if (r != RegRead::Ok) return r;
        if (type != REG_DWORD || size != sizeof(DWORD)) return RegRead::WrongType;
        DWORD data = 0, got = sizeof data;
        if (::RegQueryValueExW(key_, Wide(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &got) !=
            ERROR_SUCCESS)
            return RegRead::Failed;
        value = static_cast<int32_t>(data);
        return RegRead::Ok;
    }

    bool WriteString(const std::string& name, const std::string& value) override {
        const std::wstring data = Wide(value);
        const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
        return key_ &&
               ::RegSetValueExW(key_, Wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                                bytes) == ERROR_SUCCESS &&
               ::RegFlushKey(key_) == ERROR_SUCCESS;
    }

    bool WriteInteger(const std::string& name, int32_t value) override { return WriteIntegers({{name, value}}); }

    // One flush of the key for all of them.
    bool WriteIntegers(const std::vector<std::pair<std::string, int32_t>>& values) override {
        if (!key_) return false;
        for (const auto& [name, value] : values) {
            const DWORD data = static_cast<DWORD>(value);
            if (::RegSetValueExW(key_, Wide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                 sizeof data) != ERROR_SUCCESS)
                return false;
        }
        return ::RegFlushKey(key_) == ERROR_SUCCESS;
    }

    void Close() override {
        if (key_) ::RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    RegRead Query(const std::string& name, DWORD& type, DWORD& size) {
        if (!key_) return RegRead::Failed;
        const LONG r = ::RegQueryValueExW(key_, Wide(name).c_str(), nullptr, &type, nullptr, &size);
        if (r == ERROR_FILE_NOT_FOUND) return RegRead::Missing;
        return r == ERROR_SUCCESS ? RegRead::Ok : RegRead::Failed;
    }

    HKEY key_;
};

}  // namespace

std::unique_ptr<RegistryKey> Win32Platform::OpenRegistryKey(const std::string& key) {
    HKEY h = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr,
                          &h, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(h);
}

std::unique_ptr<RegistryKey> Win32Platform::OpenExistingRegistryKey(const std::string& key) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(key).c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &h) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<Win32RegistryKey>(h);
}

}  // namespace yrn
