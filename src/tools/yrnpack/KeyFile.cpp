#include "KeyFile.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "core/KeyEnvelope.h"

namespace yrn {
namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

// The key's PackageKeys text when it is a P-256 key.
std::optional<std::string> PackageKeyOf(EVP_PKEY* key) {
    const int size = key ? i2d_PUBKEY(key, nullptr) : 0;
    if (size <= 0) return std::nullopt;
    std::string der(static_cast<size_t>(size), '\0');
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    if (i2d_PUBKEY(key, &out) != size || !P256PointFromSpki(der)) return std::nullopt;
    return Base64Encode(der);
}

Key ReadKey(const std::string& path, bool isPrivate) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file) return nullptr;
    EVP_PKEY* key = isPrivate ? PEM_read_PrivateKey(file, nullptr, nullptr, nullptr)
                              : PEM_read_PUBKEY(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    return Key(key);
}

}  // namespace

std::optional<std::string> GenerateKey(const std::string& path) {
    const Key key(EVP_EC_gen("P-256"));
    const std::optional<std::string> packageKey = PackageKeyOf(key.get());
    if (!packageKey) return std::nullopt;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "w");
    if (!file) {
        if (fd >= 0) ::close(fd);
        return std::nullopt;
    }
    bool ok = PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    ok = std::fflush(file) == 0 && ::fsync(fd) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (!ok) ::unlink(path.c_str());
    return ok ? packageKey : std::nullopt;
}

std::optional<std::string> SignWithKey(const std::string& path, const std::string& message, std::string& packageKey) {
    const Key key = ReadKey(path, true);
    const std::optional<std::string> text = PackageKeyOf(key.get());
    if (!text) return std::nullopt;
    packageKey = *text;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
    size_t size = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &size, bytes, message.size()) != 1)
        return std::nullopt;
    std::string signature(size, '\0');
    auto* out = reinterpret_cast<unsigned char*>(signature.data());
    if (EVP_DigestSign(ctx.get(), out, &size, bytes, message.size()) != 1) return std::nullopt;
    signature.resize(size);
    return signature;
}

std::optional<std::string> PackageKeyOfPem(const std::string& path) {
    if (auto text = PackageKeyOf(ReadKey(path, false).get())) return text;
    return PackageKeyOf(ReadKey(path, true).get());
}

}  // namespace yrn
