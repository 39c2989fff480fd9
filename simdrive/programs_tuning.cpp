// Programs that close the drive's loops: current step, electric angle search,
// inertia run, and the speed and position tuning runs along a segment table.

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>

#include "simdrive/estimators.h"
#include "simdrive/program_set.h"

namespace orvex::sim {
namespace {

constexpr double kQuarterTurn = 16384.0;

// Shared by the closed-loop programs: the test protection, test_flag, and the
// alignment with RefTest when the drive has not found electric angle 0 yet.
class ClosedLoopProgram : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;

  protected:
    void StartProtection(DriveCore& core) {
        core.SetTestProtection(std::max(0.0, Get("Imax_Prot_Test")));
        Set("test_flag", 1);
    }
    /// Holds RefTest on phase A until the rotor has settled, once; true when
    /// aligned.
    bool Align(DriveCore& core) {
        if (core.aligned()) return true;
        if (align_start_s_ < 0) align_start_s_ = core.time_s();
        core.ApplyVoltage(std::clamp(Get("RefTest"), 0.0, kMaxTestVoltage), 0);
        if (core.time_s() - align_start_s_ >= 0.4) {
            core.AlignElectricAngleHere();
            return true;
        }
        return false;
    }
    void PowerLost(DriveCore& core) override {
        // A protection switched the bridge off: the test failed.
        Set("test_flag", (core.trip_bits() & kMerOverCurrent) ? 0 : -1);
        Finish(core);
    }

  private:
    double align_start_s_ = -1;
};

// A current step 0 -> In1 on the axis the rotor is aligned with (phase A), so the
// step makes no torque; the logger sees the step after a short quiet start.
class CurrentTuning : public ClosedLoopProgram {
  public:
    using ClosedLoopProgram::ClosedLoopProgram;
    bool TriggersLogging() const override { return true; }

  protected:
    void Begin(DriveCore& core) override {
        StartProtection(core);
        step_ = Get("In1");
    }
    void FastSample(DriveCore& core) override {
        const double t = elapsed_s(core);
        constexpr double kQuiet_s = 0.005, kStepAfter_s = 0.0005, kMinHold_s = 0.02,
                         kMaxHold_s = 30.0;
        if (t >= kQuiet_s) TriggerLogging();
        const bool stepped = t >= kQuiet_s + kStepAfter_s;
        // The fixed frame puts the q axis on phase A: q is a quarter turn ahead of d.
        core.CommandCurrent(stepped ? step_ : 0.0, -kQuarterTurn, false);
        const bool logged = log_state() == LogState::kFull || log_state() == LogState::kOff;
        if ((stepped && logged && t >= kQuiet_s + kMinHold_s) || t >= kMaxHold_s) Finish(core);
    }

  private:
    double step_ = 0;
};

// Motionless start: the current rises to In1 by ReferenceIncrement per slow
// sample while the angle controller turns the current vector against any shaft
// motion. The controller is a PI on the shaft's motion per sample (electric angle
// units): the proportional part damps the rotor, which a current-fed winding
// does not; the integral part, the displacement so far, turns the vector onto the
// rotor's d axis, so the rotor ends close to where it started. Electric_Angle is
// the vector's angle less a quarter turn: -16384 for a rotor resting on phase A.
class AngleTuning : public ClosedLoopProgram {
  public:
    using ClosedLoopProgram::ClosedLoopProgram;

  protected:
    void Begin(DriveCore& core) override {
        Set("test_flag", 1);
        target_ = Get("In1");
        increment_ = std::max(1.0, Get("ReferenceIncrement"));
        hold_samples_ = std::max(1.0, Get("TimeLimit"));
        start_ = previous_ = core.position();
        Command(core);
    }
    void SlowSample(DriveCore& core) override {
        const DriveSettings& s = core.settings();
        reference_ = std::min(target_, reference_ + increment_);
        const double motion =
            static_cast<double>(static_cast<std::int64_t>(core.position() - previous_)) *
            s.angle_per_count / 65536.0;
        previous_ = core.position();
        integral_ += s.ki_angle * motion;
        angle_ = -(s.kp_angle * motion + integral_);
        Command(core);
        history_.push_back(angle_ - kQuarterTurn);
        if (history_.size() > 200) history_.pop_front();
        if (reference_ >= target_ && ++held_ >= hold_samples_) Verdict(core);
    }
    void FastSample(DriveCore& core) override { Command(core); }

  private:
    void Command(DriveCore& core) {
        // Vector at angle_: the q axis of the fixed frame, a quarter turn behind.
        core.CommandCurrent(reference_, angle_ - kQuarterTurn, false);
        core.live().electric_angle = angle_ - kQuarterTurn;
    }
    void Verdict(DriveCore& core) {
        const auto [lo, hi] = std::minmax_element(history_.begin(), history_.end());
        const double spread = history_.empty() ? 0 : *hi - *lo;
        const double current = std::hypot(core.current_a(), core.current_b());
        Set("theta_1", angle_ - kQuarterTurn);
        if (current < 0.5 * target_) {
            Set("test_flag", -3);
        } else if (spread > 4550) {
            // Still swinging by more than 25 electrical degrees over the last
            // 0.1 s; a count of encoder dither is less than 5 degrees.
            Set("test_flag", -2);
        }
        Finish(core);
    }

    double target_ = 0, increment_ = 1, hold_samples_ = 1, held_ = 0;
    double reference_ = 0, angle_ = 0, integral_ = 0;
    std::int64_t start_ = 0, previous_ = 0;
    std::deque<double> history_;
};

// The total inertia from the acceleration a known torque gives. A q-axis current
// (without phase advance, so the torque is K times it) accelerates the shaft;
// between two speed levels below LimitSpeedMax (a fifth and four fifths of it) a
// least-squares parabola through the fast-loop positions gives the acceleration,
// seeing through the one-count steps of the encoder. At the upper level the
// current reverses and brakes the shaft; a second fit between the same levels
// gives the deceleration. Friction and a constant load act the same way in both
// phases at the same speeds, so half the difference of the two is the
// acceleration of the current alone. It is taken per ampere of the currents
// measured during the fits (the back-EMF keeps the current loop a little short of
// its reference while the speed changes) and scaled to In1.
//
// The first run is at In1. A light load reaches the upper level within a few
// milliseconds, too few samples and too much of them spent while the current
// rises; the shaft is then braked to a stop and the run repeated at the current
// that makes the climb last about 20 ms (not below a tenth of In1). Torque is
// proportional to current, so the result per In1 stays the same.
//
// Reported as the speed gained at that acceleration over the accelerating fit's
// length in whole slow-loop samples, so the host's K In1 dt / dv is the inertia.
// Failures: -1 the shaft turns backwards, -2 no current or no speed, -3 the upper
// level is not reached or the fits have too few samples; never a zero time or
// speed gain with success.
class InertiaIdentification : public ClosedLoopProgram {
  public:
    using ClosedLoopProgram::ClosedLoopProgram;

  protected:
    void Begin(DriveCore& core) override {
        StartProtection(core);
        in1_ = current_ = Get("In1");
        limit_ = Get("LimitSpeedMax");
        Set("delta_time", -2);
        Set("delta_speed", 0);
        if (current_ <= 0) return End(core, -2);
        if (limit_ <= 0) return End(core, -3);
        divider_ = std::max(1, core.settings().slow_divider / core.settings().fast_divider);
        // The speed that places the two levels is the motion over enough slow samples
        // that the lower level is a few counts: over one sample, a coarse encoder at a
        // low top speed moves one or two counts, and the levels would pick samples by
        // the encoder's edges rather than by the speed.
        window_ =
            divider_ * static_cast<int>(std::ceil(kLevelCounts / std::max(0.2 * limit_, 1e-3)));
        window_ = std::min(window_, divider_ * kMaxWindowSamples);
        min_climb_samples_ = kMinClimb_s / core.fast_period_s();
        const double angle_per_count = core.settings().angle_per_count;
        counts_per_turn_ = angle_per_count > 0 ? 4294967296.0 / angle_per_count : 1e9;
    }
    void FastSample(DriveCore& core) override {
        if (!Align(core)) return;
        if (phase_ == Phase::kAlign) StartRun(core, Phase::kAccelerate);
        const double t = core.time_s() - phase_start_s_;
        // Speed in counts per slow sample over the last window.
        recent_.push_back(core.position());
        if (recent_.size() > static_cast<std::size_t>(window_) + 1) recent_.pop_front();
        const double speed =
            recent_.size() == static_cast<std::size_t>(window_) + 1
                ? static_cast<double>(recent_.back() - recent_.front()) * divider_ / window_
                : 0.0;
        // Whether the shaft still moves forwards, from the last slow sample alone: the
        // window lags, and braking on by its lag would turn the shaft back.
        const std::size_t last = std::min<std::size_t>(recent_.size() - 1, divider_);
        const bool moving = recent_.back() - recent_[recent_.size() - 1 - last] > 0;
        const bool still = recent_.back() == recent_.front();
        const double iq = core.live().iq;
        const double low = 0.2 * limit_, high = 0.8 * limit_;
        const double x = static_cast<double>(core.position());
        ++sample_;
        switch (phase_) {
            case Phase::kAlign:
                break;
            case Phase::kAccelerate:
                // The current must be there within the first 50 ms (later, the
                // back-EMF near the top speed may take it away).
                if (t <= 0.05) {
                    current_sum_ += iq;
                    ++current_count_;
                } else if (!current_checked_) {
                    current_checked_ = true;
                    if (std::fabs(current_sum_ / current_count_) < 0.3 * current_)
                        return End(core, -2);
                }
                // Backwards by an eighth of an electrical turn: the current turns
                // the shaft the wrong way (phases or encoder swapped).
                if (x - run_start_ < -std::max(2.0, counts_per_turn_ / 8)) return End(core, -1);
                if (speed > max_speed_) {
                    max_speed_ = speed;
                    max_speed_s_ = t;
                }
                if (speed >= low && low_sample_ < 0) low_sample_ = sample_;
                if (speed >= high) {
                    const double climb = static_cast<double>(sample_ - low_sample_);
                    if (!reduced_ && climb < min_climb_samples_) {
                        // Too quick to measure: stop, then again at less current.
                        reduced_ = true;
                        current_ = in1_ * std::clamp(1.3 * climb / min_climb_samples_, 0.1, 1.0);
                        StartRun(core, Phase::kStopForRetry);
                        break;
                    }
                    StartRun(core, Phase::kBrake, false);
                    break;
                }
                if (speed >= low && std::fabs(iq - current_) < 0.1 * current_) {
                    accelerating_.Add(static_cast<double>(sample_), x);
                    accelerating_current_ += iq;
                }
                // The reduced current is held back by the detent torque or the
                // friction (the top speed has not risen for a tenth of a second):
                // again, half way back to the test current. The test current itself
                // moved the shaft.
                if (current_ < in1_ && t - max_speed_s_ > 0.1) {
                    current_ = std::min(in1_, 0.5 * (current_ + in1_));
                    StartRun(core, Phase::kStopForRetry);
                    break;
                }
                // No motion at all is a missing current or encoder; some motion
                // that stays below the levels is a speed not reached.
                if (low_sample_ < 0 && max_speed_ < 1 && t > 2.0) return End(core, -2);
                // The top speed is below the upper level: it has not risen for
                // half a second, or the run takes too long.
                if ((max_speed_ >= 1 && t - max_speed_s_ > 0.5) || t > 4.0) return End(core, -3);
                break;
            case Phase::kBrake:
                if (speed <= high && speed >= low && std::fabs(iq + current_) < 0.1 * current_) {
                    braking_.Add(static_cast<double>(sample_), x);
                    braking_current_ += iq;
                }
                if (speed < low || t > 4.0) {
                    if (!Evaluate()) return Finish(core);
                    phase_ = Phase::kStop;
                }
                break;
            case Phase::kStopForRetry:
            case Phase::kStop:
                // Braking on to a stop; then the bridge goes off, or the shaft
                // comes to rest without current before the run starts again.
                if (!moving || t > 4.0) {
                    if (phase_ == Phase::kStop) return Finish(core);
                    StartRun(core, Phase::kRest);
                }
                break;
            case Phase::kRest:
                // A light rotor with little friction coasts on after the brake (or
                // swings in the detent): the next run starts from rest, or it would
                // start by turning backwards.
                if ((t >= kRest_s && still) || t >= kMaxRest_s) StartRun(core, Phase::kAccelerate);
                break;
        }
        double reference = current_;
        if (phase_ == Phase::kRest) reference = 0;
        if (phase_ == Phase::kStopForRetry) reference = -in1_;
        if (phase_ == Phase::kBrake || phase_ == Phase::kStop) reference = -current_;
        core.CommandCurrent(reference, 0, true, false);
    }

  private:
    enum class Phase { kAlign, kAccelerate, kBrake, kStop, kStopForRetry, kRest };
    static constexpr std::size_t kMinFitSamples = 8;
    static constexpr double kMinClimb_s = 0.02, kRest_s = 0.05, kMaxRest_s = 1.0;
    // The lower speed level spans this many counts of the speed window, which is at
    // most this many slow samples long.
    static constexpr double kLevelCounts = 4.0;
    static constexpr int kMaxWindowSamples = 16;

    void StartRun(DriveCore& core, Phase phase, bool restart_clock = true) {
        phase_ = phase;
        if (restart_clock) phase_start_s_ = core.time_s();
        if (phase == Phase::kAccelerate) {
            run_start_ = static_cast<double>(core.position());
            max_speed_ = max_speed_s_ = 0;
            current_checked_ = false;
            accelerating_.Clear();
            braking_.Clear();
            accelerating_current_ = braking_current_ = current_sum_ = 0;
            current_count_ = 0;
            low_sample_ = -1;
        }
    }
    // Sets the results; false (with the failure set) when they are not valid.
    bool Evaluate() {
        const std::size_t n_up = accelerating_.size(), n_down = braking_.size();
        if (n_up < kMinFitSamples || n_down < kMinFitSamples) return Fail(-3);
        const double a_up = accelerating_.Acceleration(), a_down = braking_.Acceleration();
        const double i_up = accelerating_current_ / n_up, i_down = braking_current_ / n_down;
        if (a_up <= 0 || a_down >= 0 || i_up - i_down <= 0) return Fail(-2);
        // Counts per fast sample squared, per In1, then per slow sample squared.
        const double a = (a_up - a_down) / (i_up - i_down) * in1_ * divider_ * divider_;
        const double samples = std::max(1.0, std::round(static_cast<double>(n_up) / divider_));
        Set("delta_time", samples);
        Set("delta_speed", a * samples);
        return true;
    }
    bool Fail(double delta_time) {
        Set("delta_time", delta_time);
        Set("delta_speed", 0);
        return false;
    }
    void End(DriveCore& core, double delta_time) {
        Fail(delta_time);
        Finish(core);
    }

    Phase phase_ = Phase::kAlign;
    double in1_ = 0, current_ = 0, limit_ = 0, phase_start_s_ = 0, min_climb_samples_ = 1;
    double run_start_ = 0, max_speed_ = 0, max_speed_s_ = 0, counts_per_turn_ = 1e9;
    bool reduced_ = false, current_checked_ = false;
    int divider_ = 1, window_ = 1, current_count_ = 0;
    std::int64_t sample_ = 0, low_sample_ = -1;
    double current_sum_ = 0, accelerating_current_ = 0, braking_current_ = 0;
    std::deque<std::int64_t> recent_;
    ParabolaFit accelerating_, braking_;
};

// The reference of the tuning runs: six segments, segment i adding b_i per sample
// for a_i samples, in 16.16 fixed point so that fractional increments sum exactly.
class SegmentReference {
  public:
    void Load(const VariableStore& vars) {
        for (int i = 0; i < 6; ++i) {
            auto a = vars.find("a" + std::to_string(i));
            auto b = vars.find("b" + std::to_string(i));
            samples_[i] = a == vars.end()
                              ? 0
                              : std::max<std::int64_t>(0, static_cast<std::int64_t>(a->second));
            increment_[i] =
                b == vars.end() ? 0 : static_cast<std::int64_t>(std::llround(b->second * 65536.0));
        }
        segment_ = 0;
        done_in_segment_ = 0;
    }
    /// Advances one sample; false once the sixth segment has ended.
    bool Advance() {
        while (segment_ < 6 && done_in_segment_ >= samples_[segment_]) {
            ++segment_;
            done_in_segment_ = 0;
        }
        if (segment_ >= 6) return false;
        value_ += increment_[segment_];
        ++done_in_segment_;
        return true;
    }
    void Restart() {
        segment_ = 0;
        done_in_segment_ = 0;
    }
    double value() const { return static_cast<double>(value_) / 65536.0; }

  private:
    std::array<std::int64_t, 6> samples_{}, increment_{};
    int segment_ = 0;
    std::int64_t done_in_segment_ = 0;
    std::int64_t value_ = 0;
};

// Speed or position tuning run: follows the segment reference through the
// drive's loops, once or again and again while MultiC is 1.
class LoopTuning : public ClosedLoopProgram {
  public:
    enum class Loop { kSpeed, kPositionWithSpeed, kPositionDirect };
    LoopTuning(VariableStore& vars, Loop loop) : ClosedLoopProgram(vars), loop_(loop) {}

  protected:
    void Begin(DriveCore& core) override {
        StartProtection(core);
        if (loop_ == Loop::kPositionWithSpeed) {
            core.SetTestSpeedLimit(std::max(0.0, Get("LimitSpeed_Test")));
        } else {
            core.SetTestCurrentLimit(std::max(0.0, Get("IlimPS_Test")));
        }
        reference_.Load(vars_);
    }
    void FastSample(DriveCore& core) override {
        if (!Align(core)) return;
        if (!running_) {
            running_ = true;
            origin_ = static_cast<double>(core.position());
            Command(core);
        }
    }
    void SlowSample(DriveCore& core) override {
        if (!running_) return;
        if (!reference_.Advance()) {
            if (Get("MultiC") != 0) {
                reference_.Restart();
                reference_.Advance();
            } else if (++settle_samples_ > kSettleSamples) {
                Finish(core);
                return;
            }
        }
        Command(core);
    }

  private:
    // After the last segment the loop holds the final reference this long, so the
    // logger sees the end of the response.
    static constexpr int kSettleSamples = 200;
    void Command(DriveCore& core) {
        switch (loop_) {
            case Loop::kSpeed:
                core.CommandSpeed(reference_.value());
                break;
            case Loop::kPositionWithSpeed:
                core.CommandPosition(origin_ + reference_.value(), true);
                break;
            case Loop::kPositionDirect:
                core.CommandPosition(origin_ + reference_.value(), false);
                break;
        }
    }

    Loop loop_;
    SegmentReference reference_;
    bool running_ = false;
    double origin_ = 0;
    int settle_samples_ = 0;
};

}  // namespace

std::unique_ptr<DriveProgram> MakeTuningProgram(const std::string& name, VariableStore& vars) {
    if (name == "Current_Controller_Tuning_Test") return std::make_unique<CurrentTuning>(vars);
    if (name == "Angle_Controller_Tuning_Test") return std::make_unique<AngleTuning>(vars);
    if (name == "Total_Inertia_Identification_Test")
        return std::make_unique<InertiaIdentification>(vars);
    if (name == "Speed_Controller_Tuning_Test")
        return std::make_unique<LoopTuning>(vars, LoopTuning::Loop::kSpeed);
    if (name == "Position_Controller_Tuning_Test_with_SpdCtrl")
        return std::make_unique<LoopTuning>(vars, LoopTuning::Loop::kPositionWithSpeed);
    if (name == "Position_Controller_Tuning_Test_without_SpdCtrl")
        return std::make_unique<LoopTuning>(vars, LoopTuning::Loop::kPositionDirect);
    return nullptr;
}

}  // namespace orvex::sim
