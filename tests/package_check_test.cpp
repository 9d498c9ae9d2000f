// The package check at the start of an update run, on the signed package of
// tests/data/signed: what it accepts installs; anything else is refused with
// nothing changed but the run log.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>

#include "support/FaultPlatform.h"
#include "support/RunFixture.h"

namespace yrn::test {
namespace {

const std::string kData = YRN_TEST_DATA "/signed/";
const std::string kPkg = "c/TOVR/UPDATE/";

class PackageCheck;
struct CheckCase {
    const char* name;
    std::function<void(PackageCheck&)> setup;
    const char* refusal;  // the error's text; nullptr: the package installs
};
void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class PackageCheck : public RunTest, public ::testing::WithParamInterface<CheckCase> {
public:
    void SetUp() override {
        RunTest::SetUp();
        for (const char* name : {"YRNUpdate.ini", "YRNUpdate.sig", "A.exe", "B.dll"}) Put(kPkg + name, Data(name));
        Put("c/TOVR/A.exe", "old A");
        Put("c/TOVR/LIB/.keep", "");
        Put("c/TOVR/FromOffice/.keep", "");
    }
    static std::string Data(const std::string& name) { return ReadFile(kData + name); }
    void Unsign() { std::filesystem::remove(root.Native(kPkg + "YRNUpdate.sig")); }
    void Put(const std::string& rel, const std::string& bytes) { WriteFile(root.Native(rel), bytes); }
    void Keys(const std::string& value) {
        Put("registry.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n\"PackageKeys\"=" +
                                value + "\r\n\r\n");
    }
    void Flip(const std::string& rel, size_t at) {
        std::string bytes = ReadFile(root.Native(rel));
        bytes.at(at) ^= 1;
        Put(rel, bytes);
    }
    // The manifest rewritten and signed again by the signer, as openssl does.
    void Resign(const std::string& manifest) {
        Put(kPkg + "YRNUpdate.ini", manifest);
        const std::string cmd = "openssl dgst -sha256 -sign '" + kData + "signer.pem' -out '" + root.Native(kPkg) +
                                "YRNUpdate.sig' '" + root.Native(kPkg) + "YRNUpdate.ini'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    FaultPlatform fp{platform};
};

const std::string kSigner = "\"" + PackageCheck::Data("signer.key") + "\"";
const std::string kOther = "\"" + PackageCheck::Data("other.key") + "\"";

TEST_P(PackageCheck, RefusesAllOrInstalls) {
    GetParam().setup(*this);
    const Snapshot before = TakeSnapshot(root.Path());
    RunWindow(fp, 1);
    const std::vector<std::string> log = LogLines(ReadFile(root.Native("cwd/YRNUpdate.log")));
    if (!GetParam().refusal) {
        EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), Data("A.exe"));
        EXPECT_EQ(ReadFile(root.Native("c/TOVR/LIB/B.dll")), Data("B.dll"));
        EXPECT_EQ(log.back().substr(15), W("Обновление исполняемых файлов завершено."));
        // The local copy keeps the hashes, and the signed manifest as it came.
        const std::string copy = root.Native(kPkg + "NewFiles/" + ListDir(root.Native(kPkg + "NewFiles")).at(0) + "/");
        EXPECT_NE(ReadFile(copy + "YRNUpdate.ini").find("SHA256=3B737213"), std::string::npos);
        const bool isSigned = Exists(root.Native(kPkg + "YRNUpdate.sig"));
        EXPECT_EQ(ReadFile(copy + "Package.ini"), isSigned ? Data("YRNUpdate.ini") : "");
        EXPECT_EQ(ReadFile(copy + "Package.sig"), isSigned ? Data("YRNUpdate.sig") : "");
        return;
    }
    // Nothing but the log and the outcome of the run: refused.
    Snapshot after = TakeSnapshot(root.Path());
    std::string& registry = after["registry.reg"];
    EXPECT_NE(registry.find("\"LastRunResult\"=dword:00000003"), std::string::npos);
    registry = std::regex_replace(registry, std::regex("\"LastRun[^\r]*\r\n"), "");
    if (!before.count("registry.reg") && registry.find('"') == std::string::npos) after.erase("registry.reg");
    EXPECT_EQ(Changed(before, after), std::vector<std::string>{"cwd/YRNUpdate.log"});
    EXPECT_FALSE(Exists(root.Native(kPkg + "OldFiles")) || Exists(root.Native(kPkg + "NewFiles")));
    EXPECT_EQ(log.at(log.size() - 2).substr(15), W("Сбой при обновлении исполняемых файлов ЮКСВЕЛ."));
    EXPECT_EQ(log.back(), "Package refused: " + std::string(GetParam().refusal));
}

const CheckCase kCases[] = {
    {"SignedUnderItsKey", [](PackageCheck& t) { t.Keys(kSigner); }, nullptr},
    {"SignedUnderTheSecondOfTwoKeys", [](PackageCheck& t) { t.Keys("\"" + t.Data("other.key") + "; " + t.Data("signer.key") + "\""); }, nullptr},
    {"UnsignedWithoutKeys", [](PackageCheck& t) { t.Unsign(); }, nullptr},
    {"FileByteChanged", [](PackageCheck& t) { t.Keys(kSigner), t.Flip(kPkg + "B.dll", 4); },
     "SHA256 mismatch in C:\\TOVR\\UPDATE\\B.dll"},
    {"FileByteChangedWithoutKeys", [](PackageCheck& t) { t.Flip(kPkg + "A.exe", 0); },
     "SHA256 mismatch in C:\\TOVR\\UPDATE\\A.exe"},
    {"ManifestByteChanged", [](PackageCheck& t) { t.Keys(kSigner), t.Flip(kPkg + "YRNUpdate.ini", 20); },
     "signature C:\\TOVR\\UPDATE\\YRNUpdate.sig does not verify under PackageKeys"},
    {"SignatureByteChanged", [](PackageCheck& t) { t.Keys(kSigner), t.Flip(kPkg + "YRNUpdate.sig", 60); },
     "signature C:\\TOVR\\UPDATE\\YRNUpdate.sig does not verify under PackageKeys"},
    {"KeyOfAnotherSigner", [](PackageCheck& t) { t.Keys(kOther); },
     "signature C:\\TOVR\\UPDATE\\YRNUpdate.sig does not verify under PackageKeys"},
    {"SignatureMissing", [](PackageCheck& t) {
         t.Keys(kSigner);
         t.Unsign();
     }, "not signed, no C:\\TOVR\\UPDATE\\YRNUpdate.sig"},
    {"GarbageKeys", [](PackageCheck& t) { t.Keys("\"garbage;" + t.Data("signer.key").substr(0, 40) + "\""); },
     "PackageKeys holds no valid P-256 public key"},
    {"KeysNotText", [](PackageCheck& t) { t.Keys("dword:00000001"); }, "PackageKeys is not a readable text value"},
    {"SignedFileWithoutHash", [](PackageCheck& t) {
         t.Keys(kSigner);
         std::string m = t.Data("YRNUpdate.ini");
         t.Resign(m.erase(m.find("SHA256=3B"), 73));
     }, "no SHA256 for C:\\TOVR\\UPDATE\\B.dll"},
    {"HashNotHex", [](PackageCheck& t) { t.Put(kPkg + "YRNUpdate.ini", t.Data("YRNUpdate.ini").replace(90, 1, "g")); },
     "SHA256 for C:\\TOVR\\UPDATE\\A.exe is not 64 hex digits"}};
INSTANTIATE_TEST_SUITE_P(Run, PackageCheck, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A file swapped after the check: its copy fails and the installed file stays; the others install.
TEST_F(PackageCheck, FileSwappedAfterTheCheckFailsThatFileOnly) {
    Keys(kSigner);
    fp.FailWhen([this](const CallRecord& r) {
        if (r.call == Call::PlaceFile) Put(kPkg + "A.exe", "evil");
        return false;
    });
    RunWindow(fp, 1);
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/A.exe")), "old A");
    EXPECT_EQ(ReadFile(root.Native("c/TOVR/LIB/B.dll")), Data("B.dll"));
    const std::string log = ReadFile(root.Native("cwd/YRNUpdate.log"));
    EXPECT_NE(log.find(W("Сбой при замене файла: A.exe\r\n")), std::string::npos);
}

}  // namespace
}  // namespace yrn::test
