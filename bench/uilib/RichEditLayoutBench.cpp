// Layout of the program's Chinese licence in the rich edit at the licence page's width, on
// the headless host: a whole document (measuring every run and breaking its lines), and
// breaking the lines again at another width.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "uilib/SHostWnd.h"
#include "uilib/SRichEdit.h"
#include "uilib/testing/SUiTestEnv.h"

using namespace SOUI;

static std::string ReadLicence() {
    std::string data;
    if (FILE* f = std::fopen(QI_BENCH_LICENCE_RTF, "rb")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            data.append(buf, n);
        std::fclose(f);
    }
    return data;
}

static void BM_LicenceLayout(benchmark::State& state) {
    const bool whole = state.range(0) != 0;
    const std::string rtf = ReadLicence();
    uitest::SUiTestEnv env;
    env.Add("RTF", "licence", rtf);
    // The licence page's rich edit: 584 pixels wide.
    env.Add("LAYOUT", "page", R"(<SOUI width="584" height="337"><root>
        <richedit name="re" pos="0,0,-0,-0" rtf="RTF:licence" font="face:微软雅黑,adding:-2"/>
      </root></SOUI>)");
    env.Commit();
    SHostWnd wnd(L"LAYOUT:page");
    auto* re = wnd.Create() ? wnd.FindChildByName2<SRichEdit>(L"re") : nullptr;
    if (rtf.empty() || !re) {
        state.SkipWithError("the licence did not load");
        return;
    }
    benchmark::DoNotOptimize(re->GetContentHeight());
    for (auto _ : state) {
        if (whole)
            re->SetRtf(rtf);
        else
            re->UpdateChildrenPosition();  // the width changed: break the lines again
        benchmark::DoNotOptimize(re->GetContentHeight());
    }
    state.SetLabel(whole ? "whole document" : "lines only");
}
BENCHMARK(BM_LicenceLayout)
    ->Arg(1)
    ->Arg(0)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
