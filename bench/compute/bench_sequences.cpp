// Speed of the setup computation on the demo setup. The editor runs the forward and
// the read-back sequence back to back after every change, so the pair must stay far
// inside an interactive budget (well under 1 ms).

#include <benchmark/benchmark.h>

#include <cstdio>

#include "compute/sequences.h"
#include "compute/units_transmission.h"
#include "host/setup/setup_file.h"

namespace {

std::unique_ptr<CMC_Setup> Demo() {
    auto r = axis::LoadSetupFile(ORVEX_RESOURCE_DIR "/setups/demo.json");
    if (!r.ok()) {
        std::fprintf(stderr, "%s\n", r.error.c_str());
        std::abort();
    }
    orvex::InstallScaleProvider(r.setup.get());
    return std::move(r.setup);
}

void BM_ForwardSequence(benchmark::State& state) {
    auto s = Demo();
    for (auto _ : state) orvex::ComputeOptionsFromParameters(s.get());
}
BENCHMARK(BM_ForwardSequence)->Unit(benchmark::kMicrosecond);

void BM_ReadBackSequence(benchmark::State& state) {
    auto s = Demo();
    for (auto _ : state) orvex::ReadBackParametersFromOptions(s.get());
}
BENCHMARK(BM_ReadBackSequence)->Unit(benchmark::kMicrosecond);

void BM_RoundTrip(benchmark::State& state) {
    auto s = Demo();
    for (auto _ : state) {
        orvex::ComputeOptionsFromParameters(s.get());
        orvex::ReadBackParametersFromOptions(s.get());
    }
}
BENCHMARK(BM_RoundTrip)->Unit(benchmark::kMicrosecond);

void BM_ComputeAllOptions(benchmark::State& state) {
    auto s = Demo();
    for (auto _ : state) orvex::ComputeAllOptions(s.get());
}
BENCHMARK(BM_ComputeAllOptions)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
