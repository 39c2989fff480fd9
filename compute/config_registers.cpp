#include "compute/config_registers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "compute/analogue_reference.h"
#include "compute/option_codec.h"
#include "compute/scales.h"
#include "compute/setup_access.h"
#include "host/setup/value_rules.h"

namespace orvex {

namespace {

bool On(const CMC_Setup* s, const char* name) {
    return axis::IsSwitchOn(Base(s, name));
}
int Truncated(const CMC_Setup* s, const char* name) {
    return TruncToInt32(Base(s, name));
}

// A 16-bit register as the drive holds it.
int Register(const CMC_Setup* s, const char* name) {
    return Reg16(Internal(s, name));
}
void WriteRegister(CMC_Setup* s, const char* name, int bits) {
    s->SetParameterValueInInternalUnit(name, bits);
}
// Sets or clears `mask`; clearing uses a 16-bit mask, so it also drops bits above 15.
int Assign(int reg, int mask, bool on) {
    return on ? (reg | mask) : (reg & (0xFFFF & ~mask));
}
bool Bit(int reg, int mask) {
    return (reg & mask) != 0;
}

void WriteSwitch(CMC_Setup* s, const char* name, bool on) {
    CMC_Parameter* p = s->FindParameter(name);
    SetParameterRange(p, 0.0, 1.0);
    p->SetValueInBaseUnit(on ? 1.0 : 0.0);
}

// A switch read back from one bit of a register (inverted: the bit means "off").
int ReadBackBit(CMC_Setup* s, const char* target, const char* reg, int mask, bool inverted) {
    if (!HasAll(s, {target, reg})) return 0;
    WriteSwitch(s, target, Bit(Register(s, reg), mask) != inverted);
    return 1;
}

// A 32-bit register: truncated toward zero and taken modulo 2^32, so that a value
// stored either signed or unsigned keeps its bit pattern.
uint32_t Register32(const CMC_Setup* s, const char* name) {
    const double v = std::trunc(Internal(s, name));
    if (!std::isfinite(v)) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(std::fmod(v, 4294967296.0)));
}

// Motor radians per load unit; negative for a reversing transmission.
double TransmissionRatio(const CMC_Setup* s) {
    return Base(s, "Motor_transmission") / Base(s, "Load_transmission");
}

// A brake delay from its slow-sample count option: "Ts_S" x count; its range stays.
int ReadBackBrakeDelay(CMC_Setup* s, const char* target, const char* option) {
    if (!HasAll(s, {target, option, "Ts_S"})) return 0;
    s->SetParameterValueInBaseUnit(target, Base(s, "Ts_S") * Internal(s, option));
    return 1;
}

int ComputeTimeAsSamples(CMC_Setup* s, const char* option, const char* time) {
    if (!HasAll(s, {option, time, "Ts_S"})) return 0;
    s->SetParameterValueInInternalUnit(option, Base(s, time) / Base(s, "Ts_S"));
    return 1;
}

// Inputs-A/B filter time in the register's time base: 1/100 s with UPGRADE bit 9,
// else 1/65535 s (one second full scale).
double T1TimeBase(const CMC_Setup* s) {
    return Bit(Register(s, "UPGRADE"), kUpgradeT1TimeBase) ? 100.0 : 65535.0;
}

int ComputeT1(CMC_Setup* s, const char* option) {
    if (!HasAll(s, {option, "time_AB", "UPGRADE"})) return 0;
    s->SetParameterValueInInternalUnit(option, Base(s, "time_AB") * T1TimeBase(s));
    return 1;
}

// The software limits in drive counts: {SWNEGLS, SWPOSLS}. A reversing transmission
// (k_P <= 0) turns the user's negative limit into the drive's positive one.
struct LimitCounts {
    double negative, positive;
};
LimitCounts SoftwareLimitCounts(const CMC_Setup* s) {
    const double k = GetLoadPositionScale(s);
    const double neg = Base(s, "Negative_SWLS") * k;
    const double pos = Base(s, "Positive_SWLS") * k;
    if (k > 0.0) return {neg, pos};
    return {pos, neg};
}

bool HasSoftwareLimitNames(const CMC_Setup* s) {
    return HasAll(s, {"SWNEGLS", "SWPOSLS", "Negative_SWLS", "Positive_SWLS"}) &
           HasLoadPositionScale(s);
}

// Reads back one limit: the register the forward conversion wrote it to, divided by
// the signed scale, so a reversing transmission returns the values it was given.
int ReadBackSoftwareLimit(CMC_Setup* s, const char* target, bool negative_limit) {
    if (!HasSoftwareLimitNames(s)) return 0;
    const double k = GetLoadPositionScale(s);
    if (!IsUsableScale(k)) return 0;
    const char* reg = (k > 0.0) == negative_limit ? "SWNEGLS" : "SWPOSLS";
    CMC_Parameter* p = s->FindParameter(target);
    SetParameterRange(p, -2147483648.0 / std::fabs(k), 2147483647.0 / std::fabs(k));
    p->SetValueInBaseUnit(Internal(s, reg) / k);
    return 1;
}

}  // namespace

// --- Inputs of the scale functions ---------------------------------------------------

bool HasLoadPositionScale(const CMC_Setup* s) {
    return HasAll(s, {"MECRESL", "Motor_transmission", "Load_transmission"});
}
bool HasSpeedLoopPeriod(const CMC_Setup* s) {
    return HasAll(s, {"SLPER", "PWMPER", "DSP_freq"});
}
bool HasLoadSpeedScale(const CMC_Setup* s) {
    return HasLoadPositionScale(s) & HasSpeedLoopPeriod(s);
}
bool IsUsableScale(double k) {
    return std::isfinite(k) && k != 0.0;
}
bool HasLoadAccelerationScale(const CMC_Setup* s) {
    return HasAll(s, {"No_encoder_lines", "Motor_transmission", "Load_transmission"}) &
           HasSpeedLoopPeriod(s);
}

// --- Encoder, temperature sensor, axis id ---------------------------------------------

int ComputeOption_MECRESL(CMC_Setup* s) {
    if (!HasAll(s, {"MECRESL", "No_encoder_lines"})) return 0;
    s->SetParameterValueInInternalUnit("MECRESL", Base(s, "No_encoder_lines") * 4.0);
    return 1;
}

int ComputeOption_ENC2THL(CMC_Setup* s) {
    if (!HasAll(s, {"ENC2THL", "NoMotorSteps", "No_encoder_lines"})) return 0;
    const double counts_per_rev = Base(s, "No_encoder_lines") * 4.0;
    const double electrical_cycles_per_rev = Base(s, "NoMotorSteps") * 0.25;
    s->SetParameterValueInInternalUnit("ENC2THL",
                                       electrical_cycles_per_rev * 4294967296.0 / counts_per_rev);
    return 1;
}

int ComputeOption_MTSTYPE(CMC_Setup* s) {
    if (!HasAll(s, {"MTSTYPE", "Motor_TempSensor_Type"})) return 0;
    s->SetParameterValueInInternalUnit("MTSTYPE", Truncated(s, "Motor_TempSensor_Type") == 1);
    return 1;
}

int ComputeOption_AAR_table(CMC_Setup* s) {
    if (!HasAll(s, {"AAR_table", "Axis_ID_list"})) return 0;
    // 256 marks an entry in use; 0 means "no axis id from the list".
    const double id = Base(s, "Axis_ID_list");
    s->SetParameterValueInInternalUnit("AAR_table", TruncToInt32(id) != 0 ? id + 256.0 : 0.0);
    return 1;
}

int ReadBack_No_encoder_lines(CMC_Setup* s) {
    if (!HasAll(s, {"No_encoder_lines", "MECRESL"})) return 0;
    CMC_Parameter* p = s->FindParameter("No_encoder_lines");
    SetParameterRange(p, 4.0, 1073741823.0);
    p->SetValueInBaseUnit(TruncToInt32(Internal(s, "MECRESL") * 0.25));
    return 1;
}

int ReadBack_Motor_TempSensor_Type(CMC_Setup* s) {
    if (!HasAll(s, {"Motor_TempSensor_Type", "MTSTYPE"})) return 0;
    CMC_Parameter* p = s->FindParameter("Motor_TempSensor_Type");
    SetParameterRange(p, 0.0, 1.0);
    p->SetValueInBaseUnit(TruncToInt32(Internal(s, "MTSTYPE")));
    return 1;
}

int ReadBack_Axis_ID_list(CMC_Setup* s) {
    if (!HasAll(s, {"Axis_ID_list", "AAR_table"})) return 0;
    CMC_Parameter* p = s->FindParameter("Axis_ID_list");
    SetParameterRange(p, 0.0, 511.0);
    const double table = Internal(s, "AAR_table");
    p->SetValueInBaseUnit(table != 0.0 ? table - 256.0 : 0.0);
    return 1;
}

// --- Configuration registers ------------------------------------------------------------

int ComputeOption_SCR(CMC_Setup* s) {
    if (!HasAll(s, {"SCR", "isMotorTemperatureSensor", "isDriveTemperatureSensor"})) return 0;
    int scr = Register(s, "SCR");
    scr = Assign(scr, kScrMotorTempSensor, On(s, "isMotorTemperatureSensor"));
    scr = Assign(scr, kScrDriveTempSensor, On(s, "isDriveTemperatureSensor"));
    if (Probe(s, {"isSpeedEstimator"})) {
        scr = Assign(scr, kScrSpeedEstimatorField, false);
        if (On(s, "isSpeedEstimator")) scr |= kScrSpeedEstimatorOn;
    }
    WriteRegister(s, "SCR", scr);
    return 1;
}

int ComputeOption_OSR(CMC_Setup* s) {
    if (!HasAll(s, {"OSR"})) return 0;
    int osr = Register(s, "OSR");
    if (Probe(s, {"StartMode"})) {
        osr = Assign(osr, kOsrStartModeField, false);
        osr |= kOsrStartModeEnable;
        if (Truncated(s, "StartMode") == 1) osr |= kOsrStartMode1;
    }
    WriteRegister(s, "OSR", osr);
    return 1;
}

int ComputeOption_ASR(CMC_Setup* s) {
    if (!HasAll(s, {"ASR"})) return 0;
    const bool neg_transmission_setting = IsSettingOn(s, "hasNegTransmission");
    if (neg_transmission_setting && !HasAll(s, {"Motor_transmission", "Load_transmission"}))
        return 0;
    int asr = Register(s, "ASR");
    if (Probe(s, {"InputsPolarityType"}))
        asr = Assign(asr, kAsrInputsPolarity, !On(s, "InputsPolarityType"));
    asr = Assign(asr, kAsrNegTransmission, false);
    if (neg_transmission_setting && TransmissionRatio(s) < 0.0) asr |= kAsrNegTransmission;
    if (Probe(s, {"isSWLS"})) asr = Assign(asr, kAsrSoftwareLimits, On(s, "isSWLS"));
    WriteRegister(s, "ASR", asr);
    return 1;
}

int ComputeOption_ACR(CMC_Setup* s) {
    if (!HasAll(s,
                {"ACR", "isAutoActivatedAfterPowerOn", "ExternalReference", "isAnalogueReference",
                 "DigitalReferenceType", "ControlMode", "PositionControlType"}))
        return 0;
    const bool freeze_control = Probe(s, {"POSOKLIM_FC", "TONPOSOK_FC"});
    if (freeze_control && !HasAll(s, {"isFreezeControl"})) return 0;
    const int mode = Truncated(s, "ControlMode");
    if (mode < 0 || mode > 2) return 0;

    int acr = Register(s, "ACR");
    acr = Assign(acr, kAcrAutoActivate, On(s, "isAutoActivatedAfterPowerOn"));

    const int ref_bits = kAcrAnalogueRef | kAcrDigitalRef;
    if (!On(s, "ExternalReference")) {
        acr = Assign(acr, ref_bits, false);
    } else if (On(s, "isAnalogueReference")) {
        acr = Assign(acr, ref_bits, false) | kAcrAnalogueRef;
    } else {
        acr = Assign(acr, ref_bits | kAcrDigitalRefType0, false) | kAcrDigitalRef;
        if (Truncated(s, "DigitalReferenceType") == 0) acr |= kAcrDigitalRefType0;
    }

    const int mode_bits = kAcrLoopOn | kAcrSpeedLoop | kAcrPositionLoop;
    if (mode == 0) {
        // Position control; type 1 also closes the speed loop.
        acr |= kAcrLoopOn | kAcrPositionLoop;
        acr = Assign(acr, kAcrSpeedLoop, Truncated(s, "PositionControlType") == 1);
    } else if (mode == 1) {
        acr = Assign(acr, mode_bits, false) | kAcrLoopOn | kAcrSpeedLoop;
    } else {
        acr = Assign(acr, mode_bits, false) | kAcrLoopOn;
    }

    const bool speed_forward =
        Probe(s, {"SpeedForward"}) && axis::IsSwitchOn(Internal(s, "SpeedForward"));
    acr = Assign(acr, kAcrSpeedForward, speed_forward);
    if (freeze_control)
        acr = Assign(acr, kAcrFreezeControl, axis::IsSwitchOn(Internal(s, "isFreezeControl")));
    WriteRegister(s, "ACR", acr);
    return 1;
}

int ComputeOption_UPGRADE(CMC_Setup* s) {
    if (!HasAll(s, {"UPGRADE", "isLimitMaximum"})) return 0;
    int upgrade = Register(s, "UPGRADE") & 0x7FFF;
    upgrade = Assign(upgrade, kUpgradeLimitMaximum, On(s, "isLimitMaximum"));
    if (Probe(s, {"PosSpd_in_FastLoop"}))
        upgrade = Assign(upgrade, kUpgradePosSpdInFastLoop, On(s, "PosSpd_in_FastLoop"));
    WriteRegister(s, "UPGRADE", upgrade);
    return 1;
}

int ComputeOption_DIGIN_ACTIVE_LEVEL(CMC_Setup* s) {
    if (!HasAll(s, {"DIGIN_ACTIVE_LEVEL", "EnablePolarity", "LSNPolarity", "LSPPolarity"}))
        return 0;
    int level = Register(s, "DIGIN_ACTIVE_LEVEL");
    level = Assign(level, kDiginEnablePolarity, On(s, "EnablePolarity"));
    level = Assign(level, kDiginLsnPolarity, On(s, "LSNPolarity"));
    level = Assign(level, kDiginLspPolarity, On(s, "LSPPolarity"));
    WriteRegister(s, "DIGIN_ACTIVE_LEVEL", level);
    return 1;
}

int ComputeOption_LSS_Active(CMC_Setup* s) {
    if (!HasAll(s, {"LSS_Active", "save_axis_id", "save_CAN_baudrate"})) return 0;
    int lss = 0;
    if (!On(s, "save_axis_id")) lss |= kLssKeepAxisId;
    if (!On(s, "save_CAN_baudrate")) lss |= kLssKeepBaudrate;
    WriteRegister(s, "LSS_Active", lss);
    return 1;
}

int ReadBack_isMotorTemperatureSensor(CMC_Setup* s) {
    return ReadBackBit(s, "isMotorTemperatureSensor", "SCR", kScrMotorTempSensor, false);
}
int ReadBack_isDriveTemperatureSensor(CMC_Setup* s) {
    return ReadBackBit(s, "isDriveTemperatureSensor", "SCR", kScrDriveTempSensor, false);
}

int ReadBack_isSpeedEstimator(CMC_Setup* s) {
    if (!HasAll(s, {"isSpeedEstimator", "SCR"})) return 0;
    WriteSwitch(s, "isSpeedEstimator",
                (Register(s, "SCR") & kScrSpeedEstimatorField) == kScrSpeedEstimatorOn);
    return 1;
}

int ReadBack_StartMode(CMC_Setup* s) {
    if (!HasAll(s, {"StartMode", "OSR"})) return 0;
    CMC_Parameter* p = s->FindParameter("StartMode");
    SetParameterRange(p, 0.0, 3.0);
    p->SetValueInBaseUnit(Bit(Register(s, "OSR"), kOsrStartMode1) ? 1.0 : 0.0);
    return 1;
}

int ReadBack_InputsPolarityType(CMC_Setup* s) {
    return ReadBackBit(s, "InputsPolarityType", "ASR", kAsrInputsPolarity, true);
}
int ReadBack_isSWLS(CMC_Setup* s) {
    return ReadBackBit(s, "isSWLS", "ASR", kAsrSoftwareLimits, false);
}

int ReadBack_ControlMode(CMC_Setup* s) {
    if (!HasAll(s, {"ControlMode", "ACR"})) return 0;
    const int acr = Register(s, "ACR");
    CMC_Parameter* p = s->FindParameter("ControlMode");
    SetParameterRange(p, 0.0, 2.0);
    p->SetValueInBaseUnit(Bit(acr, kAcrPositionLoop) ? 0.0 : Bit(acr, kAcrSpeedLoop) ? 1.0 : 2.0);
    return 1;
}

int ReadBack_ExternalReference(CMC_Setup* s) {
    return ReadBackBit(s, "ExternalReference", "ACR", kAcrAnalogueRef | kAcrDigitalRef, false);
}

int ReadBack_isAnalogueReference(CMC_Setup* s) {
    if (!HasAll(s, {"isAnalogueReference", "ACR"})) return 0;
    CMC_Parameter* p = s->FindParameter("isAnalogueReference");
    // A drive without an analogue input cannot select it.
    SetParameterRange(p, 0.0, HasAnalogueReference(s) ? 1.0 : 0.0);
    p->SetValueInBaseUnit(Bit(Register(s, "ACR"), kAcrAnalogueRef) ? 1.0 : 0.0);
    return 1;
}

int ReadBack_DigitalReferenceType(CMC_Setup* s) {
    return ReadBackBit(s, "DigitalReferenceType", "ACR", kAcrDigitalRefType0, true);
}
int ReadBack_IsAutoActivatedAfterPowerOn(CMC_Setup* s) {
    return ReadBackBit(s, "IsAutoActivatedAfterPowerOn", "ACR", kAcrAutoActivate, false);
}

int ReadBack_SpeedForward(CMC_Setup* s) {
    if (!HasAll(s, {"SpeedForward", "ACR"})) return 0;
    s->SetParameterValueInInternalUnit("SpeedForward",
                                       Bit(Register(s, "ACR"), kAcrSpeedForward) ? 1.0 : 0.0);
    return 1;
}

int ReadBack_isFreezeControl(CMC_Setup* s) {
    if (!HasAll(s, {"isFreezeControl", "ACR", "ControlMode"})) return 0;
    // The drive only freezes a closed position loop.
    const bool on =
        Bit(Register(s, "ACR"), kAcrFreezeControl) && TruncToInt32(Internal(s, "ControlMode")) == 0;
    CMC_Parameter* p = s->FindParameter("isFreezeControl");
    SetParameterRange(p, 0.0, 1.0);
    p->SetValueInInternalUnit(on ? 1.0 : 0.0);
    return 1;
}

int ReadBack_isLimitMaximum(CMC_Setup* s) {
    return ReadBackBit(s, "isLimitMaximum", "UPGRADE", kUpgradeLimitMaximum, false);
}

int ReadBack_PosSpd_in_FastLoop(CMC_Setup* s) {
    if (!Probe(s, {"PosSpd_in_FastLoop"})) return 1;
    return ReadBackBit(s, "PosSpd_in_FastLoop", "UPGRADE", kUpgradePosSpdInFastLoop, false);
}

int ReadBack_EnablePolarity(CMC_Setup* s) {
    return ReadBackBit(s, "EnablePolarity", "DIGIN_ACTIVE_LEVEL", kDiginEnablePolarity, false);
}
int ReadBack_LSNPolarity(CMC_Setup* s) {
    return ReadBackBit(s, "LSNPolarity", "DIGIN_ACTIVE_LEVEL", kDiginLsnPolarity, false);
}
int ReadBack_LSPPolarity(CMC_Setup* s) {
    return ReadBackBit(s, "LSPPolarity", "DIGIN_ACTIVE_LEVEL", kDiginLspPolarity, false);
}
int ReadBack_save_CAN_baudrate(CMC_Setup* s) {
    return ReadBackBit(s, "save_CAN_baudrate", "LSS_Active", kLssKeepBaudrate, true);
}
int ReadBack_save_axis_id(CMC_Setup* s) {
    return ReadBackBit(s, "save_axis_id", "LSS_Active", kLssKeepAxisId, true);
}

int ApplySpeedForwardDefault(CMC_Setup* s) {
    if (!HasAll(s, {"SpeedForward", "ControlMode", "PositionControlType", "ACR"})) return 0;
    // Position control with the speed loop closed leaves the choice to the user.
    if (Truncated(s, "ControlMode") == 0 && Truncated(s, "PositionControlType") == 1) return 1;
    s->SetParameterValueInInternalUnit("SpeedForward", 1.0);
    WriteRegister(s, "ACR", Register(s, "ACR") | kAcrSpeedForward);
    return 1;
}

int UpdateLoopClosure(CMC_Setup* s) {
    if (!HasAll(s, {"ControlMode", "PositionControlType"})) return 0;
    const int mode = Truncated(s, "ControlMode");
    const int type = Truncated(s, "PositionControlType");
    const char* position;
    const char* speed;
    if (mode == 0 && (type == 0 || type == 1)) {
        position = "1";
        speed = type == 1 ? "1" : "0";
    } else if (mode == 1) {
        position = "0";
        speed = "1";
    } else if (mode == 2) {
        position = "0";
        speed = "0";
    } else {
        return 0;
    }
    s->SetOption("IsClosedPosition", position);
    s->SetOption("IsClosedSpeed", speed);
    s->SetOption("IsClosedCurrent", "1");
    return 1;
}

// --- Gear, inputs time, transmission, start move -------------------------------------

int ComputeOption_GEAR(CMC_Setup* s) {
    if (!HasAll(s, {"GEAR", "GEARSLAVE", "GEARMASTER"})) return 0;
    s->SetParameterValueInInternalUnit("GEAR", Base(s, "GEARSLAVE") / Base(s, "GEARMASTER"));
    return 1;
}

int ComputeOption_T1ONA(CMC_Setup* s) {
    return ComputeT1(s, "T1ONA");
}
int ComputeOption_T1ONB(CMC_Setup* s) {
    return ComputeT1(s, "T1ONB");
}

int ReadBack_time_AB(CMC_Setup* s) {
    if (!HasAll(s, {"time_AB", "T1ONA", "UPGRADE"})) return 0;
    const double base = T1TimeBase(s);
    CMC_Parameter* p = s->FindParameter("time_AB");
    SetParameterRange(p, 0.01, 65535.0 / base);  // the full 16-bit word
    p->SetValueInBaseUnit(Internal(s, "T1ONA") / base);
    return 1;
}

int ComputeOption_TRANSMISSION(CMC_Setup* s) {
    if (!HasAll(s, {"TRANSMISSION", "Motor_transmission", "Load_transmission"})) return 0;
    s->SetParameterValueInInternalUnit("TRANSMISSION", TransmissionRatio(s) < 0.0 ? -1.0 : 1.0);
    return 1;
}

int ComputeOption_ABSTART_MINMOVE(CMC_Setup* s) {
    if (!HasAll(s, {"ABSTART_MINMOVE", "No_encoder_lines", "NoMotorSteps"})) return 0;
    // The smallest move that proves the start-up alignment, in percent of a full step.
    const double percent =
        Probe(s, {"ABSTART_MINMOVE_PERCENT"}) ? Base(s, "ABSTART_MINMOVE_PERCENT") : 60.0;
    const double counts_per_step = Base(s, "No_encoder_lines") * 4.0 / Base(s, "NoMotorSteps");
    s->SetParameterValueInInternalUnit("ABSTART_MINMOVE", counts_per_step * percent / 100.0);
    return 1;
}

// --- Phase advance, counting direction, encoder filter ------------------------------

int ComputeOption_THT_CORRECTION(CMC_Setup* s) {
    if (!HasAll(s, {"THT_CORRECTION", "PhaseAdvance_speed"})) return 0;
    double correction = 0.0;
    if (Base(s, "PhaseAdvance_speed") > 0.0)
        correction = std::min(16384.0 / Internal(s, "PhaseAdvance_speed"), 16384.0);
    s->SetParameterValueInInternalUnit("THT_CORRECTION", correction);
    return 1;
}

int ReadBack_PhaseAdvance_speed(CMC_Setup* s) {
    if (!HasAll(s, {"PhaseAdvance_speed", "THT_CORRECTION"})) return 0;
    const double correction = Internal(s, "THT_CORRECTION");
    s->SetParameterValueInInternalUnit("PhaseAdvance_speed",
                                       correction == 0.0 ? 0.0 : 16384.0 / correction);
    return 1;
}

int ComputeOption_COUNTINGDIR(CMC_Setup* s) {
    if (!HasAll(s, {"COUNTINGDIR", "ReverseCounting"})) return 0;
    s->SetParameterValueInInternalUnit("COUNTINGDIR", On(s, "ReverseCounting") ? 1.0 : 0.0);
    return 1;
}

int ReadBack_ReverseCounting(CMC_Setup* s) {
    if (!HasAll(s, {"ReverseCounting", "COUNTINGDIR"})) return 0;
    WriteSwitch(s, "ReverseCounting", axis::IsSwitchOn(Internal(s, "COUNTINGDIR")));
    return 1;
}

EncoderFilterSetting EncoderFilterForIndex(int index) {
    // Qualification period (in bits 16-23 of QUAL_ACT) and the 3- or 6-sample pattern
    // (0x4500 / 0x8A00 in QUAL_AQ2) of the drive's encoder input filter settings.
    static constexpr EncoderFilterSetting kTable[] = {
        {0x000000, 0x4500}, {0x000000, 0x8A00}, {0x010000, 0x8A00}, {0x030000, 0x4500},
        {0x020000, 0x8A00}, {0x050000, 0x4500}, {0x030000, 0x8A00}, {0x070000, 0x4500},
        {0x040000, 0x8A00}, {0x090000, 0x4500}, {0x050000, 0x8A00}, {0x0B0000, 0x4500},
        {0x060000, 0x8A00},
    };
    if (index < 0 || index >= static_cast<int>(std::size(kTable))) return {0, 0};
    return kTable[index];
}

int ComputeOption_QUAL(CMC_Setup* s) {
    if (!HasAll(s, {"QUAL", "isFilterEnc"})) return 0;
    s->SetParameterValueInInternalUnit("QUAL", On(s, "isFilterEnc") ? 1.0 : 0.0);
    return 1;
}

int ComputeOption_QUAL_ACT(CMC_Setup* s) {
    if (!HasAll(s, {"QUAL_ACT", "isFilterEnc", "FilterEncValue"})) return 0;
    if (!On(s, "isFilterEnc")) return 1;
    const EncoderFilterSetting f = EncoderFilterForIndex(Truncated(s, "FilterEncValue"));
    const uint32_t act =
        (Register32(s, "QUAL_ACT") & ~uint32_t{0xFF0000}) | static_cast<uint32_t>(f.period_field);
    s->SetParameterValueInInternalUnit("QUAL_ACT", static_cast<double>(act));
    return 1;
}

int ComputeOption_QUAL_AQ2(CMC_Setup* s) {
    if (!HasAll(s, {"QUAL_AQ2", "isFilterEnc", "FilterEncValue"})) return 0;
    if (!On(s, "isFilterEnc")) return 1;
    const EncoderFilterSetting f = EncoderFilterForIndex(Truncated(s, "FilterEncValue"));
    WriteRegister(s, "QUAL_AQ2", Assign(Register(s, "QUAL_AQ2"), 0xCF00, false) | f.sample_pattern);
    return 1;
}

int ReadBack_isFilterEnc(CMC_Setup* s) {
    if (!HasAll(s, {"isFilterEnc", "QUAL"})) return 0;
    WriteSwitch(s, "isFilterEnc", axis::IsSwitchOn(Internal(s, "QUAL")));
    return 1;
}

// --- Motor brake ----------------------------------------------------------------------

int ComputeOption_BRAKECFG(CMC_Setup* s) {
    if (!HasAll(s, {"BRAKECFG", "MotorBrake_output", "isMotorBrake"})) return 0;
    const int pin = s->GetIOPinFromPort(TruncToInt32(Internal(s, "MotorBrake_output")));
    // An output the drive does not have would put -1 (or a wide pin) into the pin
    // field; keep the register as it is then.
    if (pin < 0 || pin > 0xFF) return 0;
    const int enable = Internal(s, "isMotorBrake") != 0.0 ? 1 : 0;
    s->SetParameterValueInInternalUnit("BRAKECFG", pin * 256 + enable);
    return 1;
}

int ComputeOption_BRAKEAPPLYDELAY(CMC_Setup* s) {
    return ComputeTimeAsSamples(s, "BRAKEAPPLYDELAY", "MotorBrake_applytime");
}
int ComputeOption_BRAKERELEASEDELAY(CMC_Setup* s) {
    return ComputeTimeAsSamples(s, "BRAKERELEASEDELAY", "MotorBrake_releasetime");
}

int ReadBack_isMotorBrake(CMC_Setup* s) {
    if (!HasAll(s, {"isMotorBrake", "BRAKECFG"})) return 0;
    CMC_Parameter* p = s->FindParameter("isMotorBrake");
    SetParameterRange(p, 0.0, 1.0);
    p->SetValueInInternalUnit(Bit(Register(s, "BRAKECFG"), 0x1) ? 1.0 : 0.0);
    return 1;
}

int ReadBack_MotorBrake_output(CMC_Setup* s) {
    if (!HasAll(s, {"MotorBrake_output", "BRAKECFG"})) return 0;
    const int port = s->GetIOPortFromPin((Register(s, "BRAKECFG") >> 8) & 0xFF);
    if (port < 0) return 0;  // a pin outside the brake output table: keep the user's port
    s->SetParameterValueInInternalUnit("MotorBrake_output", port);
    return 1;
}

int ReadBack_MotorBrake_releasetime(CMC_Setup* s) {
    return ReadBackBrakeDelay(s, "MotorBrake_releasetime", "BRAKERELEASEDELAY");
}
int ReadBack_MotorBrake_applytime(CMC_Setup* s) {
    return ReadBackBrakeDelay(s, "MotorBrake_applytime", "BRAKEAPPLYDELAY");
}

// --- Freeze control window ------------------------------------------------------------

int ComputeOption_POSOKLIM_FC(CMC_Setup* s) {
    if (!HasAll(s, {"POSOKLIM_FC", "FreezeControl_errband"}) || !HasLoadPositionScale(s)) return 0;
    s->SetParameterValueInInternalUnit(
        "POSOKLIM_FC", Base(s, "FreezeControl_errband") * std::fabs(GetLoadPositionScale(s)));
    return 1;
}

int ComputeOption_TONPOSOK_FC(CMC_Setup* s) {
    return ComputeTimeAsSamples(s, "TONPOSOK_FC", "FreezeControl_time");
}

int ReadBack_FreezeControl_errband(CMC_Setup* s) {
    if (!HasAll(s, {"FreezeControl_errband", "POSOKLIM_FC"}) || !HasLoadPositionScale(s)) return 0;
    const double k = std::fabs(GetLoadPositionScale(s));
    if (!IsUsableScale(k)) return 0;
    CMC_Parameter* p = s->FindParameter("FreezeControl_errband");
    SetParameterRange(p, 0.0, kFixedOne / k);
    p->SetValueInBaseUnit(Internal(s, "POSOKLIM_FC") / k);
    return 1;
}

int ReadBack_FreezeControl_time(CMC_Setup* s) {
    if (!HasAll(s, {"FreezeControl_time", "TONPOSOK_FC", "Ts_S"})) return 0;
    const double ts = Base(s, "Ts_S");
    CMC_Parameter* p = s->FindParameter("FreezeControl_time");
    SetParameterRange(p, 0.0, ts * 65535.0);
    p->SetValueInBaseUnit(ts * Internal(s, "TONPOSOK_FC"));
    return 1;
}

// --- Software position limits ---------------------------------------------------------

int ComputeOption_SWNEGLS(CMC_Setup* s) {
    if (!HasSoftwareLimitNames(s)) return 0;
    s->SetParameterValueInInternalUnit("SWNEGLS", SoftwareLimitCounts(s).negative);
    return 1;
}

int ComputeOption_SWPOSLS(CMC_Setup* s) {
    if (!HasSoftwareLimitNames(s)) return 0;
    s->SetParameterValueInInternalUnit("SWPOSLS", SoftwareLimitCounts(s).positive);
    return 1;
}

int ReadBack_Negative_SWLS(CMC_Setup* s) {
    return ReadBackSoftwareLimit(s, "Negative_SWLS", true);
}
int ReadBack_Positive_SWLS(CMC_Setup* s) {
    return ReadBackSoftwareLimit(s, "Positive_SWLS", false);
}

// --- Setup settings read by the dialogs -----------------------------------------------

bool IsSettingOn(const CMC_Setup* s, const char* name) {
    if (s->GetOptionNoError(name).empty()) return false;
    return s->GetIntOption(name) == 1;
}

int GetInputsTypeProgrammable(const CMC_Setup* s) {
    if (s->GetOptionNoError("IsInputsTypeProgrammable").empty()) return -1;
    return s->GetIntOption("IsInputsTypeProgrammable");
}

double GetMinimumCurrentLoopPeriod(const CMC_Setup* s) {
    return Probe(s, {"Ts_C_min"}) ? Base(s, "Ts_C_min") : 0.0;
}
double GetMinimumSpeedLoopPeriod(const CMC_Setup* s) {
    return Probe(s, {"Ts_S_min"}) ? Base(s, "Ts_S_min") : 0.0;
}

}  // namespace orvex
