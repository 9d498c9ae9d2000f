// The envelopes of keys, signatures and digests: exactly the encodings
// OpenSSL writes are read; anything looser is refused.
#include <gtest/gtest.h>

#include "core/KeyEnvelope.h"
#include "support/PeImages.h"

namespace yrn::test {
namespace {

std::string Data(const std::string& name) { return FileBytes(YRN_TEST_DATA "/signed/" + name); }
std::string Der(char tag, const std::string& content) { return std::string{tag, char(content.size())} + content; }
std::string Sig(const std::string& r, const std::string& s) { return Der(0x30, Der(2, r) + Der(2, s)); }
const std::string k31(31, '\x7F'), k0080("\x00\x80", 2);

TEST(KeyEnvelope, ReadsOnlyStrictEncodings) {
    auto spki = *Base64Decode(Data("signer.key"));
    ASSERT_EQ(P256PointFromSpki(spki).value_or(""), spki.substr(27));
    // Length, algorithm, curve, unused bits, point form.
    for (size_t at : {1u, 10u, 20u, 25u, 26u}) {
        auto bad = spki;
        bad[at] ^= 1;
        EXPECT_FALSE(P256PointFromSpki(bad)) << at;
    }
    EXPECT_FALSE(P256PointFromSpki(spki + '\0'));
    // A third element in the algorithm's sequence.
    auto longer = spki;
    longer.insert(23, "\x05\x00", 2);
    longer[1] += 2;
    longer[3] += 2;
    EXPECT_FALSE(P256PointFromSpki(longer));
    EXPECT_EQ(P256SignatureRs(Sig("\x01", k0080 + k31)).value_or(""), std::string(31, '\0') + "\x01\x80" + k31);
    EXPECT_TRUE(P256SignatureRs(Data("YRNUpdate.sig")));
    // Zero, negative, a needless leading zero, 257 bits, a byte after the end, a lone tag.
    for (auto& bad : {Sig(std::string(1, '\0'), "\x01"), Sig("\x80", "\x01"), Sig(k0080.substr(0, 1) + "\x01", "\x01"),
                                   Sig("\x01" + k31 + "\x01", "\x01"), Sig("\x01", "\x01") + '\0', std::string("0")})
        EXPECT_FALSE(P256SignatureRs(bad));
    EXPECT_EQ(Base64Decode("QUI=").value_or(""), "AB");
    EXPECT_EQ(Base64Decode("QUJD").value_or(""), "ABC");
    EXPECT_EQ(Base64Encode("ABC") + Base64Encode("AB"), "QUJDQUI=");
    for (auto bad : {"QUI", "QUJ=", "Q===", "QU=I", "QUI=QUI="}) EXPECT_FALSE(Base64Decode(bad)) << bad;
    EXPECT_FALSE(Sha256FromHex(std::string(63, 'a')) || Sha256FromHex(std::string(63, 'a') + "g"));
    size_t tokens = 0;
    EXPECT_EQ(ParsePackageKeys(" ;" + Data("signer.key") + "; garbage\t", tokens).size(), 1u);
    EXPECT_EQ(tokens, 2u);
}

}
}
