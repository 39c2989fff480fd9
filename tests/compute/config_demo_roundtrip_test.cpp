// The shipped demo setup was computed with the drive's conversions: recomputing its
// registers, I/O and analogue reference options and reading them back must leave
// every value and every range where it was.

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

// clang-format off
#define F(name) ComputeOption_##name
#define R(name) ReadBack_##name
// In the order of the two sequences.
const Conversion kForward[] = {
    F(MECRESL), F(ENC2THL), F(MTSTYPE), F(AAR_table), F(SCR), F(OSR), F(ASR), F(ACR),
    F(SWNEGLS), F(SWPOSLS), F(CACC), F(CSPD), F(CADIN), F(SFTADIN), F(AD5OFF), F(FILTER1),
    F(LEVEL_AD5), F(E_LEVEL_AD5), F(GEAR), F(T1ONA), F(T1ONB), F(DIGIN_ACTIVE_LEVEL),
    F(UPGRADE), F(LSS_Active), F(THT_CORRECTION), F(COUNTINGDIR), F(QUAL), F(QUAL_ACT),
    F(QUAL_AQ2), F(BRAKECFG), F(BRAKEAPPLYDELAY), F(BRAKERELEASEDELAY), F(POSOKLIM_FC),
    F(TONPOSOK_FC), F(TRANSMISSION), F(ABSTART_MINMOVE),
};
const Conversion kReadBack[] = {
    R(No_encoder_lines), R(isMotorTemperatureSensor), R(Motor_TempSensor_Type),
    R(PosSpd_in_FastLoop), R(isDriveTemperatureSensor), R(ControlMode), R(ExternalReference),
    R(IsAutoActivatedAfterPowerOn), R(Axis_ID_list), R(EnablePolarity), R(LSPPolarity),
    R(LSNPolarity), R(time_AB), R(isSWLS), R(Negative_SWLS), R(Positive_SWLS),
    R(isSpeedEstimator), R(DeadBand_Point), R(DeadBand_Range), R(UseFilter), R(filter),
    R(POS_min), R(POS_max), R(CRT_min), R(CRT_max), R(SPD_min), R(SPD_max), R(isLimitMaximum),
    R(ErefMaxSpeed), R(ErefMaxAcceleration), R(isAnalogueReference), R(DigitalReferenceType),
    R(save_CAN_baudrate), R(save_axis_id), R(PhaseAdvance_speed), R(ReverseCounting),
    R(isFilterEnc), R(isMotorBrake), R(MotorBrake_output), R(MotorBrake_releasetime),
    R(MotorBrake_applytime), R(SpeedForward), R(isFreezeControl), R(FreezeControl_errband),
    R(FreezeControl_time), R(InputsPolarityType), R(StartMode),
};
#undef F
#undef R
// clang-format on

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
