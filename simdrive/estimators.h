#pragma once
// Signal processing as a drive firmware does it on its own samples: a synchronous
// demodulator for the inductance run, a timer of a first-order step response and a
// least-squares parabola through positions (the identification programs), and the
// speed observer the speed loop runs on.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvex::sim {

/// Demodulates a sampled signal against a reference of exactly `period` samples per
/// turn: after each sample, the in-phase and quadrature amplitudes over the last
/// whole period (a sliding single-bin DFT). Over a whole period the harmonics and
/// any constant part cancel exactly, so every output sample is the fundamental's
/// phasor, not a product still carrying the double frequency.
class SlidingDemodulator {
  public:
    explicit SlidingDemodulator(std::size_t period);
    /// Adds the sample taken at reference angle `angle_rad`.
    void Add(double sample, double angle_rad);
    /// A whole period has been seen.
    bool full() const { return count_ >= in_phase_.size(); }
    /// Amplitude of the part in phase with cos(angle).
    double in_phase() const { return 2.0 * sum_in_ / static_cast<double>(in_phase_.size()); }
    /// Amplitude of the part a quarter turn behind it (along sin(angle)).
    double quadrature() const { return 2.0 * sum_quad_ / static_cast<double>(quad_.size()); }

  private:
    std::vector<double> in_phase_, quad_;
    std::size_t next_ = 0, count_ = 0;
    double sum_in_ = 0, sum_quad_ = 0;
};

/// Times a first-order step response: fed with the filtered response after a step
/// towards `final_value`, it reports the time it first passed 1 - 1/e of the way,
/// which is the time constant.
class StepResponseTimer {
  public:
    StepResponseTimer(double initial_value, double final_value)
        : initial_(initial_value), final_(final_value) {}
    /// One sample `elapsed_s` after the step; true once the time constant is known.
    bool Add(double value, double elapsed_s);
    double time_constant_s() const { return tau_s_; }
    bool done() const { return tau_s_ > 0; }

  private:
    double initial_, final_;
    double previous_value_ = 0, previous_s_ = -1, tau_s_ = 0;
};

/// Least-squares parabola x(k) = c0 + c1 k + c2 k^2 through samples x taken at
/// sample indexes k (one per period; gaps allowed); the acceleration is 2 c2 per
/// period squared. A fit over many samples sees through the one-count quantisation
/// of the encoder that a difference of two speeds would carry in full.
class ParabolaFit {
  public:
    void Add(double k, double x) { samples_.push_back({k, x}); }
    std::size_t size() const { return samples_.size(); }
    void Clear() { samples_.clear(); }
    /// Second derivative (per sample squared); 0 with fewer than three distinct
    /// sample indexes.
    double Acceleration() const;

  private:
    struct Sample {
        double k, x;
    };
    std::vector<Sample> samples_;
};

/// The speed the speed loop controls, observed from the encoder counts alone, once
/// per slow-loop sample (counts, counts per sample). The counts moved over the last
/// sample are the mean speed over it: half a sample old. The current the loop then
/// commands is held over the next sample, so it acts on average half a sample later
/// again. With a sample of dead time in the loop, a loop designed as continuous
/// overshoots more and rises faster than designed (some 8 degrees of phase at a
/// tenth of a radian per sample).
///
/// The observer follows the counts with a shaft that moves at constant acceleration
/// between samples (position, speed, acceleration; a tracking observer, no motor
/// data needed) and gives the speed predicted for the middle of the coming sample:
/// the speed at which the held current acts. The three poles of its error lie
/// together at kPole (per sample): fast enough that its own settling, about a
/// sample, stays short against the loop's; slow enough that the encoder's
/// quantisation comes through weaker than in the difference of two counts (rms
/// gain 1.05 against 1.41), so the estimate stays within a count per sample of the
/// true speed. It follows a constant acceleration without lag or bias.
class SpeedObserver {
  public:
    static constexpr double kPole = 0.4;
    explicit SpeedObserver(double pole = kPole);
    /// One sample: the position counted at it.
    void Update(std::int64_t position);
    /// Speed at the sample instant (counts per sample).
    double speed() const { return speed_; }
    /// Speed half a sample on: what the loop controls.
    double HalfSampleAhead() const { return speed_ + 0.5 * acceleration_; }

  private:
    double alpha_, beta_, gamma_;
    bool started_ = false;
    std::int64_t last_count_ = 0;
    // Observed position less the last count: small, so exact in a double however
    // far the shaft has turned.
    double offset_ = 0, speed_ = 0, acceleration_ = 0;
};

}  // namespace orvex::sim
