// yrnpack: checks, hashes and signs the update packages the stations install.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "KeyFile.h"
#include "ManifestEdit.h"
#include "PackageReport.h"
#include "core/DurableFiles.h"
#include "core/IniFile.h"
#include "core/KeyEnvelope.h"
#include "core/YRNUpdateFrm/PackageCheck.h"
#include "core/text.h"
#include "platform/posix/PosixPlatform.h"

namespace yrn {
namespace {

constexpr const char* kUsage =
    "usage: yrnpack check DIR [--key KEY]...   report what a station makes of the package in DIR\n"
    "       yrnpack sign DIR KEY.pem           write each file's SHA256 into DIR/YRNUpdate.ini, sign it\n"
    "       yrnpack keygen KEY.pem             write a new P-256 private key; print its PackageKeys line\n"
    "       yrnpack verify DIR KEYS            decide as a station whose PackageKeys is KEYS\n"
    "KEY and KEYS: a PEM key file, or PackageKeys text (base64 keys separated by blanks or \";\").\n"
    "Exit status: 0 no error (accepted), 1 an error (refused), 2 a wrong command line.\n";

int Usage() {
    std::cerr << kUsage;
    return 2;
}

void Say(const std::string& line) { std::cout << Cp1251ToUtf8(line) << "\n"; }

// The package directory as the platform names it: absolute, 1251, ending in "/".
std::string PackageDir(const std::string& arg) {
    std::string dir = Utf8To1251(std::filesystem::absolute(arg).lexically_normal().string());
    return dir.back() == '/' ? dir : dir + "/";
}

// A KEY argument as PackageKeys text: a PEM file's key, else the text itself.
bool KeysText(const std::string& arg, std::string& keys) {
    if (!std::filesystem::is_regular_file(arg)) return keys += " " + arg, true;
    const std::optional<std::string> key = PackageKeyOfPem(arg);
    if (!key) std::cerr << "yrnpack: " << arg << " holds no P-256 key\n";
    return key ? (keys += " " + *key, true) : false;
}

int PrintReport(const PackageReport& report) {
    for (const std::string& e : report.errors) Say("error: " + e);
    for (const std::string& w : report.warnings) Say("warning: " + w);
    for (const std::string& i : report.installs) Say(i);
    return report.errors.empty() ? 0 : 1;
}

int Check(PosixPlatform& platform, const std::vector<std::string>& args) {
    std::string keys;
    for (size_t i = 3; i < args.size(); i += 2)
        if (args[i] != "--key" || i + 1 == args.size() || !KeysText(args[i + 1], keys)) return Usage();
    return PrintReport(CheckPackageDir(platform, PackageDir(args[2]), keys));
}

int Sign(PosixPlatform& platform, const std::string& dir, const std::string& pem) {
    std::string text;
    if (!platform.ReadWholeFile(dir + "YRNUpdate.ini", text)) return PrintReport(CheckPackageDir(platform, dir, ""));
    for (const std::string& N : IniDocument(text).Keys("FILES")) {
        std::string digest;
        if (platform.FileExists(dir + N) && platform.FileSha256(dir + N, digest))
            text = WithValue(text, N, "SHA256", HexLower(digest));
    }
    const PackageReport report = CheckPackageDir(platform, dir, "", &text);
    if (!report.errors.empty()) return PrintReport(report);
    std::string packageKey;
    const std::optional<std::string> signature = SignWithKey(pem, text, packageKey);
    if (!signature) {
        Say("error: " + pem + " holds no P-256 private key");
        return 1;
    }
    if (!platform.Files().WriteWholeFile(dir + "YRNUpdate.ini", text) ||
        !platform.Files().WriteWholeFile(dir + "YRNUpdate.sig", *signature)) {
        Say("error: cannot write into " + dir);
        return 1;
    }
    Say("signed: " + dir + "YRNUpdate.sig");
    Say("PackageKeys: " + packageKey);
    return 0;
}

int Verify(PosixPlatform& platform, const std::string& dir, const std::string& arg) {
    std::string keys;
    if (!KeysText(arg, keys)) return Usage();
    size_t written = 0;
    const size_t valid = ParsePackageKeys(keys, written).size();
    try {
        CheckPackage(platform, dir, keys);
    } catch (const PackageRefused& e) {
        Say("refused: " + std::string(e.what()).substr(std::string("Package refused: ").size()));
        return 1;
    }
    Say(valid > 0 ? "accepted: YRNUpdate.sig verifies under a key given and every file carries its SHA256"
                  : "accepted: no key given; every SHA256 the manifest gives matches");
    return 0;
}

int Run(const std::vector<std::string>& args) {
    PosixPlatform platform("/");
    const std::string command = args.size() > 1 ? args[1] : "";
    if (command == "check" && args.size() >= 3) return Check(platform, args);
    if (command == "sign" && args.size() == 4) return Sign(platform, PackageDir(args[2]), args[3]);
    if (command == "verify" && args.size() == 4) return Verify(platform, PackageDir(args[2]), args[3]);
    if (command != "keygen" || args.size() != 3) return Usage();
    const std::optional<std::string> key = GenerateKey(args[2]);
    if (!key) {
        std::cerr << "yrnpack: cannot write a new key to " << args[2] << " (it must not exist yet)\n";
        return 1;
    }
    std::cout << *key << "\n";
    return 0;
}

}  // namespace
}  // namespace yrn

int main(int argc, char** argv) { return yrn::Run(std::vector<std::string>(argv, argv + argc)); }
