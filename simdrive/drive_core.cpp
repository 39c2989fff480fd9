#include "simdrive/drive_core.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "simdrive/programs.h"

namespace orvex::sim {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kCountsPerTurn = 65536.0;
// The dead-time error fades in over this current: near zero the bridge's
// commutation depends on the current's sign only partly.
constexpr double kDeadTimeBand_A = 0.05;
// Full scale of the analogue input: 10-bit conversion left-aligned in 16 bits.
constexpr double kAnalogueLevels = 1023.0;
constexpr double kAnalogueStep = 64.0;

// sin(2 pi k / 65536) for every 16-bit electric angle k.
const std::vector<double>& SineTable() {
    static const std::vector<double> table = [] {
        std::vector<double> t(65536);
        for (int k = 0; k < 65536; ++k) t[k] = std::sin(kTwoPi * k / kCountsPerTurn);
        return t;
    }();
    return table;
}

}  // namespace

DriveCore::DriveCore(const Scenario& scenario, RegisterImage& registers)
    : scenario_(scenario), registers_(registers), noise_(scenario.seed) {
    settings_ = DriveSettings::FromRegisters(registers_);
    registers_seen_ = registers_.generation();
    pwm_period_s_ = 2.0 * settings_.pwm_period_ticks / scenario_.drive.cpu_clock_Hz;
    plant_ = std::make_unique<MotorPlant>(scenario_, pwm_period_s_);
    const FaultParams& f = scenario_.faults;
    mer_inputs_ = (f.enable_inactive ? kMerEnableInactive : 0) |
                  (f.positive_limit_active ? kMerPositiveLimit : 0) |
                  (f.negative_limit_active ? kMerNegativeLimit : 0);
    RefreshSettings();
    Sample();
}

DriveCore::~DriveCore() = default;

void DriveCore::RefreshSettings() {
    settings_ = DriveSettings::FromRegisters(registers_);
    registers_seen_ = registers_.generation();
    const double period = 2.0 * settings_.pwm_period_ticks / scenario_.drive.cpu_clock_Hz;
    if (period != pwm_period_s_) {
        pwm_period_s_ = period;
        plant_->SetStep(period);
    }
    const auto& bq = settings_.biquads;
    bq_speed_ref_.Configure(&bq[0], settings_.biquads_speed_ref);
    bq_current_ref_.Configure(&bq[settings_.biquads_speed_ref], settings_.biquads_current_ref);
    bq_speed_fb_.Configure(&bq[settings_.biquads_speed_ref + settings_.biquads_current_ref],
                           settings_.biquads_speed_fb);
}

double DriveCore::EncoderElectricAngle() const {
    // The firmware multiplies the count by the angle per count modulo 2^32 and
    // keeps the upper 16 bits.
    const std::uint64_t counts = static_cast<std::uint64_t>(position_ - align_count_);
    const std::uint32_t angle32 = static_cast<std::uint32_t>(counts * settings_.angle_per_count);
    return static_cast<double>(angle32 >> 16);
}

void DriveCore::Project(double angle, double& along, double& behind) const {
    const double a = angle * kTwoPi / kCountsPerTurn;
    const double c = std::cos(a), s = std::sin(a);
    along = live_.ia * c + live_.ib * s;
    behind = live_.ia * s - live_.ib * c;
}

void DriveCore::Sample() {
    const DriveHardwareParams& hw = scenario_.drive;
    const PlantState& st = plant_->State();
    const double counts_per_A = hw.adc_max / (2.0 * hw.peak_current_A);
    const double half_scale = hw.adc_max / 2.0;
    const double sigma = hw.current_noise_counts;
    double na = 0, nb = 0;
    if (sigma > 0) {
        na = sigma * noise_.Next();
        nb = sigma * noise_.Next();
    }
    live_.ia =
        std::clamp(std::nearbyint(st.current_a_A * counts_per_A + na), -half_scale, half_scale);
    live_.ib =
        std::clamp(std::nearbyint(st.current_b_A * counts_per_A + nb), -half_scale, half_scale);

    // Quadrature decoding: four counts per line.
    if (scenario_.encoder.connected) {
        const double counts = st.angle_rad * 4.0 * scenario_.encoder.lines / kTwoPi;
        raw_count_ = static_cast<std::int64_t>(std::floor(counts));
        if (scenario_.encoder.reversed) raw_count_ = -raw_count_;
    }
    position_ = settings_.reverse_counting ? -raw_count_ : raw_count_;
    live_.apos = static_cast<double>(position_);
}

bool DriveCore::PowerOn() {
    if ((mer_inputs_ & kMerEnableInactive) || tripped_) return false;
    if (!power_on_) {
        power_on_ = true;
        ResetLoops();
    }
    return true;
}

void DriveCore::PowerOff() {
    power_on_ = false;
    mode_ = ControlMode::kNone;
    voltage_a_ = voltage_b_ = 0;
}

void DriveCore::ResetLoops() {
    pid_d_.Reset();
    pid_q_.Reset();
    pid_speed_.Reset();
    pid_pos_.Reset();
    filtered_ud_ = filtered_uq_ = 0;
    bq_speed_ref_.Reset();
    bq_current_ref_.Reset();
    bq_speed_fb_.Reset();
    overcurrent_count_ = pos_error_count_ = speed_error_count_ = 0;
}

void DriveCore::ApplyVoltage(double amplitude, double angle) {
    ApplyVoltage(amplitude, angle, angle);
}

void DriveCore::ApplyVoltage(double amplitude, double angle, double projection_angle) {
    mode_ = ControlMode::kVoltage;
    cmd_amplitude_ = amplitude;
    cmd_angle_ = angle;
    cmd_projection_ = projection_angle;
}

void DriveCore::CommandCurrent(double iq_ref, double angle_fixed, bool angle_from_encoder) {
    if (mode_ != ControlMode::kCurrent) {
        pid_d_.Reset();
        pid_q_.Reset();
    }
    mode_ = ControlMode::kCurrent;
    iq_ref_ = iq_ref;
    fixed_angle_ = angle_fixed;
    angle_from_encoder_ = angle_from_encoder;
}

void DriveCore::CommandSpeed(double speed_ref) {
    if (mode_ != ControlMode::kSpeed) {
        pid_speed_.Reset();
        speed_ref_previous_ = speed_ref;
    }
    mode_ = ControlMode::kSpeed;
    angle_from_encoder_ = true;
    speed_ref_ = speed_ref;
}

void DriveCore::CommandPosition(double target, bool through_speed_loop) {
    const ControlMode wanted =
        through_speed_loop ? ControlMode::kPositionWithSpeed : ControlMode::kPositionDirect;
    if (mode_ != wanted) {
        pid_pos_.Reset();
        pid_speed_.Reset();
        target_previous_ = target;
        target_speed_previous_ = 0;
    }
    mode_ = wanted;
    angle_from_encoder_ = true;
    target_ = target;
}

void DriveCore::AlignElectricAngleHere() {
    align_count_ = position_;
    aligned_ = true;
}

void DriveCore::SetHandTurning(bool on) {
    if (on && !hand_on_) {
        hand_origin_rad_ = plant_->State().angle_rad;
        hand_start_s_ = time_s_;
    }
    // The operator stops the shaft before letting go of it.
    if (!on && hand_on_) plant_->ForceShaft(plant_->State().angle_rad, 0.0);
    hand_on_ = on;
}

void DriveCore::ClearFaults() {
    mer_latched_ = 0;
    tripped_ = false;
    trip_bits_ = 0;
    overcurrent_count_ = pos_error_count_ = speed_error_count_ = 0;
    i2t_motor_ = i2t_drive_ = 0;
}

void DriveCore::Trip(int bit) {
    mer_latched_ |= bit;
    trip_bits_ |= bit;
    tripped_ = true;
    PowerOff();
}

void DriveCore::SlowLoops() {
    const DriveSettings& s = settings_;
    live_.load_speed = speed_;
    live_.load_position = static_cast<double>(position_);
    const bool position_mode =
        mode_ == ControlMode::kPositionWithSpeed || mode_ == ControlMode::kPositionDirect;
    if (position_mode) {
        const double error = target_ - static_cast<double>(position_);
        const double target_speed = target_ - target_previous_;
        const double target_accel = target_speed - target_speed_previous_;
        target_previous_ = target_;
        target_speed_previous_ = target_speed;
        live_.target_position = target_;
        if (mode_ == ControlMode::kPositionWithSpeed) {
            // The position controller's output is a speed: SATP limits the speed.
            const double out_limit = test_speed_limit_ > 0 ? test_speed_limit_ : s.pos_out_limit;
            const double out = PidSample(pid_pos_, error, s.kp_pos, s.ki_pos, s.kd_pos, s.kd_filter,
                                         std::min(s.pos_int_limit, out_limit), out_limit);
            speed_ref_ = bq_speed_ref_.Filter(out + s.kff_speed * target_speed);
        } else {
            const double out_limit =
                test_current_limit_ > 0 ? test_current_limit_ : s.pos_out_limit;
            const double out = PidSample(pid_pos_, error, s.kp_pos, s.ki_pos, s.kd_pos, s.kd_filter,
                                         std::min(s.pos_int_limit, out_limit), out_limit);
            iq_ref_ = std::clamp(out + s.kff_accel * target_accel, -out_limit, out_limit);
            live_.current_reference = iq_ref_;
        }
        // Control error protection: the position error stays too large too long.
        if (s.position_error_samples != drive::kProtectionOff && s.position_error_samples >= 0 &&
            std::fabs(error) > s.max_position_error) {
            if (++pos_error_count_ > s.position_error_samples) Trip(kMerControlError);
        } else {
            pos_error_count_ = 0;
        }
    }
    if (mode_ == ControlMode::kSpeed || mode_ == ControlMode::kPositionWithSpeed) {
        const double feedback = bq_speed_fb_.Filter(speed_);
        const double error = speed_ref_ - feedback;
        const double out_limit = test_current_limit_ > 0 ? test_current_limit_ : s.speed_out_limit;
        double out = PidSample(pid_speed_, error, s.kp_speed, s.ki_speed, 0, 0,
                               std::min(s.speed_int_limit, out_limit), out_limit);
        if (mode_ == ControlMode::kSpeed) {
            out += s.kff_accel * (speed_ref_ - speed_ref_previous_);
            out = std::clamp(out, -out_limit, out_limit);
        }
        speed_ref_previous_ = speed_ref_;
        iq_ref_ = bq_current_ref_.Filter(out);
        live_.speed_reference = speed_ref_;
        live_.current_reference = iq_ref_;
        if (s.speed_error_samples != drive::kProtectionOff && s.speed_error_samples >= 0 &&
            std::fabs(error) > s.max_speed_error) {
            if (++speed_error_count_ > s.speed_error_samples) Trip(kMerControlError);
        } else {
            speed_error_count_ = 0;
        }
    }
}

void DriveCore::FastLoop() {
    const DriveSettings& s = settings_;
    if (mode_ == ControlMode::kVoltage) {
        const double a = cmd_angle_ * kTwoPi / kCountsPerTurn;
        voltage_a_ = cmd_amplitude_ * std::cos(a);
        voltage_b_ = cmd_amplitude_ * std::sin(a);
        Project(cmd_projection_, live_.iq, live_.id);
        live_.voltage_reference = cmd_amplitude_;
    } else if (mode_ == ControlMode::kNone) {
        voltage_a_ = voltage_b_ = 0;
    } else {
        // Field-oriented current control: d along the rotor (or the fixed angle),
        // q a quarter turn ahead, where the current makes torque.
        double angle = fixed_angle_;
        if (angle_from_encoder_) {
            angle = EncoderElectricAngle();
            if (s.phase_advance != 0)
                angle += std::clamp(speed_ * s.phase_advance, -16384.0, 16384.0);
        }
        // The firmware's angle is a 16-bit integer; its sine comes from a table.
        const std::uint16_t index =
            static_cast<std::uint16_t>(static_cast<std::int64_t>(std::nearbyint(angle)) & 0xFFFF);
        live_.electric_angle = static_cast<std::int16_t>(index);
        const double sn = SineTable()[index];
        const double c = SineTable()[static_cast<std::uint16_t>(index + 16384)];
        const double id = live_.ia * c + live_.ib * sn;
        const double iq = -live_.ia * sn + live_.ib * c;
        const double iq_ref = iq_ref_ + s.offset_current;
        const double ud = PidSample(pid_d_, -id, s.kp_current, s.ki_current, 0, 0,
                                    s.current_limit_d, s.current_limit_d);
        const double uq = PidSample(pid_q_, iq_ref - iq, s.kp_current, s.ki_current, 0, 0,
                                    s.current_limit_q, s.current_limit_q);
        filtered_ud_ += s.output_filter * (ud - filtered_ud_);
        filtered_uq_ += s.output_filter * (uq - filtered_uq_);
        voltage_a_ = filtered_ud_ * c - filtered_uq_ * sn;
        voltage_b_ = filtered_ud_ * sn + filtered_uq_ * c;
        live_.id = id;
        live_.iq = iq;
        live_.current_reference = iq_ref;
        live_.motor_current = iq;
        live_.voltage_reference = filtered_uq_;
    }
    voltage_a_ = std::clamp(voltage_a_, -drive::kFullScale, drive::kFullScale);
    voltage_b_ = std::clamp(voltage_b_, -drive::kFullScale, drive::kFullScale);
}

void DriveCore::Protect(bool slow) {
    if (!power_on_) return;
    const DriveSettings& s = settings_;
    const double half_scale = scenario_.drive.adc_max / 2.0;
    // The hardware comparator: a current at the end of the ADC's range is a short.
    if (std::fabs(live_.ia) >= half_scale || std::fabs(live_.ib) >= half_scale) {
        Trip(kMerShortCircuit);
        return;
    }
    if (!slow) return;
    const double magnitude = std::max(std::fabs(live_.ia), std::fabs(live_.ib));
    const double limit =
        test_protection_ > 0
            ? test_protection_
            : ((s.protection_flags & kPcrOverCurrent) ? s.overcurrent_counts : 0.0);
    if (limit > 0 && magnitude > limit) {
        if (++overcurrent_count_ > s.overcurrent_samples) {
            Trip(kMerOverCurrent);
            return;
        }
    } else {
        overcurrent_count_ = 0;
    }
    // I2t: sum of (i^2 - i_rated^2) scaled per sample; trips above the limit.
    const double i2 = magnitude * magnitude / (drive::kFullScale * drive::kFullScale);
    if ((s.protection_flags & kPcrMotorI2t) && s.i2t_limit_motor > 0) {
        const double rated =
            s.i2t_rated_motor * s.i2t_rated_motor / (drive::kFullScale * drive::kFullScale);
        i2t_motor_ = std::max(0.0, i2t_motor_ + (i2 - rated) * s.i2t_scale_motor);
        if (i2t_motor_ > s.i2t_limit_motor) {
            Trip(kMerI2t);
            return;
        }
    }
    if ((s.protection_flags & kPcrDriveI2t) && s.i2t_limit_drive > 0) {
        const double rated =
            s.i2t_rated_drive * s.i2t_rated_drive / (drive::kFullScale * drive::kFullScale);
        i2t_drive_ = std::max(0.0, i2t_drive_ + (i2 - rated) * s.i2t_scale_drive);
        if (i2t_drive_ > s.i2t_limit_drive) {
            Trip(kMerI2t);
            return;
        }
    }
    if ((s.protection_flags & kPcrOverVoltage) && s.overvoltage_counts > 0 &&
        live_.vdc > s.overvoltage_counts) {
        Trip(kMerOverVoltage);
        return;
    }
    if ((s.protection_flags & kPcrUnderVoltage) && live_.vdc < s.undervoltage_counts) {
        Trip(kMerUnderVoltage);
        return;
    }
    // A limit switch stops motion towards it.
    const double w = plant_->State().speed_rad_s;
    if (((mer_inputs_ & kMerPositiveLimit) && w > 0.5) ||
        ((mer_inputs_ & kMerNegativeLimit) && w < -0.5)) {
        Trip(0);
    }
}

void DriveCore::UpdateHandAndIndex(double previous_angle_rad) {
    const OperatorParams& hand = scenario_.hand;
    if (hand_on_ && !power_on_ && hand.hand_turn_amplitude_rev > 0) {
        const double w = kTwoPi / hand.hand_turn_period_s;
        const double t = time_s_ - hand_start_s_;
        const double amplitude = hand.hand_turn_amplitude_rev * kTwoPi;
        plant_->ForceShaft(hand_origin_rad_ + amplitude * std::sin(w * t),
                           amplitude * w * std::cos(w * t));
    }
    if (!capture_armed_ || !scenario_.encoder.connected) return;
    // The index pulse comes once per revolution at the index angle.
    const double index = scenario_.encoder.index_angle_rad;
    const double now = plant_->State().angle_rad;
    const double before_turns = std::floor((previous_angle_rad - index) / kTwoPi);
    const double after_turns = std::floor((now - index) / kTwoPi);
    if (before_turns != after_turns) {
        const double crossing = index + kTwoPi * std::max(before_turns, after_turns);
        double counts = std::floor(crossing * 4.0 * scenario_.encoder.lines / kTwoPi);
        if (scenario_.encoder.reversed) counts = -counts;
        if (settings_.reverse_counting) counts = -counts;
        live_.cappos = counts;
        capture_armed_ = false;
    }
}

int DriveCore::Step(DriveProgram* program) {
    if (registers_.generation() != registers_seen_) RefreshSettings();
    const bool fast = period_index_ % settings_.fast_divider == 0;
    const bool slow = period_index_ % settings_.slow_divider == 0;
    Sample();
    if (slow) {
        speed_ = static_cast<double>(position_ - slow_previous_position_);
        slow_previous_position_ = position_;
        const DriveHardwareParams& hw = scenario_.drive;
        live_.vdc = std::nearbyint(hw.bus_voltage_V * hw.adc_max / hw.max_measurable_bus_V +
                                   0.5 * noise_.Next());
        const AnalogueInputParams& ai = scenario_.analogue_input;
        const double mid = 0.5 * (ai.min_V + ai.max_V), amp = 0.5 * (ai.max_V - ai.min_V);
        const double volts = mid + amp * std::sin(kTwoPi * time_s_ / ai.period_s);
        const double level =
            std::clamp(std::nearbyint((volts - ai.span_min_V) / (ai.span_max_V - ai.span_min_V) *
                                      kAnalogueLevels),
                       0.0, kAnalogueLevels);
        live_.ad5 = level * kAnalogueStep;
        if (program) program->Slow(*this);
        if (power_on_) SlowLoops();
    }
    if (fast) {
        if (program) program->Fast(*this);
        if (power_on_) FastLoop();
    }
    Protect(slow);

    // Power stage: PWM counts to volts on the bus that is really there, less the
    // dead-time drop, which always opposes the current.
    const DriveHardwareParams& hw = scenario_.drive;
    const PlantState& st = plant_->State();
    const double volts_per_count = hw.bus_voltage_V / drive::kFullScale;
    auto dead_time = [&](double i) {
        return hw.dead_time_drop_V * std::clamp(i / kDeadTimeBand_A, -1.0, 1.0);
    };
    const double u_a = power_on_ ? voltage_a_ * volts_per_count - dead_time(st.current_a_A) : 0.0;
    const double u_b = power_on_ ? voltage_b_ * volts_per_count - dead_time(st.current_b_A) : 0.0;
    const double previous_angle = st.angle_rad;
    plant_->Step(u_a, u_b, power_on_);
    time_s_ += pwm_period_s_;
    ++period_index_;
    UpdateHandAndIndex(previous_angle);
    return (fast ? 1 : 0) | (slow ? 2 : 0);
}

}  // namespace orvex::sim
