// Hashes and signatures of the POSIX backend, by OpenSSL's libcrypto.
#include <fcntl.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "PosixPlatform.h"

namespace yrn {
namespace {

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using Pkey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Sig = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG, ECDSA_SIG_free>>;

bool HashFd(int fd, std::string& digest) {
    MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return false;
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        if (EVP_DigestUpdate(ctx.get(), buf, static_cast<size_t>(n)) != 1) return false;
    }
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(ctx.get(), out, &size) != 1) return false;
    digest.assign(reinterpret_cast<const char*>(out), size);
    return true;
}

bool HashNative(const std::string& native, std::string& digest) {
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = HashFd(fd, digest);
    ::close(fd);
    return ok;
}

Pkey P256PublicKey(const std::string& xy) {
    std::string point = "\x04" + xy;
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
                           OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()),
                           OSSL_PARAM_construct_end()};
    PkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
        EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1)
        return nullptr;
    return Pkey(key);
}

// r || s in the DER form libcrypto takes.
std::string DerSignature(const std::string& rs) {
    Sig sig(ECDSA_SIG_new());
    const auto* bytes = reinterpret_cast<const unsigned char*>(rs.data());
    BIGNUM* r = BN_bin2bn(bytes, 32, nullptr);
    BIGNUM* s = BN_bin2bn(bytes + 32, 32, nullptr);
    if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return {};
    }
    const int size = i2d_ECDSA_SIG(sig.get(), nullptr);
    std::string der(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    if (size <= 0 || i2d_ECDSA_SIG(sig.get(), &out) != size) return {};
    return der;
}

}  // namespace

bool PosixPlatform::FileSha256(const std::string& path, std::string& digest) {
    return HashNative(NativePath(path), digest);
}

bool PosixPlatform::VerifyP256(const std::string& xy, const std::string& message, const std::string& rs) {
    if (xy.size() != 64 || rs.size() != 64) return false;
    const Pkey key = P256PublicKey(xy);
    const std::string der = DerSignature(rs);
    MdCtx ctx(EVP_MD_CTX_new());
    return key && !der.empty() && ctx &&
           EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(der.data()), der.size(),
                            reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

void PosixPlatform::ExpectHash(const std::string& src, const std::string& digest) {
    expectedHashes_[NativePath(src)] = digest;
}

bool PosixPlatform::CopiedAsExpected(const std::string& from, const std::string& tempPath) const {
    const auto it = expectedHashes_.find(from);
    if (it == expectedHashes_.end()) return true;
    std::string digest;
    return HashNative(tempPath, digest) && digest == it->second;
}

}  // namespace yrn
