#pragma once
// The drive's configuration registers (bit fields built from switch parameters),
// the encoder, brake, input and network options, the software position limits,
// the freeze-control window and the loop-closure settings, in both directions.
//
// Every function looks up all names it needs before it writes; it returns 1 on
// success and 0 (writing nothing) when a name is absent. Register and option values
// are read and written in internal units (for an option: the register value
// itself); physical parameters in their base unit unless a comment says otherwise.
// Registers are read as the 16-bit field of the truncated value. A switch parameter
// counts as on when its value truncated to an integer is exactly 1; read-backs give
// every switch the range 0 to 1 first.
//
// Scale symbols: k_P = GetLoadPositionScale (counts per load unit, signed by the
// transmission), k_S = GetLoadSpeedScale.

#include "host/setup/setup.h"

namespace orvex {

// --- Bits of the registers ----------------------------------------------------------

/// "ACR", application control register.
inline constexpr int kAcrAutoActivate = 1 << 1;     ///< activate after power-on
inline constexpr int kAcrDigitalRefType0 = 1 << 2;  ///< digital reference of type 0
inline constexpr int kAcrFreezeControl = 1 << 4;    ///< hold the position loop in the window
inline constexpr int kAcrAnalogueRef = 1 << 6;      ///< external analogue reference
inline constexpr int kAcrDigitalRef = 1 << 7;       ///< external digital reference
inline constexpr int kAcrLoopOn = 1 << 8;           ///< set in every control mode
inline constexpr int kAcrSpeedLoop = 1 << 9;        ///< speed loop closed
inline constexpr int kAcrPositionLoop = 1 << 10;    ///< position loop closed
inline constexpr int kAcrSpeedForward = 1 << 14;    ///< speed feed-forward
/// "ASR".
inline constexpr int kAsrInputsPolarity = 1 << 2;   ///< set for inputs polarity type 0
inline constexpr int kAsrNegTransmission = 1 << 7;  ///< reversing transmission
inline constexpr int kAsrSoftwareLimits = 1 << 12;
/// "SCR".
inline constexpr int kScrSpeedEstimatorField = 0x38;  ///< bits 3-5
inline constexpr int kScrSpeedEstimatorOn = 0x30;     ///< bits 5..3 = 110
inline constexpr int kScrMotorTempSensor = 1 << 7;
inline constexpr int kScrDriveTempSensor = 1 << 8;
/// "OSR": start mode field, bits 2-4.
inline constexpr int kOsrStartModeField = 0x1C;
inline constexpr int kOsrStartModeEnable = 1 << 2;
inline constexpr int kOsrStartMode1 = 1 << 4;
/// "UPGRADE".
inline constexpr int kUpgradeLimitMaximum = 1 << 2;
inline constexpr int kUpgradePosSpdInFastLoop = 1 << 6;
inline constexpr int kUpgradeT1TimeBase = 1 << 9;  ///< "T1ONA"/"T1ONB" in 1/100 s
/// "DIGIN_ACTIVE_LEVEL".
inline constexpr int kDiginLspPolarity = 1 << 13;
inline constexpr int kDiginLsnPolarity = 1 << 14;
inline constexpr int kDiginEnablePolarity = 1 << 15;
/// "LSS_Active": the network settings the drive must not save.
inline constexpr int kLssKeepAxisId = 1 << 0;
inline constexpr int kLssKeepBaudrate = 1 << 1;

// --- Encoder, temperature sensor, axis id -------------------------------------------

/// "MECRESL" = No_encoder_lines x 4: quadrature counts per motor revolution.
int ComputeOption_MECRESL(CMC_Setup* setup);
/// "ENC2THL" = NoMotorSteps x 0.25 x 2^32 / (No_encoder_lines x 4): electric angle per
/// encoder count, a full electrical cycle being 2^32 and a motor having NoMotorSteps / 4
/// electrical cycles per revolution.
int ComputeOption_ENC2THL(CMC_Setup* setup);
/// "MTSTYPE" = 1 when trunc(Motor_TempSensor_Type) is 1, else 0.
int ComputeOption_MTSTYPE(CMC_Setup* setup);
/// "AAR_table" = Axis_ID_list + 256 when trunc(Axis_ID_list) is nonzero, else 0.
int ComputeOption_AAR_table(CMC_Setup* setup);

/// "No_encoder_lines" (range 4 to 1073741823) = trunc(MECRESL / 4).
int ReadBack_No_encoder_lines(CMC_Setup* setup);
/// "Motor_TempSensor_Type" (range 0 to 1) = trunc(MTSTYPE).
int ReadBack_Motor_TempSensor_Type(CMC_Setup* setup);
/// "Axis_ID_list" (range 0 to 511) = AAR_table - 256 when AAR_table is nonzero, else 0.
int ReadBack_Axis_ID_list(CMC_Setup* setup);

// --- Configuration registers -----------------------------------------------------------

/// "SCR": bit 7 "isMotorTemperatureSensor", bit 8 "isDriveTemperatureSensor"; with
/// "isSpeedEstimator" in the setup, bits 5..3 = 110 when it is on, 000 otherwise.
int ComputeOption_SCR(CMC_Setup* setup);
/// "OSR": with "StartMode" in the setup, bits 2-4 = 101 for start mode 1, 001
/// otherwise; without it the register is written back as its 16-bit field.
int ComputeOption_OSR(CMC_Setup* setup);
/// "ASR": bit 2 set when "InputsPolarityType" (when present) is not 1; bit 7 set when
/// the setting "hasNegTransmission" is 1 and the transmission reverses; bit 12
/// "isSWLS" (when present).
int ComputeOption_ASR(CMC_Setup* setup);
/// "ACR", in this order: bit 1 "isAutoActivatedAfterPowerOn"; the reference bits 2, 6,
/// 7 from "ExternalReference", "isAnalogueReference", "DigitalReferenceType"; the
/// mode bits 8-10 from "ControlMode" and "PositionControlType"; bit 14
/// "SpeedForward" (cleared without it); bit 4 "isFreezeControl" (freeze control
/// options present). Fails without writing for a ControlMode outside 0 to 2.
int ComputeOption_ACR(CMC_Setup* setup);
/// "UPGRADE": keeps bits 0-14, bit 2 "isLimitMaximum", bit 6 "PosSpd_in_FastLoop"
/// when the setup has it. Bit 9 (time base of T1ONA/T1ONB) is never written.
int ComputeOption_UPGRADE(CMC_Setup* setup);
/// "DIGIN_ACTIVE_LEVEL": bit 15 "EnablePolarity", bit 14 "LSNPolarity", bit 13
/// "LSPPolarity".
int ComputeOption_DIGIN_ACTIVE_LEVEL(CMC_Setup* setup);
/// "LSS_Active": bit 0 when "save_axis_id" is not 1, bit 1 when "save_CAN_baudrate"
/// is not 1; the other bits 0.
int ComputeOption_LSS_Active(CMC_Setup* setup);

/// "isMotorTemperatureSensor" = SCR bit 7.
int ReadBack_isMotorTemperatureSensor(CMC_Setup* setup);
/// "isDriveTemperatureSensor" = SCR bit 8.
int ReadBack_isDriveTemperatureSensor(CMC_Setup* setup);
/// "isSpeedEstimator" = 1 when SCR bits 5..3 are 110.
int ReadBack_isSpeedEstimator(CMC_Setup* setup);
/// "StartMode" (range 0 to 3) = 1 when OSR bit 4 is set, else 0.
int ReadBack_StartMode(CMC_Setup* setup);
/// "InputsPolarityType" = NOT ASR bit 2.
int ReadBack_InputsPolarityType(CMC_Setup* setup);
/// "isSWLS" = ASR bit 12.
int ReadBack_isSWLS(CMC_Setup* setup);
/// "ControlMode" (range 0 to 2) = 0 with ACR bit 10, else 1 with bit 9, else 2.
int ReadBack_ControlMode(CMC_Setup* setup);
/// "ExternalReference" = 1 when ACR bit 6 or bit 7 is set.
int ReadBack_ExternalReference(CMC_Setup* setup);
/// "isAnalogueReference" = ACR bit 6; range 0 to 0 when the drive has no analogue
/// reference input.
int ReadBack_isAnalogueReference(CMC_Setup* setup);
/// "DigitalReferenceType" = NOT ACR bit 2.
int ReadBack_DigitalReferenceType(CMC_Setup* setup);
/// "IsAutoActivatedAfterPowerOn" = ACR bit 1.
int ReadBack_IsAutoActivatedAfterPowerOn(CMC_Setup* setup);
/// "SpeedForward" (internal unit, no range) = ACR bit 14.
int ReadBack_SpeedForward(CMC_Setup* setup);
/// "isFreezeControl" (internal unit) = 1 when ACR bit 4 is set and ControlMode is 0.
int ReadBack_isFreezeControl(CMC_Setup* setup);
/// "isLimitMaximum" = UPGRADE bit 2.
int ReadBack_isLimitMaximum(CMC_Setup* setup);
/// "PosSpd_in_FastLoop" = UPGRADE bit 6; succeeds without writing when the setup
/// does not have it.
int ReadBack_PosSpd_in_FastLoop(CMC_Setup* setup);
/// "EnablePolarity" = DIGIN_ACTIVE_LEVEL bit 15.
int ReadBack_EnablePolarity(CMC_Setup* setup);
/// "LSNPolarity" = DIGIN_ACTIVE_LEVEL bit 14.
int ReadBack_LSNPolarity(CMC_Setup* setup);
/// "LSPPolarity" = DIGIN_ACTIVE_LEVEL bit 13.
int ReadBack_LSPPolarity(CMC_Setup* setup);
/// "save_CAN_baudrate" = NOT LSS_Active bit 1.
int ReadBack_save_CAN_baudrate(CMC_Setup* setup);
/// "save_axis_id" = NOT LSS_Active bit 0.
int ReadBack_save_axis_id(CMC_Setup* setup);

/// Sets "SpeedForward" to 1 (internal unit) and ACR bit 14, except for ControlMode 0
/// with PositionControlType 1, where it changes nothing. 0 when a name is absent.
int ApplySpeedForwardDefault(CMC_Setup* setup);
/// The text settings "IsClosedPosition", "IsClosedSpeed", "IsClosedCurrent" ("1"/"0")
/// from ControlMode and PositionControlType. 0 (nothing set) for a combination other
/// than mode 0 with type 0 or 1, mode 1 or mode 2.
int UpdateLoopClosure(CMC_Setup* setup);

// --- Gear, inputs time, transmission, start move -------------------------------------

/// "GEAR" = GEARSLAVE / GEARMASTER.
int ComputeOption_GEAR(CMC_Setup* setup);
/// "T1ONA" = time_AB [s] in the register's time base: x 100 when UPGRADE bit 9 is set,
/// else x 65535.
int ComputeOption_T1ONA(CMC_Setup* setup);
/// "T1ONB": as "T1ONA".
int ComputeOption_T1ONB(CMC_Setup* setup);
/// "time_AB" [s] from "T1ONA": T1ONA / 100 (range 0.01 to 655.35) with UPGRADE bit 9,
/// else T1ONA / 65535 (range 0.01 to 1).
int ReadBack_time_AB(CMC_Setup* setup);
/// "TRANSMISSION" = -1 for a reversing transmission (Motor_transmission /
/// Load_transmission < 0), else 1.
int ComputeOption_TRANSMISSION(CMC_Setup* setup);
/// "ABSTART_MINMOVE" = No_encoder_lines x 4 / NoMotorSteps x p / 100 encoder counts,
/// p = "ABSTART_MINMOVE_PERCENT" when the setup has it, else 60 (% of a full step).
int ComputeOption_ABSTART_MINMOVE(CMC_Setup* setup);

// --- Phase advance, counting direction, encoder filter ------------------------------

/// "THT_CORRECTION" = 0 when PhaseAdvance_speed <= 0, else min(16384 / v, 16384) with
/// v the speed in internal units (counts per slow sample).
int ComputeOption_THT_CORRECTION(CMC_Setup* setup);
/// "PhaseAdvance_speed" (internal unit, no range) = 16384 / THT_CORRECTION, 0 when
/// the option is 0.
int ReadBack_PhaseAdvance_speed(CMC_Setup* setup);
/// "COUNTINGDIR" = 1 when "ReverseCounting" is 1, else 0.
int ComputeOption_COUNTINGDIR(CMC_Setup* setup);
/// "ReverseCounting" = 1 when COUNTINGDIR is 1, else 0.
int ReadBack_ReverseCounting(CMC_Setup* setup);

/// Qualification of the encoder inputs selected by "FilterEncValue": the period field
/// (bits 16-23 of "QUAL_ACT") and the sample pattern (bits of 0xCF00 in "QUAL_AQ2").
struct EncoderFilterSetting {
    int period_field;    ///< already shifted into bits 16-23
    int sample_pattern;  ///< within 0xCF00
};
/// The setting for an index 0 to 12; {0, 0} for any other index.
EncoderFilterSetting EncoderFilterForIndex(int index);
/// "QUAL" = 1 when "isFilterEnc" is 1, else 0.
int ComputeOption_QUAL(CMC_Setup* setup);
/// With "isFilterEnc" 1: QUAL_ACT bits 16-23 := the period of "FilterEncValue",
/// written as an unsigned 32-bit value. Unchanged otherwise.
int ComputeOption_QUAL_ACT(CMC_Setup* setup);
/// With "isFilterEnc" 1: QUAL_AQ2 bits of 0xCF00 := the sample pattern of
/// "FilterEncValue". Unchanged otherwise.
int ComputeOption_QUAL_AQ2(CMC_Setup* setup);
/// "isFilterEnc" = 1 when QUAL is 1, else 0. ("FilterEncValue" is not read back.)
int ReadBack_isFilterEnc(CMC_Setup* setup);

// --- Motor brake ----------------------------------------------------------------------

/// "BRAKECFG" = pin x 256 + (1 when "isMotorBrake" is nonzero), the pin being the
/// drive pin of the brake output port "MotorBrake_output". Fails without writing when
/// the port is not in the drive's brake output table (or its pin does not fit in 8 bits).
int ComputeOption_BRAKECFG(CMC_Setup* setup);
/// "BRAKEAPPLYDELAY" = MotorBrake_applytime / Ts_S, in slow-loop samples.
int ComputeOption_BRAKEAPPLYDELAY(CMC_Setup* setup);
/// "BRAKERELEASEDELAY" = MotorBrake_releasetime / Ts_S, in slow-loop samples.
int ComputeOption_BRAKERELEASEDELAY(CMC_Setup* setup);
/// "isMotorBrake" (range 0 to 1) = BRAKECFG bit 0.
int ReadBack_isMotorBrake(CMC_Setup* setup);
/// "MotorBrake_output" = the port of the pin in BRAKECFG bits 8-15. Fails and keeps
/// the old port when the pin is not in the brake output table.
int ReadBack_MotorBrake_output(CMC_Setup* setup);
/// "MotorBrake_releasetime" [s] = Ts_S x BRAKERELEASEDELAY; no range.
int ReadBack_MotorBrake_releasetime(CMC_Setup* setup);
/// "MotorBrake_applytime" [s] = Ts_S x BRAKEAPPLYDELAY; no range.
int ReadBack_MotorBrake_applytime(CMC_Setup* setup);

// --- Freeze control window ------------------------------------------------------------

/// "POSOKLIM_FC" = FreezeControl_errband x abs(k_P), in position counts.
int ComputeOption_POSOKLIM_FC(CMC_Setup* setup);
/// "TONPOSOK_FC" = FreezeControl_time / Ts_S, in slow-loop samples.
int ComputeOption_TONPOSOK_FC(CMC_Setup* setup);
/// "FreezeControl_errband" (range 0 to 32767 / abs(k_P)) = POSOKLIM_FC / abs(k_P).
int ReadBack_FreezeControl_errband(CMC_Setup* setup);
/// "FreezeControl_time" [s] (range 0 to Ts_S x 65535) = Ts_S x TONPOSOK_FC.
int ReadBack_FreezeControl_time(CMC_Setup* setup);

// --- Software position limits ---------------------------------------------------------

/// "SWNEGLS" in position counts: Negative_SWLS x k_P when k_P > 0; for a reversing
/// transmission (k_P <= 0) the limits swap and it is Positive_SWLS x k_P.
int ComputeOption_SWNEGLS(CMC_Setup* setup);
/// "SWPOSLS": Positive_SWLS x k_P when k_P > 0, else Negative_SWLS x k_P.
int ComputeOption_SWPOSLS(CMC_Setup* setup);
/// "Negative_SWLS" (range +-2^31 / abs(k_P)) = SWNEGLS / k_P when k_P > 0, else
/// SWPOSLS / k_P: the limit the forward conversion was given.
int ReadBack_Negative_SWLS(CMC_Setup* setup);
/// "Positive_SWLS" (range +-2^31 / abs(k_P)) = SWPOSLS / k_P when k_P > 0, else
/// SWNEGLS / k_P.
int ReadBack_Positive_SWLS(CMC_Setup* setup);

// --- Inputs of the scale functions ----------------------------------------------------
// The scale functions read without testing for presence; a conversion that uses one
// checks its inputs with these first (missing names are reported).

/// "MECRESL", "Motor_transmission", "Load_transmission" (k_P).
bool HasLoadPositionScale(const CMC_Setup* setup);
/// k_P's inputs and "SLPER", "PWMPER", "DSP_freq" (k_S, T_S).
bool HasLoadSpeedScale(const CMC_Setup* setup);
/// "No_encoder_lines", transmissions and timing (k_A).
bool HasLoadAccelerationScale(const CMC_Setup* setup);
/// "SLPER", "PWMPER", "DSP_freq" (T_S).
bool HasSpeedLoopPeriod(const CMC_Setup* setup);
/// A scale a read-back may divide by: finite and nonzero. A zero transmission, clock
/// or peak current makes a scale infinite, and dividing by it would give limits and
/// values of 0 instead of leaving them as they were.
bool IsUsableScale(double k);

// --- Setup settings read by the dialogs -----------------------------------------------

/// True when the text setting `name` is present and reads as the integer 1
/// ("hasNegTransmission", "hideEnablePolarity", "NewDeadBand"). Silent when absent.
bool IsSettingOn(const CMC_Setup* setup, const char* name);
/// "IsInputsTypeProgrammable": -1 when the setting is absent, else its integer value.
int GetInputsTypeProgrammable(const CMC_Setup* setup);
/// The value of "Ts_C_min" / "Ts_S_min" [s], 0 when the setup does not have it.
double GetMinimumCurrentLoopPeriod(const CMC_Setup* setup);
double GetMinimumSpeedLoopPeriod(const CMC_Setup* setup);

}  // namespace orvex
