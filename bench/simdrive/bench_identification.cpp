// Identification accuracy on the motor zoo: runs every identification program on
// every zoo motor through the simulated drive, evaluates with the module's formulas
// on each motor's setup and prints one table (identified value, truth, error,
// simulated duration). Then times one whole motor's identification per benchmark.
//
// The programs are run the way the module's test dialogs run them (inputs, logger
// settings, formulas); the headless test runner of the host is not used yet.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

#include "zoo_runner.h"

namespace {

using orvex::sim::zoo::Identify;
using orvex::sim::zoo::Measurement;
using orvex::sim::zoo::Motors;

void PrintTable() {
    std::printf("%-8s %-13s %14s %14s %10s %9s  %s\n", "motor", "test", "identified", "truth",
                "error", "sim [s]", "ok");
    for (const std::string& motor : Motors()) {
        for (const Measurement& m : Identify(motor)) {
            char error[32];
            if (m.test == "Vdc" || m.test == "Vdc (R test)")
                std::snprintf(error, sizeof error, "%+.3f V", m.error);
            else
                std::snprintf(error, sizeof error, "%+.2f %%", 100 * m.error);
            std::printf("%-8s %-13s %14.6g %14.6g %10s %9.3f  %s %s\n", m.motor.c_str(),
                        m.test.c_str(), m.value, m.truth, error, m.duration_s, m.ok ? "yes" : "NO",
                        m.unit.c_str());
        }
    }
    std::fflush(stdout);
}

void BM_IdentifyMotor(benchmark::State& state, std::string motor) {
    for (auto _ : state) benchmark::DoNotOptimize(Identify(motor));
}

}  // namespace

int main(int argc, char** argv) {
    PrintTable();
    for (const std::string& motor : Motors())
        benchmark::RegisterBenchmark(("BM_IdentifyMotor/" + motor).c_str(), BM_IdentifyMotor, motor)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
