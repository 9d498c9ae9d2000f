// The registry file: any bytes parse and are written back exactly; a value
// set through the accessors survives a write and a read, and every other
// value keeps its type and contents.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "platform/posix/RegFile.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
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
    Check(file.Text() == bytes);

    const std::string path = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenbrit\\YRN\\Update";
    yrn::RegKeyData& key = file.AddKey(path);
    if (asDword) yrn::RegFile::SetDword(key, name, dword);
    else yrn::RegFile::SetString(key, name, text);
    yrn::RegFile reread = yrn::RegFile::Parse(file.Text());
    yrn::RegKeyData* k = reread.FindKey(path);
    Check(k != nullptr);
    yrn::RegValue* v = yrn::RegFile::FindValue(*k, name);
    Check(v != nullptr && (v->type == yrn::RegType::Dword) == asDword);
    Check(asDword ? v->dword == dword : v->text == text);
    yrn::RegFile original = yrn::RegFile::Parse(bytes);
    yrn::RegKeyData& was = original.AddKey(path);
    for (yrn::RegValue& before : was.values) {
        // Only the value a name finds (the first of its name) is compared.
        if (!before.named || yrn::RegFile::FindValue(was, before.name) != &before ||
            yrn::RegFile::FindValue(*k, before.name) == v)
            continue;
        yrn::RegValue* after = yrn::RegFile::FindValue(*k, before.name);
        Check(after && after->type == before.type && after->text == before.text && after->dword == before.dword);
    }
    return 0;
}
