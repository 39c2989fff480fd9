#pragma once
// The drive: power stage, measurements (phase current and bus ADCs, encoder, index,
// analogue input, ENABLE and limit inputs), the current, speed and position loops
// run from the registers, and the protections with the motion error register.
// Drive programs steer it through the few commands a firmware has: power on/off,
// a voltage vector, a current reference, a speed or position reference.

#include <cstdint>
#include <memory>

#include "host/link/drive_facts.h"
#include "simdrive/controllers.h"
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

    /// Runs one PWM period with `program` steering (may be null). Returns which
    /// loops ran: bit 0 the fast (current) loop, bit 1 the slow loop.
    int Step(DriveProgram* program);

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
    /// Counts moved during the last slow sample.
    double speed() const { return speed_; }
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
    /// measured current along `projection_angle` and 90 degrees behind it; a
    /// rotating vector passes the angle its held voltage has on average at the
    /// sampling instant.
    void ApplyVoltage(double amplitude, double angle);
    void ApplyVoltage(double amplitude, double angle, double projection_angle);
    void CommandCurrent(double iq_ref, double angle_fixed, bool angle_from_encoder);
    void CommandSpeed(double speed_ref);
    void CommandPosition(double target, bool through_speed_loop);
    ControlMode mode() const { return mode_; }
    void ResetLoops();
    /// Test limits of the tuning programs: replace SATS/SATP and IMAXPROT while set
    /// (0 = use the registers).
    void SetTestCurrentLimit(double counts) { test_current_limit_ = counts; }
    void SetTestSpeedLimit(double counts) { test_speed_limit_ = counts; }
    void SetTestProtection(double counts) { test_protection_ = counts; }
    /// The present position becomes electric angle 0 (the rotor is aligned).
    void AlignElectricAngleHere();
    bool aligned() const { return aligned_; }

    // The world around the drive.
    void SetHandTurning(bool on);
    void ArmIndexCapture() { capture_armed_ = true; }
    void SetCommandError() { mer_latched_ |= kMerCommandError; }

    // Protections.
    int mer() const { return mer_latched_ | mer_inputs_; }
    /// True once a protection tripped since the last ClearFaults (power went off).
    bool tripped() const { return tripped_; }
    int trip_bits() const { return trip_bits_; }
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
    std::int64_t align_count_ = 0;
    bool aligned_ = false;

    // Power stage and commands.
    bool power_on_ = false;
    ControlMode mode_ = ControlMode::kNone;
    double voltage_a_ = 0, voltage_b_ = 0;  // PWM counts on the phases
    double cmd_amplitude_ = 0, cmd_angle_ = 0, cmd_projection_ = 0;
    double iq_ref_ = 0, fixed_angle_ = 0;
    bool angle_from_encoder_ = false;
    double speed_ref_ = 0, speed_ref_previous_ = 0;
    double target_ = 0, target_previous_ = 0, target_speed_previous_ = 0;
    double test_current_limit_ = 0, test_speed_limit_ = 0, test_protection_ = 0;
    PidState pid_d_, pid_q_, pid_speed_, pid_pos_;
    double filtered_ud_ = 0, filtered_uq_ = 0;
    BiquadChain bq_speed_ref_, bq_current_ref_, bq_speed_fb_;

    // World.
    bool hand_on_ = false;
    double hand_origin_rad_ = 0, hand_start_s_ = 0;
    bool capture_armed_ = false;

    // Protections.
    int mer_latched_ = 0;
    int mer_inputs_ = 0;
    bool tripped_ = false;
    int trip_bits_ = 0;
    double overcurrent_count_ = 0, pos_error_count_ = 0, speed_error_count_ = 0;
    double i2t_motor_ = 0, i2t_drive_ = 0;
};

}  // namespace orvex::sim
