// Loading a setup must grow in step with its size: a setup of a million parameters
// loads in about a second, so nothing on the way (reading, parsing, duplicate checks,
// unit look-ups, the name index) may look at every parameter once per parameter. The
// counters show time per parameter: it stays flat from ten thousand to a million.
// Run one size alone to read its peak memory:
//   bench_setup --benchmark_filter='LoadSetupFile/1000000'

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "compute/sequences.h"
#include "compute/units_transmission.h"
#include "host/setup/setup_file.h"

namespace {

[[noreturn]] void Stop(const std::string& why) {
    std::fprintf(stderr, "%s\n", why.c_str());
    std::abort();
}

// One parameter of a generated setup, in the saved form. The kinds cycle through what
// a real setup holds (physical values with a display unit, unitless values, registers),
// names in mixed case (the duplicate check folds case) and values with many digits.
void WriteParameter(std::FILE* out, int i) {
    const double value = 0.1 + i * 1e-3;
    switch (i % 4) {
        case 0:
            std::fprintf(out,
                         R"({"name": "In_%d", "value": %.17g, "unit": "A", "show": "mA", )"
                         R"("min": 0.01, "max": 20000, "type": "real"})",
                         i, value);
            break;
        case 1:
            std::fprintf(out,
                         R"({"name": "POS_Max_%d", "value": %.17g, "unit": "rad", "show": "rot", )"
                         R"("min": -1e9, "max": 1e9, "type": "real"})",
                         i, value);
            break;
        case 2:
            std::fprintf(out,
                         R"({"name": "isMotorI2t_%d", "value": 1, "unit": "", "min": 0, )"
                         R"("max": 1, "type": "switch"})",
                         i);
            break;
        default:
            std::fprintf(out,
                         R"({"name": "KPI_%d", "value": %d, "min": -32768, "max": 32767, )"
                         R"("type": "option16"})",
                         i, i % 32768);
    }
}

// Writes a setup of `count` parameters to a file in the temporary folder, written as
// it is generated so that the benchmark's own memory stays small.
std::string WriteSetupFile(int count) {
    const std::string path =
        (std::filesystem::temp_directory_path() /
         ("orvex-bench-" + std::to_string(::getpid()) + "-" + std::to_string(count) + ".json"))
            .string();
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out) Stop("cannot write " + path);
    std::fputs(R"({"format": "orvex-setup", "version": 1, "parameters": [)", out);
    for (int i = 0; i < count; ++i) {
        std::fputs(i ? ",\n    " : "\n    ", out);
        WriteParameter(out, i);
    }
    std::fputs("\n  ]}\n", out);
    if (std::fclose(out) != 0) Stop("cannot write " + path);
    return path;
}

double PeakResidentMB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

void BM_LoadSetupFile(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string path = WriteSetupFile(count);
    for (auto _ : state) {
        auto r = axis::LoadSetupFile(path);
        if (!r.ok()) Stop(r.error);
        if (r.setup->GetParameters().GetParametersCount() != count) Stop("parameters lost");
        benchmark::DoNotOptimize(r.setup.get());
    }
    std::filesystem::remove(path);
    state.counters["per_parameter"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    // The peak of the whole process so far: meaningful when this size runs alone.
    state.counters["peak_MB"] = PeakResidentMB();
}
BENCHMARK(BM_LoadSetupFile)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);

// What `axishost compute` does with the demo setup before it writes its report: read
// the file, then bring every parameter up to date from the options. A faster loader
// for large setups must not make this common case slower.
void BM_ComputeDemoSetup(benchmark::State& state) {
    for (auto _ : state) {
        auto r = axis::LoadSetupFile(ORVEX_RESOURCE_DIR "/setups/demo.json");
        if (!r.ok()) Stop(r.error);
        orvex::InstallScaleProvider(r.setup.get());
        orvex::ComputeAllOptions(r.setup.get());
        benchmark::DoNotOptimize(r.setup.get());
    }
}
BENCHMARK(BM_ComputeDemoSetup)->Unit(benchmark::kMicrosecond);

// Look-ups by name, in other letter case than stored, in a large setup.
void BM_FindParameter(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string path = WriteSetupFile(count);
    const auto r = axis::LoadSetupFile(path);
    std::filesystem::remove(path);
    if (!r.ok()) Stop(r.error);
    int i = 0;
    for (auto _ : state) {
        const std::string name = "kpi_" + std::to_string(3 + 4 * (i++ % (count / 4)));
        benchmark::DoNotOptimize(r.setup->FindParameter(name));
    }
}
BENCHMARK(BM_FindParameter)->Arg(100)->Arg(1'000'000);

}  // namespace

BENCHMARK_MAIN();
