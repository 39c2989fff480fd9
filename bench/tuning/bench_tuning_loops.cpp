// Tuned loops on the motor zoo: for every motor, the speed loop and the position loop
// with and without the speed loop, designed by "Tune" from the setup's bandwidth and
// damping, encoded by the forward sequence and run on the simulated drive through the
// preliminary and the tuning programs with a step as the six-segment reference. One
// table: the design, the step, the predicted and the achieved rise time (10-90 %) and
// overshoot, their errors, and whether the loop stays stable when its bandwidth is
// swept over the whole range the dialog accepts.
//
// The prediction is the design's own closed loop fed with the same reference samples
// and read the way the drive reads speed and position; it is the plain second order
// only where the design is one (see tests/simdrive/tuning_zoo_runner.h: the PI zero
// of the speed loop, the speed loop inside the position loop, the PID's third pole).
// Overshoot errors are relative to the predicted overshoot, or to 5 points when the
// prediction is below 5 %. The first table runs the loops as designed: feed-forward
// and the setup's biquad filters off (neither is part of the design), speed steps
// taken from a running base speed and averaged over 8 or more repeated runs (the
// encoder's one-count steps are a large part of a speed step that keeps the loop
// linear). The sweep covers exactly the passbands the tuning dialogs accept: for the
// speed loop and the position loop on it, up to the bound that keeps two thirds of the
// designed phase margin, and for the position loop from the passband at which the two
// loops together are stiff enough against the motor's detent (tuning/passband_limits.h;
// the setups' freeze window is three quarters of a full step). A loop is unstable there
// when a protection trips or when it is still moving at the end of the hold: a speed by more than a tenth
// of the step, a position by more than a count of encoder dither either way. A position
// loop against a step motor's detent and friction may stop a few counts off the target
// (the notch holds the shaft, and freeze control then holds the integrals): that is at
// rest. One that keeps jumping from notch to notch hunts, however small the jumps are
// against the step, and counts as unstable. The next two tables show where the
// departures come from: the filters' lag, and friction and detent torque.
//
// The direct position loop (the PID that commands current) is accepted from the
// bandwidth at which it is stiff enough against the motor's detent up to the one its
// sampling and current loop allow (also tuning/passband_limits.h); the row runs at the
// setup's bandwidth moved into that range, and says so where the range is empty. Its
// step is ramped over the design's time constant, so that the current accelerates the
// load instead of kicking the derivative: friction and detent then take a few per cent
// of the torque, which the prediction leaves out.
//
// Run: QT_QPA_PLATFORM=offscreen build/bin/bench_tuning_loops [--sweep_points=N] [--traces=DIR]
//      [--loop=speed|position+speed|position] (one loop's rows only)
//      [--zoo=holdout|DIR] (the motors of resources/sim/holdout/ or of a folder; the zoo
//      by default)

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "tuning_zoo_runner.h"
#include "zoo_runner.h"

namespace {

using orvex::sim::zoo::LoopName;
using orvex::sim::zoo::LoopStep;
using orvex::sim::zoo::TunedLoop;
namespace zoo = orvex::sim::zoo;

constexpr TunedLoop kLoops[] = {TunedLoop::kSpeed, TunedLoop::kPositionWithSpeed,
                                TunedLoop::kPositionDirect};
std::string g_only_loop;  // --loop: the rows of this loop only
constexpr double kTwoPi = 6.283185307179586;

std::string Ms(const std::optional<orvex::tuning::StepResponseFigures>& f) {
    char text[32] = "-";
    if (f && f->rise_time_s) std::snprintf(text, sizeof text, "%.2f", 1e3 * *f->rise_time_s);
    return text;
}

std::string Percent(const std::optional<orvex::tuning::StepResponseFigures>& f) {
    char text[32] = "-";
    if (f) std::snprintf(text, sizeof text, "%.1f", f->overshoot_percent);
    return text;
}

// One CSV per run: time, reference, response, prediction.
void WriteTrace(const std::string& dir, const LoopStep& s, const std::string& suffix = "") {
    const std::string path = dir + "/" + s.motor + "_" + LoopName(s.loop) + suffix + ".csv";
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return;
    std::fprintf(f, "time_s,reference,response,prediction\n");
    for (std::size_t i = 0; i < s.time_s.size(); ++i)
        std::fprintf(f, "%.6f,%.6g,%.6g,%.6g\n", s.time_s[i], s.reference[i], s.response[i],
                     s.prediction[i]);
    std::fclose(f);
}

// Stable over `points` bandwidths spread evenly (geometrically) over the accepted
// range, ends included: "yes", or the bandwidths (Hz) at which it was not (a trip, or
// still moving at the end of the hold, see above).
std::string Sweep(const std::string& motor, TunedLoop loop, int points,
                  const std::string& traces_dir) {
    const zoo::BandwidthRange range = zoo::AcceptedBandwidths(motor, loop);
    if (!(range.min_rad_s <= range.max_rad_s)) {
        char text[96];
        std::snprintf(text, sizeof text, "none accepted (sound above %.1f Hz, below %.1f Hz)",
                      range.min_rad_s / kTwoPi, range.max_rad_s / kTwoPi);
        return text;
    }
    std::string unstable;
    for (int k = 0; k < points; ++k) {
        const double w =
            range.min_rad_s * std::pow(range.max_rad_s / range.min_rad_s,
                                       points > 1 ? static_cast<double>(k) / (points - 1) : 1.0);
        const LoopStep step = zoo::RunLoopStep(motor, loop, zoo::RunOptions{.bandwidth_rad_s = w});
        if (!traces_dir.empty()) {
            char suffix[32];  // tenths of a Hz: the low end's points lie closer than 1 Hz
            std::snprintf(suffix, sizeof suffix, "_%.1fHz", w / kTwoPi);
            WriteTrace(traces_dir, step, suffix);
        }
        if (step.ran && step.at_rest) continue;
        char text[32];
        std::snprintf(text, sizeof text, "%s%.0f", unstable.empty() ? "NO at " : ",", w / kTwoPi);
        unstable += text;
        if (!step.error.empty()) unstable += " (" + step.error + ")";
    }
    return unstable.empty() ? "yes" : unstable + " Hz";
}

// One table: every motor and loop run with `options`; the sweep column only when
// `sweep_points` is above 0.
void PrintTable(const char* title, const zoo::RunOptions& options, int sweep_points,
                const std::string& traces_dir) {
    std::printf("\n%s\n", title);
    std::printf("%-7s %-14s %7s %5s %8s | %9s %9s | %9s %9s | %8s %8s | %-4s %s\n", "motor", "loop",
                "PB [Hz]", "damp", "step", "rise pred", "rise ach", "os pred", "os ach", "rise err",
                "os err", "20%", sweep_points > 0 ? "stable over sweep" : "");
    std::printf("%-7s %-14s %7s %5s %8s | %9s %9s | %9s %9s | %8s %8s |\n", "", "", "", "",
                "[counts]", "[ms]", "[ms]", "[%]", "[%]", "[%]", "[%]");
    int within = 0, total = 0;
    for (const std::string& motor : zoo::Motors()) {
        for (const TunedLoop loop : kLoops) {
            if (!g_only_loop.empty() && g_only_loop != LoopName(loop)) continue;
            const LoopStep s = zoo::RunLoopStep(motor, loop, options);
            if (!traces_dir.empty()) WriteTrace(traces_dir, s);
            const double rise = zoo::RiseTimeError(s), overshoot = zoo::OvershootError(s);
            const bool ok =
                s.ran && s.accepted && std::fabs(rise) <= 0.2 && std::fabs(overshoot) <= 0.2;
            within += ok;
            ++total;
            const std::string sweep =
                sweep_points > 0 ? Sweep(motor, loop, sweep_points, traces_dir) : "";
            std::printf(
                "%-7s %-14s %7.1f %5.2f %8.0f | %9s %9s | %9s %9s | %+8.1f %+8.1f | %-4s %s%s\n",
                motor.c_str(), LoopName(loop), s.bandwidth_rad_s / kTwoPi, s.damping, s.step_counts,
                Ms(s.predicted).c_str(), Ms(s.achieved).c_str(), Percent(s.predicted).c_str(),
                Percent(s.achieved).c_str(), 100 * rise, 100 * overshoot, ok ? "yes" : "NO",
                sweep.c_str(), s.error.empty() ? "" : ("  (" + s.error + ")").c_str());
            if (!s.accepted) std::printf("        (the dialog refuses to design this loop)\n");
            if (s.retuned_speed_rad_s > 0)
                std::printf("        (on the speed loop tuned to %.0f Hz first, as the dialog "
                            "asks: the setup's is too soft for the detent)\n",
                            s.retuned_speed_rad_s / kTwoPi);
            std::fflush(stdout);
        }
    }
    std::printf("%d of %d loops within 20 %% of the design\n", within, total);
}

void BM_TuneSpeedLoop(benchmark::State& state, std::string motor) {
    for (auto _ : state) benchmark::DoNotOptimize(zoo::RunLoopStep(motor, TunedLoop::kSpeed));
}

}  // namespace

int main(int argc, char** argv) {
    int sweep_points = 7;
    std::string traces_dir;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--sweep_points=", 15) == 0)
            sweep_points = std::max(1, std::atoi(argv[i] + 15));
        if (std::strncmp(argv[i], "--traces=", 9) == 0) traces_dir = argv[i] + 9;
        if (std::strncmp(argv[i], "--loop=", 7) == 0) g_only_loop = argv[i] + 7;
        if (std::strncmp(argv[i], "--zoo=", 6) == 0) zoo::UseFolder(argv[i] + 6);
    }
    if (zoo::Motors().empty()) {
        std::fprintf(stderr, "bench_tuning_loops: no motors in %s\n", zoo::ZooDir().c_str());
        return 2;
    }
    zoo::RunOptions averaged;
    averaged.cycles = 8;
    zoo::RunOptions with_filters = averaged, frictionless = averaged;
    with_filters.setup_filters = true;
    frictionless.frictionless = true;
    PrintTable("Loops as designed (8+ runs averaged), bandwidth swept over the accepted range",
               averaged, sweep_points, traces_dir);
    PrintTable("Why they depart (1): the same with the setup's biquad filters in the loops",
               with_filters, 0, "");
    PrintTable("Why they depart (2): the same on a motor without friction and detent", frictionless,
               0, "");
    for (const std::string& motor : zoo::Motors())
        benchmark::RegisterBenchmark(("BM_TuneSpeedLoop/" + motor).c_str(), BM_TuneSpeedLoop, motor)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
