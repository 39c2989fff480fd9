#include "compute/identification.h"

#include <cmath>
#include <numbers>

#include "host/setup/host_math.h"

namespace orvex {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// The inductance program advances its angle by TINCTST per fast sample with 65535,
// not 65536, counts per electrical turn.
constexpr double kAnglePerTurn = 65535.0;
}  // namespace

double PhaseCurrentFromCounts(double counts, double imaxps_A, double adc_max) {
    // A small negative reading rounds to -0, which would print as "-0": adding 0
    // makes it a plain 0.
    return RoundDecimalValue(2.0 * imaxps_A * counts / adc_max, 2) + 0.0;
}

bool PhaseConnectionGood(double ia_A, double ib_A, double test_current_A) {
    if (ib_A == 0.0) return false;
    const double ratio = std::fabs(ia_A / ib_A);
    return ratio > 0.8 && ratio < 1.2 && ia_A > 0.5 * test_current_A && ib_A < 2.0 * test_current_A;
}

double BusVoltageFromCounts(double counts, double vdc_max_measurable_V, double adc_max) {
    return vdc_max_measurable_V * counts / adc_max;
}

RlEstimate ResistanceFromRuns(double u1, double i1, double u2, double i2, double k_V, double k_I) {
    if (i1 == i2) return {RlStatus::kEqualCurrents, 0.0};
    const double r = ((u1 - u2) / (i1 - i2)) / k_V * k_I;
    if (!std::isfinite(r)) return {RlStatus::kNotFinite, 0.0};
    return {RlStatus::kOk, r};
}

RlEstimate InductanceFromRun(const InductanceMeans& means, double theta_inc, double u3,
                             double current_loop_period_s, double k_V, double k_I) {
    if (means.magnitude_sq.Count() == 0) return {RlStatus::kNoPoints, 0.0};
    const double omega = theta_inc * kTwoPi / (current_loop_period_s * kAnglePerTurn);
    if (omega == 0.0 || means.magnitude_sq.Value() == 0.0) return {RlStatus::kNoCurrent, 0.0};
    const double l =
        (means.quadrature.Value() * u3) / (omega * means.magnitude_sq.Value()) * k_I / k_V;
    if (!std::isfinite(l)) return {RlStatus::kNotFinite, 0.0};
    if (l < kMinInductance_H) return {RlStatus::kInductanceTooSmall, l};
    if (l > kMaxInductance_H) return {RlStatus::kInductanceTooLarge, l};
    return {RlStatus::kOk, l};
}

InertiaVerdict InertiaVerdictFor(double test_flag, double delta_time) {
    if (test_flag <= 0.0) return InertiaVerdict::kFlagFailed;
    if (delta_time == -1.0) return InertiaVerdict::kSpeedNegative;
    if (delta_time == -2.0) return InertiaVerdict::kNoSpeed;
    if (delta_time < 0.0) return InertiaVerdict::kSpeedNotReached;
    return InertiaVerdict::kOk;
}

std::optional<double> TotalInertia(double motor_speed_scale, double current_scale,
                                   double delta_time, double speed_loop_period_s,
                                   double torque_constant, double delta_speed,
                                   double test_current_counts) {
    if (delta_speed == 0.0 || delta_time == 0.0) return std::nullopt;
    const double j = (motor_speed_scale / current_scale) * delta_time * speed_loop_period_s *
                     torque_constant / delta_speed * test_current_counts;
    if (!std::isfinite(j) || j <= 0.0) return std::nullopt;
    return j;
}

}  // namespace orvex
