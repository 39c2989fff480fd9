#pragma once
// The arithmetic of the identification tests: what turns the numbers a drive program
// reports (counts of current, PWM voltage, speed and time) into amperes, ohms,
// henries and kg*m^2. The test dialogs read the drive and the setup, call these,
// and write what comes back; nothing here knows a window or a drive.
//
// Unit conventions of the drive: current counts = A x k_I (k_I = ADCmax / (2 ImaxPS));
// PWM voltage counts = V x k_V (k_V = 32767 / Vdc); speed counts per slow-loop sample
// = rad/s x k_Sm; electric angle 65535 per electrical turn in the inductance run.

#include <cstddef>
#include <optional>

namespace orvex {

/// Running mean, m := ((k-1) m + x) / k for the k-th value: the drive's logger hands
/// the points over one at a time and the test keeps no copy of them.
class RunningMean {
  public:
    void Add(double x) {
        ++count_;
        mean_ = ((static_cast<double>(count_) - 1.0) * mean_ + x) / static_cast<double>(count_);
    }
    double Value() const { return mean_; }
    std::size_t Count() const { return count_; }

  private:
    double mean_ = 0.0;
    std::size_t count_ = 0;
};

// --- motor phase connections -------------------------------------------------------

/// A steady phase current reading (counts) in amperes rounded to hundredths:
/// 2 x ImaxPS x counts / ADCmax.
double PhaseCurrentFromCounts(double counts, double imaxps_A, double adc_max);

/// The connection is good when both phase currents are close to each other and the
/// test current drove them: IB != 0, 0.8 < |IA / IB| < 1.2, IA > I_t / 2, IB < 2 I_t
/// (all strict). IA is taken with its sign: the first phase must carry the current
/// the test drove into it.
bool PhaseConnectionGood(double ia_A, double ib_A, double test_current_A);

// --- resistance and inductance -----------------------------------------------------

/// The bus voltage [V] measured by the resistance run: VdcMaxMeasurable x counts /
/// ADCmax (unrounded: it scales the voltages the resistance is computed from).
double BusVoltageFromCounts(double counts, double vdc_max_measurable_V, double adc_max);

/// Why a resistance or inductance could not be identified.
enum class RlStatus {
    kOk,
    kEqualCurrents,       ///< both resistance runs gave the same mean current
    kNoPoints,            ///< the logger delivered no point to average
    kNoCurrent,           ///< the inductance run logged no current, or no frequency
    kNotFinite,           ///< the scales gave no finite value (Vdc or ImaxPS of 0 ...)
    kInductanceTooSmall,  ///< below kMinInductance_H
    kInductanceTooLarge,  ///< above kMaxInductance_H
};

struct RlEstimate {
    RlStatus status = RlStatus::kOk;
    double value = 0.0;  ///< ohms or henries; meaningful only with kOk
};

/// No drive of the family drives a phase below 50 uH: a smaller value means the
/// measurement failed, not that the motor is that small.
inline constexpr double kMinInductance_H = 50e-6;
inline constexpr double kMaxInductance_H = 1.0;

/// R = ((U1 - U2) / (I1 - I2)) / k_V x k_I [ohm] from the held voltages U (PWM counts)
/// and mean currents I (counts) of the runs at full and at half test current. The
/// difference cancels the drive's dead-time drop and the ADC offset.
RlEstimate ResistanceFromRuns(double u1, double i1, double u2, double i2, double k_V, double k_I);

/// Means of the inductance run's demodulated current, accumulated point by point:
/// "ID" (the component 90 degrees behind the voltage) and ID^2 + IQ^2.
struct InductanceMeans {
    RunningMean quadrature;    ///< M_d
    RunningMean magnitude_sq;  ///< M_sq
    void Add(double iq, double id) {
        quadrature.Add(id);
        magnitude_sq.Add(id * id + iq * iq);
    }
};

/// L = (M_d x U3) / (omega x M_sq) x k_I / k_V [H] with omega = theta_inc x 2 pi /
/// (T_C x 65535): for a voltage of amplitude U3 on Z = R + j omega L, the current
/// component 90 degrees behind is U3 omega L / |Z|^2 and the squared amplitude is
/// U3^2 / |Z|^2, so their ratio gives L whatever R is. Checked against
/// kMinInductance_H and kMaxInductance_H (1 H itself passes).
RlEstimate InductanceFromRun(const InductanceMeans& means, double theta_inc, double u3,
                             double current_loop_period_s, double k_V, double k_I);

// --- total inertia -----------------------------------------------------------------

/// The verdict of the inertia program, checked in this order.
enum class InertiaVerdict {
    kOk,
    kFlagFailed,       ///< test_flag <= 0
    kSpeedNegative,    ///< delta_time == -1
    kNoSpeed,          ///< delta_time == -2: no speed, or the current was not reached
    kSpeedNotReached,  ///< any other negative delta_time
};

InertiaVerdict InertiaVerdictFor(double test_flag, double delta_time);

/// J = (k_Sm / k_I) x dt x T_S x K / delta_speed x I_test [kg*m^2], that is
/// K x I / (delta_omega / delta_t). Empty when the run gave no finite, positive
/// inertia: a speed gain or a time of 0 is a failed measurement, never an inertia of
/// 0 or infinity written into the setup.
std::optional<double> TotalInertia(double motor_speed_scale, double current_scale,
                                   double delta_time, double speed_loop_period_s,
                                   double torque_constant, double delta_speed,
                                   double test_current_counts);

}  // namespace orvex
