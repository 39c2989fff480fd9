#pragma once
// The drive's controllers, in counts. A controller is the parallel form
//   u_k = Kp e_k + sum_{j<=k} Ki e_j  (+ Kd filtered (e_k - e_{k-1}))
// with the integral sum clamped to its own limit and the output to the loop's
// limit, exactly as the firmware computes it once per sample. With the sum taken
// per sample, Ki is the continuous integral gain times the sample period, which is
// how the gain designs are made.

#include <algorithm>
#include <cmath>

#include "simdrive/registers.h"

namespace orvex::sim {

struct PidState {
    double integral = 0.0;
    double previous_error = 0.0;
    double derivative = 0.0;
    void Reset() { *this = PidState{}; }
};

/// What the integral does while the output is at its limit.
enum class Windup {
    kIntegrate,  // keeps summing (up to its own limit)
    kHold,       // stops summing the error that drives the output further into the limit
};

/// One PI(D) sample. `kd_pole` filters the derivative: d = pole d + (1 - pole) raw.
/// With Windup::kHold the sum grows only while the output it makes is within its
/// limit or the error would bring it back: an integral that keeps summing while the
/// current is at its limit is released as overshoot once the error has gone (the
/// loop then overshoots by what the saturation cost, not by what the design says).
inline double PidSample(PidState& s, double error, double kp, double ki, double kd, double kd_pole,
                        double integral_limit, double output_limit,
                        Windup windup = Windup::kIntegrate) {
    const double held = s.integral;
    s.integral = std::clamp(s.integral + ki * error, -integral_limit, integral_limit);
    double out = kp * error;
    if (kd != 0.0) {
        const double raw = kd * (error - s.previous_error);
        s.derivative = kd_pole * s.derivative + (1.0 - kd_pole) * raw;
        out += s.derivative;
    }
    s.previous_error = error;
    if (windup == Windup::kHold && std::fabs(out + s.integral) > output_limit &&
        (out + s.integral) * ki * error > 0)
        s.integral = held;
    return std::clamp(out + s.integral, -output_limit, output_limit);
}

/// A chain of biquad slots (direct form I with the drive's scaled coefficients).
class BiquadChain {
  public:
    void Configure(const BiquadCoefficients* coefficients, int count) {
        count_ = count;
        for (int i = 0; i < count; ++i) {
            const BiquadCoefficients& b = coefficients[i];
            const double k = b.sf / 2147483648.0;
            c_[i] = {b.b0 * k, b.b1 * k, b.b2 * k, b.a1 * k, b.a2 * k, 1};
        }
    }
    void Reset() {
        for (auto& m : m_) m = Memory{};
    }
    double Filter(double x) {
        for (int i = 0; i < count_; ++i) {
            const BiquadCoefficients& c = c_[i];
            Memory& m = m_[i];
            const double y = c.b0 * x + c.b1 * m.x1 + c.b2 * m.x2 - c.a1 * m.y1 - c.a2 * m.y2;
            m.x2 = m.x1;
            m.x1 = x;
            m.y2 = m.y1;
            m.y1 = y;
            x = y;
        }
        return x;
    }

  private:
    struct Memory {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    };
    int count_ = 0;
    BiquadCoefficients c_[3];
    Memory m_[3];
};

}  // namespace orvex::sim
