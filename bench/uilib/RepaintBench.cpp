// Full repaint of the main window (640 x 445) on the headless host, per frame; the same
// on a HiDPI screen (window scale 2: 1280 x 890 device pixels).
#include <benchmark/benchmark.h>

#include "bench/uilib/BenchApp.h"
#include "uilib/SHeadlessHost.h"
#include "uilib/SHostWnd.h"
#include "uilib/STabCtrl.h"

using namespace SOUI;

static void RepaintPage(benchmark::State& state, int scale) {
    SHeadlessHost host;
    host.SetWindowScale(scale);
    CBenchApp bench(&host);
    SHostWnd wnd(L"LAYOUT:XML_MAINWND");
    if (!wnd.Create()) {
        state.SkipWithError("main layout did not load");
        return;
    }
    auto* tab = wnd.FindChildByName2<STabCtrl>(L"tab_main");
    if (tab)
        tab->SetCurSel(static_cast<int>(state.range(0)));
    wnd.RenderAll();  // fonts and images load on the first frame
    for (auto _ : state)
        benchmark::DoNotOptimize(wnd.RenderAll());
    state.SetLabel("page " + std::to_string(state.range(0)));
}

// The three pages, nine repetitions each, medians and spread reported.
static void EachPage(benchmark::internal::Benchmark* b) {
    b->Arg(0)->Arg(1)->Arg(2)->Repetitions(9)->ReportAggregatesOnly(true);
    b->Unit(benchmark::kMillisecond);
}

static void BM_MainWindowFullRepaint(benchmark::State& state) {
    RepaintPage(state, 1);
}
BENCHMARK(BM_MainWindowFullRepaint)->Apply(EachPage);

static void BM_MainWindowFullRepaintScale2(benchmark::State& state) {
    RepaintPage(state, 2);
}
BENCHMARK(BM_MainWindowFullRepaintScale2)->Apply(EachPage);

BENCHMARK_MAIN();
