#pragma once
// The two-phase hybrid step motor with its load: two R-L windings with back-EMF
// and one rigid shaft.
//
//   L di_a/dt = u_a - R i_a - e_a,   e_a = -K w sin(p th)
//   L di_b/dt = u_b - R i_b - e_b,   e_b =  K w cos(p th)
//   J dw/dt   = K (-i_a sin(p th) + i_b cos(p th)) - T_d sin(N th) - c w - T_c sgn(w) + T_load
//
// p = N / 4 pole pairs for N full steps per revolution (a full step is a quarter
// of an electrical turn), J = rotor + load inertia. The voltages are constant over
// one step (one PWM period), so the windings take an exact exponential step, which
// is stable for any ratio of step to L/R; the shaft takes a semi-implicit Euler
// step, fine because its time constants are thousands of PWM periods. Back-EMF,
// torque and detent take the electric angle at mid-step, the torque the mean of
// the currents at both ends.

#include "simdrive/scenario.h"

namespace orvex::sim {

struct PlantState {
    double current_a_A = 0.0;
    double current_b_A = 0.0;
    double speed_rad_s = 0.0;
    /// Shaft angle, unbounded (turns accumulate).
    double angle_rad = 0.0;
};

class MotorPlant {
  public:
    MotorPlant(const Scenario& scenario, double step_s);

    /// Advances one step with phase voltages u_a, u_b [V] applied by the bridge.
    /// With `bridge_on` false the bridge is open: the windings carry no current.
    void Step(double u_a_V, double u_b_V, bool bridge_on);

    /// Inductance of the circuit phase A (0) or B (1) drives [H]: the winding's,
    /// or the cable's when the terminals are shorted.
    double CircuitInductance_H(int phase) const {
        return phase == 0 && short_circuit_ ? kShortInductance_H : motor_.phase_inductance_H;
    }
    static constexpr double kShortInductance_H = 2e-6;
    /// The phase currents half a step on under voltages u_a, u_b [V] (bridge on).
    void MidStepCurrents(double u_a_V, double u_b_V, double& i_a_A, double& i_b_A) const;

    /// Changes the step (the PWM period changed with its register).
    void SetStep(double step_s);
    double step_s() const { return step_s_; }

    /// Moves the shaft by an outside hand (the operator), ignoring torques.
    void ForceShaft(double angle_rad, double speed_rad_s);

    const PlantState& State() const { return state_; }
    /// Electrical torque K (-i_a sin p th + i_b cos p th) of the present state [N·m].
    double ElectricalTorque_Nm() const;
    double pole_pairs() const { return pole_pairs_; }
    double total_inertia_kgm2() const { return inertia_kgm2_; }

  private:
    struct Winding {
        double decay = 0.0;                              // exp(-R dt / L)
        double gain_per_V = 0.0;                         // (1 - decay) / R
        double half_decay = 0.0, half_gain_per_V = 0.0;  // the same over half a step
        bool open = false;
    };

    MotorParams motor_;
    LoadParams load_;
    bool brake_locked_;
    double step_s_;
    double pole_pairs_;
    double inertia_kgm2_;
    Winding a_, b_;
    bool short_circuit_ = false;
    bool a_open_ = false, b_open_ = false;
    PlantState state_;
    // sin and cos of the electric angle half a step on, kept for the state they
    // were taken at: the power stage asks for the mid-step currents before every
    // step.
    void ElectricSinCos(double& s, double& c) const;
    mutable double trig_angle_ = -1e300, trig_speed_ = 0, trig_sin_ = 0, trig_cos_ = 1;
};

}  // namespace orvex::sim
