// Programs that find out about the motor: alignment, phase and encoder checks,
// resistance, inductance, bus voltage and the analogue input. Each one works only
// from what the drive measures; none knows the motor.

#include <algorithm>
#include <cmath>

#include "simdrive/program_set.h"

namespace orvex::sim {
namespace {

constexpr double kQuarterTurn = 16384.0;  // electric angle units, 65536 per turn

// Ramps the voltage on phase A until the phase current reaches In1, then holds it
// so the rotor settles on phase A: that rotor position is electric angle 0.
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
        // First-order filter of the phase current over ~1 ms, so ADC noise does not
        // end the ramp early.
        filtered_ += 0.05 * (core.current_a() - filtered_);
        if (!holding_) {
            if (filtered_ >= target_) {
                holding_ = true;
                hold_start_s_ = core.time_s();
                Set("REFTST_V", std::round(voltage_));
            } else {
                // Half a count per sample, then a tenth of that over the last tenth
                // of the current: slow against L/R at the end, so the current
                // follows the voltage closely and REFTST_V is the steady voltage
                // for In1.
                voltage_ += filtered_ < 0.9 * target_ ? 0.5 : 0.05;
                if (voltage_ > kMaxTestVoltage) {
                    Set("REFTST_V", std::round(voltage_));
                    Set("In1", 0);
                    Finish(core);
                    return;
                }
            }
        }
        core.ApplyVoltage(holding_ ? std::round(voltage_) : voltage_, 0);
        // The back-EMF of phase B damps the rotor well; 0.4 s is many settling times.
        if (holding_ && core.time_s() - hold_start_s_ >= 0.4) {
            core.AlignElectricAngleHere();
            Finish(core);
        }
    }

  private:
    double target_ = 0;
    double voltage_ = 0;
    double filtered_ = 0;
    bool holding_ = false;
    double hold_start_s_ = 0;
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
// voltage vector) and reports the counts moved: one revolution when the encoder
// and the step count are right.
class EncoderResolution : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;

  protected:
    void Begin(DriveCore& core) override {
        voltage_ = std::clamp(Get("RefTest"), 0.0, kMaxTestVoltage);
        turns_ = std::trunc(Get("PolesPairs"));
        start_ = core.position();
        Set("var_lf_long", 0);
        if (turns_ <= 0) Finish(core);
    }
    void FastSample(DriveCore& core) override {
        const double t = elapsed_s(core);
        // 0.3 s on angle 0 to settle, then ten electrical turns a second: slow
        // enough that the back-EMF leaves most of the current to pull the rotor.
        constexpr double kSettle_s = 0.3, kTurnsPerSecond = 10.0, kFinalHold_s = 0.3;
        const double end_angle = 65536.0 * turns_;
        if (t >= kSettle_s && angle_ < end_angle) {
            angle_ = std::min(end_angle, angle_ + 65536.0 * kTurnsPerSecond * core.fast_period_s());
            if (angle_ >= end_angle) done_s_ = t;
        }
        core.ApplyVoltage(voltage_, std::fmod(angle_, 65536.0));
        Set("var_lf_long", static_cast<double>(core.position() - start_));
        if (done_s_ > 0 && t - done_s_ >= kFinalHold_s) Finish(core);
    }

  private:
    double voltage_ = 0, turns_ = 0, angle_ = 0, done_s_ = 0;
    std::int64_t start_ = 0;
};

// Regulates the phase A current to In1 by adjusting the voltage slowly, then holds
// that voltage (a whole number of counts) while the logger records the current.
class IdentResistance : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;
    bool TriggersLogging() const override { return true; }

  protected:
    void Begin(DriveCore& core) override {
        target_ = Get("In1");
        voltage_ = std::clamp(Get("RefTest"), 0.0, kMaxTestVoltage);
        // Volts per ampere in counts, as the preliminary run found them.
        slope_ = (target_ > 0 && voltage_ > 0) ? voltage_ / target_ : 0.2;
    }
    void FastSample(DriveCore& core) override {
        const double t = elapsed_s(core);
        filtered_ += 0.02 * (core.current_a() - filtered_);
        constexpr double kRegulate_s = 0.4, kUpdate_s = 0.01, kSettle_s = 0.03, kMaxHold_s = 30.0;
        if (t < kRegulate_s) {
            if (t >= next_update_s_) {
                // Integral action on the voltage, a third of the error per update:
                // the current settles in a few updates without overshoot.
                voltage_ = std::clamp(voltage_ + 0.3 * slope_ * (target_ - filtered_), 0.0,
                                      kMaxTestVoltage);
                next_update_s_ = t + kUpdate_s;
            }
            core.ApplyVoltage(voltage_, 0);
            return;
        }
        if (hold_start_s_ == 0) {
            hold_start_s_ = t;
            voltage_ = std::round(voltage_);
            Set("var_i1", voltage_);
        }
        core.ApplyVoltage(voltage_, 0);
        if (t - hold_start_s_ >= kSettle_s) {
            TriggerLogging();
            bus_sum_ += core.bus_counts();
            ++bus_count_;
            Set("var_u2", std::round(bus_sum_ / bus_count_));
            const bool logged = log_state() == LogState::kFull || log_state() == LogState::kOff;
            if ((logged && t - hold_start_s_ >= 0.1) || t - hold_start_s_ >= kMaxHold_s)
                Finish(core);
        }
    }

  private:
    double target_ = 0, voltage_ = 0, slope_ = 0, filtered_ = 0;
    double next_update_s_ = 0, hold_start_s_ = 0, bus_sum_ = 0;
    int bus_count_ = 0;
};

// Turns a voltage vector at a frequency where the winding's reactance is a few
// times its resistance (found by lowering the frequency until the current rises to
// about a quarter of its value at standstill), scales the voltage so the current is
// near In1, and logs the current along the vector (IQ) and 90 degrees behind (ID).
class IdentInductance : public DriveProgram {
  public:
    using DriveProgram::DriveProgram;
    bool TriggersLogging() const override { return true; }

  protected:
    void Begin(DriveCore& core) override {
        target_ = Get("In1");
        voltage_ = std::clamp(Get("RefTest"), 0.0, kMaxTestVoltage);
        // The sweep comes down from an eighth of a turn per sample: a field turning
        // that fast cannot pull the rotor along, while one sweeping up from a slow
        // start would accelerate it like a stepper. 65535 counts make a turn here.
        increment_ = std::round(65535.0 / 8.0);
        min_increment_ = std::max(1.0, std::round(65535.0 * 20.0 * core.fast_period_s()));
        stage_start_s_ = 0;
    }
    void FastSample(DriveCore& core) override {
        const double t = elapsed_s(core);
        const double in_stage = t - stage_start_s_;
        double along = 0, behind = 0;
        core.Project(angle_ * 65536.0 / 65535.0, along, behind);
        switch (stage_) {
            case Stage::kStandstill:
                core.ApplyVoltage(voltage_, 0);
                if (in_stage >= 0.05) Accumulate(std::hypot(along, behind));
                if (in_stage >= 0.08) {
                    standstill_A_ = Mean();
                    if (standstill_A_ <= 0) {
                        Finish(core);
                        return;
                    }
                    NextStage(Stage::kSweep, t);
                }
                return;
            case Stage::kSweep: {
                Rotate(core);
                const double period_s = 65535.0 / increment_ * core.fast_period_s();
                const double settle_s = std::max(0.02, 5 * period_s);
                if (in_stage >= settle_s) Accumulate(std::hypot(along, behind));
                if (in_stage >= settle_s + std::max(0.01, 2 * period_s)) {
                    const double amplitude = Mean();
                    // At a quarter of the standstill current the reactance is about
                    // four times the resistance: as high as the measurement allows,
                    // because the rotor's small swing under the alternating torque
                    // shows up as a capacitive term K^2 / (w J) that shrinks with w.
                    if (amplitude < 0.24 * standstill_A_ && increment_ > min_increment_) {
                        increment_ = std::max(min_increment_, std::round(increment_ / 1.25));
                        NextStage(Stage::kSweep, t);
                    } else {
                        if (amplitude > 0)
                            voltage_ = std::min(kMaxTestVoltage, voltage_ * target_ / amplitude);
                        voltage_ = std::round(voltage_);
                        Set("TINCTST", increment_);
                        Set("var_i1", voltage_);
                        NextStage(Stage::kMeasure, t);
                    }
                }
                return;
            }
            case Stage::kMeasure: {
                Rotate(core);
                const double period_s = 65535.0 / increment_ * core.fast_period_s();
                if (in_stage >= std::max(0.03, 10 * period_s)) TriggerLogging();
                const bool logged = log_state() == LogState::kFull || log_state() == LogState::kOff;
                if ((logged && in_stage >= 0.06) || in_stage >= 30.0) Finish(core);
                return;
            }
        }
    }

  private:
    enum class Stage { kStandstill, kSweep, kMeasure };
    void Rotate(DriveCore& core) {
        // The current sampled now answers the voltage held since the last sample,
        // whose vector was half an increment behind on average.
        const double projection = angle_ + 0.5 * increment_;
        angle_ = std::fmod(angle_ + increment_, 65535.0);
        constexpr double kScale = 65536.0 / 65535.0;
        core.ApplyVoltage(voltage_, angle_ * kScale, projection * kScale);
    }
    void Accumulate(double x) {
        sum_ += x;
        ++count_;
    }
    double Mean() const { return count_ > 0 ? sum_ / count_ : 0.0; }
    void NextStage(Stage stage, double t) {
        stage_ = stage;
        stage_start_s_ = t;
        sum_ = 0;
        count_ = 0;
    }

    Stage stage_ = Stage::kStandstill;
    double target_ = 0, voltage_ = 0, increment_ = 1, min_increment_ = 1, angle_ = 0;
    double stage_start_s_ = 0, standstill_A_ = 0, sum_ = 0;
    int count_ = 0;
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
