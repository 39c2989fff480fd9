#include "simdrive/plant.h"

#include <cmath>

namespace orvex::sim {
namespace {

// A short circuit at the motor terminals of phase A leaves only the cable: a few
// milliohms and almost no inductance, so the current runs away within a period.
constexpr double kShortResistance_ohm = 0.02;

}  // namespace

MotorPlant::MotorPlant(const Scenario& scenario, double step_s)
    : motor_(scenario.motor),
      load_(scenario.load),
      brake_locked_(scenario.faults.brake_locked),
      step_s_(step_s),
      pole_pairs_(scenario.motor.full_steps_per_rev / 4.0),
      inertia_kgm2_(scenario.motor.rotor_inertia_kgm2 + scenario.load.inertia_kgm2),
      short_circuit_(scenario.faults.short_circuit),
      a_open_(scenario.faults.phase_a_open),
      b_open_(scenario.faults.phase_b_open) {
    state_.angle_rad = scenario.motor.initial_angle_rad;
    SetStep(step_s);
}

void MotorPlant::SetStep(double step_s) {
    step_s_ = step_s;
    auto make = [&](double r, double l, bool open) {
        Winding w;
        w.decay = std::exp(-r * step_s_ / l);
        w.gain_per_V = (1.0 - w.decay) / r;
        w.half_decay = std::exp(-r * 0.5 * step_s_ / l);
        w.half_gain_per_V = (1.0 - w.half_decay) / r;
        w.open = open;
        return w;
    };
    const double r = motor_.phase_resistance_ohm;
    const double l = motor_.phase_inductance_H;
    a_ = short_circuit_ ? make(kShortResistance_ohm, MotorPlant::kShortInductance_H, false)
                        : make(r, l, a_open_);
    b_ = make(r, l, b_open_);
}

double MotorPlant::ElectricalTorque_Nm() const {
    const double el = pole_pairs_ * state_.angle_rad;
    return motor_.torque_constant_Nm_per_A *
           (-state_.current_a_A * std::sin(el) + state_.current_b_A * std::cos(el));
}

void MotorPlant::ElectricSinCos(double& s, double& c) const {
    if (state_.angle_rad != trig_angle_ || state_.speed_rad_s != trig_speed_) {
        // The angle half a step on: the windings and the torque over a step see
        // the rotor where it is on average, not where the step began. At a small
        // motor's top speed the rotor turns some 20 electrical degrees a period.
        const double el = pole_pairs_ * (state_.angle_rad + 0.5 * step_s_ * state_.speed_rad_s);
        trig_sin_ = std::sin(el);
        trig_cos_ = std::cos(el);
        trig_angle_ = state_.angle_rad;
        trig_speed_ = state_.speed_rad_s;
    }
    s = trig_sin_;
    c = trig_cos_;
}

void MotorPlant::MidStepCurrents(double u_a_V, double u_b_V, double& i_a_A, double& i_b_A) const {
    const double k = motor_.torque_constant_Nm_per_A;
    double s = 0, c = 1;
    ElectricSinCos(s, c);
    const double w = state_.speed_rad_s;
    const double e_a = -k * w * s, e_b = k * w * c;
    i_a_A = a_.open ? 0.0 : a_.half_decay * state_.current_a_A + a_.half_gain_per_V * (u_a_V - e_a);
    i_b_A = b_.open ? 0.0 : b_.half_decay * state_.current_b_A + b_.half_gain_per_V * (u_b_V - e_b);
}

void MotorPlant::Step(double u_a_V, double u_b_V, bool bridge_on) {
    const double k = motor_.torque_constant_Nm_per_A;
    double s = 0, c = 1;
    ElectricSinCos(s, c);
    const double w = state_.speed_rad_s;

    // Windings: exact response to a constant voltage over the step.
    const double start_a = state_.current_a_A, start_b = state_.current_b_A;
    if (bridge_on) {
        const double e_a = -k * w * s;
        const double e_b = k * w * c;
        state_.current_a_A =
            a_.open ? 0.0 : a_.decay * state_.current_a_A + a_.gain_per_V * (u_a_V - e_a);
        state_.current_b_A =
            b_.open ? 0.0 : b_.decay * state_.current_b_A + b_.gain_per_V * (u_b_V - e_b);
    } else {
        // An open bridge lets the freewheel diodes return the stored energy to the
        // bus in a fraction of a period; below the bus voltage the back-EMF drives
        // no current.
        state_.current_a_A = 0.0;
        state_.current_b_A = 0.0;
    }

    if (brake_locked_) {
        state_.speed_rad_s = 0.0;
        return;
    }

    // Shaft. Torque from the currents' mean over the step, at the mid-step angle.
    const double mean_a = 0.5 * (start_a + state_.current_a_A);
    const double mean_b = 0.5 * (start_b + state_.current_b_A);
    const double torque_el = k * (-mean_a * s + mean_b * c);
    // Detent: one period per full step, N th = 4 p th, so sin(4x) from sin x and
    // cos x without another call: sin 4x = 2 sin 2x cos 2x.
    const double sin2 = 2.0 * s * c, cos2 = c * c - s * s;
    const double detent = -motor_.detent_torque_Nm * 2.0 * sin2 * cos2;
    const double driving =
        torque_el + detent + load_.torque_Nm - motor_.viscous_friction_Nm_s_per_rad * w;
    const double coulomb = motor_.coulomb_friction_Nm;
    double w_next;
    if (w == 0.0) {
        // Static friction holds the shaft until the driving torque exceeds it.
        if (std::fabs(driving) <= coulomb) {
            w_next = 0.0;
        } else {
            const double net = driving - std::copysign(coulomb, driving);
            w_next = w + step_s_ * net / inertia_kgm2_;
        }
    } else {
        const double net = driving - std::copysign(coulomb, w);
        w_next = w + step_s_ * net / inertia_kgm2_;
        // Friction cannot reverse the motion within a step: the shaft stops.
        if (w_next * w < 0.0 && std::fabs(driving) <= coulomb) w_next = 0.0;
    }
    state_.speed_rad_s = w_next;
    state_.angle_rad += step_s_ * w_next;
}

void MotorPlant::ForceShaft(double angle_rad, double speed_rad_s) {
    state_.angle_rad = angle_rad;
    state_.speed_rad_s = speed_rad_s;
}

}  // namespace orvex::sim
