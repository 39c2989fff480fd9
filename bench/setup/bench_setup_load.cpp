// Loading a setup must grow in step with its size: a setup of a million parameters
// loads in about a second, so nothing on the way (parsing, duplicate checks, the
// name index) may look at every parameter once per parameter. The counters show
// time per parameter: it stays flat from ten thousand to a million.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/setup/setup_file.h"

namespace {

// A setup file of `count` parameters named as a setup names them, mixed case
// included (the duplicate check folds case).
std::string SetupText(int count) {
    std::string text = R"({"format": "orvex-setup", "version": 1, "parameters": [)";
    for (int i = 0; i < count; ++i) {
        text += i ? ",\n" : "\n";
        text += R"(  {"name": "Param_)" + std::to_string(i) +
                R"(", "value": 1.5, "unit": "A", "min": 0, "max": 20, "type": "real"})";
    }
    text += "\n]}\n";
    return text;
}

void BM_LoadSetup(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string text = SetupText(count);
    for (auto _ : state) {
        auto r = axis::ParseSetup(text);
        if (!r.ok()) {
            std::fprintf(stderr, "%s\n", r.error.c_str());
            std::abort();
        }
        benchmark::DoNotOptimize(r.setup.get());
    }
    state.counters["per_parameter"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_LoadSetup)
    ->Arg(10'000)
    ->Arg(40'000)
    ->Arg(160'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);

// Look-ups by name, in other letter case than stored, in a large setup.
void BM_FindParameter(benchmark::State& state) {
    const auto r = axis::ParseSetup(SetupText(static_cast<int>(state.range(0))));
    int i = 0;
    for (auto _ : state) {
        const std::string name = "PARAM_" + std::to_string(i++ % state.range(0));
        benchmark::DoNotOptimize(r.setup->FindParameter(name));
    }
}
BENCHMARK(BM_FindParameter)->Arg(100)->Arg(1'000'000);

}  // namespace

BENCHMARK_MAIN();
