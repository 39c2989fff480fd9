// Programs that find out about the motor: alignment, phase and encoder checks,
// resistance, inductance, bus voltage and the analogue input. Each one works only
// from what the drive measures (phase current ADCs, bus ADC, encoder counts) and
// adapts its timing to the motor it finds: nothing assumes a frame size.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "simdrive/estimators.h"
#include "simdrive/program_set.h"

namespace orvex::sim {
namespace {

constexpr double kQuarterTurn = 16384.0;  // electric angle units, 65536 per turn
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The phase A current averaged over blocks of a few milliseconds: a block mean
// that no longer changes says the winding's transient is over, however long its
// time constant, without knowing it.
class SettleWatch {
  public:
    void Restart() {
        sum_ = 0;
        count_ = 0;
        block_start_s_ = -1;
        previous_ = 0;
        have_previous_ = false;
        quiet_blocks_ = 0;
    }
    /// One sample; true once two blocks in a row changed less than `tolerance`.
    bool Add(double value, double now_s, double tolerance) {
        if (block_start_s_ < 0) block_start_s_ = now_s;
        sum_ += value;
        ++count_;
        if (now_s - block_start_s_ < kBlock_s) return false;
        const double mean = sum_ / count_;
        quiet_blocks_ =
            have_previous_ && std::fabs(mean - previous_) <= tolerance ? quiet_blocks_ + 1 : 0;
        previous_ = mean;
        have_previous_ = true;
        sum_ = 0;
        count_ = 0;
        block_start_s_ = now_s;
        return quiet_blocks_ >= 2;
    }
    /// Mean of the last whole block.
    double mean() const { return previous_; }

  private:
    static constexpr double kBlock_s = 0.002;
    double sum_ = 0, block_start_s_ = -1, previous_ = 0;
    int count_ = 0, quiet_blocks_ = 0;
    bool have_previous_ = false;
};

// Finds the voltage on phase A that drives In1 and leaves the rotor aligned with
// phase A (electric angle 0 here). A ramp slow enough for the largest winding
// time constant brings the current to half of In1; from there each step takes
// the voltage the last two operating points call for (a secant, so the bridge's
// dead-time drop, the same at both, does not bias it) and waits until the current
// has settled. Then it holds until the encoder says the shaft has stopped.
class InitialPositioning : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;

  protected:
    void Begin(DriveCore& core) override {
        target_ = Get("In1");
        if (target_ <= 0) {
            Set("In1", 0);
            Finish(core);
        }
    }
    void FastSample(DriveCore& core) override {
        const double now = core.time_s();
        const double current = core.current_a();
        switch (stage_) {
            case Stage::kRamp:
                // 20000 counts a second: a winding of 12 ms time constant lags the
                // ramp by 240 counts, little against the voltage even the largest
                // motor needs at half its test current.
                filtered_ += 0.25 * (current - filtered_);
                if (filtered_ >= 0.5 * target_) {
                    Hold(Stage::kFirstPoint);
                } else {
                    voltage_ += kRampRate_per_s * core.fast_period_s();
                    if (voltage_ > kMaxTestVoltage) return GiveUp(core);
                }
                break;
            case Stage::kFirstPoint:
            case Stage::kSecondPoint:
            case Stage::kFinalPoint:
                if (!watch_.Add(current, now, std::max(1.5, 1e-3 * target_))) break;
                if (!NextPoint(core, watch_.mean())) return;
                break;
            case Stage::kStill: {
                const std::int64_t p = core.position();
                if (std::llabs(p - still_position_) > 1) {
                    still_position_ = p;
                    still_since_s_ = now;
                }
                if (now - still_since_s_ >= kStill_s || now - hold_start_s_ >= kMaxHold_s) {
                    core.AlignElectricAngleHere();
                    Finish(core);
                    return;
                }
                break;
            }
        }
        core.ApplyVoltage(voltage_, 0);
    }

  private:
    enum class Stage { kRamp, kFirstPoint, kSecondPoint, kFinalPoint, kStill };
    static constexpr double kRampRate_per_s = 20000.0;
    static constexpr double kStill_s = 0.03, kMaxHold_s = 1.0;

    void Hold(Stage stage) {
        stage_ = stage;
        watch_.Restart();
    }
    void GiveUp(DriveCore& core) {
        Set("REFTST_V", std::round(std::min(voltage_, kMaxTestVoltage)));
        Set("In1", 0);
        Finish(core);
    }
    // A settled operating point: choose the next voltage; false when finished.
    bool NextPoint(DriveCore& core, double current) {
        if (current <= 0) {
            GiveUp(core);
            return false;
        }
        double next = voltage_ * target_ / current;  // first: proportional
        if (stage_ != Stage::kFirstPoint && std::fabs(current - last_current_) > 1.0)
            next = voltage_ +
                   (voltage_ - last_voltage_) / (current - last_current_) * (target_ - current);
        last_voltage_ = voltage_;
        last_current_ = current;
        if (stage_ == Stage::kFinalPoint) {
            Set("REFTST_V", std::round(voltage_));
            stage_ = Stage::kStill;
            still_position_ = core.position();
            still_since_s_ = hold_start_s_ = core.time_s();
            return true;
        }
        if (next <= 0 || next > kMaxTestVoltage) {
            GiveUp(core);
            return false;
        }
        voltage_ = std::round(next);
        Hold(stage_ == Stage::kFirstPoint ? Stage::kSecondPoint : Stage::kFinalPoint);
        return true;
    }

    Stage stage_ = Stage::kRamp;
    double target_ = 0, voltage_ = 0, filtered_ = 0;
    double last_voltage_ = 0, last_current_ = 0;
    SettleWatch watch_;
    std::int64_t still_position_ = 0;
    double still_since_s_ = 0, hold_start_s_ = 0;
};

// RefTest on phase A alone, then on phase B alone; reports both steady currents.
class PhaseConnection : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;

  protected:
    void Begin(DriveCore& core) override {
        voltage_ = std::clamp(Get("RefTest"), 0.0, kMaxTestVoltage);
    }
    void FastSample(DriveCore& core) override {
        const double t = elapsed_s(core);
        constexpr double kPhase_s = 0.4, kAverageFrom_s = 0.25;
        const bool on_b = t >= kPhase_s;
        const double local = on_b ? t - kPhase_s : t;
        core.ApplyVoltage(voltage_, on_b ? kQuarterTurn : 0);
        if (local >= kAverageFrom_s) {
            sum_ += on_b ? core.current_b() : core.current_a();
            ++count_;
        }
        if (!on_b && t + core.fast_period_s() >= kPhase_s && count_ > 0) {
            Set("var_i1", std::round(sum_ / count_));
            sum_ = 0;
            count_ = 0;
        }
        if (on_b && local >= kPhase_s) {
            Set("var_i2", count_ > 0 ? std::round(sum_ / count_) : 0);
            Finish(core);
        }
    }

  private:
    double voltage_ = 0, sum_ = 0;
    int count_ = 0;
};

// Power off while the operator turns the shaft; runs until the host writes 1
// into var_i2 (or stops it).
class EncoderConnection : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;
    void Load() override {
        DriveProgram::Load();
        Set("var_i2", 0);
    }

  protected:
    bool NeedsPower() const override { return false; }
    void Begin(DriveCore& core) override { core.SetHandTurning(true); }
    void FastSample(DriveCore& core) override {
        if (Get("var_i2") == 1) Finish(core);
    }
};

// Turns the field PolesPairs electrical turns open loop (RefTest on a rotating
// voltage vector) and reports the counts of exactly that motion: one revolution
// when the encoder and the step count are right. The rotor lags the field by an
// angle that depends only on where in the electrical turn it is, once the speed is
// steady; so the count is taken between two instants a whole number of electrical
// turns apart during the steady run (one turn to speed up and one to settle
// before, one to slow down after). The lag is then the same at both ends and the
// two positions are exactly one revolution apart, whatever the friction, detent or
// encoder edges; counts read at rest would differ by one when an edge lies
// between the two resting angles.
class EncoderResolution : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;

  protected:
    void Begin(DriveCore& core) override {
        voltage_ = std::clamp(Get("RefTest"), 0.0, kMaxTestVoltage);
        turns_ = static_cast<std::int64_t>(std::trunc(Get("PolesPairs")));
        start_ = core.position();
        // Five electrical turns a second: slow enough that the back-EMF of even a
        // large motor leaves most of the current to pull the rotor along. A whole
        // number of samples per turn puts the two marks at the same angle.
        per_turn_ = std::max<std::int64_t>(
            16, static_cast<std::int64_t>(std::llround(1.0 / (5.0 * core.fast_period_s()))));
        Set("var_lf_long", 0);
        if (turns_ <= 0) Finish(core);
    }
    void FastSample(DriveCore& core) override {
        const double t = elapsed_s(core);
        constexpr double kSettle_s = 0.2, kFinalHold_s = 0.1;
        const std::int64_t end = (turns_ + 3) * per_turn_;
        if (t >= kSettle_s && step_ < end) {
            // Speed up over the first turn and slow down over the last one (a
            // quarter of full speed at least, so the ramps end); full speed, one
            // step a sample, in between.
            const double turn = static_cast<double>(step_) / per_turn_;
            const double last = static_cast<double>(end - step_) / per_turn_;
            const double speed = std::max(0.25, std::min({1.0, std::sqrt(turn), std::sqrt(last)}));
            progress_ += speed;
            const auto whole = static_cast<std::int64_t>(progress_);
            progress_ -= static_cast<double>(whole);
            step_ = std::min(end, step_ + whole);
            const std::int64_t p = core.position();
            if (step_ == 2 * per_turn_) first_mark_ = p;
            if (step_ == (2 + turns_) * per_turn_) moved_ = static_cast<double>(p - first_mark_);
            if (step_ >= end) done_s_ = t;
        }
        const double angle = static_cast<double>(step_ % per_turn_) / per_turn_ * 65536.0;
        core.ApplyVoltage(voltage_, angle);
        Set("var_lf_long", static_cast<double>(core.position() - start_));
        if (done_s_ > 0 && t - done_s_ >= kFinalHold_s) {
            Set("var_lf_long", moved_);
            Finish(core);
        }
    }

  private:
    double voltage_ = 0, progress_ = 0, done_s_ = 0, moved_ = 0;
    std::int64_t turns_ = 0, per_turn_ = 1, step_ = 0, start_ = 0, first_mark_ = 0;
};

// The winding's time constant from the rise of the phase A current after a voltage
// step towards the test current. The resistance and inductance runs time their
// waits by it: eight time constants leave 0.03 % of a step.
class TimedStep {
  public:
    void Start(double target) { timer_ = StepResponseTimer(0.0, target); }
    /// One sample; true once the time constant is known (or the rise took so
    /// long that the fallback, a fifth of the time waited, is used).
    bool Add(double current, double elapsed_s) {
        filtered_ += 0.5 * (current - filtered_);
        if (timer_.Add(filtered_, elapsed_s)) return true;
        return elapsed_s >= kGiveUp_s;
    }
    double tau_s() const { return timer_.done() ? timer_.time_constant_s() : kGiveUp_s / 5; }

  private:
    static constexpr double kGiveUp_s = 0.5;
    StepResponseTimer timer_{0.0, 1.0};
    double filtered_ = 0;
};

// Drives phase A (the rotor is aligned with it, so there is no torque) at RefTest,
// trims the voltage (at most four times) until the current is within 1 % of In1, waiting
// eight winding time constants after each change, then holds that voltage (a
// whole number of counts) while the logger records the current. What the host
// divides is the held voltage by the mean current of two such runs.
class IdentResistance : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;
    bool TriggersLogging() const override { return true; }

  protected:
    void Begin(DriveCore& core) override {
        target_ = Get("In1");
        voltage_ = std::round(std::clamp(Get("RefTest"), 0.0, kMaxTestVoltage));
        Set("var_i1", 0);
        step_.Start(target_);
        if (target_ <= 0 || voltage_ <= 0) Finish(core);
    }
    void FastSample(DriveCore& core) override {
        const double t = elapsed_s(core);
        const double current = core.current_a();
        core.ApplyVoltage(voltage_, 0);
        switch (stage_) {
            case Stage::kTiming:
                if (step_.Add(current, t)) {
                    wait_s_ = std::max(kMinWait_s, 8 * step_.tau_s());
                    Wait(t);
                }
                return;
            case Stage::kSettling:
                // The mean over the last quarter of the wait is the settled current.
                if (t - changed_s_ >= 0.75 * wait_s_) {
                    sum_ += current;
                    ++count_;
                }
                if (t - changed_s_ < wait_s_) return;
                if (const double mean = sum_ / std::max(1, count_);
                    trims_ < kMaxTrims && mean > 0 && std::fabs(target_ - mean) > 0.01 * target_) {
                    // The first trim goes half the way the voltage-to-current ratio
                    // says (the dead-time drop makes that ratio too high); later ones
                    // follow the secant of the last two points, which the drop does
                    // not bias.
                    double next = voltage_ + 0.5 * voltage_ / mean * (target_ - mean);
                    if (trims_ > 0 && std::fabs(mean - last_current_) > 1.0)
                        next = voltage_ + (voltage_ - last_voltage_) / (mean - last_current_) *
                                              (target_ - mean);
                    last_voltage_ = voltage_;
                    last_current_ = mean;
                    voltage_ = std::round(std::clamp(next, 1.0, kMaxTestVoltage));
                    ++trims_;
                    Wait(t);
                    return;
                }
                stage_ = Stage::kHolding;
                hold_start_s_ = t;
                Set("var_i1", voltage_);
                TriggerLogging();
                return;
            case Stage::kHolding: {
                bus_sum_ += core.bus_counts();
                ++bus_count_;
                Set("var_u2", std::round(bus_sum_ / bus_count_));
                const bool logged = log_state() == LogState::kFull || log_state() == LogState::kOff;
                if ((logged && t - hold_start_s_ >= kMinHold_s) || t - hold_start_s_ >= kMaxHold_s)
                    Finish(core);
                return;
            }
        }
    }

  private:
    enum class Stage { kTiming, kSettling, kHolding };
    static constexpr double kMinWait_s = 0.005, kMinHold_s = 0.02, kMaxHold_s = 30.0;
    static constexpr int kMaxTrims = 4;
    void Wait(double t) {
        stage_ = Stage::kSettling;
        changed_s_ = t;
        sum_ = 0;
        count_ = 0;
    }

    Stage stage_ = Stage::kTiming;
    double target_ = 0, voltage_ = 0;
    TimedStep step_;
    double wait_s_ = 0, changed_s_ = 0, sum_ = 0, hold_start_s_ = 0, bus_sum_ = 0;
    double last_voltage_ = 0, last_current_ = 0;
    int count_ = 0, trims_ = 0, bus_count_ = 0;
};

// The inductance from the winding's answer to an alternating voltage along
// phase A, where the rotor is aligned: the current makes no torque and the rotor
// stays still, so no back-EMF disturbs the answer (a rotating field would shake
// the rotor and read the inductance low). First a voltage step times the winding
// (L/R) and gives its resistance in counts. The frequency is then the one of a
// whole number of samples per period (65535 = 3 x 5 x 17 x 257 divides into
// them, so TINCTST is whole) closest to wL = 2.5 R: high enough that the bridge's
// dead-time drop is small against the voltage (it bends the current, and the
// bend turns the fundamental's phase), low enough that sampling the held voltage
// misreads the winding little. The amplitude makes the current about In1. The
// current is demodulated over the last whole period at every sample, against the
// phase the held voltage's fundamental has at the sampling instant (half a sample
// back): IQ in phase with the voltage, ID a quarter period behind.
class IdentInductance : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;
    bool TriggersLogging() const override { return true; }

  protected:
    void Begin(DriveCore& core) override {
        target_ = Get("In1");
        step_voltage_ = std::round(std::clamp(Get("RefTest"), 0.0, kMaxTestVoltage));
        Set("var_i1", 0);
        Set("TINCTST", 0);
        step_.Start(target_);
        if (target_ <= 0 || step_voltage_ <= 0) Finish(core);
    }
    void FastSample(DriveCore& core) override {
        const double t = elapsed_s(core);
        const double current = core.current_a();
        switch (stage_) {
            case Stage::kTiming:
                core.ApplyVoltage(step_voltage_, 0);
                if (!step_.Add(current, t)) return;
                tau_s_ = step_.tau_s();
                stage_ = Stage::kSteady;
                stage_start_s_ = t;
                return;
            case Stage::kSteady:
                core.ApplyVoltage(step_voltage_, 0);
                if (t - stage_start_s_ >= 4 * tau_s_) {
                    sum_ += current;
                    ++count_;
                }
                if (t - stage_start_s_ < 6 * tau_s_) return;
                if (count_ == 0 || sum_ <= 0) {
                    Finish(core);
                    return;
                }
                StartExcitation(core, t, sum_ / count_);
                return;
            case Stage::kExciting:
                Excite(core, current);
                if (demodulator_->full() && t - stage_start_s_ >= 8 * tau_s_ + period_s_)
                    TriggerLogging();
                if (log_trigger()) {
                    const bool logged =
                        log_state() == LogState::kFull || log_state() == LogState::kOff;
                    if (logged || t - stage_start_s_ >= kMaxRun_s) Finish(core);
                }
                return;
        }
    }

  private:
    enum class Stage { kTiming, kSteady, kExciting };
    static constexpr double kMaxRun_s = 30.0;
    static constexpr double kTargetWTau = 2.5;
    // Whole periods of an angle that advances 65535 per turn in whole steps.
    static constexpr std::array<int, 14> kPeriods = {3,   5,   15,   17,   51,   85,    255,
                                                     257, 771, 1285, 3855, 4369, 13107, 21845};

    // `standing_current`: the current the step left in the winding.
    void StartExcitation(DriveCore& core, double t, double standing_current) {
        const double ohms_counts = step_voltage_ / standing_current;
        const double sample_s = core.fast_period_s();
        // The period whose w tau is closest to the target (on a log scale).
        int best = kPeriods.back();
        double best_distance = 1e300;
        for (int n : kPeriods) {
            const double w_tau = kTwoPi / (n * sample_s) * tau_s_;
            const double distance = std::fabs(std::log(w_tau / kTargetWTau));
            if (distance < best_distance) {
                best_distance = distance;
                best = n;
            }
        }
        samples_per_period_ = best;
        period_s_ = best * sample_s;
        const double w_tau = kTwoPi / period_s_ * tau_s_;
        const double impedance = ohms_counts * std::hypot(1.0, w_tau);
        amplitude_ = std::round(std::min(kMaxTestVoltage, target_ * impedance));
        Set("TINCTST", 65535.0 / best);
        Set("var_i1", amplitude_);
        demodulator_ = std::make_unique<SlidingDemodulator>(static_cast<std::size_t>(best));
        // The winding carries the step's current; the alternating voltage starts at
        // the phase whose steady current is that same current, so no decaying
        // offset rides on the first periods (with a slow winding it would add up to
        // twice In1 and trip the over-current protection).
        const double step = kTwoPi / best;
        const double lag = std::atan(w_tau) + 0.5 * step;
        const double ratio = std::clamp(standing_current / (amplitude_ / impedance), -1.0, 1.0);
        const double start = lag + std::acos(ratio);
        phase_index_ = static_cast<int>(std::lround(start / step)) % best;
        stage_ = Stage::kExciting;
        stage_start_s_ = t;
    }
    void Excite(DriveCore& core, double current) {
        const double step = kTwoPi / samples_per_period_;
        const double angle = step * phase_index_;
        // The current sampled now answers the voltages held before it; against the
        // voltage's fundamental, whose phase is that of the middle of the hold, the
        // sample lies half a step back.
        demodulator_->Add(current, angle - 0.5 * step);
        if (demodulator_->full()) {
            core.live().iq = demodulator_->in_phase();
            core.live().id = demodulator_->quadrature();
        } else {
            core.live().iq = core.live().id = 0;
        }
        core.ApplyPhaseVoltages(amplitude_ * std::cos(angle), 0);
        core.live().voltage_reference = amplitude_;
        phase_index_ = (phase_index_ + 1) % samples_per_period_;
    }

    Stage stage_ = Stage::kTiming;
    double target_ = 0, step_voltage_ = 0, tau_s_ = 0, stage_start_s_ = 0;
    TimedStep step_;
    double sum_ = 0;
    int count_ = 0;
    int samples_per_period_ = 1, phase_index_ = 0;
    double period_s_ = 0, amplitude_ = 0;
    std::unique_ptr<SlidingDemodulator> demodulator_;
};

// Averages the bus voltage ADC for 20 ms. The power stage is not needed, so a
// disabled ENABLE input does not stop it.
class VdcDetection : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;

  protected:
    bool NeedsPower() const override { return false; }
    bool DefersStarted() const override { return true; }
    void FastSample(DriveCore& core) override {
        sum_ += core.bus_counts();
        ++count_;
        if (elapsed_s(core) >= 0.02) {
            Set("var_u2", std::round(sum_ / count_));
            MarkStarted();
            Finish(core);
        }
    }

  private:
    double sum_ = 0;
    int count_ = 0;
};

// Keeps AD5 current until stopped; the drive converts the input on every slow
// sample anyway.
class AnalogueReference : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;

  protected:
    bool NeedsPower() const override { return false; }
};

}  // namespace

std::unique_ptr<DriveProgram> MakeIdentificationProgram(const std::string& name,
                                                        VariableStore& vars) {
    if (name == "Initial_Positioning_Test") return std::make_unique<InitialPositioning>(vars);
    if (name == "Motor_Phase_Connection_Test") return std::make_unique<PhaseConnection>(vars);
    if (name == "Encoder_Connection_Test") return std::make_unique<EncoderConnection>(vars);
    if (name == "Encoder_Resolution_And_Direction_Test")
        return std::make_unique<EncoderResolution>(vars);
    if (name == "Ident_R_or_Rs") return std::make_unique<IdentResistance>(vars);
    if (name == "Ident_L_or_Tau_el") return std::make_unique<IdentInductance>(vars);
    if (name == "VDC_Detection_Test") return std::make_unique<VdcDetection>(vars);
    if (name == "Analogue_Reference_Test") return std::make_unique<AnalogueReference>(vars);
    return nullptr;
}

}  // namespace orvex::sim
