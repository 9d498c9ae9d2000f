// What yrnpack check finds in a package directory: the station's view of
// its manifest, as "error: ..." and "warning: ..." lines, and per
// installation type the files it would install.
#pragma once

#include <string>
#include <vector>

#include "core/platform.h"

namespace yrn {

struct PackageReport {
    std::vector<std::string> errors, warnings;  // without their "error: " / "warning: "
    std::vector<std::string> installs;          // "server: A.exe -> <default>", in type and file order
};

// dir: the package directory, ending in a separator, as the platform names
// it. keys: a PackageKeys text the signature must verify under; empty: the
// signature is not checked. text: the manifest to check instead of the
// one on disk (its hashes and signature then left out).
PackageReport CheckPackageDir(Platform& platform, const std::string& dir, const std::string& keys,
                              const std::string* text = nullptr);

}  // namespace yrn
