// The registry file: any bytes parse; the text written is stable under a
// second parse and keeps every key and value; values set through the
// accessors survive a write and a read.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "platform/posix/RegFile.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

bool SameValues(const yrn::RegFile& a, const yrn::RegFile& b) {
    if (a.keys.size() != b.keys.size()) return false;
    for (size_t i = 0; i < a.keys.size(); ++i) {
        const yrn::RegKeyData &x = a.keys[i], &y = b.keys[i];
        if (x.path != y.path || x.values.size() != y.values.size()) return false;
        for (size_t j = 0; j < x.values.size(); ++j) {
            const yrn::RegValue &v = x.values[j], &w = y.values[j];
            if (v.name != w.name || v.isDword != w.isDword) return false;
            if (v.isDword ? v.dword != w.dword : v.text != w.text) return false;
        }
    }
    return true;
}

std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string name = OneLine(in.ConsumeRandomLengthString(40));
    const std::string text = OneLine(in.ConsumeRandomLengthString(80));
    const uint32_t dword = in.ConsumeIntegral<uint32_t>();
    const bool asDword = in.ConsumeBool();
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    yrn::RegFile file = yrn::RegFile::Parse(bytes);
    const std::string written = file.Text();
    yrn::RegFile back = yrn::RegFile::Parse(written);
    Check(SameValues(file, back));
    Check(back.Text() == written);

    const std::string path = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update";
    yrn::RegKeyData& key = back.AddKey(path);
    if (asDword) yrn::RegFile::SetDword(key, name, dword);
    else yrn::RegFile::SetString(key, name, text);
    yrn::RegFile reread = yrn::RegFile::Parse(back.Text());
    yrn::RegKeyData* k = reread.FindKey(path);
    Check(k != nullptr);
    yrn::RegValue* v = yrn::RegFile::FindValue(*k, name);
    Check(v != nullptr && v->isDword == asDword);
    Check(asDword ? v->dword == dword : v->text == text);
    return 0;
}
