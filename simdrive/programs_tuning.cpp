// Programs that close the drive's loops: current step, electric angle search,
// inertia run, and the speed and position tuning runs along a segment table.

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>

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

// q-axis current In1 accelerates the shaft; the time between two speed levels
// below LimitSpeedMax and the speed gained between exactly those samples are
// reported; then the shaft is braked and the bridge switched off.
class InertiaIdentification : public ClosedLoopProgram {
  public:
    using ClosedLoopProgram::ClosedLoopProgram;

  protected:
    void Begin(DriveCore& core) override {
        StartProtection(core);
        current_ = Get("In1");
        limit_ = Get("LimitSpeedMax");
        if (limit_ <= 0) limit_ = 10;
        Set("delta_time", -2);
        Set("delta_speed", 0);
    }
    void FastSample(DriveCore& core) override {
        if (!Align(core)) return;
        if (phase_ == Phase::kAlign) {
            phase_ = Phase::kAccelerate;
            phase_start_s_ = core.time_s();
        }
        core.CommandCurrent(phase_ == Phase::kBrake ? -current_ : current_, 0, true);
    }
    void SlowSample(DriveCore& core) override {
        if (phase_ == Phase::kAlign) return;
        // Speed over a window of samples: the mean over the window, so the
        // quantisation of one sample (one count) shrinks by the window length.
        positions_.push_back(core.position());
        ++sample_;
        if (positions_.size() > kWindow + 1) positions_.pop_front();
        if (positions_.size() < kWindow + 1) return;
        const double speed = static_cast<double>(positions_.back() - positions_.front()) / kWindow;
        const double t = core.time_s() - phase_start_s_;
        if (phase_ == Phase::kBrake) {
            if (speed <= 0.5 || t > 3.0) Finish(core);
            return;
        }
        if (std::fabs(core.live().iq) < 0.3 * current_ && t > 0.05) return End(core, -2);
        if (speed < -std::max(1.0, 0.1 * limit_)) return End(core, -1);
        const double low = 0.2 * limit_, high = 0.8 * limit_;
        if (first_sample_ < 0 && speed >= low) {
            first_sample_ = sample_;
            first_speed_ = speed;
        }
        if (first_sample_ >= 0 && speed >= high) {
            Set("delta_time", static_cast<double>(sample_ - first_sample_));
            Set("delta_speed", speed - first_speed_);
            phase_ = Phase::kBrake;
            phase_start_s_ = core.time_s();
            return;
        }
        if (first_sample_ < 0 && t > 2.0) return End(core, -2);
        if (t > 4.0) return End(core, -3);
    }

  private:
    enum class Phase { kAlign, kAccelerate, kBrake };
    static constexpr std::size_t kWindow = 16;
    void End(DriveCore& core, double delta_time) {
        Set("delta_time", delta_time);
        Finish(core);
    }

    Phase phase_ = Phase::kAlign;
    double current_ = 0, limit_ = 0, phase_start_s_ = 0, first_speed_ = 0;
    std::int64_t sample_ = 0, first_sample_ = -1;
    std::deque<std::int64_t> positions_;
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
