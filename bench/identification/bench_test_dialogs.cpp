// How fast a whole identification test runs when the simulated drive's clock is
// advanced by hand, one dialog tick per 20 ms of drive time: what a production line
// waits for per motor with `axishost test`. Reports the drive time of one run and
// the drive seconds per CPU second.

#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <cstdlib>
#include <memory>
#include <string>

#include "compute/sequences.h"
#include "compute/units_transmission.h"
#include "host/drive/coff_format.h"
#include "host/drive/comm.h"
#include "host/setup/setup_file.h"
#include "identification/phase_connections.h"
#include "identification/resistance_inductance.h"
#include "identification/total_inertia.h"
#include "simdrive/clock.h"
#include "simdrive/scenario.h"
#include "simdrive/simulated_drive.h"

namespace {

struct Bench {
    explicit Bench(const orvex::sim::Scenario& scenario) : drive(scenario, clock), comm(drive) {
        auto loaded = axis::LoadSetupFile(std::string(ORVEX_RESOURCE_DIR) + "/setups/demo.json");
        setup = std::move(loaded.setup);
        orvex::InstallScaleProvider(setup.get());
        orvex::ComputeAllOptions(setup.get());
        comm.Attach(setup.get());
    }
    orvex::sim::ManualClock clock;
    orvex::sim::SimulatedDrive drive;
    CMC_Comm comm;
    std::unique_ptr<CMC_Setup> setup;
};

template <class Dialog>
void BM_TestDialog(benchmark::State& state) {
    std::string error;
    const auto scenario =
        orvex::sim::LoadScenarioFile(std::string(ORVEX_RESOURCE_DIR) + "/sim/default.json", error);
    if (!scenario) {
        state.SkipWithError(error.c_str());
        return;
    }
    axis::SetProgramDirectory(std::string(ORVEX_RESOURCE_DIR) + "/programs");
    double drive_time_s = 0.0;
    int passed = 0;
    for (auto _ : state) {
        Bench bench(*scenario);
        Dialog dialog(bench.setup.get(), 1, nullptr);
        dialog.OnInitDialog();
        dialog.template findChild<QAbstractButton*>("startStopButton")->click();
        double t = 0.0;
        while (dialog.IsRunning() && dialog.IsTimerRunning(1) && t < 120.0) {
            bench.clock.Advance(0.020);
            t += 0.020;
            dialog.OnTimer(1);
        }
        drive_time_s += t;
        passed += dialog.TestOutcome() == CMC_TestDlg::Outcome::kSucceeded;
    }
    state.counters["drive_s_per_run"] = drive_time_s / static_cast<double>(state.iterations());
    state.counters["drive_s_per_cpu_s"] =
        benchmark::Counter(drive_time_s, benchmark::Counter::kIsRate);
    state.counters["passed"] = passed / static_cast<double>(state.iterations());
}

BENCHMARK(BM_TestDialog<CTestPhaseConnections>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TestDialog<CTestRL>)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TestDialog<CTotalInertiaTest>)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
