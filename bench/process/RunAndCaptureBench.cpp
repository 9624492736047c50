// Capturing a child's output with RunAndCapture, side by side with the same child piped
// into `cat > /dev/null` by the shell, and the time from a child's exit to the call's
// return. Run: build/bench/bench/process/bench_run_and_capture
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Module.h"
#include "platform/Text.h"
#include "sys/ProcessControl.h"

namespace {

constexpr long long kBytes = 100LL << 20;

uint64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

std::wstring Self() {
    return L"\"" + platform::GetModuleFileName() + L"\"";
}

// Child modes of this same program.
int WriteBytes(long long total) {
    std::vector<char> chunk(1 << 16, 'a');
    while (total > 0) {
        size_t n =
            static_cast<size_t>(std::min<long long>(total, static_cast<long long>(chunk.size())));
        ssize_t w = ::write(STDOUT_FILENO, chunk.data(), n);
        if (w <= 0)
            return 1;
        total -= w;
    }
    return 0;
}

int PrintExitStamp() {
    std::printf("%llu", static_cast<unsigned long long>(MonotonicNs()));
    std::fflush(stdout);
    return 0;
}

void BM_RunAndCapture100MiB(benchmark::State& state) {
    std::wstring cmd = Self() + L" --write " + std::to_wstring(kBytes);
    for (auto _ : state) {
        std::wstring out;
        uint32_t code = 1;
        bool ok = RunAndCapture(cmd, out, code, 600000);
        if (!ok || out.size() != static_cast<size_t>(kBytes))
            state.SkipWithError("capture failed");
    }
    state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_ShellPipeToCat100MiB(benchmark::State& state) {
    std::string cmd = "\"" + platform::WideToUtf8(platform::GetModuleFileName()) + "\" --write " +
                      std::to_string(kBytes) + " | cat > /dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("pipe failed");
    }
    state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_ExitToReturn(benchmark::State& state) {
    std::wstring cmd = Self() + L" --stamp";
    for (auto _ : state) {
        std::wstring out;
        uint32_t code = 1;
        RunAndCapture(cmd, out, code, 60000);
        uint64_t returned = MonotonicNs();
        uint64_t exited = std::wcstoull(out.c_str(), nullptr, 10);
        state.SetIterationTime(static_cast<double>(returned - exited) / 1e9);
    }
}

}  // namespace

BENCHMARK(BM_RunAndCapture100MiB)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ShellPipeToCat100MiB)->Unit(benchmark::kMillisecond)->Iterations(5);
// One call per repetition, so the aggregate "median" is the median call.
BENCHMARK(BM_ExitToReturn)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(1)
    ->Repetitions(101)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write") == 0)
        return WriteBytes(std::atoll(argv[2]));
    if (argc == 2 && std::strcmp(argv[1], "--stamp") == 0)
        return PrintExitStamp();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
