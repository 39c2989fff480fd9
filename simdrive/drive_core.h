#pragma once
// The drive: power stage, measurements (phase current and bus ADCs, encoder, index,
// analogue input, ENABLE and limit inputs), the current, speed and position loops
// run from the registers, and the protections with the motion error register.
// Drive programs steer it through the few commands a firmware has: power on/off,
// a voltage vector, a current reference, a speed or position reference.

#include <cmath>
#include <cstdint>
#include <memory>

#include "host/link/drive_facts.h"
#include "simdrive/controllers.h"
#include "simdrive/estimators.h"
#include "simdrive/noise.h"
#include "simdrive/plant.h"
#include "simdrive/registers.h"
#include "simdrive/scenario.h"

namespace orvex::sim {

class DriveProgram;

// The simulated firmware names the bits of its motion error and protection control
// registers as the host does.
using enum drive::MerBit;
using enum drive::PcrBit;

/// What the loops control.
enum class ControlMode {
    kNone,               // bridge off or fixed voltages
    kVoltage,            // a voltage vector set by the program
    kCurrent,            // current references through the current PI
    kSpeed,              // speed PI feeding the current loop
    kPositionWithSpeed,  // position PID feeding the speed loop
    kPositionDirect,     // position PID feeding the current loop
};

/// A control error protection: trips once the error has stayed above its limit
/// for more samples than allowed. kProtectionOff samples (or a negative count)
/// switch it off.
class ControlErrorWindow {
  public:
    /// One sample; true when the protection trips.
    bool Exceeded(double error, double max_error, double allowed_samples) {
        if (allowed_samples == drive::kProtectionOff || allowed_samples < 0 ||
            std::fabs(error) <= max_error) {
            count_ = 0;
            return false;
        }
        return ++count_ > allowed_samples;
    }
    void Reset() { count_ = 0; }

  private:
    double count_ = 0;
};

/// Values the firmware keeps in its variables; the logger and the host read them.
struct LiveValues {
    double iq = 0, id = 0;
    double current_reference = 0, motor_current = 0, voltage_reference = 0;
    double electric_angle = 0;
    double speed_reference = 0, load_speed = 0;
    double target_position = 0, load_position = 0;
    double apos = 0, cappos = 0;
    double ad5 = 0, ia = 0, ib = 0, vdc = 0;
};

class DriveCore {
  public:
    DriveCore(const Scenario& scenario, RegisterImage& registers);
    ~DriveCore();

    /// Which loops ran in a PWM period.
    struct StepResult {
        bool fast = false;  // the current loop sampled
        bool slow = false;  // the speed and position loops sampled
    };
    /// Runs one PWM period with `program` steering (may be null).
    StepResult Step(DriveProgram* program);

    // Time.
    double time_s() const { return time_s_; }
    double pwm_period_s() const { return pwm_period_s_; }
    double fast_period_s() const { return pwm_period_s_ * settings_.fast_divider; }
    double slow_period_s() const { return pwm_period_s_ * settings_.slow_divider; }
    const DriveSettings& settings() const { return settings_; }

    // Measurements, as the firmware sees them.
    double current_a() const { return live_.ia; }  // ADC counts
    double current_b() const { return live_.ib; }
    double bus_counts() const { return live_.vdc; }
    std::int64_t position() const { return position_; }
    /// Counts moved during the last slow sample: what the drive logs as the speed.
    double speed() const { return speed_; }
    /// The speed the speed loop controls: observed from the counts, half a slow
    /// sample ahead (see SpeedObserver).
    double loop_speed() const { return speed_observer_.HalfSampleAhead(); }
    /// Electric angle from the encoder and the last alignment, 65536 per turn.
    double EncoderElectricAngle() const;
    /// Current along the angle `angle` (65536 per turn) and 90 degrees behind it.
    void Project(double angle, double& along, double& behind) const;

    // Power stage.
    /// Switches the bridge on; false when ENABLE is inactive or a fault latched.
    bool PowerOn();
    void PowerOff();
    bool power_on() const { return power_on_; }

    // Commands (kept until changed).
    /// A voltage vector (PWM counts, angle 65536 per turn). IQ and ID are the
    /// measured current along the vector and 90 degrees behind it.
    void ApplyVoltage(double amplitude, double angle);
    /// Voltages on phase A and B (PWM counts) set by the program, which then keeps
    /// IQ and ID itself (a demodulation of its own).
    void ApplyPhaseVoltages(double a, double b);
    /// Current reference on the q axis of the encoder's electric angle, or of a
    /// fixed angle. `phase_advance` false leaves out THT_CORRECTION: a test that
    /// relies on the torque being K times the current wants the vector exactly
    /// on the q axis.
    void CommandCurrent(double iq_ref, double angle_fixed, bool angle_from_encoder,
                        bool phase_advance = true);
    void CommandSpeed(double speed_ref);
    void CommandPosition(double target, bool through_speed_loop);
    ControlMode mode() const { return command_.mode; }
    void ResetLoops();
    /// Test limits of the tuning programs: replace SATS/SATP and IMAXPROT while set
    /// (0 = use the registers).
    void SetTestCurrentLimit(double counts) { command_.test_current_limit = counts; }
    void SetTestSpeedLimit(double counts) { command_.test_speed_limit = counts; }
    void SetTestProtection(double counts) { command_.test_protection = counts; }
    /// The present position becomes electric angle 0 (the rotor is aligned).
    void AlignElectricAngleHere();
    bool aligned() const { return aligned_; }

    // The world around the drive.
    void SetHandTurning(bool on);
    void ArmIndexCapture() { capture_armed_ = true; }
    void SetCommandError() { protection_.mer_latched |= kMerCommandError; }

    // Protections.
    int mer() const { return protection_.mer_latched | mer_inputs_; }
    /// True once a protection tripped since the last ClearFaults (power went off).
    bool tripped() const { return protection_.tripped; }
    int trip_bits() const { return protection_.trip_bits; }
    void ClearFaults();

    const LiveValues& live() const { return live_; }
    LiveValues& live() { return live_; }
    const MotorPlant& plant() const { return *plant_; }

  private:
    void RefreshSettings();
    void Sample();
    void SlowLoops();
    void FastLoop();
    void Protect(bool slow);
    void Trip(int bit);
    void UpdateHandAndIndex(double previous_angle_rad);

    Scenario scenario_;
    RegisterImage& registers_;
    std::uint64_t registers_seen_ = 0;
    DriveSettings settings_;
    std::unique_ptr<MotorPlant> plant_;
    GaussianNoise noise_;

    double time_s_ = 0;
    double pwm_period_s_ = 50e-6;
    std::uint64_t period_index_ = 0;

    // Measurements.
    LiveValues live_;
    std::int64_t raw_count_ = 0;
    std::int64_t position_ = 0;
    std::int64_t slow_previous_position_ = 0;
    double speed_ = 0;
    SpeedObserver speed_observer_;
    std::int64_t align_count_ = 0;
    bool aligned_ = false;

    // What the program last commanded; kept until changed.
    struct CommandState {
        ControlMode mode = ControlMode::kNone;
        double voltage_a = 0, voltage_b = 0;  // PWM counts on the phases
        double amplitude = 0, angle = 0;
        bool program_keeps_currents = false;  // ApplyPhaseVoltages: no projection
        double iq_ref = 0, fixed_angle = 0;
        bool angle_from_encoder = false, phase_advance = true;
        double speed_ref = 0, speed_ref_previous = 0;
        double target = 0, target_previous = 0, target_speed_previous = 0, target_accel = 0;
        // Slow samples the target has stood still with the error in the freeze window.
        double samples_in_window = 0;
        bool frozen = false;
        // Limits of the tuning programs (0: the registers' own).
        double test_current_limit = 0, test_speed_limit = 0, test_protection = 0;
        void Reset() { *this = CommandState{}; }
    };
    // Memories of the controllers and filters; the filters' coefficients stay.
    struct LoopState {
        PidState d, q, speed, position;
        double filtered_ud = 0, filtered_uq = 0;
        BiquadChain speed_ref_filter, current_ref_filter, speed_feedback_filter;
        void Reset();
    };
    // The protections' latches, counters and integrators.
    struct ProtectionState {
        int mer_latched = 0;
        bool tripped = false;
        int trip_bits = 0;
        double overcurrent_count = 0;
        ControlErrorWindow position_error, speed_error;
        double i2t_motor = 0, i2t_drive = 0;
        /// A new start: latches, counters and integrators cleared.
        void Reset() { *this = ProtectionState{}; }
        /// Counters that only mean something while the loops run.
        void ResetCounters();
    };

    // Power stage and commands.
    bool power_on_ = false;
    CommandState command_;
    LoopState loops_;

    // World.
    bool hand_on_ = false;
    double hand_origin_rad_ = 0, hand_start_s_ = 0;
    bool capture_armed_ = false;

    // Protections. The inputs (ENABLE, limit switches) come from the bench.
    int mer_inputs_ = 0;
    ProtectionState protection_;
};

}  // namespace orvex::sim
