// The package check at the start of an update run, on the signed package of
// tests/data/signed: what it accepts installs; anything else is refused with
// nothing changed but the run log. Each run's window, files and log are a
// golden file.
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "support/FaultPlatform.h"
#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

const std::string kData = YRN_TEST_DATA "/signed/";
const std::string kPkg = "c/TOVR/UPDATE/";

class PackageCheck;
struct CheckCase {
    const char* name;
    std::function<void(PackageCheck&)> setup;
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
    std::string Pkg(const std::string& name) const { return root.Native(kPkg + name); }
    void Unsign() { std::filesystem::remove(Pkg("YRNUpdate.sig")); }
    void Put(const std::string& rel, const std::string& bytes) { WriteFile(root.Native(rel), bytes); }
    void Keys(const std::string& value) {
        Put("registry.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update]\r\n\"PackageKeys\"=" +
                                value + "\r\n\r\n");
    }
    void Flip(const std::string& name, size_t at) {
        std::string bytes = ReadFile(Pkg(name));
        bytes.at(at) ^= 1;
        Put(kPkg + name, bytes);
    }
    // The manifest rewritten and signed again by the signer, as openssl does.
    void Resign(const std::string& manifest) {
        Put(kPkg + "YRNUpdate.ini", manifest);
        const std::string cmd = "openssl dgst -sha256 -sign '" + kData + "signer.pem' -out '" + Pkg("YRNUpdate.sig") + "' '" +
                                Pkg("YRNUpdate.ini") + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        resigned = ReadFile(Pkg("YRNUpdate.sig"));
    }
    // A fresh signature differs from run to run: checked unchanged, then shown as a mark.
    std::string resigned;
    FaultPlatform fp{platform};
};

const std::string kSigner = "\"" + PackageCheck::Data("signer.key") + "\"";

TEST_P(PackageCheck, RefusesAllOrInstalls) {
    GetParam().setup(*this);
    const RecordingView view = RunWindow(fp, 1);
    if (!resigned.empty()) {
        EXPECT_EQ(ReadFile(Pkg("YRNUpdate.sig")), resigned);
        Put(kPkg + "YRNUpdate.sig", "<signed again>");
    }
    const std::vector<std::string> sets = ListDir(Pkg("NewFiles"));
    ExpectGolden(RunReport(root, view, sets.empty() ? "" : sets[0]), "package_check_" + std::string(GetParam().name) + ".txt");
}

const CheckCase kCases[] = {
    {"SignedUnderItsKey", [](PackageCheck& t) { t.Keys(kSigner); }},
    {"SignedUnderTheSecondOfTwoKeys", [](PackageCheck& t) { t.Keys("\"" + t.Data("other.key") + "; " + t.Data("signer.key") + "\""); }},
    {"UnsignedWithoutKeys", [](PackageCheck& t) { t.Unsign(); }},
    {"FileByteChanged", [](PackageCheck& t) { t.Keys(kSigner); t.Flip("B.dll", 4); }},
    {"FileByteChangedWithoutKeys", [](PackageCheck& t) { t.Flip("A.exe", 0); }},
    {"ManifestByteChanged", [](PackageCheck& t) { t.Keys(kSigner); t.Flip("YRNUpdate.ini", 20); }},
    {"SignatureByteChanged", [](PackageCheck& t) { t.Keys(kSigner); t.Flip("YRNUpdate.sig", 60); }},
    {"KeyOfAnotherSigner", [](PackageCheck& t) { t.Keys("\"" + t.Data("other.key") + "\""); }},
    {"SignatureMissing", [](PackageCheck& t) { t.Keys(kSigner); t.Unsign(); }},
    {"GarbageKeys", [](PackageCheck& t) { t.Keys("\"garbage;" + t.Data("signer.key").substr(0, 40) + "\""); }},
    {"KeysNotText", [](PackageCheck& t) { t.Keys("dword:00000001"); }},
    {"SignedFileWithoutHash", [](PackageCheck& t) {
         t.Keys(kSigner);
         std::string m = t.Data("YRNUpdate.ini");
         t.Resign(m.erase(m.find("SHA256=3B"), 73));
     }},
    {"HashNotHex", [](PackageCheck& t) { t.Put(kPkg + "YRNUpdate.ini", t.Data("YRNUpdate.ini").replace(90, 1, "g")); }},
    // A file swapped after the check: its copy fails and the installed file stays; the others install.
    {"FileSwappedAfterTheCheck", [](PackageCheck& t) {
         t.Keys(kSigner);
         t.fp.FailWhen([&t](const CallRecord& r) {
             if (r.call == Call::CopyToTemp) t.Put(kPkg + "A.exe", "evil");
             return false;
         });
     }},
    // The manifest swapped right after the check read it: the run goes by the bytes it checked.
    {"ManifestSwappedAfterTheCheck", [](PackageCheck& t) {
         t.Keys(kSigner);
         t.fp.AfterCall([&t](const CallRecord& r) {
             if (r.call == Call::ReadWholeFile && r.arg.ends_with("YRNUpdate.ini")) t.Put(kPkg + "YRNUpdate.ini", "[FILES]\r\n");
         });
     }}};
INSTANTIATE_TEST_SUITE_P(Run, PackageCheck, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace yrn::test
