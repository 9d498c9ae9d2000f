// The text and DER envelopes around P-256 public keys, ECDSA signatures and
// SHA-256 digests. Only the envelopes are ours: hashing and verification are
// the platform's (libcrypto, CNG).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace yrn {

// The public point X||Y (32 bytes each) of a DER SubjectPublicKeyInfo that
// holds an uncompressed id-ecPublicKey point on prime256v1; nothing else.
std::optional<std::string> P256PointFromSpki(std::string_view der);
// r||s (32 bytes each, big-endian) of a DER ECDSA-Sig-Value whose two
// integers are positive, minimally encoded and at most 256 bits long.
std::optional<std::string> P256SignatureRs(std::string_view der);

// Standard base64 with its padding, nothing around it.
std::optional<std::string> Base64Decode(std::string_view text);
std::string Base64Encode(std::string_view bytes);

// 64 hex digits of either case -> 32 bytes.
std::optional<std::string> Sha256FromHex(std::string_view hex);
std::string HexLower(std::string_view bytes);

// The keys of a PackageKeys text: base64 SubjectPublicKeyInfos separated by
// blanks or ";". Gives the points of the valid P-256 keys; tokens counts
// every key written, valid or not.
std::vector<std::string> ParsePackageKeys(std::string_view text, size_t& tokens);

}  // namespace yrn
