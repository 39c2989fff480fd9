#include "compute/units_transmission.h"

#include <cmath>
#include <numbers>
#include <string_view>

#include "compute/option_codec.h"
#include "compute/scales.h"
#include "compute/setup_access.h"
#include "host/setup/host_math.h"
#include "host/setup/names.h"

namespace orvex {

namespace {

void ChangeParameters(CMC_Setup* s, std::initializer_list<const char*> names, const char* unit) {
    for (const char* n : names)
        if (CMC_Parameter* p = s->FindParameter(n)) p->ChangeUnitType(unit);
}

void ChangeParametersIfGate(CMC_Setup* s, bool gate, std::initializer_list<const char*> names,
                            const char* unit) {
    if (gate) ChangeParameters(s, names, unit);
}

void ChangeVariables(CMC_Setup* s, std::initializer_list<const char*> names, const char* unit) {
    for (const char* n : names)
        if (CMC_Variable* v = s->FindVariable(n, 1)) v->ChangeUnitType(unit);
}

bool OneOf(std::string_view name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (axis::NamesEqual(name, n)) return true;
    return false;
}

// "°C" arrives either as UTF-8 or as the two Windows-1252 bytes 0xB0 'C'.
bool IsDegreesCelsius(std::string_view unit) {
    return unit ==
               "\xC2\xB0"
               "C" ||
           unit ==
               "\xB0"
               "C" ||
           unit ==
               "\xC2\xB0"
               "c" ||
           unit ==
               "\xB0"
               "c";
}

}  // namespace

int UpdateUnitTypesByTransmission(CMC_Setup* s) {
    const bool linear = Base(s, "TransmissionType") != 0.0;
    auto pick = [linear](const char* rotary, const char* lin) { return linear ? lin : rotary; };
    bool analogue, freeze, phase_advance, swls;
    {
        axis::ScopedSilentLookup silent;
        analogue = s->FindVariable("CADIN", 0) && s->FindParameter("CADIN");
        freeze = s->FindParameter("POSOKLIM_FC") && s->FindParameter("TONPOSOK_FC");
        phase_advance = s->FindParameter("THT_CORRECTION") != nullptr;
        swls = s->FindParameter("isSWLS") != nullptr;
    }
    // Only the gates probe silently: a missing name outside them is the host's to
    // report, as every other lookup of a conversion.
    ChangeParameters(s, {"Load_transmission", "TestPosition", "ERR_position"}, pick("rot", "mm"));
    ChangeParameters(s, {"TestSpeed", "ErefMaxSpeed"}, pick("rpm", "m/s"));
    ChangeParameters(s, {"Limit_Speed", "ERR_speed"}, pick("rad/s", "m/s"));
    ChangeParameters(s, {"ErefMaxAcceleration"}, pick("rad/s^2", "m/s^2"));
    ChangeParametersIfGate(s, analogue, {"POS_max", "POS_min"}, pick("rot", "mm"));
    ChangeParametersIfGate(s, analogue, {"SPD_max", "SPD_min"}, pick("rpm", "m/s"));
    ChangeParametersIfGate(s, freeze, {"FreezeControl_errband"}, pick("rot", "mm"));
    ChangeParametersIfGate(s, phase_advance, {"PhaseAdvance_speed"}, pick("rpm", "m/s"));
    ChangeParametersIfGate(s, swls, {"Negative_SWLS", "Positive_SWLS"}, pick("rot", "mm"));
    ChangeVariables(
        s,
        {"Load_Position", "Target_Position", "Position_Error", "APOS", "APOS_LD", "CAPPOS", "CPOS",
         "EREFP", "ERRMAX", "HOMEPOS", "POSERR", "POSINIT", "POSOKLIM", "POSTRIGG1", "POSTRIGG2",
         "POSTRIGG3", "POSTRIGG4", "TPOS", "TPOSFAST"},
        pick("rot", "mm"));
    ChangeVariables(s,
                    {"Load_Speed", "Target_Speed", "Speed_Reference", "Speed_Error", "ASPD_LD",
                     "CSPD", "EREFS", "HOMESPD", "SERRMAX", "SPDERR", "SPDREF", "TSPD"},
                    pick("rpm", "m/s"));
    ChangeVariables(s, {"CACC", "CDEC", "TACC"}, pick("rad/s^2", "m/s^2"));
    ChangeVariables(s, {"JERK"}, pick("rad/s^3", "m/s^3"));
    return 1;
}

int UpdateStepUnits(CMC_Setup* s) {
    const double f = (Base(s, "Motor_transmission") / Base(s, "Load_transmission")) *
                     (Base(s, "NoMotorSteps") / (2 * std::numbers::pi));
    static const char* const kPairs[][2] = {
        {"steps", "rad"}, {"steps/s", "rad/s"}, {"steps/s^2", "rad/s^2"}, {"steps/s^3", "rad/s^3"}};
    for (const auto& pair : kPairs)
        if (!s->MergeDerivedUnit(pair[0], pair[1], f, 0.0)) return 0;
    return 1;
}

double GetScaleFactor(CMC_Setup* s, const char* unit_c, const char* name_c) {
    const std::string_view unit = unit_c ? unit_c : "";
    const std::string_view name = name_c ? name_c : "";
    auto is = [&](const char* u) { return axis::NamesEqual(unit, u); };

    // "V " (with the space) is the supply voltage measured by the ADC; "V" is a PWM
    // voltage, except the analogue input quantities, scaled by the input's range.
    if (unit == "V " || unit == "v ") return 1.0 / GetVoltageMeasureScale(s);
    if (is("V")) {
        if (OneOf(name, {"AnalogueInputsRange", "DeadBand_Point", "DeadBand_Range", "AD2",
                         "AD2FIL_VAL", "AD5"}))
            return Base(s, "AnalogueInputsRange") / AdcMax(s);
        return Base(s, "Vdc") / kFixedOne;
    }
    if (is("A")) return 1.0 / GetCurrentScale(s);
    if (is("s"))
        return axis::NamesEqual(name, "Ts_C") ? GetCurrentLoopPeriod(s) : GetSpeedLoopPeriod(s);
    if (is("rad") && OneOf(name, {"Motor_Position", "APOS_MT"}))
        return 1.0 / GetMotorPositionScale(s);
    // One electrical turn is 65534 steps of the drive's angle word, not 65536.
    if (is("rad") && axis::NamesEqual(name, "THTST")) return 2 * std::numbers::pi / 65534.0;
    if (is("rad") || is("m")) {
        // Limits and error bands the user enters are magnitudes: always positive.
        if (OneOf(name,
                  {"ERR_position", "FreezeControl_errband", "TestPosition", "POS_max", "POS_min"}))
            return 1.0 / std::abs(GetLoadPositionScale(s));
        return 1.0 / GetLoadPositionScale(s);
    }
    if (is("rad/s") && OneOf(name, {"Motor_Speed", "ASPD", "ASPD_MT", "SPDREF", "SPDREFL",
                                    "Motor_Speed_Reference", "PhaseAdvance_speed"}))
        return 1.0 / GetMotorSpeedScale(s);
    if (is("rad/s") && axis::NamesEqual(name, "TINCTST")) {
        // Electric-angle increment per current-loop sample, in 2pi/65534 steps,
        // divided by the electrical cycles per revolution.
        const double cycles = axis::RoundDecimalValue(
            s->GetParameterValueInInternalUnit("MECRESL") *
                s->GetParameterValueInInternalUnit("ENC2THL") * std::pow(2.0, -32),
            0);
        return (2 * std::numbers::pi / 65534.0) / GetCurrentLoopPeriod(s) / cycles;
    }
    if (is("m/s") && axis::NamesEqual(name, "PhaseAdvance_speed"))
        return 1.0 / GetMotorSpeedScale(s);
    if (is("rad/s") || is("m/s")) {
        if (OneOf(name,
                  {"ERR_speed", "Limit_Speed", "ErefMaxSpeed", "TestSpeed", "SPD_max", "SPD_min"}))
            return 1.0 / std::abs(GetLoadSpeedScale(s));
        return 1.0 / GetLoadSpeedScale(s);
    }
    if (is("rad/s^2") || is("m/s^2")) return 1.0 / GetLoadAccelerationScale(s);
    if (is("rad/s^3") || is("m/s^3")) return 1.0 / GetLoadJerkScale(s);
    if (IsDegreesCelsius(unit))
        return Base(s, "ADCrange") / (AdcMax(s) * Base(s, "DriveTempSensorGain"));
    if (is("V/s")) return (Base(s, "Vdc") / kFixedOne) / GetSpeedLoopPeriod(s);
    if (is("A/s")) return (1.0 / GetCurrentScale(s)) / GetSpeedLoopPeriod(s);
    return 1.0;
}

double GetScaleOffset(CMC_Setup* s, const char* unit_c) {
    const std::string_view unit = unit_c ? unit_c : "";
    if (!IsDegreesCelsius(unit)) return 0.0;
    return -AdcMax(s) * Base(s, "DriveTempOutputAt0oC") / Base(s, "ADCrange");
}

void InstallScaleProvider(CMC_Setup* setup) {
    setup->SetScaleProvider(axis::ScaleProvider{&GetScaleFactor, &GetScaleOffset});
}

}  // namespace orvex
