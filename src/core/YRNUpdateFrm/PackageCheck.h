// The check a package passes before the update run changes anything: the
// signature of its manifest under the station's keys, and each file's hash.
#pragma once

#include <optional>
#include <string>

#include "../platform.h"

namespace yrn {

struct CheckedPackage {
    std::string manifest;                  // YRNUpdate.ini, the bytes checked
    std::optional<std::string> signature;  // YRNUpdate.sig, when there is one
};

// The package in dir (ending in "\") against keysText, the station's
// PackageKeys (nullopt: none). With a key, YRNUpdate.sig must verify under
// one of them and every file of [FILES] in the package must carry SHA256;
// with or without, every SHA256 given must match. Throws PackageRefused
// naming what is at fault. The platform is then told each checked file's
// hash, which every copy of it must match again.
CheckedPackage CheckPackage(Platform& platform, const std::string& dir, const std::optional<std::string>& keysText);

// The PackageKeys value of the tool's registry key, read without creating
// anything; nullopt when the key or the value is missing.
std::optional<std::string> ReadPackageKeys(Platform& platform);

}  // namespace yrn
