// The profile-file engine on a manifest of 1,000 file sections: reading a key
// (cached, and with the file loaded and parsed first) and writing one, in
// memory and durably on disk.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>

#include "ScratchDir.h"
#include "core/IniFile.h"
#include "platform/posix/PosixPlatform.h"

namespace yrn::bench {
namespace {

constexpr int kSections = 1000;

std::string FileName(int i) { return "F" + std::to_string(10000 + i) + ".exe"; }

std::string Manifest(int sections) {
    std::string text = "[ExeFiles]\r\nVersion=12\r\n[FILES]\r\n";
    for (int i = 0; i < sections; ++i) text += FileName(i) + "=\r\n";
    for (int i = 0; i < sections; ++i)
        text += "[" + FileName(i) + "]\r\nSDir=<default>\r\nCDir=C:\\TOVR\\BIN\r\nVersion=" + std::to_string(i) +
                "\r\nExecute=0\r\nParams=/s\r\n";
    return text;
}

// A manifest file in a scratch directory, read through the POSIX backend.
struct ManifestOnDisk {
    ManifestOnDisk() : platform(dir.Path()), path(dir.Path() + "/YRNUpdate.ini") { Reset(); }
    void Reset() { std::ofstream(path, std::ios::binary | std::ios::trunc) << Manifest(kSections); }
    ScratchDir dir;
    PosixPlatform platform;
    std::string path;
};

void BM_DocumentFind(benchmark::State& state) {
    const IniDocument doc(Manifest(kSections));
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(doc.Find(FileName(i), "Version"));
        i = (i + 7) % kSections;
    }
}
BENCHMARK(BM_DocumentFind);

void BM_DocumentParse(benchmark::State& state) {
    const std::string text = Manifest(kSections);
    for (auto _ : state) {
        IniDocument doc(text);
        benchmark::DoNotOptimize(doc.Find(FileName(kSections - 1), "Version"));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DocumentParse);

// A new section goes to the end of the text (an append); a new key of a file
// section goes after that section's last entry, in the middle of the text.
void BM_DocumentSet(benchmark::State& state) {
    const bool atEnd = state.range(0) != 0;
    IniDocument doc(Manifest(kSections));
    int i = 0;
    for (auto _ : state) {
        const std::string n = std::to_string(i++);
        benchmark::DoNotOptimize(atEnd ? doc.Set("New" + n, "Version", n) : doc.Set(FileName(i % kSections), "Key" + n, n));
    }
    state.SetLabel(atEnd ? "append" : "insert");
}
BENCHMARK(BM_DocumentSet)->Arg(1)->Arg(0);

void BM_IniFileReadCached(benchmark::State& state) {
    ManifestOnDisk disk;
    TIniFile ini(disk.platform, disk.path);
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ini.ReadInteger(FileName(i), "Version", 0));
        i = (i + 7) % kSections;
    }
}
BENCHMARK(BM_IniFileReadCached);

void BM_IniFileReadFirst(benchmark::State& state) {
    ManifestOnDisk disk;
    for (auto _ : state) {
        TIniFile ini(disk.platform, disk.path);
        benchmark::DoNotOptimize(ini.ReadInteger(FileName(kSections - 1), "Version", 0));
    }
}
BENCHMARK(BM_IniFileReadFirst)->Unit(benchmark::kMicrosecond);

// Durable writes: a new section at the end of the file is appended, a value
// in a file section in the middle rewrites the file.
void BM_IniFileWrite(benchmark::State& state) {
    const bool atEnd = state.range(0) != 0;
    ManifestOnDisk disk;
    TIniFile ini(disk.platform, disk.path);
    int i = 0;
    for (auto _ : state) {
        const std::string n = std::to_string(i++);
        ini.WriteString(atEnd ? "New" + n : FileName(i % kSections), "Version", n);
    }
    state.SetLabel(atEnd ? "append" : "rewrite");
}
BENCHMARK(BM_IniFileWrite)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace yrn::bench
