// The shipped demo setup was computed with the drive's conversions: recomputing its
// registers, I/O and analogue reference options and reading them back must leave
// every value where it was.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "compute/analogue_reference.h"
#include "compute/config_registers.h"
#include "compute/units_transmission.h"
#include "host/setup/setup_file.h"

namespace {

using namespace orvex;
using Conversion = int (*)(CMC_Setup*);

// In the order of the forward sequence.
const Conversion kForward[] = {
    ComputeOption_MECRESL, ComputeOption_ENC2THL, ComputeOption_MTSTYPE, ComputeOption_AAR_table,
    ComputeOption_SCR, ComputeOption_OSR, ComputeOption_ASR, ComputeOption_ACR,
    ComputeOption_SWNEGLS, ComputeOption_SWPOSLS, ComputeOption_CACC, ComputeOption_CSPD,
    ComputeOption_CADIN, ComputeOption_SFTADIN, ComputeOption_AD5OFF, ComputeOption_FILTER1,
    ComputeOption_LEVEL_AD5, ComputeOption_E_LEVEL_AD5, ComputeOption_GEAR, ComputeOption_T1ONA,
    ComputeOption_T1ONB, ComputeOption_DIGIN_ACTIVE_LEVEL, ComputeOption_UPGRADE,
    ComputeOption_LSS_Active, ComputeOption_THT_CORRECTION, ComputeOption_COUNTINGDIR,
    ComputeOption_QUAL, ComputeOption_QUAL_ACT, ComputeOption_QUAL_AQ2, ComputeOption_BRAKECFG,
    ComputeOption_BRAKEAPPLYDELAY, ComputeOption_BRAKERELEASEDELAY, ComputeOption_POSOKLIM_FC,
    ComputeOption_TONPOSOK_FC, ComputeOption_TRANSMISSION, ComputeOption_ABSTART_MINMOVE,
};

// In the order of the read-back sequence.
const Conversion kReadBack[] = {
    ReadBack_No_encoder_lines, ReadBack_isMotorTemperatureSensor,
    ReadBack_Motor_TempSensor_Type, ReadBack_PosSpd_in_FastLoop,
    ReadBack_isDriveTemperatureSensor, ReadBack_ControlMode, ReadBack_ExternalReference,
    ReadBack_IsAutoActivatedAfterPowerOn, ReadBack_Axis_ID_list, ReadBack_EnablePolarity,
    ReadBack_LSPPolarity, ReadBack_LSNPolarity, ReadBack_time_AB, ReadBack_isSWLS,
    ReadBack_Negative_SWLS, ReadBack_Positive_SWLS, ReadBack_isSpeedEstimator,
    ReadBack_DeadBand_Point, ReadBack_DeadBand_Range, ReadBack_UseFilter, ReadBack_filter,
    ReadBack_POS_min, ReadBack_POS_max, ReadBack_CRT_min, ReadBack_CRT_max, ReadBack_SPD_min,
    ReadBack_SPD_max, ReadBack_isLimitMaximum, ReadBack_ErefMaxSpeed,
    ReadBack_ErefMaxAcceleration, ReadBack_isAnalogueReference, ReadBack_DigitalReferenceType,
    ReadBack_save_CAN_baudrate, ReadBack_save_axis_id, ReadBack_PhaseAdvance_speed,
    ReadBack_ReverseCounting, ReadBack_isFilterEnc, ReadBack_isMotorBrake,
    ReadBack_MotorBrake_output, ReadBack_MotorBrake_releasetime, ReadBack_MotorBrake_applytime,
    ReadBack_SpeedForward, ReadBack_isFreezeControl, ReadBack_FreezeControl_errband,
    ReadBack_FreezeControl_time, ReadBack_InputsPolarityType, ReadBack_StartMode,
};

// Value, minimum and maximum of every parameter.
std::map<std::string, double> Values(const CMC_Setup& s) {
    std::map<std::string, double> out;
    const CMC_Parameters params = s.GetParameters();
    for (int i = 0; i < params.GetParametersCount(); ++i) {
        const CMC_Parameter* p = params[i];
        out[p->GetName()] = p->GetValueInBaseUnit();
        out[p->GetName() + " min"] = p->GetMinInBaseUnit();
        out[p->GetName() + " max"] = p->GetMaxInBaseUnit();
    }
    return out;
}

void ExpectUnchanged(const std::map<std::string, double>& before, const CMC_Setup& s,
                     const char* step) {
    for (const auto& [name, value] : Values(s)) {
        const double was = before.at(name);
        EXPECT_NEAR(value, was, 1e-9 * std::max(1.0, std::fabs(was))) << name << " after " << step;
    }
}

TEST(DemoSetup, RecomputingRegistersAndAnalogueOptionsChangesNothing) {
    auto loaded = axis::LoadSetupFile(std::string(ORVEX_RESOURCE_DIR) + "/setups/demo.json");
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    CMC_Setup* s = loaded.setup.get();
    InstallScaleProvider(s);
    ASSERT_TRUE(HasAnalogueReference(s));
    const auto before = Values(*s);

    for (Conversion f : kForward) EXPECT_EQ(f(s), 1);
    ExpectUnchanged(before, *s, "forward");
    for (Conversion f : kReadBack) EXPECT_EQ(f(s), 1);
    ExpectUnchanged(before, *s, "read-back");
    EXPECT_EQ(UpdateAnalogueReferenceRanges(s), 1);
    ExpectUnchanged(before, *s, "range update");
}

}  // namespace
