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
// The short-circuit comparator trips at this multiple of the peak current.
constexpr double kShortCircuitMargin = 1.25;
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
    loops_.speed_ref_filter.Configure(&bq[0], settings_.biquads_speed_ref);
    loops_.current_ref_filter.Configure(&bq[settings_.biquads_speed_ref],
                                        settings_.biquads_current_ref);
    loops_.speed_feedback_filter.Configure(
        &bq[settings_.biquads_speed_ref + settings_.biquads_current_ref],
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
    if ((mer_inputs_ & kMerEnableInactive) || protection_.tripped) return false;
    if (!power_on_) {
        power_on_ = true;
        ResetLoops();
    }
    return true;
}

void DriveCore::PowerOff() {
    power_on_ = false;
    command_.mode = ControlMode::kNone;
    command_.voltage_a = command_.voltage_b = 0;
}

void DriveCore::LoopState::Reset() {
    d.Reset();
    q.Reset();
    speed.Reset();
    position.Reset();
    filtered_ud = filtered_uq = 0;
    speed_ref_filter.Reset();
    current_ref_filter.Reset();
    speed_feedback_filter.Reset();
}

void DriveCore::ProtectionState::ResetCounters() {
    overcurrent_count = 0;
    position_error.Reset();
    speed_error.Reset();
}

void DriveCore::ResetLoops() {
    loops_.Reset();
    protection_.ResetCounters();
}

void DriveCore::ApplyVoltage(double amplitude, double angle) {
    command_.mode = ControlMode::kVoltage;
    command_.amplitude = amplitude;
    command_.angle = angle;
    command_.program_keeps_currents = false;
}

void DriveCore::ApplyPhaseVoltages(double a, double b) {
    command_.mode = ControlMode::kVoltage;
    command_.voltage_a = a;
    command_.voltage_b = b;
    command_.program_keeps_currents = true;
}

void DriveCore::CommandCurrent(double iq_ref, double angle_fixed, bool angle_from_encoder,
                               bool phase_advance) {
    if (command_.mode != ControlMode::kCurrent) {
        loops_.d.Reset();
        loops_.q.Reset();
    }
    command_.mode = ControlMode::kCurrent;
    command_.iq_ref = iq_ref;
    command_.fixed_angle = angle_fixed;
    command_.angle_from_encoder = angle_from_encoder;
    command_.phase_advance = phase_advance;
}

void DriveCore::CommandSpeed(double speed_ref) {
    if (command_.mode != ControlMode::kSpeed) {
        loops_.speed.Reset();
        command_.speed_ref_previous = speed_ref;
    }
    command_.mode = ControlMode::kSpeed;
    command_.angle_from_encoder = true;
    command_.speed_ref = speed_ref;
}

void DriveCore::CommandPosition(double target, bool through_speed_loop) {
    const ControlMode wanted =
        through_speed_loop ? ControlMode::kPositionWithSpeed : ControlMode::kPositionDirect;
    if (command_.mode != wanted) {
        loops_.position.Reset();
        loops_.speed.Reset();
        command_.target_previous = target;
        command_.target_speed_previous = 0;
        command_.samples_in_window = 0;
        command_.frozen = false;
    }
    command_.mode = wanted;
    command_.angle_from_encoder = true;
    command_.target = target;
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
    protection_.Reset();
}

void DriveCore::Trip(int bit) {
    protection_.mer_latched |= bit;
    protection_.trip_bits |= bit;
    protection_.tripped = true;
    PowerOff();
}

void DriveCore::SlowLoops() {
    const DriveSettings& s = settings_;
    CommandState& c = command_;
    live_.load_speed = speed_;
    live_.load_position = static_cast<double>(position_);
    const bool position_mode =
        c.mode == ControlMode::kPositionWithSpeed || c.mode == ControlMode::kPositionDirect;
    if (position_mode) {
        const double error = c.target - static_cast<double>(position_);
        const double target_speed = c.target - c.target_previous;
        const double target_accel = target_speed - c.target_speed_previous;
        c.target_previous = c.target;
        c.target_speed_previous = target_speed;
        c.target_accel = target_accel;
        live_.target_position = c.target;
        // Freeze control (ACR bit 4): once the target stands and the error has stayed
        // within the window (POSOKLIM_FC) for the set time (TONPOSOK_FC), the loops hold
        // until the error leaves it or the target moves. Summing on would wind the
        // integrals against the friction or the detent notch that holds the shaft a few
        // counts off, until it breaks loose and jumps past the target, again and again.
        c.samples_in_window =
            s.freeze_band > 0 && target_speed == 0 && std::fabs(error) <= s.freeze_band
                ? c.samples_in_window + 1
                : 0;
        c.frozen = s.freeze_band > 0 && c.samples_in_window > s.freeze_samples;
        if (c.mode == ControlMode::kPositionWithSpeed) {
            // The position controller's output is a speed: SATP limits the speed.
            const double out_limit = c.test_speed_limit > 0 ? c.test_speed_limit : s.pos_out_limit;
            const double out =
                PidSample(loops_.position, error, s.kp_pos, c.frozen ? 0.0 : s.ki_pos, s.kd_pos,
                          s.kd_filter, std::min(s.pos_int_limit, out_limit), out_limit);
            c.speed_ref = loops_.speed_ref_filter.Filter(out + s.kff_speed * target_speed);
            // Held, the shaft is asked to stand: the speed loop's held integral keeps the
            // torque that holds it, its proportional part stops any creep.
            if (c.frozen) c.speed_ref = 0;
        } else {
            const double out_limit =
                c.test_current_limit > 0 ? c.test_current_limit : s.pos_out_limit;
            // The current is the torque: a step that saturates it must not leave an
            // integral behind that the loop then overshoots by.
            const double out = PidSample(
                loops_.position, error, s.kp_pos, c.frozen ? 0.0 : s.ki_pos, s.kd_pos, s.kd_filter,
                std::min(s.pos_int_limit, out_limit), out_limit, Windup::kHold);
            c.iq_ref = std::clamp(out + s.kff_accel * target_accel, -out_limit, out_limit);
            live_.current_reference = c.iq_ref;
        }
        // Control error protection: the position error stays too large too long.
        if (protection_.position_error.Exceeded(error, s.max_position_error,
                                                s.position_error_samples))
            Trip(kMerControlError);
    }
    if (c.mode == ControlMode::kSpeed || c.mode == ControlMode::kPositionWithSpeed) {
        // With the high-resolution speed estimator on, the loop runs on the observed
        // speed, free of the sample of dead time that the counts per sample and the
        // held current add to the design's loop; without it, on the counts per sample.
        const double feedback =
            loops_.speed_feedback_filter.Filter(s.speed_estimator ? loop_speed() : speed_);
        const double error = c.speed_ref - feedback;
        const double out_limit =
            c.test_current_limit > 0 ? c.test_current_limit : s.speed_out_limit;
        // Frozen, the speed integral holds too: behind the position loop it is the
        // loop's stiffness, and summing the speed reference of a standing error winds
        // it just the same.
        const bool hold = c.frozen && c.mode == ControlMode::kPositionWithSpeed;
        double out = PidSample(loops_.speed, error, s.kp_speed, hold ? 0.0 : s.ki_speed, 0, 0,
                               std::min(s.speed_int_limit, out_limit), out_limit);
        // Acceleration feed-forward: the torque the reference's acceleration needs. In
        // position mode that is the target's acceleration, not the change of the
        // position controller's output, which carries its corrections and their noise.
        const double acceleration =
            c.mode == ControlMode::kSpeed ? c.speed_ref - c.speed_ref_previous : c.target_accel;
        out = std::clamp(out + s.kff_accel * acceleration, -out_limit, out_limit);
        c.speed_ref_previous = c.speed_ref;
        c.iq_ref = loops_.current_ref_filter.Filter(out);
        live_.speed_reference = c.speed_ref;
        live_.current_reference = c.iq_ref;
        if (protection_.speed_error.Exceeded(error, s.max_speed_error, s.speed_error_samples))
            Trip(kMerControlError);
    }
}

void DriveCore::FastLoop() {
    const DriveSettings& s = settings_;
    CommandState& c = command_;
    if (c.mode == ControlMode::kVoltage) {
        if (!c.program_keeps_currents) {
            const double a = c.angle * kTwoPi / kCountsPerTurn;
            c.voltage_a = c.amplitude * std::cos(a);
            c.voltage_b = c.amplitude * std::sin(a);
            Project(c.angle, live_.iq, live_.id);
            live_.voltage_reference = c.amplitude;
        }
    } else if (c.mode == ControlMode::kNone) {
        c.voltage_a = c.voltage_b = 0;
    } else {
        // Field-oriented current control: d along the rotor (or the fixed angle),
        // q a quarter turn ahead, where the current makes torque.
        double angle = c.fixed_angle;
        if (c.angle_from_encoder) {
            angle = EncoderElectricAngle();
            if (s.phase_advance != 0 && c.phase_advance)
                angle += std::clamp(speed_ * s.phase_advance, -16384.0, 16384.0);
        }
        // The firmware's angle is a 16-bit integer; its sine comes from a table.
        const std::uint16_t index =
            static_cast<std::uint16_t>(static_cast<std::int64_t>(std::nearbyint(angle)) & 0xFFFF);
        live_.electric_angle = static_cast<std::int16_t>(index);
        const double sn = SineTable()[index];
        const double cs = SineTable()[static_cast<std::uint16_t>(index + 16384)];
        const double id = live_.ia * cs + live_.ib * sn;
        const double iq = -live_.ia * sn + live_.ib * cs;
        const double iq_ref = c.iq_ref + s.offset_current;
        const double ud = PidSample(loops_.d, -id, s.kp_current, s.ki_current, 0, 0,
                                    s.current_limit_d, s.current_limit_d);
        const double uq = PidSample(loops_.q, iq_ref - iq, s.kp_current, s.ki_current, 0, 0,
                                    s.current_limit_q, s.current_limit_q);
        loops_.filtered_ud += s.output_filter * (ud - loops_.filtered_ud);
        loops_.filtered_uq += s.output_filter * (uq - loops_.filtered_uq);
        c.voltage_a = loops_.filtered_ud * cs - loops_.filtered_uq * sn;
        c.voltage_b = loops_.filtered_ud * sn + loops_.filtered_uq * cs;
        live_.id = id;
        live_.iq = iq;
        live_.current_reference = iq_ref;
        live_.motor_current = iq;
        live_.voltage_reference = loops_.filtered_uq;
    }
    c.voltage_a = std::clamp(c.voltage_a, -drive::kFullScale, drive::kFullScale);
    c.voltage_b = std::clamp(c.voltage_b, -drive::kFullScale, drive::kFullScale);
}

void DriveCore::Protect(bool slow) {
    if (!power_on_) return;
    const DriveSettings& s = settings_;
    // The hardware comparator watches the shunt amplifiers' analogue output, not
    // the ADC: the current's mean over the period plus half its PWM ripple, the
    // bus across the circuit's inductance for the on-time. It sits above the
    // drive's peak current by the margin a real stage leaves for ripple and
    // overshoot: a motor run at the drive's full current never trips it, a short
    // circuit (the bus across a cable's microhenries) trips it at once.
    const double comparator_A = kShortCircuitMargin * scenario_.drive.peak_current_A;
    const PlantState& st = plant_->State();
    const double bus_V = scenario_.drive.bus_voltage_V;
    auto peak = [&](double current_A, double counts, int phase) {
        const double m = std::clamp(counts / drive::kFullScale, -1.0, 1.0);
        const double ripple_pp =
            bus_V * (1.0 - m * m) * pwm_period_s_ / (2.0 * plant_->CircuitInductance_H(phase));
        return std::fabs(current_A) + 0.5 * ripple_pp;
    };
    if (peak(st.current_a_A, command_.voltage_a, 0) >= comparator_A ||
        peak(st.current_b_A, command_.voltage_b, 1) >= comparator_A) {
        Trip(kMerShortCircuit);
        return;
    }
    if (!slow) return;
    const double magnitude = std::max(std::fabs(live_.ia), std::fabs(live_.ib));
    const double limit =
        command_.test_protection > 0
            ? command_.test_protection
            : ((s.protection_flags & kPcrOverCurrent) ? s.overcurrent_counts : 0.0);
    if (limit > 0 && magnitude > limit) {
        if (++protection_.overcurrent_count > s.overcurrent_samples) {
            Trip(kMerOverCurrent);
            return;
        }
    } else {
        protection_.overcurrent_count = 0;
    }
    // I2t: sum of (i^2 - i_rated^2) scaled per sample; trips above the limit.
    const double i2 = magnitude * magnitude / (drive::kFullScale * drive::kFullScale);
    if ((s.protection_flags & kPcrMotorI2t) && s.i2t_limit_motor > 0) {
        const double rated =
            s.i2t_rated_motor * s.i2t_rated_motor / (drive::kFullScale * drive::kFullScale);
        protection_.i2t_motor =
            std::max(0.0, protection_.i2t_motor + (i2 - rated) * s.i2t_scale_motor);
        if (protection_.i2t_motor > s.i2t_limit_motor) {
            Trip(kMerI2t);
            return;
        }
    }
    if ((s.protection_flags & kPcrDriveI2t) && s.i2t_limit_drive > 0) {
        const double rated =
            s.i2t_rated_drive * s.i2t_rated_drive / (drive::kFullScale * drive::kFullScale);
        protection_.i2t_drive =
            std::max(0.0, protection_.i2t_drive + (i2 - rated) * s.i2t_scale_drive);
        if (protection_.i2t_drive > s.i2t_limit_drive) {
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

DriveCore::StepResult DriveCore::Step(DriveProgram* program) {
    if (registers_.generation() != registers_seen_) RefreshSettings();
    const bool fast = period_index_ % settings_.fast_divider == 0;
    const bool slow = period_index_ % settings_.slow_divider == 0;
    Sample();
    if (slow) {
        speed_ = static_cast<double>(position_ - slow_previous_position_);
        slow_previous_position_ = position_;
        speed_observer_.Update(position_);
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
    // dead-time drop, which always opposes the current. The drop follows the
    // current's sign through the period, so it is taken at the current half a
    // period on: taken at the start, it would lag the current by half a period,
    // a phase error no bridge has.
    const DriveHardwareParams& hw = scenario_.drive;
    const PlantState& st = plant_->State();
    const double volts_per_count = hw.bus_voltage_V / drive::kFullScale;
    auto dead_time = [&](double i) {
        return hw.dead_time_drop_V * std::clamp(i / kDeadTimeBand_A, -1.0, 1.0);
    };
    double u_a = 0, u_b = 0;
    if (power_on_) {
        u_a = command_.voltage_a * volts_per_count;
        u_b = command_.voltage_b * volts_per_count;
        double mid_a = 0, mid_b = 0;
        plant_->MidStepCurrents(u_a, u_b, mid_a, mid_b);
        u_a -= dead_time(mid_a);
        u_b -= dead_time(mid_b);
    }
    const double previous_angle = st.angle_rad;
    plant_->Step(u_a, u_b, power_on_);
    time_s_ += pwm_period_s_;
    ++period_index_;
    UpdateHandAndIndex(previous_angle);
    return {fast, slow};
}

}  // namespace orvex::sim
