// yrnpack's work with key files, by libcrypto: new P-256 keys, signatures
// over a manifest's bytes, and the PackageKeys text of a key.
#pragma once

#include <optional>
#include <string>

namespace yrn {

// Writes a new P-256 private key (PEM, PKCS#8) to the free name path, for
// its owner only; its PackageKeys text, or nullopt.
std::optional<std::string> GenerateKey(const std::string& path);
// The DER ECDSA signature with SHA-256 of message by the P-256 private key
// in the PEM file path, or nullopt; packageKey: that key's PackageKeys text.
std::optional<std::string> SignWithKey(const std::string& path, const std::string& message, std::string& packageKey);
// The PackageKeys text of the P-256 key (public or private) in the PEM file
// path, or nullopt.
std::optional<std::string> PackageKeyOfPem(const std::string& path);

}  // namespace yrn
