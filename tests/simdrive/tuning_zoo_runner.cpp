#include "tuning_zoo_runner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <stdexcept>

#include "bench.h"
#include "compute/gain_design.h"
#include "compute/scales.h"
#include "compute/sequences.h"
#include "host/setup/setup_file.h"
#include "tuning/passband_limits.h"
#include "tuning/reference_segments.h"
#include "zoo_runner.h"

namespace orvex::sim::zoo {
namespace {

using testing::Bench;

// The share of the test current limit the step may ask for: the rest is headroom for
// what friction and detent add.
constexpr double kLinearShare = 0.5;
// The program holds the last reference this many samples after the profile.
constexpr int kSettleSamples = 200;
// A count's dither in a run's speed reading, rms (a uniform error of +/- half a count),
// and the share of the step it may leave in the mean of the runs.
constexpr double kCountDither = 0.29, kDitherShare = 0.01;
// The base speed of a speed step: the step divided by this.
constexpr std::int64_t kBaseDivisor = 2;
constexpr int kMaxRuns = 256;

// The speed step starts from a running base speed of half the step. There Coulomb
// friction is a steady torque the integral has already taken up, and detent torque a
// ripple at the rate the shaft passes the detent positions, so the step meets the
// linear loop the design describes. From standstill both act as a load the integral
// must first build up against: a slower rise and less overshoot than designed, by as
// much as friction and detent are against the step's torque. The base speed is reached
// and left by ramps slow enough to need next to no current; the ramps' samples are a
// power of two, so that their 16.16 increments land exactly.
tuning::SegmentTable SpeedStepOnBase(std::int32_t step, std::uint32_t ramp_samples,
                                     std::uint32_t hold_samples) {
    const std::int64_t q16 = static_cast<std::int64_t>(step) * 65536;
    // A base a fraction of a count off the whole number, so that the counts fall
    // differently at each run's step (a whole base locks them: every run reads alike).
    // 0.382 count (many phases before repeating), whole in the ramps' increments.
    const std::int64_t ramp = static_cast<std::int64_t>(ramp_samples);
    const std::int64_t base = q16 / kBaseDivisor + 25034 / ramp * ramp;
    tuning::SegmentTable table;
    table.segments = {{{ramp_samples, base / ramp},
                       {hold_samples, 0},
                       {1, q16},
                       {hold_samples, 0},
                       {ramp_samples, -(base + q16) / ramp},
                       {hold_samples, 0}}};
    return table;
}

// The first sample at which the reference jumps by half the step or more.
std::size_t StepIndex(const std::vector<double>& reference, double step) {
    for (std::size_t i = 1; i < reference.size(); ++i)
        if (reference[i] - reference[i - 1] >= 0.5 * step) return i;
    return 0;
}

struct LoopNames {
    const char* bandwidth;
    const char* damping;
    const char* program;
};
LoopNames Names(TunedLoop loop) {
    switch (loop) {
        case TunedLoop::kSpeed:
            return {"PB_S", "Dump_S", "Speed_Controller_Tuning_Test"};
        case TunedLoop::kPositionWithSpeed:
            return {"PB_P", "Dump_P", "Position_Controller_Tuning_Test_with_SpdCtrl"};
        case TunedLoop::kPositionDirect:
            break;
    }
    return {"PB_P", "Dump_P", "Position_Controller_Tuning_Test_without_SpdCtrl"};
}

// `retuned_speed_rad_s`, when given, is set to the speed loop's passband when it was
// tuned anew below, else left alone.
std::unique_ptr<CMC_Setup> LoadSetup(const std::string& motor, TunedLoop loop,
                                     double* retuned_speed_rad_s = nullptr) {
    auto loaded = axis::LoadSetupFile(ZooDir() + motor + ".setup.json");
    if (!loaded.ok()) throw std::runtime_error(loaded.error);
    auto setup = std::move(loaded.setup);
    // The position dialog's test program follows the setup's control type.
    if (loop != TunedLoop::kSpeed)
        setup->SetParameterValueInBaseUnit("PositionControlType",
                                           loop == TunedLoop::kPositionWithSpeed ? 1 : 0);
    // A position loop on a speed loop too soft for the motor's detent is refused, and
    // the refusal names the speed loop that leaves room for it: the user tunes the
    // speed loop to that, in the whole Hz the message gives, before the position loop.
    if (loop == TunedLoop::kPositionWithSpeed) {
        const auto range = tuning::AcceptedPassband(setup.get(), "PB_P");
        const auto speed = range && range->Empty()
                               ? tuning::SpeedPassbandForPositionLoop(setup.get())
                               : std::nullopt;
        if (speed) {
            const double hz = std::ceil(*speed / (2 * M_PI));
            setup->SetParameterValueInBaseUnit("PB_S", 2 * M_PI * hz);
            if (!DesignSpeedControllerGains(setup.get()))
                throw std::runtime_error(motor + ": the speed loop could not be tuned");
            if (retuned_speed_rad_s) *retuned_speed_rad_s = 2 * M_PI * hz;
        }
    }
    return setup;
}

// The designed gains in the drive's units.
struct Gains {
    double kp_speed, ki_speed, kp_position, ki_position, kd_position;
};
// Limits in the drive's units: current counts, speed counts per sample, the integral
// saturations of the two controllers (in their outputs' units).
// The control error protections: an error beyond its window for more samples than
// allowed trips the drive.
struct Limits {
    double current, speed, speed_integral, position_integral;
    double position_error, position_error_samples, speed_error, speed_error_samples;
};

// The longest run of samples in which `error` times `scale` is beyond `window`.
std::size_t LongestRunBeyond(const std::vector<double>& error, double scale, double window) {
    std::size_t longest = 0, run = 0;
    for (const double e : error) {
        run = std::fabs(e * scale) > window ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}
struct Peaks {
    double current = 0, speed = 0, speed_integral = 0, position_integral = 0;
};

// The design's closed loop, continuous, integrated in fine steps between the drive's
// samples with the reference held over each sample; returns what the drive would read
// at each sample: counts moved over the sample (speed) or the position (counts).
class DesignModel {
  public:
    DesignModel(TunedLoop loop, double w, double z, double w_speed, double z_speed, double T)
        : loop_(loop), w_(w), z_(z), ws_(w_speed), zs_(z_speed), T_(T) {}

    struct Response {
        std::vector<double> reading;  // speed (counts per sample) or position (counts)
    };
    Response Respond(const std::vector<double>& reference) const {
        std::vector<double> out;
        out.reserve(reference.size());
        State s{};
        double previous_reference = reference.empty() ? 0 : reference.front();
        s[kX] = loop_ == TunedLoop::kSpeed ? 0 : previous_reference;
        constexpr int kSubsteps = 40;
        const double h = T_ / kSubsteps;
        for (const double r : reference) {
            const double x_before = s[kX];
            if (loop_ == TunedLoop::kPositionDirect) {
                // The derivative of the error takes the reference's jump as a kick
                // of speed.
                s[kV] += (2 * z_ + 1) * w_ * (r - previous_reference);
            }
            previous_reference = r;
            // The reading at a sample covers the sample before it.
            for (int k = 0; k < kSubsteps; ++k) s = Rk4(s, r, h);
            out.push_back(loop_ == TunedLoop::kSpeed ? s[kX] - x_before : s[kX]);
        }
        // Shift by one: the drive's reading at sample k is the motion up to k, while
        // the reference at k acts from k on.
        out.insert(out.begin(), loop_ == TunedLoop::kSpeed ? 0.0 : reference.front());
        out.pop_back();
        return {out};
    }

    /// The largest step whose designed response keeps every controller output and
    /// integral, and the speed, within kLinearShare of its limit. The outputs are
    /// those the drive's controllers compute from the response's samples with the
    /// designed gains.
    /// `base`: the speed the step starts from, in steps.
    double LargestLinearStep(const Gains& g, const Limits& limits, int ramp_samples,
                             std::size_t hold_samples, double base = 0) const {
        std::vector<double> unit(hold_samples + ramp_samples + 1, 1.0);
        for (int k = 0; k <= ramp_samples; ++k) unit[k] = static_cast<double>(k) / ramp_samples;
        const std::vector<double> y = Respond(unit).reading;
        Peaks peaks;
        std::vector<double> position_errors, speed_errors;
        double position_integral = 0, speed_integral = 0, previous_error = 0;
        for (std::size_t k = 1; k < unit.size(); ++k) {
            double speed_error = 0;
            if (loop_ == TunedLoop::kSpeed) {
                peaks.speed = std::max(peaks.speed, std::fabs(y[k] + base));
                speed_error = unit[k] - y[k];
            } else {
                peaks.speed = std::max(peaks.speed, std::fabs(y[k] - y[k - 1]));
                const double e = unit[k] - y[k];
                position_errors.push_back(e);
                position_integral += g.ki_position * e;
                peaks.position_integral =
                    std::max(peaks.position_integral, std::fabs(position_integral));
                const double out =
                    g.kp_position * e + position_integral + g.kd_position * (e - previous_error);
                previous_error = e;
                if (loop_ == TunedLoop::kPositionDirect) {
                    peaks.current = std::max(peaks.current, std::fabs(out));
                    continue;
                }
                peaks.speed = std::max(peaks.speed, std::fabs(out));
                speed_error = out - (y[k] - y[k - 1]);
            }
            speed_errors.push_back(speed_error);
            speed_integral += g.ki_speed * speed_error;
            peaks.speed_integral = std::max(peaks.speed_integral, std::fabs(speed_integral));
            peaks.current =
                std::max(peaks.current, std::fabs(g.kp_speed * speed_error + speed_integral));
        }
        double step = INFINITY;
        auto fit = [&step](double limit, double peak) {
            if (peak > 0 && limit > 0) step = std::min(step, kLinearShare * limit / peak);
        };
        fit(limits.current, peaks.current);
        fit(limits.speed, peaks.speed);
        fit(limits.speed_integral, peaks.speed_integral);
        fit(limits.position_integral, peaks.position_integral);
        if (!std::isfinite(step)) step = 1.0;
        // Smaller until the errors stay within their windows for at most half the time
        // the protections allow.
        auto trips = [&](double scale) {
            return (limits.position_error > 0 &&
                    LongestRunBeyond(position_errors, scale, limits.position_error) >
                        kLinearShare * limits.position_error_samples) ||
                   (limits.speed_error > 0 &&
                    LongestRunBeyond(speed_errors, scale, limits.speed_error) >
                        kLinearShare * limits.speed_error_samples);
        };
        while (step > 1 && trips(step)) step *= 0.9;
        return step;
    }

  private:
    enum { kX, kV, kSpeedIntegral, kPositionIntegral, kStates };
    using State = std::array<double, kStates>;

    State Derivative(const State& s, double r) const {
        State d{};
        d[kX] = s[kV];
        switch (loop_) {
            case TunedLoop::kSpeed: {
                const double e = r / T_ - s[kV];  // counts per second
                d[kSpeedIntegral] = e;
                d[kV] = 2 * z_ * w_ * e + w_ * w_ * s[kSpeedIntegral];
                break;
            }
            case TunedLoop::kPositionWithSpeed: {
                const double e = r - s[kX];
                d[kPositionIntegral] = e;
                const double u = 2 * z_ * w_ * e + w_ * w_ * s[kPositionIntegral];
                d[kSpeedIntegral] = u - s[kV];
                d[kV] = 2 * zs_ * ws_ * (u - s[kV]) + ws_ * ws_ * s[kSpeedIntegral];
                break;
            }
            case TunedLoop::kPositionDirect: {
                const double e = r - s[kX], a = 2 * z_ + 1;
                d[kPositionIntegral] = e;
                d[kV] = a * w_ * w_ * e + w_ * w_ * w_ * s[kPositionIntegral] - a * w_ * s[kV];
                break;
            }
        }
        return d;
    }
    State Rk4(const State& s, double r, double h) const {
        auto add = [](const State& a, const State& b, double f) {
            State c;
            for (int i = 0; i < kStates; ++i) c[i] = a[i] + f * b[i];
            return c;
        };
        const State k1 = Derivative(s, r);
        const State k2 = Derivative(add(s, k1, h / 2), r);
        const State k3 = Derivative(add(s, k2, h / 2), r);
        const State k4 = Derivative(add(s, k3, h), r);
        State out;
        for (int i = 0; i < kStates; ++i)
            out[i] = s[i] + h / 6 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
        return out;
    }

    TunedLoop loop_;
    double w_, z_, ws_, zs_, T_;
};

// The first run of samples at the reference's final value: the hold.
struct Hold {
    std::size_t begin = 0, end = 0;  // [begin, end)
};
Hold FindHold(const std::vector<double>& reference) {
    const double start = reference.front();
    double target = start;
    for (const double r : reference)
        if (std::fabs(r - start) > std::fabs(target - start)) target = r;
    Hold h;
    while (h.begin < reference.size() && reference[h.begin] != target) ++h.begin;
    h.end = h.begin;
    while (h.end < reference.size() && reference[h.end] == target) ++h.end;
    return h;
}

// The last quarter of the hold: on the reference within a tenth of the step or two
// counts (the encoder's own dither), whichever is more (settled), and at rest. A speed
// is at rest when it stays within that band either way; a position when it moves by no
// more than a count of dither either way: a shaft that friction or a detent notch holds
// a few counts off the target is at rest, one that keeps jumping between notches hunts,
// however small against the step.
void JudgeEnd(const std::vector<double>& reference, const std::vector<double>& response,
              double step, LoopStep& result) {
    const Hold h = FindHold(reference);
    result.settled = result.at_rest = false;
    if (h.end - h.begin < 8) return;
    const double band = std::max(0.1 * std::fabs(step), 2.0);
    const auto first = response.begin() + static_cast<long>(h.end - (h.end - h.begin) / 4);
    const auto last = response.begin() + static_cast<long>(h.end);
    const auto [lo, hi] = std::minmax_element(first, last);
    result.at_rest = *hi - *lo <= (result.loop == TunedLoop::kSpeed ? 2 * band : 2.0);
    result.settled =
        std::fabs(*hi - reference[h.begin]) <= band && std::fabs(*lo - reference[h.begin]) <= band;
}

}  // namespace

const char* LoopName(TunedLoop loop) {
    switch (loop) {
        case TunedLoop::kSpeed:
            return "speed";
        case TunedLoop::kPositionWithSpeed:
            return "position+speed";
        case TunedLoop::kPositionDirect:
            break;
    }
    return "position";
}

BandwidthRange AcceptedBandwidths(const std::string& motor, TunedLoop loop) {
    const auto setup = LoadSetup(motor, loop);
    const auto range = tuning::AcceptedPassband(setup.get(), Names(loop).bandwidth);
    if (!range) throw std::runtime_error(motor + " has no " + Names(loop).bandwidth);
    return {range->min_rad_s, range->max_rad_s};
}

LoopStep RunLoopStep(const std::string& motor, TunedLoop loop, const RunOptions& options) {
    const LoopNames names = Names(loop);
    LoopStep result;
    auto setup = LoadSetup(motor, loop, &result.retuned_speed_rad_s);
    CMC_Setup* s = setup.get();
    auto param = [s](const char* name) { return s->GetParameterValueInBaseUnit(name); };
    for (const char* feed_forward : {"KFFS_scl", "KFFA_scl"})
        s->SetParameterValueInBaseUnit(feed_forward, 0);
    if (options.bandwidth_rad_s)
        s->SetParameterValueInBaseUnit(names.bandwidth, *options.bandwidth_rad_s);

    result.motor = motor;
    result.loop = loop;
    if (loop != TunedLoop::kSpeed) {
        // The dialog refuses to design a position loop outside its sound range: the
        // setup's bandwidth is moved to the nearest bandwidth it accepts, as the user
        // told so would.
        const auto bounds = tuning::AcceptedPassband(s, names.bandwidth);
        result.accepted = bounds && !bounds->Empty();
        if (result.accepted && !options.bandwidth_rad_s)
            s->SetParameterValueInBaseUnit(
                names.bandwidth,
                std::clamp(param(names.bandwidth), bounds->min_rad_s, bounds->max_rad_s));
        result.accepted = result.accepted && bounds->Contains(param(names.bandwidth));
    }
    result.bandwidth_rad_s = param(names.bandwidth);
    result.damping = param(names.damping);
    // "Tune", then the options as the host downloads them before the program.
    const int designed = loop == TunedLoop::kSpeed ? DesignSpeedControllerGains(s)
                                                   : DesignPositionControllerGains(s);
    if (!designed) {
        result.error = "the design wrote no gains";
        return result;
    }
    ComputeOptionsFromParameters(s);
    if (!options.setup_filters)
        for (const char* count : {"SPDREF_BQ_INI", "IQREF_BQ_INI", "ASPD_BQ_INI"})
            s->SetParameterValueInBaseUnit(count, 0);

    const double T_S = GetSpeedLoopPeriod(s);
    const double k_i = GetCurrentScale(s);
    const double k_s = std::fabs(GetLoadSpeedScale(s));
    const double current_limit = std::trunc(param("TestLimitCurrent") * k_i);
    const double speed_limit = std::trunc(param("Limit_Speed") * k_s);
    const bool speed = loop == TunedLoop::kSpeed;
    const DesignModel model(loop, result.bandwidth_rad_s, result.damping, param("PB_S"),
                            param("Dump_S"), T_S);

    // A step: the shortest ramps the dialog accepts, a hold long enough to settle.
    // A direct loop's derivative acts on the error: a reference that jumps kicks the
    // current by Kd times the jump, which would spend the current on one sample and
    // leave the step small against friction and detent. Ramped over the design's time
    // constant 1 / PB, the kick is no larger than the proportional action, and the step
    // can use the current to accelerate the load.
    const int ramp_samples =
        loop == TunedLoop::kPositionDirect
            ? std::max(2, static_cast<int>(std::lround(1.0 / (result.bandwidth_rad_s * T_S))))
        : speed ? 1
                : 2;
    const double hold_s = std::clamp(30.0 / result.bandwidth_rad_s, 0.05, 3.0);
    const auto hold_samples = static_cast<std::uint32_t>(hold_s / T_S);
    const Limits limits{
        .current = current_limit,
        .speed = speed_limit,
        .speed_integral = std::min(current_limit, drive::kFullScale - param("IMAXS")),
        .position_integral = std::min(speed                                   ? 0
                                      : loop == TunedLoop::kPositionWithSpeed ? speed_limit
                                                                              : current_limit,
                                      drive::kFullScale - param("IMAXP")),
        .position_error = param("ERRMAX"),
        .position_error_samples = param("TERRMAX"),
        .speed_error = param("SERRMAX"),
        .speed_error_samples = param("TSERRMAX")};
    const double step =
        std::max(1.0, std::floor(model.LargestLinearStep(
                          {param("Kp_S_scl"), param("Ki_S_scl"), param("Kp_P_scl"),
                           param("Ki_P_scl"), param("Kd_P_scl")},
                          limits, ramp_samples, hold_samples, speed ? 1.0 / kBaseDivisor : 0.0)));
    result.step_counts = step;
    const tuning::SegmentTable table =
        speed ? SpeedStepOnBase(static_cast<std::int32_t>(step),
                                std::bit_floor(std::max<std::uint32_t>(hold_samples, 2)),
                                hold_samples)
              : tuning::BuildReferenceSegments(
                    tuning::ReferenceKind::kPosition, tuning::ReferenceType::kPositive,
                    static_cast<std::int32_t>(step),
                    {ramp_samples * T_S, hold_s, ramp_samples * T_S, hold_s}, T_S);
    if (!table.ok()) {
        result.error = table.error;
        return result;
    }

    Bench bench(LoadMotor(motor,
                          [&options](Scenario& scenario) {
                              if (!options.frictionless) return;
                              scenario.motor.detent_torque_Nm = 0;
                              scenario.motor.coulomb_friction_Nm = 0;
                              scenario.motor.viscous_friction_Nm_s_per_rad = 0;
                          }),
                ZooDir() + motor + ".setup.json");
    const CMC_Parameters parameters = s->GetParameters();
    for (int i = 0; i < parameters.GetParametersCount(); ++i) {
        const CMC_Parameter* p = parameters[i];
        if (p->IsOption())
            bench.SetOption(p->GetName(), p->GetValueInBaseUnit(),
                            p->GetType() == kTypeOption32 ? 32 : 16);
    }
    const double test_current = std::trunc(param("TestCurrent") * k_i);
    if (!bench.Run("Initial_Positioning_Test", {{"In1", test_current}}) || bench.Var("In1") <= 0) {
        result.error = "Initial_Positioning_Test did not reach the test current";
        return result;
    }
    // Position runs are not averaged: a shaft that friction holds a few counts off the
    // reference starts the next run from there. Averaged speed runs are as many as it
    // takes to bring the count's dither in the mean under its share of the step.
    const int dither_runs =
        static_cast<int>(std::ceil(std::pow(kCountDither / (kDitherShare * step), 2)));
    const int cycles =
        !speed ? 1
               : std::max(1, options.cycles > 1 ? std::clamp(dither_runs, options.cycles, kMaxRuns)
                                                : options.cycles);
    std::map<std::string, double> inputs = {
        {"RefTest", bench.Var("REFTST_V")},
        {"Imax_Prot_Test", std::trunc(param("TestProtectionCurrent") * k_i)},
        {"MultiC", cycles > 1 ? 1 : 0}};
    if (loop == TunedLoop::kPositionWithSpeed)
        inputs["LimitSpeed_Test"] = speed_limit;
    else
        inputs["IlimPS_Test"] = current_limit;
    std::size_t cycle = 0;
    for (int i = 0; i < 6; ++i) {
        inputs["a" + std::to_string(i)] = table.segments[i].samples;
        inputs["b" + std::to_string(i)] = table.segments[i].Increment();
        cycle += table.segments[i].samples;
    }
    const std::vector<std::string> logged =
        speed ? std::vector<std::string>{"Speed_Reference", "Load_Speed"}
              : std::vector<std::string>{"Target_Position", "Load_Position"};
    const int points = static_cast<int>(cycle * cycles + kSettleSamples + 10);
    bool finished = bench.Start(names.program, inputs, {1, points, 1, logged});
    if (finished && cycles > 1) {
        // The last run ends the repetition: the program finishes after it.
        RunFor(*bench.drive, bench.clock, (cycles - 1 + 0.5) * cycle * T_S);
        finished = bench.drive->WriteVariable("MultiC", 0);
    }
    finished = finished && WaitForProgramEnd(*bench.drive, bench.clock).finished;
    const double mer = bench.Var("MER");
    result.ran = finished && bench.Var("test_flag") > 0 && mer == 0;
    if (mer != 0) result.error = "protection tripped, MER " + std::to_string(std::lround(mer));
    const auto log = bench.Log();
    if (log.size() < cycle * cycles) {
        // Kept for the plots: what there is of the run.
        for (const auto& p : log) {
            result.time_s.push_back(p[0]);
            result.reference.push_back(p[1]);
            result.response.push_back(p[2]);
            result.prediction.push_back(0);
        }
        if (result.error.empty()) result.error = "the log holds fewer points than the runs";
        return result;
    }
    // The runs, sample by sample: each starts and ends at rest on the same reference.
    std::vector<double> time(cycle), reference(cycle), response(cycle, 0.0);
    for (std::size_t i = 0; i < cycle; ++i) {
        time[i] = log[i][0];
        reference[i] = log[i][1];
        for (int k = 0; k < cycles; ++k) {
            response[i] += log[k * cycle + i][2] / cycles;
        }
    }
    // The design's response to the same reference, read the same way.
    const std::vector<double> predicted = model.Respond(reference).reading;

    // A speed step is measured from a little before it to the end of its hold.
    std::size_t from = 0, to = time.size();
    if (speed) {
        const std::size_t at = StepIndex(reference, step);
        from = at - std::min<std::size_t>(at, 20);
        to = std::min(to, at + hold_samples);
    }
    auto window = [from, to](const std::vector<double>& v) {
        return std::vector<double>(v.begin() + static_cast<long>(from),
                                   v.begin() + static_cast<long>(to));
    };
    auto measured = tuning::MeasureStepResponse(window(time), window(reference), window(response));
    auto promised = tuning::MeasureStepResponse(window(time), window(reference), window(predicted));
    if (!measured.figures) result.error = measured.error;
    result.achieved = measured.figures;
    result.predicted = promised.figures;
    JudgeEnd(reference, response, step, result);
    result.time_s = std::move(time);
    result.reference = std::move(reference);
    result.response = std::move(response);
    result.prediction = predicted;
    return result;
}

double RiseTimeError(const LoopStep& step) {
    if (!step.achieved || !step.predicted || !step.achieved->rise_time_s ||
        !step.predicted->rise_time_s)
        return INFINITY;
    return *step.achieved->rise_time_s / *step.predicted->rise_time_s - 1;
}

double OvershootError(const LoopStep& step) {
    if (!step.achieved || !step.predicted) return INFINITY;
    const double predicted = step.predicted->overshoot_percent;
    return (step.achieved->overshoot_percent - predicted) / std::max(predicted, 5.0);
}

}  // namespace orvex::sim::zoo
