#pragma once
// Options of the drive's control loops: the gains, saturations, output filter and
// feed-forward terms of the current loop (period T_C), the speed and position loops
// (period T_S) and the electric-angle loop, forward (parameters to options) and
// read-back (options to the parameters the editor shows).
//
// Every conversion looks up all names it needs first; it returns 0 and writes nothing
// when one is absent, else 1. Physical parameters are read in their base units; the
// scales k_I (current counts per A), k_S (speed counts per load speed unit) and the
// loop periods come from compute/scales.h.
//
// A saturation limit L is stored as its distance from full scale, 32767 - L x scale;
// an integral saturation the same way, from a percentage of its loop's limit.

#include <functional>
#include <initializer_list>

#include "host/setup/setup.h"

namespace orvex {

// --- Shared with the protection options --------------------------------------------

/// Parameters behind the scale functions, for the look-up a conversion makes before
/// it writes anything.
inline const std::initializer_list<const char*> kCurrentScaleNames = {"ImaxPS"};
inline const std::initializer_list<const char*> kCurrentLoopPeriodNames = {"CLPER", "PWMPER",
                                                                           "DSP_freq"};
inline const std::initializer_list<const char*> kSpeedLoopPeriodNames = {"SLPER", "PWMPER",
                                                                         "DSP_freq"};
inline const std::initializer_list<const char*> kLoadPositionScaleNames = {
    "MECRESL", "Motor_transmission", "Load_transmission"};
inline const std::initializer_list<const char*> kLoadSpeedScaleNames = {
    "SLPER", "PWMPER", "DSP_freq", "MECRESL", "Motor_transmission", "Load_transmission"};

// --- Gains (mantissa x 2^shift / 32767; forward writes the shift, then the mantissa) --

/// "SFTKPI", "KPI": current loop proportional gain "Kp_C_scl".
int ComputeOption_SFTKPI(CMC_Setup* setup);
int ComputeOption_KPI(CMC_Setup* setup);
/// "SFTKII", "KII": current loop integral gain "Ki_C_scl".
int ComputeOption_SFTKII(CMC_Setup* setup);
int ComputeOption_KII(CMC_Setup* setup);
/// "SFTKPS", "KPS": speed loop proportional gain "Kp_S_scl".
int ComputeOption_SFTKPS(CMC_Setup* setup);
int ComputeOption_KPS(CMC_Setup* setup);
/// "SFTKIS", "KIS": speed loop integral gain "Ki_S_scl".
int ComputeOption_SFTKIS(CMC_Setup* setup);
int ComputeOption_KIS(CMC_Setup* setup);
/// "SFTKPP", "KPP": position loop proportional gain "Kp_P_scl".
int ComputeOption_SFTKPP(CMC_Setup* setup);
int ComputeOption_KPP(CMC_Setup* setup);
/// "SFTKIP", "KIP": position loop integral gain "Ki_P_scl".
int ComputeOption_SFTKIP(CMC_Setup* setup);
int ComputeOption_KIP(CMC_Setup* setup);
/// "SFTKDP", "KDP": position loop derivative gain "Kd_P_scl".
int ComputeOption_SFTKDP(CMC_Setup* setup);
int ComputeOption_KDP(CMC_Setup* setup);
/// "SFTSFFW", "KFFS": speed feed-forward gain "KFFS_scl".
int ComputeOption_SFTSFFW(CMC_Setup* setup);
int ComputeOption_KFFS(CMC_Setup* setup);
/// "SFTKPTHT", "KPTHT": electric angle loop proportional gain "Kp_T_scl".
int ComputeOption_SFTKPTHT(CMC_Setup* setup);
int ComputeOption_KPTHT(CMC_Setup* setup);
/// "SFTKITHT", "KITHT": electric angle loop integral gain "Ki_T_scl".
int ComputeOption_SFTKITHT(CMC_Setup* setup);
int ComputeOption_KITHT(CMC_Setup* setup);

/// Acceleration feed-forward "KFFA_scl" with n = ceil(log2 KFFA_scl) (0 at or below 1)
/// split over two shift options: "SFTAFFW" = min(n, 11), "SFTKFF" = the rest above 11,
/// "KFFA" = KFFA_scl x 32767 / 2^n.
int ComputeOption_SFTAFFW(CMC_Setup* setup);
int ComputeOption_SFTKFF(CMC_Setup* setup);
int ComputeOption_KFFA(CMC_Setup* setup);

/// Gain parameters decoded from their options (range 0 to 16384 first).
int ReadBack_Kp_C_scl(CMC_Setup* setup);
int ReadBack_Ki_C_scl(CMC_Setup* setup);
int ReadBack_Kp_S_scl(CMC_Setup* setup);
int ReadBack_Ki_S_scl(CMC_Setup* setup);
int ReadBack_Kp_P_scl(CMC_Setup* setup);
int ReadBack_Ki_P_scl(CMC_Setup* setup);
int ReadBack_Kd_P_scl(CMC_Setup* setup);
int ReadBack_KFFS_scl(CMC_Setup* setup);
int ReadBack_Kp_T_scl(CMC_Setup* setup);
int ReadBack_Ki_T_scl(CMC_Setup* setup);
/// "KFFA_scl" = KFFA x 2^(SFTKFF + SFTAFFW) / 32767, range 0 to 2^22 first.
int ReadBack_KFFA_scl(CMC_Setup* setup);

// --- Current loop ---------------------------------------------------------------------

/// "SATPWM" [PWM counts]: 0 without current measurement ("CurrentMeasurementType" 0),
/// else PWM_freq [Hz] x 0.13107.
int ComputeOption_SATPWM(CMC_Setup* setup);
/// "SATID", "SATIQ": the value of "SATPWM" (run after it).
int ComputeOption_SATID(CMC_Setup* setup);
int ComputeOption_SATIQ(CMC_Setup* setup);
/// "FILTERQ": first-order filter coefficient on the current controller output,
/// trunc((1 - e^(-f x T_C)) x 32767) with f = "FilterOnCurrentControllerOutput" [1/s]
/// when "isUseFilterOnCrtCtrlOutput" is nonzero, else 32767 (no filtering).
int ComputeOption_FILTERQ(CMC_Setup* setup);
/// "isUseFilterOnCrtCtrlOutput": 0 when FILTERQ is 32767, else 1.
int ReadBack_isUseFilterOnCrtCtrlOutput(CMC_Setup* setup);
/// "FilterOnCurrentControllerOutput" [1/s], range 0 to 1 / (2 T_C): 5000 when FILTERQ
/// is 32767, else -ln(1 - FILTERQ / 32767) / T_C, raised by ulps where needed so that
/// the forward conversion gives the same FILTERQ again.
int ReadBack_FilterOnCurrentControllerOutput(CMC_Setup* setup);
/// "FFL" [current counts]: gravitational load offset "OffsetCurrent" x k_I when
/// trunc("isCompensateGravitationalLoads") is nonzero, else 0.
int ComputeOption_FFL(CMC_Setup* setup);
/// "isCompensateGravitationalLoads": 0 when FFL is 0, else 1.
int ReadBack_isCompensateGravitationalLoads(CMC_Setup* setup);
/// "OffsetCurrent" [A], range -In to In: FFL / k_I.
int ReadBack_OffsetCurrent(CMC_Setup* setup);
/// "KFFL": 32767 (the load feed-forward at full weight).
int ComputeOption_KFFL(CMC_Setup* setup);

// --- Speed and position loop saturations -------------------------------------------------

/// "IMAXS", range 0 to 32767: 32767 - IlimPS x (IPSatS / 100) x k_I.
int ComputeOption_IMAXS(CMC_Setup* setup);
/// "SATS", range 0 to 32767: 32767 - IlimPS x k_I.
int ComputeOption_SATS(CMC_Setup* setup);
/// "IPSatS" [%], range 0 to 100: (32767 - IMAXS) x 100 / (32767 - SATS).
int ReadBack_IPSatS(CMC_Setup* setup);
/// "KDFP": derivative filter "filter_D" (0 to 1) x 32767.
int ComputeOption_KDFP(CMC_Setup* setup);
/// "filter_D", range 0 to 1: KDFP / 32767.
int ReadBack_filter_D(CMC_Setup* setup);
/// "IMAXP", range 0 to 32767. When the position loop drives the speed loop in position
/// mode (PositionControlType 1, ControlMode 0): 32767 - Limit_Speed x (IPSatP / 100) x
/// |k_S|; else 32767 - IlimPS x (IPSatP / 100) x |k_I|.
int ComputeOption_IMAXP(CMC_Setup* setup);
/// "SATP", range 0 to 32767: 32767 - Limit_Speed x |k_S| when the position loop drives
/// the speed loop in position mode, else 32767 - IlimPS x k_I.
int ComputeOption_SATP(CMC_Setup* setup);
/// "IPSatP" [%], range 0 to 100: (32767 - IMAXP) x 100 / (32767 - SATP).
int ReadBack_IPSatP(CMC_Setup* setup);
/// "Limit_Speed" [load speed unit] = (32767 - SATP) / |k_S|, only when the position loop
/// drives the speed loop in position mode (no range set); otherwise unchanged.
int ReadBack_Limit_Speed(CMC_Setup* setup);

// --- Limits and test values the editor and the tests read --------------------------------

/// "IlimPS" [A], range 0.001 to min(ImaxM, ImaxPS): (32767 - S) / k_I, S = SATS when
/// the speed loop is closed (bit 9 of "ACR"), else SATP.
int ReadBack_IlimPS(CMC_Setup* setup);
/// "TestLimitCurrent" [A], range 0 to min(ImaxPS, ImaxM): as "IlimPS".
int ReadBack_TestLimitCurrent(CMC_Setup* setup);
/// "TestCurrent" [A], range 0.001 to 1.8 x min(In, InPS): min(In, InPS).
int ReadBack_TestCurrent(CMC_Setup* setup);
/// "TestMaxSpeed", range 0 to Limit_Speed: Vdc / K / 3.
int ReadBack_TestMaxSpeed(CMC_Setup* setup);
/// "Jload_over_J", range 0 to 100: Jt / Jm - 1.
int ReadBack_Jload_over_J(CMC_Setup* setup);

}  // namespace orvex
