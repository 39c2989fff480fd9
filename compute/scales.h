#pragma once
// Factors between the drive's counts and physical units, from the drive's clock,
// PWM and loop settings and its sensor resolutions. Each reads the setup through
// the by-name shortcuts without testing for presence, and returns whatever the
// arithmetic gives (a zero divisor gives an infinite or undefined factor).

#include "host/setup/setup.h"

namespace orvex {

/// T_C = CLPER x 2 x PWMPER / DSP_freq [s]
double GetCurrentLoopPeriod(const CMC_Setup* setup);
/// T_S = SLPER x 2 x PWMPER / DSP_freq [s]
double GetSpeedLoopPeriod(const CMC_Setup* setup);
/// ADCmax / VdcMaxMeasurable: counts per volt of measured supply voltage.
double GetVoltageMeasureScale(const CMC_Setup* setup);
/// k_I = ADCmax / (2 x ImaxPS): current counts per ampere.
double GetCurrentScale(const CMC_Setup* setup);
/// k_V = 32767 / Vdc: PWM counts per volt.
double GetPwmVoltageScale(const CMC_Setup* setup);
/// k_Pm = 4 x trunc(MECRESL / 4) / 2pi: counts per motor radian (MECRESL internal).
double GetMotorPositionScale(const CMC_Setup* setup);
/// k_P = k_Pm x Motor_transmission / Load_transmission: counts per load unit.
double GetLoadPositionScale(const CMC_Setup* setup);
/// k_Sm = T_S x k_Pm: counts per slow sample per motor rad/s.
double GetMotorSpeedScale(const CMC_Setup* setup);
/// k_S = k_Sm x Motor_transmission / Load_transmission.
double GetLoadSpeedScale(const CMC_Setup* setup);
/// k_A = No_encoder_lines x 2 x T_S^2 / pi x Motor_transmission / Load_transmission.
double GetLoadAccelerationScale(const CMC_Setup* setup);
/// k_J = No_encoder_lines x 2 x T_S^3 / pi x Motor_transmission / Load_transmission.
double GetLoadJerkScale(const CMC_Setup* setup);
/// 0 when KFFA_scl <= 1, else ceil(ln KFFA_scl / ln 2).
double GetAccelerationFeedForwardShift(const CMC_Setup* setup);

/// "PWMPER" = DSP_freq x 0.5 / PWM_freq, the one forward timing conversion.
int ComputeOption_PWMPER(CMC_Setup* setup);
/// "PWM_freq" = DSP_freq x 0.5 / PWMPER.
int ReadBack_PWM_freq(CMC_Setup* setup);
/// "PWMperiod" = PWMPER x 2 / DSP_freq.
int ReadBack_PWMperiod(CMC_Setup* setup);
/// "Ts_C" = T_C.
int ReadBack_Ts_C(CMC_Setup* setup);
/// "Ts_S" = T_S.
int ReadBack_Ts_S(CMC_Setup* setup);

}  // namespace orvex
