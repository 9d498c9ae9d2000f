// The envelopes of keys, signatures and digests: any bytes are refused or
// read without a fault, and what is read is what was written.
#include <cstdlib>
#include <string>

#include "core/KeyEnvelope.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (auto point = yrn::P256PointFromSpki(bytes)) Check(point->size() == 64 && bytes.size() == 91);
    if (auto rs = yrn::P256SignatureRs(bytes)) Check(rs->size() == 64 && bytes.size() >= 8 && bytes.size() <= 72);
    if (auto decoded = yrn::Base64Decode(bytes)) Check(yrn::Base64Encode(*decoded) == bytes);
    Check(yrn::Base64Decode(yrn::Base64Encode(bytes)) == bytes);
    if (auto digest = yrn::Sha256FromHex(bytes)) Check(yrn::HexLower(*digest).size() == 64);
    size_t tokens = 0;
    Check(yrn::ParsePackageKeys(bytes, tokens).size() <= tokens);
    return 0;
}
