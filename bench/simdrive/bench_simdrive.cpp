// How fast the simulated drive runs: simulated seconds per CPU second at 20 kHz
// PWM, current loop every PWM period, speed loop every tenth, with the closed
// speed loop following a repeating profile and the ADC noise on.

#include <benchmark/benchmark.h>

#include <string>

#include "host/link/drive_facts.h"
#include "simdrive/clock.h"
#include "simdrive/simulated_drive.h"

namespace {

using orvex::sim::ManualClock;
using orvex::sim::SimulatedDrive;

// Over-current and supply voltage protections on, as a drive in service runs.
constexpr double kProtections =
    orvex::drive::kPcrOverCurrent | orvex::drive::kPcrOverVoltage | orvex::drive::kPcrUnderVoltage;

void WriteLoopRegisters(SimulatedDrive& drive) {
    const std::pair<const char*, double> registers[] = {
        {"PWMPER", 1000},      {"CLPER", 1},        {"SLPER", 10},     {"ENC2THL", 53687091},
        {"KPI", 31057},        {"SFTKPI", 2},       {"KII", 29112},    {"SFTKII", 0},
        {"SATID", 2621},       {"SATIQ", 2621},     {"KPS", 17244},    {"SFTKPS", 12},
        {"KIS", 25999},        {"SFTKIS", 6},       {"SATS", 20482},   {"IMAXS", 20482},
        {"PCR", kProtections}, {"IMAXPROT", 24570}, {"TIMAXPROT", 20}, {"UMAXPROT", 58968},
        {"UMINPROT", 7862}};
    for (const auto& [name, value] : registers)
        drive.WriteRegister(name, value, name[0] == 'E' ? 32 : 16);
}

void BM_SpeedLoopRun(benchmark::State& state) {
    std::string error;
    auto scenario =
        orvex::sim::LoadScenarioFile(std::string(ORVEX_RESOURCE_DIR) + "/sim/default.json", error);
    if (!scenario) {
        state.SkipWithError(error.c_str());
        return;
    }
    ManualClock clock;
    SimulatedDrive drive(*scenario, clock);
    WriteLoopRegisters(drive);
    drive.WriteVariable("In1", 4095);
    drive.ExecuteProgram("Initial_Positioning_Test");
    clock.Advance(1.0);
    drive.AdvanceToNow();
    // A trapezoid of 10 counts per sample, repeated until stopped.
    const std::pair<const char*, double> inputs[] = {{"RefTest", 1200},
                                                     {"IlimPS_Test", 12285},
                                                     {"Imax_Prot_Test", 30000},
                                                     {"a0", 39},
                                                     {"b0", 0.25},
                                                     {"a1", 1},
                                                     {"b1", 0.25},
                                                     {"a2", 400},
                                                     {"b2", 0},
                                                     {"a3", 39},
                                                     {"b3", -0.25},
                                                     {"a4", 1},
                                                     {"b4", -0.25},
                                                     {"a5", 200},
                                                     {"b5", 0},
                                                     {"MultiC", 1}};
    for (const auto& [name, value] : inputs) drive.WriteVariable(name, value);
    drive.ExecuteProgram("Speed_Controller_Tuning_Test");
    constexpr double kChunk_s = 0.1;
    double simulated_s = 0;
    for (auto _ : state) {
        clock.Advance(kChunk_s);
        drive.AdvanceToNow();
        simulated_s += kChunk_s;
    }
    bool running = false;
    drive.IsProgramRunning(running);
    if (!running) state.SkipWithError("the speed loop program stopped");
    state.counters["sim_s_per_cpu_s"] =
        benchmark::Counter(simulated_s, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SpeedLoopRun)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
