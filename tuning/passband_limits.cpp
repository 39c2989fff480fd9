#include "tuning/passband_limits.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <functional>
#include <numbers>
#include <string>

#include "compute/gain_design.h"
#include "compute/scales.h"
#include "host/setup/setup.h"

namespace orvex::tuning {
namespace {

using Response = std::function<std::complex<double>(double x_rad_s)>;

// Designed phase margin of the PI loop on an integrator, L = (2 z w s + w^2) / s^2:
// atan(2 z sqrt(u)) at its crossover w sqrt(u), u = 2 z^2 + sqrt(4 z^4 + 1).
double DesignedMargin(double damping) {
    const double z2 = damping * damping;
    return std::atan(2 * damping * std::sqrt(2 * z2 + std::sqrt(4 * z2 * z2 + 1)));
}

// Whether the designed loop of passband `w` with `inner` in its path keeps at least
// `allowed` phase margin at every frequency where its gain crosses 1. The phase is
// followed upwards from two decades below the passband, where the loop is the design
// alone, so a lag of more than half a turn is seen as such.
bool KeepsMargin(double w, double damping, const Response& inner, double allowed) {
    constexpr int kPoints = 1500;
    constexpr double kDecades = 5;
    double margin = 0, previous_gain = 0;
    for (int i = 0; i <= kPoints; ++i) {
        const double x = w * 1e-2 * std::pow(10.0, kDecades * i / kPoints);
        const std::complex<double> s(0, x);
        const std::complex<double> open = (2 * damping * w * s + w * w) / (s * s) * inner(x);
        // The angle from -1 to the loop's value: the margin, unwrapped along the scan.
        const double angle = std::arg(-open);
        margin = i == 0 ? angle : margin + std::remainder(angle - margin, 2 * M_PI);
        const double gain = std::abs(open);
        if (i > 0 && (previous_gain - 1) * (gain - 1) <= 0 && margin < allowed) return false;
        previous_gain = gain;
    }
    return true;
}

// The largest passband that keeps two thirds of the designed margin: scanned upwards from
// 0.1 rad/s to the first that fails, then bisected.
double Limit(double damping, const Response& inner) {
    const double allowed = DesignedMargin(damping) * 2 / 3;
    auto accepted = [&](double w) { return KeepsMargin(w, damping, inner, allowed); };
    double low = 0.1, high = low;
    while (high < 1e7 && accepted(high)) {
        low = high;
        high *= 1.2;
    }
    if (high >= 1e7) return INFINITY;
    if (low == high) return 0;
    for (int i = 0; i < 30; ++i) {
        const double mid = std::sqrt(low * high);
        (accepted(mid) ? low : high) = mid;
    }
    return low;
}

std::optional<double> Value(const CMC_Setup* setup, const std::string& name) {
    const CMC_Parameter* p = setup->FindParameter(name);
    if (!p) return std::nullopt;
    return p->GetValueInBaseUnit();
}

// The speed loop's dead time: one loop period and the current loop's lag.
double SpeedLoopDeadTime(const CMC_Setup* setup) {
    const double pb_c = Value(setup, "PB_C").value_or(0);
    return OuterLoopPeriod(setup) + (pb_c > 0 ? 1 / pb_c : 0);
}

// A sampled controller acts about half a sample late, plus the hold.
constexpr double kCrossoverPerSample_rad = 0.25;
// An inner loop ten times faster than the crossover costs it about 6 degrees of phase.
constexpr double kInnerOverCrossover = 10.0;

std::optional<PositionLoopPlant> PositionPlant(const CMC_Setup* setup) {
    const auto jt = Value(setup, "Jt"), k = Value(setup, "K"), in = Value(setup, "In"),
               steps = Value(setup, "NoMotorSteps"), damping = Value(setup, "Dump_P");
    if (!jt || !k || !in || !steps || !damping) return std::nullopt;
    return PositionLoopPlant{.total_inertia_kgm2 = *jt,
                             .torque_constant_Nm_per_A = *k,
                             .rated_current_A = *in,
                             .full_steps_per_rev = *steps,
                             .damping = *damping,
                             .period_s = OuterLoopPeriod(setup),
                             .current_bandwidth_rad_s = Value(setup, "PB_C").value_or(0)};
}

// The speed loop as tuned, as the position loop on it sees it.
std::optional<InnerLoop> SpeedLoopAsTuned(const CMC_Setup* setup) {
    const auto kp = Value(setup, "Kp_S_scl"), ki = Value(setup, "Ki_S_scl"),
               jt = Value(setup, "Jt"), k = Value(setup, "K");
    if (!kp || !ki || !jt || !k) return std::nullopt;
    // The speed gains per unit of inertia: the design's c turns them back into the
    // loop's 2 z w and w^2.
    const double T = OuterLoopPeriod(setup);
    const double c = *jt * GetCurrentScale(setup) / (GetMotorSpeedScale(setup) * *k);
    if (!(c > 0) || !(T > 0)) return std::nullopt;
    return InnerLoop{*kp / c, *ki / (T * c), SpeedLoopDeadTime(setup)};
}

std::optional<double> StabilityBound(const CMC_Setup* setup, const std::string& name) {
    if (name == "PB_S") {
        const auto damping = Value(setup, "Dump_S");
        if (!damping) return std::nullopt;
        return PiLoopPassbandLimit(*damping, SpeedLoopDeadTime(setup));
    }
    if (Value(setup, "PositionControlType").value_or(0) != 1) return std::nullopt;
    const auto damping = Value(setup, "Dump_P");
    const auto inner = SpeedLoopAsTuned(setup);
    if (!damping || !inner) return std::nullopt;
    return CascadedPassbandLimit(*damping, *inner);
}

// The detent's stiffness at one full step of error, the full-step rule's torque per radian.
double DetentStiffness(const PositionLoopPlant& p) {
    const double holding_Nm = std::numbers::sqrt2 * p.torque_constant_Nm_per_A * p.rated_current_A;
    // The notches lie a full step (2 pi / N) apart: a loop that pushes the detent's
    // torque at an error of one full step pulls the shaft out of any notch beside the
    // target without waiting for its integral.
    const double step_rad = 2 * std::numbers::pi / p.full_steps_per_rev;
    return kDetentShareOfHolding * holding_Nm / step_rad;
}

constexpr double kHz = 0.5 / std::numbers::pi;

// A refusal's text: `format` takes the range's ends in Hz and then `remedy`.
std::string RangeText(const char* format, const PassbandRange& range, const char* remedy = "") {
    char text[640];
    std::snprintf(text, sizeof text, format, range.min_rad_s * kHz, range.max_rad_s * kHz,
                  remedy);
    return text;
}

}  // namespace

PassbandRange DirectLoopPassbands(const PositionLoopPlant& p) {
    const double a = 2 * p.damping + 1;
    PassbandRange range{std::sqrt(DetentStiffness(p) / (a * p.total_inertia_kgm2)), INFINITY};
    if (p.period_s > 0) range.max_rad_s = kCrossoverPerSample_rad / (a * p.period_s);
    if (p.current_bandwidth_rad_s > 0)
        range.max_rad_s =
            std::min(range.max_rad_s, p.current_bandwidth_rad_s / (kInnerOverCrossover * a));
    return range;
}

std::string DirectLoopRefusal(const PassbandRange& range, double w) {
    if (range.Contains(w)) return {};
    return RangeText(range.Empty()
                         ? "No bandwidth suits a position loop that commands current on this "
                           "setup: it must be above %.1f Hz to be stiffer than the motor's "
                           "detent (below, the shaft hunts around the target), and at most "
                           "%.1f Hz for its sampling period and the current loop. Run the "
                           "position loop through the speed loop, or sample it faster.%s"
                         : "The bandwidth of a position loop that commands current must be "
                           "between %.1f Hz and %.1f Hz on this setup: below, the motor's "
                           "detent is stiffer than the loop and the shaft hunts around the "
                           "target; above, the loop is too fast for its sampling period and "
                           "the current loop.%s",
                     range);
}

double CascadedDetentMinimum(const PositionLoopPlant& p, const InnerLoop& speed) {
    if (!(p.total_inertia_kgm2 > 0) || !(speed.a > 0) || !(p.damping > 0)) return 0;
    const double missing = DetentStiffness(p) / p.total_inertia_kgm2 - speed.b;
    return missing > 0 ? missing / (2 * p.damping * speed.a) : 0;
}

std::string CascadedLoopRefusal(const PassbandRange& range, double w,
                                std::optional<double> speed_needed_rad_s) {
    if (range.Contains(w)) return {};
    if (!range.Empty())
        return RangeText("The bandwidth of the position loop on this speed loop must be "
                         "between %.1f Hz and %.1f Hz on this setup: below, the motor's detent "
                         "is stiffer than the loops and the shaft hunts around the target; "
                         "above, the speed loop is too slow for it.%s",
                         range);
    char remedy[160];
    if (speed_needed_rad_s)
        std::snprintf(remedy, sizeof remedy,
                      " Tune the speed loop to at least %.0f Hz first (more if the motor's "
                      "detent is above the usual %.0f %% of its holding torque).",
                      std::ceil(*speed_needed_rad_s * kHz), 100 * kDetentShareOfHolding);
    else
        std::snprintf(remedy, sizeof remedy,
                      " No speed loop this sampling period allows is fast enough: sample "
                      "faster.");
    return RangeText("No bandwidth suits the position loop on this speed loop: it must be "
                     "above %.1f Hz to hold the shaft against the motor's detent (below, the "
                     "shaft hunts from notch to notch around the target), and the speed loop "
                     "as tuned allows at most %.1f Hz.%s",
                     range, remedy);
}

double PiLoopPassbandLimit(double damping, double dead_time_s) {
    return Limit(damping, [dead_time_s](double x) {
        return std::exp(std::complex<double>(0, -x * dead_time_s));
    });
}

double CascadedPassbandLimit(double damping, const InnerLoop& inner) {
    return Limit(damping, [&inner](double x) {
        const std::complex<double> s(0, x);
        const std::complex<double> open =
            (inner.a * s + inner.b) / (s * s) * std::exp(-s * inner.dead_time_s);
        return open / (1.0 + open);
    });
}

std::optional<PassbandRange> AcceptedPassband(const CMC_Setup* setup, const char* name) {
    axis::ScopedSilentLookup silent;
    const CMC_Parameter* p = setup->FindParameter(name);
    if (!p) return std::nullopt;
    const std::string n(name);
    PassbandRange range{Value(setup, n + "_minim").value_or(p->GetMinInBaseUnit()),
                        Value(setup, n + "_maxim").value_or(p->GetMaxInBaseUnit())};
    const bool position = n == "PB_P";
    if (position && Value(setup, "PositionControlType").value_or(0) != 1) {
        // Bounded both ways, and possibly empty: no clamping of one end to the other.
        if (const auto plant = PositionPlant(setup)) {
            const PassbandRange direct = DirectLoopPassbands(*plant);
            range.min_rad_s = std::max(range.min_rad_s, direct.min_rad_s);
            range.limited = direct.max_rad_s < range.max_rad_s;
            range.max_rad_s = std::min(range.max_rad_s, direct.max_rad_s);
        }
        return range;
    }
    if (const auto bound = StabilityBound(setup, n); bound && *bound < range.max_rad_s) {
        range.max_rad_s = std::max(*bound, range.min_rad_s);
        range.limited = true;
    }
    if (position) {
        // The detent's bound comes after the clamping: when it lies above the speed
        // loop's, no passband is sound.
        const auto plant = PositionPlant(setup);
        const auto speed = SpeedLoopAsTuned(setup);
        if (plant && speed)
            range.min_rad_s = std::max(range.min_rad_s, CascadedDetentMinimum(*plant, *speed));
    }
    return range;
}

std::optional<double> SpeedPassbandForPositionLoop(const CMC_Setup* setup) {
    axis::ScopedSilentLookup silent;
    const auto plant = PositionPlant(setup);
    const auto speed_range = AcceptedPassband(setup, "PB_S");
    const auto speed_damping = Value(setup, "Dump_S");
    const CMC_Parameter* position = setup->FindParameter("PB_P");
    if (!plant || !speed_range || speed_range->Empty() || !speed_damping || !position)
        return std::nullopt;
    const double position_maxim =
        Value(setup, "PB_P_maxim").value_or(position->GetMaxInBaseUnit());
    const double dead_time = SpeedLoopDeadTime(setup);
    // Sound when the detent's bound lies below the speed loop's; a faster speed loop
    // lowers the one and raises the other.
    auto sound = [&](double w) {
        const InnerLoop speed{2 * *speed_damping * w, w * w, dead_time};
        return CascadedDetentMinimum(*plant, speed) <=
               std::min(position_maxim, CascadedPassbandLimit(plant->damping, speed));
    };
    double low = speed_range->min_rad_s, high = speed_range->max_rad_s;
    if (!(low > 0) || !std::isfinite(high) || !sound(high)) return std::nullopt;
    if (sound(low)) return low;
    // To a thousandth: the refusal gives it in whole Hz.
    while (high > 1.001 * low) {
        const double mid = std::sqrt(low * high);
        (sound(mid) ? high : low) = mid;
    }
    return high;
}

std::optional<PassbandRange> ApplyAcceptedPassband(CMC_Setup* setup, const char* name) {
    const auto range = AcceptedPassband(setup, name);
    if (!range || range->Empty()) return range;
    CMC_Parameter* p = setup->FindParameter(name);
    p->SetMinInBaseUnit(range->min_rad_s);
    p->SetMaxInBaseUnit(range->max_rad_s);
    p->SetValueInBaseUnit(p->GetValueInBaseUnit());
    return range;
}

}  // namespace orvex::tuning
