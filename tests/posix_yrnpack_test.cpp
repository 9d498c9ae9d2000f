// yrnpack driven as the people who make packages run it, with OpenSSL's
// command line on the other side. Each test runs in its own working
// directory, where the package is pkg/ and the key key.pem.
#include <sys/wait.h>

#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

struct Result {
    int status;
    std::string out;
};
// The exit status and what the commands wrote to either stream.
Result Shell(std::string cmd) {
    int status = std::system(("(" + cmd + ") >out 2>&1").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile("out")};
}
Result Pack(std::string args) { return Shell("'" YRNPACK_PATH "' " + args); }

const std::string kData = YRN_TEST_DATA "/signed/";

class Yrnpack : public ::testing::Test {
protected:
    void SetUp() override {
        for (std::string name : {"A.exe", "B.dll"}) WriteFile("pkg/" + name, ReadFile(kData + name));
        // LF line ends, a comment, an unterminated last line, the second file's section without entries.
        WriteFile("pkg/YRNUpdate.ini", Golden("yrnpack_manifest.ini"));
    }
    TempRoot root;
    // as yrnpack names it
    const std::string dir = root.Native("cwd/pkg");
};

TEST_F(Yrnpack, KeygenSignVerifyAgreeWithOpenssl) {
    auto keygen = Pack("keygen key.pem");
    ASSERT_EQ(keygen.status, 0);
    EXPECT_EQ(keygen.out, Shell("openssl pkey -in key.pem -pubout -outform DER | base64 -w0").out + "\n");
    EXPECT_EQ(Pack("keygen key.pem").status, 1);
    ASSERT_EQ(Pack("sign pkg key.pem").status, 0);
    ExpectGolden(ReadFile("pkg/YRNUpdate.ini"), "yrnpack_signed_manifest.ini");
    EXPECT_EQ(Shell("openssl pkey -in key.pem -pubout -out key.pub && openssl dgst -sha256 -verify key.pub -signature pkg/YRNUpdate.sig pkg/YRNUpdate.ini").out,
              "Verified OK\n");
    EXPECT_EQ(Pack("verify pkg key.pem").status, 0);
    EXPECT_EQ(Pack("verify pkg '" + kData + "other.pem'").out, "refused: signature " + dir + "/YRNUpdate.sig does not verify under PackageKeys\n");
}

TEST_F(Yrnpack, CheckReportsAndSignRefusesAPackageInError) {
    auto before = Golden("yrnpack_manifest_in_error.ini");
    WriteFile("pkg/YRNUpdate.ini", before);
    auto check = Pack("check pkg");
    EXPECT_EQ(check.status, 1);
    ExpectGolden(Masked(check.out, dir), "yrnpack_check.txt");
    EXPECT_EQ(Pack("sign pkg '" + kData + "signer.pem'").status, 1);
    EXPECT_EQ(ReadFile("pkg/YRNUpdate.ini"), before);
    EXPECT_FALSE(Exists("pkg/YRNUpdate.sig"));
    EXPECT_EQ(Pack("check").status, 2);
    EXPECT_EQ(Pack("check pkg --key").status, 2);
}

}
}
