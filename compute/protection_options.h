#pragma once
// Options of the drive's protections: over-current, I2t overload of drive and motor,
// over- and under-voltage of the supply, over-temperature, excessive position and
// speed control errors, the protection control register "PCR" and the voltage boost;
// forward (parameters to options) and read-back (options to the parameters the editor
// shows).
//
// Every conversion looks up all names it needs first; it returns 0 and writes nothing
// when one is absent, else 1 (a read-back also returns 0, writing nothing, when the
// range it must set is empty). Physical parameters are read in their base units. k_U
// is counts per volt of measured supply voltage, k_I current counts per ampere, k_V PWM
// counts per volt, k_P and k_S position and speed counts per load unit, T_S the slow
// loop period computed from the timing options; "Ts_S" is the parameter of that name.

#include "host/setup/setup.h"

namespace orvex {

// --- Protection control register --------------------------------------------------------

/// "PCR": bits 0 over-current, 1 motor I2t, 2 motor over-temperature, 3 drive
/// over-temperature, 4 over-voltage, 5 under-voltage, 7 drive I2t, each set when its
/// switch truncated is 1; bits 6 and 8-15 kept from the present PCR, bits above 15
/// cleared.
int ComputeOption_PCR(CMC_Setup* setup);
/// The switches read back from their "PCR" bits (range 0 to 1; "isMotorOverTemp" gets
/// the range 0 to 0 when the setting "DisableMotorTemperature" is nonzero).
int ReadBack_isOverCurrent(CMC_Setup* setup);
int ReadBack_isMotori2t(CMC_Setup* setup);
int ReadBack_isMotorOverTemp(CMC_Setup* setup);
int ReadBack_isDriveOverTemp(CMC_Setup* setup);
int ReadBack_isOverVoltage(CMC_Setup* setup);
int ReadBack_isUnderVoltage(CMC_Setup* setup);
int ReadBack_isDriveI2t(CMC_Setup* setup);

// --- Supply voltage and temperature -----------------------------------------------------

/// "UMAXPROT" [counts] = trunc(UMAX_PROT [V] x k_U).
int ComputeOption_UMAXPROT(CMC_Setup* setup);
/// "UMAX_PROT" [V], range 1 to 2000: UMAXPROT / k_U, raised by ulps where needed so
/// that the forward conversion gives the same UMAXPROT again.
int ReadBack_UMAX_PROT(CMC_Setup* setup);
/// "UMINPROT" [counts] = UMIN_PROT [V] x k_U (not truncated).
int ComputeOption_UMINPROT(CMC_Setup* setup);
/// "UMIN_PROT" [V], range 1 to 2000: UMINPROT / k_U.
int ReadBack_UMIN_PROT(CMC_Setup* setup);
/// "T2MAXPROT" [ADC counts]: the drive temperature sensor's output at "Temp_2" [°C],
/// ADCmax x (DriveTempOutputAt0oC + DriveTempSensorGain x Temp_2) / ADCrange.
int ComputeOption_T2MAXPROT(CMC_Setup* setup);
/// "Temp_2" [°C], range -100 to 1000: the inverse of "T2MAXPROT".
int ReadBack_Temp_2(CMC_Setup* setup);
/// "T1MAXPROT": 32767.
int ComputeOption_T1MAXPROT(CMC_Setup* setup);

// --- I2t protection of drive (_D: rated "InPS", peak "ImaxPS") and motor (_M: rated
// "In", peak "ImaxM"). The drive integrates (k_I i)^2 - (k_I I_rated)^2 and trips when
// the sum exceeds I2TINTLIM. ----------------------------------------------------------------

/// "II2TPROT_D" (written in internal units), "II2TPROT_M": rated current x k_I.
int ComputeOption_II2TPROT_D(CMC_Setup* setup);
int ComputeOption_II2TPROT_M(CMC_Setup* setup);
/// "SFI2T_D", "SFI2T_M": Ts_S x 2^26 / t, t = "t_I2t_D" / "t_I2t_M" [s].
int ComputeOption_SFI2T_D(CMC_Setup* setup);
int ComputeOption_SFI2T_M(CMC_Setup* setup);
/// "I2TINTLIM_D", "I2TINTLIM_M": ((k_I I)^2 - (k_I I_rated)^2) x 2^26 / 32767^2,
/// I = "I_I2t_D" / "I_I2t_M" [A].
int ComputeOption_I2TINTLIM_D(CMC_Setup* setup);
int ComputeOption_I2TINTLIM_M(CMC_Setup* setup);
/// "II2TWARLIM_D", "I2TWARLIM_M": the limit the integral reaches 2 s before the trip,
/// I2TINTLIM x (t - 2) / t.
int ComputeOption_II2TWARLIM_D(CMC_Setup* setup);
int ComputeOption_I2TWARLIM_M(CMC_Setup* setup);
/// "I_I2t_D" [A], range InPS to ImaxPS, and "I_I2t_M" [A], range 1.1 x In to ImaxM:
/// the exact inverse of the I2TINTLIM conversion, sqrt(I2TINTLIM x 32767^2 / 2^26 +
/// (k_I I_rated)^2) / k_I.
int ReadBack_I_I2t_D(CMC_Setup* setup);
int ReadBack_I_I2t_M(CMC_Setup* setup);
/// "t_I2t_D" [s] = Ts_S x 2^26 / SFI2T_D and "t_I2t_M" [s] = T_S x 2^26 / SFI2T_M,
/// range 2048 T_S to 2^26 T_S.
int ReadBack_t_I2t_D(CMC_Setup* setup);
int ReadBack_t_I2t_M(CMC_Setup* setup);

// --- Over-current and control errors ----------------------------------------------------------

/// "IMAXPROT" [counts] = Imax_Prot [A] x k_I.
int ComputeOption_IMAXPROT(CMC_Setup* setup);
/// "Imax_Prot" [A], range 0.001 to min(ImaxM, ImaxPS): IMAXPROT / k_I.
int ReadBack_Imax_Prot(CMC_Setup* setup);
/// "TestProtectionCurrent" [A], range 0 to min(ImaxM, ImaxPS): IMAXPROT / k_I.
int ReadBack_TestProtectionCurrent(CMC_Setup* setup);
/// "TIMAXPROT" [slow samples] = time_Imax_Prot [s] / Ts_S.
int ComputeOption_TIMAXPROT(CMC_Setup* setup);
/// "time_Imax_Prot" [s], range 0.001 to 32767 T_S: TIMAXPROT x T_S.
int ReadBack_time_Imax_Prot(CMC_Setup* setup);
/// "ERRMAX" [position counts] = ERR_position x |k_P|.
int ComputeOption_ERRMAX(CMC_Setup* setup);
/// "ERR_position" [load unit], range 0 to 32767 / |k_P|: ERRMAX / |k_P|.
int ReadBack_ERR_position(CMC_Setup* setup);
/// "TERRMAX" [slow samples] = time_ERR_pos / Ts_S when "isPositionControlError" is on,
/// else 65535 (protection off).
int ComputeOption_TERRMAX(CMC_Setup* setup);
/// "isPositionControlError", range 0 to 1: 0 when TERRMAX is 65535, else 1.
int ReadBack_isPositionControlError(CMC_Setup* setup);
/// "time_ERR_pos" [s], range 0.001 to 32767 T_S: TERRMAX x T_S.
int ReadBack_time_ERR_pos(CMC_Setup* setup);
/// "SERRMAX" [speed counts] = ERR_speed x |k_S|.
int ComputeOption_SERRMAX(CMC_Setup* setup);
/// "ERR_speed" [load speed unit], range 0.001 to 32767 / |k_S|: SERRMAX / |k_S|.
int ReadBack_ERR_speed(CMC_Setup* setup);
/// "TSERRMAX" [slow samples] = time_ERR_spd / Ts_S when "isSpeedControlError" is on,
/// else 65535 (protection off).
int ComputeOption_TSERRMAX(CMC_Setup* setup);
/// "isSpeedControlError", range 0 to 1: 0 when TSERRMAX is 65535, else 1.
int ReadBack_isSpeedControlError(CMC_Setup* setup);
/// "time_ERR_spd" [s], range 0.001 to 32767 T_S: TSERRMAX x T_S.
int ReadBack_time_ERR_spd(CMC_Setup* setup);

// --- Voltage boost ----------------------------------------------------------------------------

/// "BOOST" [PWM counts, written in internal units] = R x min(In, InPS) x k_V: the
/// voltage that drives the smaller rated current through the winding.
int ComputeOption_BOOST(CMC_Setup* setup);

}  // namespace orvex
