// The Win32 backend's hashes and signatures (CNG) on the package of
// tests/data/signed, which OpenSSL signed.
#include <gtest/gtest.h>

#include "core/KeyEnvelope.h"
#include "core/DurableFiles.h"
#include "platform/win32/Win32Platform.h"
#include "support/win32_Files.h"

namespace yrn::test {
namespace {

const string kData = YRN_TEST_DATA "/signed/";

string KeyPoint(string file) {
    size_t written = 0;
    return ParsePackageKeys(GetFile(kData + file), written).at(0);
}

// Only the signer's signature of the exact bytes verifies; a copy from a
// source whose hash is expected fails on other bytes.
TEST(Win32Crypto, SignaturesAndExpectedHashes) {
    Win32Platform p;
    auto manifest = GetFile(kData + "YRNUpdate.ini");
    auto rs = P256SignatureRs(GetFile(kData + "YRNUpdate.sig"));
    ASSERT_TRUE(rs);
    EXPECT_TRUE(p.VerifyP256(KeyPoint("signer.key"), manifest, *rs));
    EXPECT_FALSE(p.VerifyP256(KeyPoint("other.key"), manifest, *rs));
    manifest[20] ^= 1;
    EXPECT_FALSE(p.VerifyP256(KeyPoint("signer.key"), manifest, *rs));
    Win32TempDir dir;
    auto a = dir / "A.exe";
    ASSERT_TRUE(PutFile(a, GetFile(kData + "A.exe")) && PutFile(dir / "old", "old"));
    string digest;
    ASSERT_TRUE(p.FileSha256(a, digest));
    EXPECT_EQ(HexLower(digest), "87c2b36e775759a9f76fb85df7612ac699d1ad11ee4bde50e711727b968c755b");
    p.ExpectHash(dir / "a.EXE", digest);
    EXPECT_TRUE(p.Files().CopyFile(a, dir / "new"));
    ASSERT_TRUE(PutFile(a, "evil"));
    EXPECT_FALSE(p.Files().CopyFile(a, dir / "old"));
    EXPECT_EQ(GetFile(dir / "old"), "old");
    EXPECT_EQ(GetFile(dir / "new"), GetFile(kData + "A.exe"));
    EXPECT_EQ(AllNames(dir.path), (Names{"A.exe", "new", "old"}));
}

}
}
