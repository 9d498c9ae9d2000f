#include "PackageCheck.h"

#include <utility>
#include <vector>

#include "../FuncUnit.h"
#include "../IniFile.h"
#include "../KeyEnvelope.h"

namespace yrn {
namespace {

[[noreturn]] void Refuse(const std::string& why) { throw PackageRefused("Package refused: " + why); }

void CheckSignature(Platform& platform, const std::string& dir, const CheckedPackage& package,
                    const std::vector<std::string>& keys) {
    const std::string path = dir + "YRNUpdate.sig";
    if (!package.signature) Refuse(platform.FileExists(path) ? "cannot read " + path : "not signed, no " + path);
    if (const auto rs = P256SignatureRs(*package.signature))
        for (const std::string& key : keys)
            if (platform.VerifyP256(key, package.manifest, *rs)) return;
    Refuse("signature " + path + " does not verify under PackageKeys");
}

}  // namespace

CheckedPackage CheckPackage(Platform& platform, const std::string& dir, const std::optional<std::string>& keysText) {
    CheckedPackage package;
    const std::string manifestPath = dir + "YRNUpdate.ini";
    if (!platform.ReadWholeFile(manifestPath, package.manifest)) Refuse("cannot read " + manifestPath);
    // Kept for the local copy; without keys an unreadable one is no reason to refuse.
    if (std::string sig; platform.FileExists(dir + "YRNUpdate.sig") && platform.ReadWholeFile(dir + "YRNUpdate.sig", sig))
        package.signature = std::move(sig);
    size_t written = 0;
    const std::vector<std::string> keys = keysText ? ParsePackageKeys(*keysText, written) : std::vector<std::string>{};
    if (written > 0 && keys.empty()) Refuse("PackageKeys holds no valid P-256 public key");
    if (!keys.empty()) CheckSignature(platform, dir, package, keys);

    const IniDocument manifest(package.manifest);
    std::vector<std::pair<std::string, std::string>> checked;
    for (const std::string& N : manifest.Keys("FILES")) {
        const std::string path = dir + N;
        if (!platform.FileExists(path)) continue;
        const std::string* hex = manifest.Find(N, "SHA256");
        if (!hex) {
            if (!keys.empty()) Refuse("no SHA256 for " + path);
            continue;
        }
        const std::optional<std::string> digest = Sha256FromHex(*hex);
        if (!digest) Refuse("SHA256 for " + path + " is not 64 hex digits");
        std::string actual;
        if (!platform.FileSha256(path, actual)) Refuse("cannot read " + path);
        if (actual != *digest) Refuse("SHA256 mismatch in " + path);
        checked.emplace_back(path, *digest);
    }
    for (const auto& [path, digest] : checked) platform.ExpectHash(path, digest);
    return package;
}

std::optional<std::string> ReadPackageKeys(Platform& platform) {
    const std::unique_ptr<RegistryKey> key = platform.OpenExistingRegistryKey(UpdateRegKey());
    if (!key) return std::nullopt;
    std::string value;
    const RegRead read = key->ReadString("PackageKeys", value);
    key->Close();
    if (read == RegRead::Missing) return std::nullopt;
    if (read != RegRead::Ok) Refuse("PackageKeys is not a readable text value");
    return value;
}

}  // namespace yrn
