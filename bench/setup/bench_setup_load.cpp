// Loading a setup must grow in step with its size: a setup of a million parameters
// loads in about a second, so nothing on the way (reading, parsing, duplicate checks,
// unit look-ups, the name index) may look at every parameter once per parameter. The
// counters show time per parameter, which stays flat from ten thousand to a million,
// and the peak memory of the process while each size loads (peak_MB; held_MB is what
// the loaded setup keeps). For comparison, JsonOnly is the parser alone on the same
// file with no model built: the floor the loader stands on.
//   bench_setup --benchmark_filter='LoadSetupFile|JsonOnly'

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "compute/sequences.h"
#include "compute/units_transmission.h"
#include "host/setup/setup_file.h"
#include "util/json/json_reader.h"

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

// A line of /proc/self/status in MiB ("VmHWM": peak resident, "VmRSS": resident now).
double StatusMB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::atof(line.c_str() + field.size() + 1) / 1024;
    return 0;
}

// Starts a new peak of resident memory, so that each size reports its own (Linux: writing
// 5 to clear_refs resets VmHWM to the current resident size).
void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_LoadSetupFile(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string path = WriteSetupFile(count);
    ResetPeakMemory();
    const double before_MB = StatusMB("VmRSS");
    double held_MB = 0;
    for (auto _ : state) {
        auto r = axis::LoadSetupFile(path);
        if (!r.ok()) Stop(r.error);
        if (r.setup->GetParameters().GetParametersCount() != count) Stop("parameters lost");
        held_MB = StatusMB("VmRSS") - before_MB;
        benchmark::DoNotOptimize(r.setup.get());
    }
    std::filesystem::remove(path);
    state.counters["per_parameter"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["peak_MB"] = StatusMB("VmHWM");
    state.counters["held_MB"] = held_MB;
}
BENCHMARK(BM_LoadSetupFile)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond);

// The same file through the JSON reader alone, every value received and dropped.
class DropEvents final : public orvex::json::Events {
  public:
    void Null() override {}
    void Boolean(bool) override {}
    void Integer(std::int64_t) override {}
    void Unsigned(std::uint64_t) override {}
    void Float(double) override {}
    void String(std::string&) override {}
    void StartObject() override {}
    void Key(std::string&) override {}
    void EndObject() override {}
    void StartArray() override {}
    void EndArray() override {}
};

void BM_JsonOnly(benchmark::State& state) {
    const std::string path = WriteSetupFile(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        DropEvents events;
        std::string reason, fault;
        if (!orvex::json::ReadFileEvents(path, {.fold_case = true}, events, reason, fault) ||
            !fault.empty())
            Stop(reason + fault);
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_JsonOnly)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

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
