// Creation of a window from a layout nested 128 and 256 levels deep (a chain of windows
// with one leaf), on the headless host. Linear creation gives a ratio near 2.
#include <benchmark/benchmark.h>

#include <string>

#include "uilib/SHostWnd.h"
#include "uilib/testing/SUiTestEnv.h"

using namespace SOUI;

static std::string NestedLayout(int depth) {
    std::string xml = R"(<SOUI width="100" height="100"><root>)";
    for (int i = 0; i < depth; ++i)
        xml += R"(<window pos="1,1,-1,-1" colorBkgnd="#ffffff">)";
    xml += R"(<text pos="0,0,10,10">x</text>)";
    for (int i = 0; i < depth; ++i)
        xml += "</window>";
    return xml + "</root></SOUI>";
}

static void BM_CreateNestedLayout(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    uitest::SUiTestEnv env;
    // The leaf and <root> take two of the allowed levels.
    env.Add("LAYOUT", "nested", NestedLayout(depth - 2));
    env.Commit();
    for (auto _ : state) {
        SHostWnd wnd(L"LAYOUT:nested");
        if (!wnd.Create()) {
            state.SkipWithError("layout refused");
            return;
        }
        benchmark::DoNotOptimize(wnd.GetChildrenCount());
    }
    state.SetLabel("depth " + std::to_string(depth));
}
BENCHMARK(BM_CreateNestedLayout)
    ->Arg(128)
    ->Arg(256)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
