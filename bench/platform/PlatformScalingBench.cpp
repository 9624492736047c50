// How the registry store and the INI functions scale with the size of their files: opening a
// hive whose one key holds 10,000, 100,000 or 200,000 values (parsed anew each time; the last
// shows the growth once the tree no longer fits the CPU caches), a query on a hive that did not
// change (served from memory), and a lookup of the last key of a 5 or 10 MB INI file. Run:
// build/bench/bench/platform/bench_platform_scaling
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

namespace {

using TempFolder = qitest::TempDir;

std::string HiveText(int values) {
    std::string text =
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Bench]\n";
    for (int i = 0; i < values; ++i)
        text += "\"Value" + std::to_string(i) + "\"=\"some text " + std::to_string(i) + "\"\n";
    return text;
}

// Reads the last value of the key, which is what an open of the hive costs at worst.
void QueryLast(int values) {
    platform::HKEY key = nullptr;
    if (platform::RegOpenKeyExW(platform::HKEY_CURRENT_USER, L"Software\\Bench", 0,
                                platform::KEY_READ, &key) != platform::ERROR_SUCCESS)
        return;
    std::wstring name = L"value" + std::to_wstring(values - 1);
    uint32_t size = 0;
    platform::RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, &size);
    benchmark::DoNotOptimize(size);
    platform::RegCloseKey(key);
}

void BM_HiveOpen(benchmark::State& state) {
    const int values = static_cast<int>(state.range(0));
    TempFolder dir;
    ::setenv("QI_REGISTRY_DIR", dir.Path().c_str(), 1);
    std::string file = dir.Path() + "/user.reg";
    std::ofstream(file, std::ios::binary) << HiveText(values);
    long stamp = 1000000000;
    for (auto _ : state) {
        // A changed file is parsed again; an old time keeps it from counting as just written.
        state.PauseTiming();
        struct timespec times[2] = {{++stamp, 0}, {stamp, 0}};
        ::utimensat(AT_FDCWD, file.c_str(), times, 0);
        state.ResumeTiming();
        QueryLast(values);
    }
    state.counters["values"] = values;
}
BENCHMARK(BM_HiveOpen)->Arg(10000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_HiveQueryUnchanged(benchmark::State& state) {
    const int values = static_cast<int>(state.range(0));
    TempFolder dir;
    ::setenv("QI_REGISTRY_DIR", dir.Path().c_str(), 1);
    std::string file = dir.Path() + "/user.reg";
    std::ofstream(file, std::ios::binary) << HiveText(values);
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};  // settled: trusted in memory
    ::utimensat(AT_FDCWD, file.c_str(), old, 0);
    QueryLast(values);
    for (auto _ : state)
        QueryLast(values);
}
BENCHMARK(BM_HiveQueryUnchanged)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_IniLookup(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0)) << 20;
    TempFolder dir;
    std::string file = dir.Path() + "/big.ini";
    std::string text;
    for (int section = 0; text.size() < bytes; ++section) {
        text += "[Section" + std::to_string(section) + "]\n";
        for (int k = 0; k < 20; ++k)
            text += "key" + std::to_string(k) + " = value of key " + std::to_string(k) + "\n";
    }
    text += "[Last]\nwanted=found\n";
    std::ofstream(file, std::ios::binary) << text;
    std::wstring path = platform::PathFromNarrow(file);
    wchar_t buffer[64];
    for (auto _ : state) {
        uint32_t n =
            platform::GetPrivateProfileStringW(L"Last", L"wanted", L"", buffer, 64, path.c_str());
        benchmark::DoNotOptimize(n);
    }
    state.counters["MB"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_IniLookup)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
