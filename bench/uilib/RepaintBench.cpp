// Full repaint of the main window (640 x 445) on the headless host, per frame.
#include <benchmark/benchmark.h>

#include "bench/uilib/BenchApp.h"
#include "uilib/SHeadlessHost.h"
#include "uilib/SHostWnd.h"
#include "uilib/STabCtrl.h"

using namespace SOUI;

static void BM_MainWindowFullRepaint(benchmark::State& state) {
    SHeadlessHost host;
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
BENCHMARK(BM_MainWindowFullRepaint)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
