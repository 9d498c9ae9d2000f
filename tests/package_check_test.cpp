// The package check at the start of an update run, on the signed package of
// tests/data/signed: what it accepts installs; anything else is refused with
// nothing changed but the run log. Each run's window, files and log are a
// golden file.
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "support/dialog_ScriptedUI.h"

namespace yrn::test {
namespace {

const std::string kData = YRN_TEST_DATA "/signed/";
const std::string kPkg = "c/TOVR/UPDATE/";

std::string Data(std::string name) { return ReadFile(kData + name); }

class PackageCheck;
struct CheckCase {
    std::string name;
    // the registry's "PackageKeys" value; none if empty
    std::string keys;
    std::function<void(PackageCheck&)> setup = {};
};

class PackageCheck : public FilesTest, public testing::WithParamInterface<CheckCase> {
public:
    PackageCheck() {
        for (auto name : {"YRNUpdate.ini", "YRNUpdate.sig", "A.exe", "B.dll"}) Put(kPkg + name, Data(name));
        Put("c/TOVR/A.exe", "old A");
        Put("c/TOVR/LIB/.keep", "");
        Put("c/TOVR/FromOffice/.keep", "");
    }
    std::string Pkg(std::string name) { return root.Native(kPkg + name); }
    void Unsign() { std::filesystem::remove(Pkg("YRNUpdate.sig")); }
    void Flip(std::string name, size_t at) {
        auto bytes = ReadFile(Pkg(name));
        bytes.at(at) ^= 1;
        Put(kPkg + name, bytes);
    }
    // The manifest rewritten and signed again by the signer, as openssl does.
    void Resign(std::string manifest) {
        Put(kPkg + "YRNUpdate.ini", manifest);
        auto cmd = "openssl dgst -sha256 -sign '" + kData + "signer.pem' -out '" + Pkg("YRNUpdate.sig") + "' '" + Pkg("YRNUpdate.ini") + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        resigned = ReadFile(Pkg("YRNUpdate.sig"));
    }
    // A fresh signature differs from run to run: checked unchanged, then shown as a mark.
    std::string resigned;
};

TEST_P(PackageCheck, RefusesAllOrInstalls) {
    auto& c = GetParam();
    if (!c.keys.empty()) Reg({"\"PackageKeys\"=" + c.keys});
    if (c.setup) c.setup(*this);
    auto view = RunWindow(fp, 1);
    if (!resigned.empty()) {
        EXPECT_EQ(ReadFile(Pkg("YRNUpdate.sig")), resigned);
        Put(kPkg + "YRNUpdate.sig", "<signed again>");
    }
    auto sets = ListDir(Pkg("NewFiles"));
    ExpectGolden(RunReport(root, view, sets.empty() ? "" : sets[0]), "package_check_" + c.name + ".txt");
}

const std::string kSigner = "\"" + Data("signer.key") + "\"";

const CheckCase kCases[] = {
    {"SignedUnderItsKey", kSigner},
    // Signed under the second of two keys.
    {"SecondOfTwoKeys", "\"" + Data("other.key") + "; " + Data("signer.key") + "\""},
    {"UnsignedWithoutKeys", "", [](auto& t) { t.Unsign(); }},
    {"FileByteChanged", kSigner, [](auto& t) { t.Flip("B.dll", 4); }},
    {"FileByteChangedWithoutKeys", "", [](auto& t) { t.Flip("A.exe", 0); }},
    {"ManifestByteChanged", kSigner, [](auto& t) { t.Flip("YRNUpdate.ini", 20); }},
    {"SignatureByteChanged", kSigner, [](auto& t) { t.Flip("YRNUpdate.sig", 60); }},
    {"KeyOfAnotherSigner", "\"" + Data("other.key") + "\""},
    {"SignatureMissing", kSigner, [](auto& t) { t.Unsign(); }},
    {"GarbageKeys", "\"garbage;" + Data("signer.key").substr(0, 40) + "\""},
    {"KeysNotText", "dword:00000001"},
    {"SignedFileWithoutHash", kSigner, [](auto& t) {
         auto m = Data("YRNUpdate.ini");
         t.Resign(m.erase(m.find("SHA256=3B"), 73));
     }},
    {"HashNotHex", "", [](auto& t) { t.Put(kPkg + "YRNUpdate.ini", Data("YRNUpdate.ini").replace(90, 1, "g")); }},
    // A file swapped after the check: its copy fails and the installed file stays; the others install.
    {"FileSwapped", kSigner, [](auto& t) {
         t.fp.FailWhen([&t](auto& r) {
             if (r.call == Call::CopyToTemp) t.Put(kPkg + "A.exe", "evil");
             return false;
         });
     }},
    // The manifest swapped right after the check read it: the run goes by the bytes it checked.
    {"ManifestSwapped", kSigner, [](auto& t) {
         t.fp.AfterCall([&t](auto& r) {
             if (r.call == Call::ReadWholeFile && r.arg.ends_with("YRNUpdate.ini")) t.Put(kPkg + "YRNUpdate.ini", "[FILES]\r\n");
         });
     }}};
INSTANTIATE_TEST_SUITE_P(Run, PackageCheck, testing::ValuesIn(kCases), kCaseName);

}
}
