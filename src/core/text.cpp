#include "text.h"

#include <cstring>

namespace yrn {
namespace {

// Unicode code points of the 1251 bytes 0x80..0xFF.
const char16_t kHigh[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

char16_t ToUnicode(unsigned char c) { return c < 0x80 ? c : kHigh[c - 0x80]; }

char FromUnicode(char32_t cp) {
    if (cp < 0x80) return static_cast<char>(cp);
    for (int i = 0; i < 128; ++i)
        if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
    return '?';
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

template <typename T>
std::optional<T> ParseInt(const std::string& s, int64_t lo, uint64_t hiMag) {
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return std::nullopt;
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        int d;
        char c = s[i];
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return std::nullopt;
        if (v > (hiMag + 1 - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) return std::nullopt;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    if (neg) {
        if (v > static_cast<uint64_t>(-(lo + 1)) + 1) return std::nullopt;
        return static_cast<T>(-static_cast<int64_t>(v - 1) - 1);
    }
    if (v > hiMag) return std::nullopt;
    return static_cast<T>(v);
}

}  // namespace

std::string Utf8To1251(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        size_t len;
        if (c < 0x80) { cp = c; len = 1; }
        else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
        else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
        else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
        else { out += '?'; ++i; continue; }
        if (i + len > s.size()) { out += '?'; break; }
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) { out += '?'; ++i; continue; }
        out += FromUnicode(cp);
        i += len;
    }
    return out;
}

std::string Cp1251ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) AppendUtf8(out, ToUnicode(static_cast<unsigned char>(c)));
    return out;
}

std::u16string Cp1251ToUtf16(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) out += ToUnicode(static_cast<unsigned char>(c));
    return out;
}

std::string Utf16To1251(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) out += FromUnicode(c);
    return out;
}

namespace {

constexpr char FoldUpper(unsigned char u) {
    if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
    if (u >= 0xE0) return static_cast<char>(u - 32);  // а..я
    switch (u) {
        case 0xB8: return static_cast<char>(0xA8);  // ё
        case 0xBA: return static_cast<char>(0xAA);  // є
        case 0xBF: return static_cast<char>(0xAF);  // ї
        case 0xB3: return static_cast<char>(0xB2);  // і
        case 0xBE: return static_cast<char>(0xBD);  // ѕ
        case 0xBC: return static_cast<char>(0xA3);  // ј
        case 0xA2: return static_cast<char>(0xA1);  // ў
        case 0xB4: return static_cast<char>(0xA5);  // ґ
        case 0x83: return static_cast<char>(0x81);  // ѓ
        case 0x90: return static_cast<char>(0x80);  // ђ
        case 0x9A: return static_cast<char>(0x8A);  // љ
        case 0x9C: return static_cast<char>(0x8C);  // њ
        case 0x9D: return static_cast<char>(0x8D);  // ќ
        case 0x9E: return static_cast<char>(0x8E);  // ћ
        case 0x9F: return static_cast<char>(0x8F);  // џ
        default: return static_cast<char>(u);
    }
}

// Names are compared letter by letter many thousand times per run.
struct UpperTable {
    char map[256];
};
constexpr UpperTable MakeUpperTable() {
    UpperTable t{};
    for (int i = 0; i < 256; ++i) t.map[i] = FoldUpper(static_cast<unsigned char>(i));
    return t;
}
constexpr UpperTable kUpper = MakeUpperTable();

}  // namespace

char UpperChar1251(char c) { return kUpper.map[static_cast<unsigned char>(c)]; }

std::string Upper1251(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = UpperChar1251(c);
    return out;
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperChar1251(a[i]) != UpperChar1251(b[i])) return false;
    return true;
}

std::string TrimControls(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

std::string IncludeTrailingBackslash(const std::string& s) {
    if (!s.empty() && s.back() != '\\') return s + '\\';
    return s;
}

std::optional<int32_t> ParseInt32(const std::string& s) {
    return ParseInt<int32_t>(s, INT32_MIN, INT32_MAX);
}

std::optional<int64_t> ParseInt64(const std::string& s) {
    return ParseInt<int64_t>(s, INT64_MIN, INT64_MAX);
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || UpperChar1251(pattern[p]) == UpperChar1251(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace yrn
