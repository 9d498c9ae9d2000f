// Hashes and signatures of the Win32 backend, by the system's CNG
// (bcrypt.dll), with calls Windows 7 has.
#include "Win32Api.h"

#include <bcrypt.h>

#include <vector>

#include "Win32Handle.h"
#include "Win32Platform.h"
#include "WideText.h"
#include "core/text.h"

namespace yrn {
namespace {

constexpr DWORD kHashChunk = 64 * 1024;

class Algorithm {
public:
    explicit Algorithm(LPCWSTR name) { ok_ = BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&h_, name, nullptr, 0)); }
    ~Algorithm() {
        if (ok_) ::BCryptCloseAlgorithmProvider(h_, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    bool Ok() const { return ok_; }
    BCRYPT_ALG_HANDLE Get() const { return h_; }

private:
    BCRYPT_ALG_HANDLE h_ = nullptr;
    bool ok_ = false;
};

// A SHA-256 fed piece by piece; its object memory is ours, as Windows 7 wants.
class Sha256 {
public:
    Sha256() : alg_(BCRYPT_SHA256_ALGORITHM) {
        DWORD size = 0, got = 0;
        ok_ = alg_.Ok() && BCRYPT_SUCCESS(::BCryptGetProperty(alg_.Get(), BCRYPT_OBJECT_LENGTH,
                                                              reinterpret_cast<PUCHAR>(&size), sizeof size, &got, 0));
        if (ok_) object_.resize(size);
        ok_ = ok_ && BCRYPT_SUCCESS(::BCryptCreateHash(alg_.Get(), &h_, object_.data(), size, nullptr, 0, 0));
    }
    ~Sha256() {
        if (h_) ::BCryptDestroyHash(h_);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    bool Add(const void* data, DWORD size) {
        ok_ = ok_ && BCRYPT_SUCCESS(::BCryptHashData(h_, static_cast<PUCHAR>(const_cast<void*>(data)), size, 0));
        return ok_;
    }
    bool Finish(std::string& digest) {
        digest.assign(32, '\0');
        return ok_ && BCRYPT_SUCCESS(::BCryptFinishHash(h_, reinterpret_cast<PUCHAR>(digest.data()), 32, 0));
    }

private:
    Algorithm alg_;
    std::vector<UCHAR> object_;
    BCRYPT_HASH_HANDLE h_ = nullptr;
    bool ok_ = false;
};

bool HashFile(const std::wstring& path, std::string& digest) {
    FileHandle in(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.Valid()) return false;
    Sha256 hash;
    std::vector<char> chunk(kHashChunk);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(in.Get(), chunk.data(), kHashChunk, &got, nullptr)) return false;
        if (got == 0) break;
        if (!hash.Add(chunk.data(), got)) return false;
    }
    return hash.Finish(digest);
}

}  // namespace

bool Win32Platform::FileSha256(const std::string& path, std::string& digest) { return HashFile(Wide(path), digest); }

bool Win32Platform::VerifyP256(const std::string& xy, const std::string& message, const std::string& rs) {
    std::string digest;
    Sha256 hash;
    if (xy.size() != 64 || rs.size() != 64 || !hash.Add(message.data(), static_cast<DWORD>(message.size())) ||
        !hash.Finish(digest))
        return false;
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    // The public key blob: its header, then X and Y, big-endian.
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::string blob(reinterpret_cast<const char*>(&header), sizeof header);
    blob += xy;
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!ecdsa.Ok() || !BCRYPT_SUCCESS(::BCryptImportKeyPair(ecdsa.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &key,
                                                             reinterpret_cast<PUCHAR>(blob.data()),
                                                             static_cast<ULONG>(blob.size()), 0)))
        return false;
    std::string signature = rs;
    const bool ok = BCRYPT_SUCCESS(::BCryptVerifySignature(key, nullptr, reinterpret_cast<PUCHAR>(digest.data()), 32,
                                                           reinterpret_cast<PUCHAR>(signature.data()), 64, 0));
    ::BCryptDestroyKey(key);
    return ok;
}

void Win32Platform::ExpectHash(const std::string& src, const std::string& digest) {
    expectedHashes_[Upper1251(src)] = digest;
}

bool Win32Platform::CopiedAsExpected(const std::string& src, const std::wstring& temp) const {
    const auto it = expectedHashes_.find(Upper1251(src));
    if (it == expectedHashes_.end()) return true;
    std::string digest;
    return HashFile(temp, digest) && digest == it->second;
}

}  // namespace yrn
