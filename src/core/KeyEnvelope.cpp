#include "KeyEnvelope.h"

#include <algorithm>
#include <cstdint>

namespace yrn {
namespace {

using Bytes = std::string_view;

// The DER element at the front of in, of the given tag, in its shortest
// length form: its content, and in moved past it.
bool Take(Bytes& in, unsigned char tag, Bytes& content) {
    if (in.size() < 2 || static_cast<unsigned char>(in[0]) != tag) return false;
    size_t length = static_cast<unsigned char>(in[1]);
    size_t head = 2;
    if (length & 0x80) {
        const size_t digits = length & 0x7F;
        if (digits == 0 || digits > 2 || in.size() < 2 + digits) return false;
        length = 0;
        for (size_t i = 0; i < digits; ++i) length = length << 8 | static_cast<unsigned char>(in[2 + i]);
        if (length < 0x80 || (digits == 2 && length < 0x100)) return false;
        head += digits;
    }
    if (in.size() - head < length) return false;
    content = in.substr(head, length);
    in.remove_prefix(head + length);
    return true;
}

// A positive INTEGER of at most 256 bits, as 32 big-endian bytes.
bool TakeScalar(Bytes& in, std::string& out) {
    Bytes v;
    if (!Take(in, 0x02, v) || v.empty() || (v[0] & 0x80)) return false;
    if (v[0] == 0) {
        if (v.size() > 1 && !(v[1] & 0x80)) return false;  // a leading zero it does not need
        v.remove_prefix(1);
    }
    if (v.empty() || v.size() > 32) return false;
    out.append(32 - v.size(), '\0');
    out.append(v);
    return true;
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
    for (int i = 0; i < 64; ++i)
        if (kBase64[i] == c) return i;
    return -1;
}

}  // namespace

std::optional<std::string> P256PointFromSpki(Bytes der) {
    // id-ecPublicKey (1.2.840.10045.2.1) and prime256v1 (1.2.840.10045.3.1.7).
    static constexpr Bytes kEcPublicKey("\x2A\x86\x48\xCE\x3D\x02\x01", 7);
    static constexpr Bytes kPrime256v1("\x2A\x86\x48\xCE\x3D\x03\x01\x07", 8);
    Bytes spki, algorithm, bits, oid, curve;
    if (!Take(der, 0x30, spki) || !der.empty()) return std::nullopt;
    if (!Take(spki, 0x30, algorithm) || !Take(spki, 0x03, bits) || !spki.empty()) return std::nullopt;
    if (!Take(algorithm, 0x06, oid) || !Take(algorithm, 0x06, curve) || !algorithm.empty()) return std::nullopt;
    if (oid != kEcPublicKey || curve != kPrime256v1) return std::nullopt;
    // No unused bits, then the uncompressed point 04 || X || Y.
    if (bits.size() != 66 || bits[0] != 0 || bits[1] != 0x04) return std::nullopt;
    return std::string(bits.substr(2));
}

std::optional<std::string> P256SignatureRs(Bytes der) {
    Bytes sequence;
    std::string rs;
    if (!Take(der, 0x30, sequence) || !der.empty()) return std::nullopt;
    if (!TakeScalar(sequence, rs) || !TakeScalar(sequence, rs) || !sequence.empty()) return std::nullopt;
    return rs;
}

std::optional<std::string> Base64Decode(Bytes text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    size_t padding = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 >= text.size()) {
            ++padding;
            continue;
        }
        const int v = Base64Value(text[i]);
        if (v < 0 || padding > 0) return std::nullopt;
        bits = bits << 6 | static_cast<uint32_t>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>(bits >> count & 0xFF);
            bits &= (1u << count) - 1;
        }
    }
    if (bits != 0) return std::nullopt;  // bits left over that no byte holds
    return out;
}

std::string Base64Encode(Bytes bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        for (size_t k = 0; k < 4; ++k) out += i + k <= bytes.size() ? kBase64[group >> (18 - 6 * k) & 63] : '=';
    }
    return out;
}

std::optional<std::string> Sha256FromHex(Bytes hex) {
    if (hex.size() != 64) return std::nullopt;
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int byte = 0;
        for (char c : hex.substr(i, 2)) {
            const char lower = static_cast<char>(c | 0x20);
            const int v = c >= '0' && c <= '9' ? c - '0' : lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
            if (v < 0) return std::nullopt;
            byte = byte << 4 | v;
        }
        out += static_cast<char>(byte);
    }
    return out;
}

std::string HexLower(Bytes bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

std::vector<std::string> ParsePackageKeys(Bytes text, size_t& tokens) {
    std::vector<std::string> points;
    tokens = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find_first_of(" \t\r\n;", pos), text.size());
        if (end > pos) {
            ++tokens;
            if (auto der = Base64Decode(text.substr(pos, end - pos)))
                if (auto point = P256PointFromSpki(*der)) points.push_back(*point);
        }
        pos = end + 1;
    }
    return points;
}

}  // namespace yrn
