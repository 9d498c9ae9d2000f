// One time-stamped run log line, written and flushed through the POSIX backend.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include "ScratchDir.h"
#include "core/YRNUpdateFrm/RunLog.h"
#include "core/text.h"
#include "platform/posix/PosixPlatform.h"

namespace yrn::bench {
namespace {

class NullView : public UpdateView {
public:
    void AddLine(const std::string&) override {}
    void SetCaption(const std::string&) override {}
    void SetEndBtnEnabled(bool) override {}
    bool AskYesNo(const std::string&, const std::string&, bool) override { return true; }
    void PostToSelf(uint32_t, uintptr_t, intptr_t) override {}
    void Close() override {}
};

void BM_LogLine(benchmark::State& state) {
    ScratchDir dir;
    char here[4096];
    if (!::getcwd(here, sizeof here) || ::chdir(dir.Path().c_str()) != 0) {
        state.SkipWithError("no scratch directory");
        return;
    }
    {
        PosixPlatform platform(dir.Path());
        NullView view;
        RunLog log(platform, view);
        log.Start(W("Старт программы обновления ЮКСВЕЛ."));
        const std::string line = W("Обновление файла: ") + "F10042.exe";
        for (auto _ : state) log.File(line);
        log.Close();
    }
    if (::chdir(here) != 0) state.SkipWithError("cannot return to the working directory");
}
BENCHMARK(BM_LogLine)->UseRealTime();

}  // namespace
}  // namespace yrn::bench
