#include "simdrive/estimators.h"

#include <algorithm>
#include <cmath>

namespace orvex::sim {

SlidingDemodulator::SlidingDemodulator(std::size_t period)
    : in_phase_(period == 0 ? 1 : period, 0.0), quad_(period == 0 ? 1 : period, 0.0) {}

void SlidingDemodulator::Add(double sample, double angle_rad) {
    const double in = sample * std::cos(angle_rad);
    const double quad = sample * std::sin(angle_rad);
    sum_in_ += in - in_phase_[next_];
    sum_quad_ += quad - quad_[next_];
    in_phase_[next_] = in;
    quad_[next_] = quad;
    next_ = (next_ + 1) % in_phase_.size();
    ++count_;
    // Running sums drift by rounding over millions of samples; a fresh sum once
    // per period keeps them exact enough.
    if (next_ == 0) {
        sum_in_ = sum_quad_ = 0;
        for (std::size_t k = 0; k < in_phase_.size(); ++k) {
            sum_in_ += in_phase_[k];
            sum_quad_ += quad_[k];
        }
    }
}

bool StepResponseTimer::Add(double value, double elapsed_s) {
    if (done()) return true;
    const double level = initial_ + (1.0 - std::exp(-1.0)) * (final_ - initial_);
    const bool rising = final_ >= initial_;
    const bool passed = rising ? value >= level : value <= level;
    if (passed) {
        // Between two samples the response is close to a straight line.
        double t = elapsed_s;
        if (previous_s_ >= 0 && value != previous_value_)
            t = previous_s_ +
                (elapsed_s - previous_s_) * (level - previous_value_) / (value - previous_value_);
        tau_s_ = std::max(t, 1e-9);
        return true;
    }
    previous_value_ = value;
    previous_s_ = elapsed_s;
    return false;
}

double ParabolaFit::Acceleration() const {
    const std::size_t n = samples_.size();
    if (n < 3) return 0.0;
    // Time centred on the window and scaled to about [-1, 1] keeps the normal
    // equations well conditioned however long the window.
    double lo = samples_.front().k, hi = lo, mean = 0;
    for (const Sample& s : samples_) {
        lo = std::min(lo, s.k);
        hi = std::max(hi, s.k);
        mean += s.k;
    }
    mean /= static_cast<double>(n);
    const double half = 0.5 * (hi - lo);
    if (half <= 0) return 0.0;
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, y0 = 0, y1 = 0, y2 = 0;
    for (const Sample& s : samples_) {
        const double u = (s.k - mean) / half, u2 = u * u;
        s0 += 1;
        s1 += u;
        s2 += u2;
        s3 += u2 * u;
        s4 += u2 * u2;
        y0 += s.x;
        y1 += s.x * u;
        y2 += s.x * u2;
    }
    // Cramer's rule on [s0 s1 s2; s1 s2 s3; s2 s3 s4] c = [y0 y1 y2], for c2.
    const double det =
        s0 * (s2 * s4 - s3 * s3) - s1 * (s1 * s4 - s3 * s2) + s2 * (s1 * s3 - s2 * s2);
    if (std::fabs(det) < 1e-12 * s0 * s0 * s0) return 0.0;
    const double det2 =
        s0 * (s2 * y2 - y1 * s3) - s1 * (s1 * y2 - y1 * s2) + y0 * (s1 * s3 - s2 * s2);
    const double c2 = det2 / det;  // per unit of u squared
    return 2.0 * c2 / (half * half);
}

// Gains that put the three poles of the estimation error together at `pole`:
// (z - pole)^3 for the constant-acceleration model corrected at each sample.
SpeedObserver::SpeedObserver(double pole)
    : alpha_(1 - pole * pole * pole),
      beta_(1.5 * (1 - pole) * (1 - pole) * (1 + pole)),
      gamma_((1 - pole) * (1 - pole) * (1 - pole)) {}

void SpeedObserver::Update(std::int64_t position) {
    if (!started_) {
        started_ = true;
        last_count_ = position;
        offset_ = speed_ = acceleration_ = 0;
        return;
    }
    const double moved = static_cast<double>(position - last_count_);
    last_count_ = position;
    // Predicted over the sample, against the new count.
    const double predicted = offset_ + speed_ + 0.5 * acceleration_ - moved;
    const double innovation = -predicted;
    offset_ = predicted + alpha_ * innovation;
    speed_ += acceleration_ + beta_ * innovation;
    acceleration_ += gamma_ * innovation;
}

}  // namespace orvex::sim
