#include "compute/config_registers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <random>
#include <string>

#include "tests/compute/setup_builder.h"

namespace {

using namespace orvex;
using namespace compute_test;
using Conversion = int (*)(CMC_Setup*);

constexpr double kAny = std::numeric_limits<double>::quiet_NaN();
constexpr double kCountsPerRad = 4000 / (2 * std::numbers::pi);  // k_P of the 1:1 test drive

// clang-format off
#define RB(name) {#name, ReadBack_##name}
const std::map<std::string, Conversion> kReadBack = {
    RB(ControlMode), RB(ExternalReference), RB(isAnalogueReference), RB(DigitalReferenceType),
    {"isAutoActivatedAfterPowerOn", ReadBack_IsAutoActivatedAfterPowerOn}, RB(SpeedForward),
    RB(isFreezeControl), RB(isMotorTemperatureSensor), RB(isDriveTemperatureSensor),
    RB(isSpeedEstimator), RB(StartMode), RB(InputsPolarityType), RB(isSWLS), RB(isLimitMaximum),
    RB(PosSpd_in_FastLoop), RB(EnablePolarity), RB(LSNPolarity), RB(LSPPolarity),
    RB(save_CAN_baudrate), RB(save_axis_id), RB(No_encoder_lines), RB(Motor_TempSensor_Type),
    RB(Axis_ID_list), RB(ReverseCounting), RB(isFilterEnc), RB(time_AB), RB(PhaseAdvance_speed),
    RB(isMotorBrake), RB(MotorBrake_output), RB(MotorBrake_applytime),
    RB(MotorBrake_releasetime), RB(FreezeControl_errband), RB(FreezeControl_time),
    RB(Negative_SWLS), RB(Positive_SWLS),
};
#undef RB
// clang-format on

// A read-back expectation: value, and the range when given.
struct Back {
    const char* name;
    double value, min = kAny, max = kAny;
};
// One conversion: the option before and after the forward conversion (none: the
// option is only read back), then what each read-back gives.
struct Row {
    Conversion forward;
    const char* option;
    double before, after;
    Inputs inputs = {};
    std::vector<Back> back = {};
    const char* neg_transmission = nullptr;  // the setting "hasNegTransmission"
};

bool Near(double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

void RunRows(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
        SetupBuilder b = EncoderDrive().Brake(0, 25).Brake(2, 40).Variable("CADIN");
        b.Real("CADIN", 0).Real(r.option, r.before).Set(r.inputs);
        if (r.neg_transmission) b.Setting("hasNegTransmission", r.neg_transmission);
        auto s = b.Build();
        const std::string what = std::string(r.option) + " from " + std::to_string(r.before);
        if (r.forward) {
            ASSERT_EQ(r.forward(s.get()), 1) << what;
        }
        EXPECT_PRED2(Near, Value(*s, r.option), r.after) << what;
        for (const Back& e : r.back) {
            s->SetParameterValueInBaseUnit(e.name, 0.5);  // forget the input
            ASSERT_EQ(kReadBack.at(e.name)(s.get()), 1) << what << ": " << e.name;
            EXPECT_PRED2(Near, Value(*s, e.name), e.value) << what << ": " << e.name;
            if (!std::isnan(e.min)) {
                EXPECT_PRED2(Near, Min(*s, e.name), e.min) << e.name;
            }
            if (!std::isnan(e.max)) {
                EXPECT_PRED2(Near, Max(*s, e.name), e.max) << e.name;
            }
        }
    }
}

Inputs With(Inputs a, const Inputs& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Inputs Acr(double mode, double position_type, double external = 0, double analogue = 0,
           double digital_type = 0, const Inputs& more = {}) {
    Inputs in = {{"ControlMode", mode},
                 {"PositionControlType", position_type},
                 {"ExternalReference", external},
                 {"isAnalogueReference", analogue},
                 {"DigitalReferenceType", digital_type},
                 {"isAutoActivatedAfterPowerOn", 0}};
    for (const auto& m : more) {
        auto it = std::find_if(in.begin(), in.end(), [&](auto& e) { return e.first == m.first; });
        if (it != in.end())
            it->second = m.second;
        else
            in.push_back(m);
    }
    return in;
}

TEST(AcrRegister, BitPatternsForEveryModeReferenceAndOption) {
    const Conversion f = ComputeOption_ACR;
    const Inputs freeze = {{"POSOKLIM_FC", 0}, {"TONPOSOK_FC", 0}, {"isFreezeControl", 1}};
    // clang-format off
    RunRows({
        // Bit 8 in every mode, bit 9 speed loop, bit 10 position loop.
        {f, "ACR", 0x0000, 0x0500, Acr(0, 0), {{"ControlMode", 0, 0, 2}}},
        {f, "ACR", 0x0000, 0x0700, Acr(0, 1), {{"ControlMode", 0}}},
        {f, "ACR", 0x0208, 0x0508, Acr(0, 0), {{"ControlMode", 0}}},
        {f, "ACR", 0x0700, 0x0300, Acr(1, 0), {{"ControlMode", 1}}},
        {f, "ACR", 0x0600, 0x0100, Acr(2, 1), {{"ControlMode", 2}}},
        // Reference bits: 6 analogue, 7 digital, 2 digital of type 0.
        {f, "ACR", 0x00C4, 0x0104, Acr(2, 0, 0, 1, 0), {{"ExternalReference", 0}}},
        {f, "ACR", 0x0084, 0x0144, Acr(2, 0, 1, 1, 0), {{"ExternalReference", 1}, {"isAnalogueReference", 1, 0, 1}}},
        {f, "ACR", 0x0040, 0x0184, Acr(2, 0, 1, 0, 0), {{"isAnalogueReference", 0}, {"DigitalReferenceType", 0}}},
        {f, "ACR", 0x0044, 0x0180, Acr(2, 0, 1, 0, 1), {{"DigitalReferenceType", 1}}},
        // Bit 1 auto-activation, bit 14 speed feed-forward, bit 4 freeze control.
        {f, "ACR", 0x0000, 0x0502, Acr(0, 0, 0, 0, 0, {{"isAutoActivatedAfterPowerOn", 1}}), {{"isAutoActivatedAfterPowerOn", 1}}},
        {f, "ACR", 0x0002, 0x0500, Acr(0, 0), {{"isAutoActivatedAfterPowerOn", 0}}},
        {f, "ACR", 0x4000, 0x0500, Acr(0, 0)},  // no "SpeedForward": bit 14 cleared
        {f, "ACR", 0x0000, 0x4500, Acr(0, 0, 0, 0, 0, {{"SpeedForward", 1}}), {{"SpeedForward", 1}}},
        {f, "ACR", 0x4000, 0x0500, Acr(0, 0, 0, 0, 0, {{"SpeedForward", 0}}), {{"SpeedForward", 0}}},
        {f, "ACR", 0x0000, 0x0510, Acr(0, 0, 0, 0, 0, freeze), {{"isFreezeControl", 1, 0, 1}}},
        {f, "ACR", 0x0000, 0x0310, Acr(1, 0, 0, 0, 0, freeze), {{"isFreezeControl", 0}}},
        {f, "ACR", 0x0010, 0x0510, Acr(0, 0, 0, 0, 0, {{"isFreezeControl", 0}})},  // no gate
    });
    // clang-format on
    for (double mode : {3.0, -1.0}) {  // no such control mode: ACR is not written
        auto s = SetupBuilder().Real("ACR", 0x1234).Set(Acr(mode, 0, 1, 1, 0)).Build();
        EXPECT_EQ(ComputeOption_ACR(s.get()), 0);
        EXPECT_EQ(Value(*s, "ACR"), 0x1234);
    }
    // Without the drive variable "CADIN" the analogue reference cannot be selected.
    auto s =
        SetupBuilder().Real("ACR", 0x0140).Real("CADIN", 0).Real("isAnalogueReference", 1).Build();
    ASSERT_EQ(ReadBack_isAnalogueReference(s.get()), 1);
    EXPECT_EQ(Max(*s, "isAnalogueReference"), 0);
    EXPECT_EQ(Value(*s, "isAnalogueReference"), 0);
}

TEST(AcrRegister, SpeedForwardDefaultAndLoopClosure) {
    struct Case {
        double mode, position_type, speed_forward;
        int acr, closure;
        const char *position, *speed;
    } cases[] = {
        {0, 1, 0, 0x0700, 1, "1", "1"},  // the one case left to the user
        {0, 0, 1, 0x4700, 1, "1", "0"}, {1, 7, 1, 0x4700, 1, "0", "1"},
        {2, 1, 1, 0x4700, 1, "0", "0"}, {0, 2, 1, 0x4700, 0, "-", "-"},
        {3, 0, 1, 0x4700, 0, "-", "-"},
    };
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Set({{"ControlMode", c.mode},
                           {"PositionControlType", c.position_type},
                           {"SpeedForward", 0},
                           {"ACR", 0x0700}})
                     .Setting("IsClosedPosition", "-")
                     .Setting("IsClosedSpeed", "-")
                     .Setting("IsClosedCurrent", "-")
                     .Build();
        EXPECT_EQ(ApplySpeedForwardDefault(s.get()), 1);
        EXPECT_EQ(Value(*s, "SpeedForward"), c.speed_forward);
        EXPECT_EQ(Value(*s, "ACR"), c.acr);
        EXPECT_EQ(UpdateLoopClosure(s.get()), c.closure) << c.mode << "/" << c.position_type;
        EXPECT_EQ(s->GetOptionNoError("IsClosedPosition"), c.position);
        EXPECT_EQ(s->GetOptionNoError("IsClosedSpeed"), c.speed);
        EXPECT_EQ(s->GetOptionNoError("IsClosedCurrent"), c.closure ? "1" : "-");
    }
}

TEST(ConfigRegisters, BitPatternsAndReadBack) {
    const Inputs no_sensors = {{"isMotorTemperatureSensor", 0}, {"isDriveTemperatureSensor", 0}};
    const Inputs sensors = {{"isMotorTemperatureSensor", 1}, {"isDriveTemperatureSensor", 1}};
    // clang-format off
    RunRows({
        {ComputeOption_SCR, "SCR", 0x0038, 0x0030, With(no_sensors, {{"isSpeedEstimator", 1}}), {{"isSpeedEstimator", 1, 0, 1}, {"isMotorTemperatureSensor", 0}}},
        {ComputeOption_SCR, "SCR", 0x0038, 0x0000, With(no_sensors, {{"isSpeedEstimator", 0}}), {{"isSpeedEstimator", 0}}},
        {ComputeOption_SCR, "SCR", 0x0001, 0x01B1, With(sensors, {{"isSpeedEstimator", 1}}), {{"isMotorTemperatureSensor", 1}, {"isDriveTemperatureSensor", 1}}},
        {ComputeOption_SCR, "SCR", 0x0138, 0x0038, no_sensors, {{"isDriveTemperatureSensor", 0}}},  // no estimator
        {ComputeOption_OSR, "OSR", 0x010C, 0x0114, {{"StartMode", 1}}, {{"StartMode", 1, 0, 3}}},
        {ComputeOption_OSR, "OSR", 0x011C, 0x0104, {{"StartMode", 0}}, {{"StartMode", 0}}},
        {ComputeOption_OSR, "OSR", 0x0010, 0x0004, {{"StartMode", 2}}, {{"StartMode", 0}}},
        {ComputeOption_OSR, "OSR", 0x011C, 0x011C, {}},  // no start mode: unchanged
        {ComputeOption_ASR, "ASR", 0x0000, 0x1084, {{"Motor_transmission", -1}, {"InputsPolarityType", 0}, {"isSWLS", 1}}, {{"InputsPolarityType", 0}, {"isSWLS", 1}}, "1"},
        {ComputeOption_ASR, "ASR", 0x1084, 0x0000, {{"InputsPolarityType", 1}, {"isSWLS", 0}}, {{"InputsPolarityType", 1}, {"isSWLS", 0}}, "1"},
        {ComputeOption_ASR, "ASR", 0x0080, 0x0000, {{"Motor_transmission", -1}}, {}, "0"},
        {ComputeOption_ASR, "ASR", 0x1084, 0x1004, {{"Motor_transmission", -1}}},  // no setting, no gates
        {ComputeOption_UPGRADE, "UPGRADE", 0x8200, 0x0244, {{"isLimitMaximum", 1}, {"PosSpd_in_FastLoop", 1}}, {{"isLimitMaximum", 1}, {"PosSpd_in_FastLoop", 1}}},
        {ComputeOption_UPGRADE, "UPGRADE", 0x0244, 0x0200, {{"isLimitMaximum", 0}, {"PosSpd_in_FastLoop", 0}}, {{"isLimitMaximum", 0}, {"PosSpd_in_FastLoop", 0}}},
        {ComputeOption_UPGRADE, "UPGRADE", 0x0040, 0x0044, {{"isLimitMaximum", 1}}},
        {ComputeOption_DIGIN_ACTIVE_LEVEL, "DIGIN_ACTIVE_LEVEL", 0x0000, 0xE000, {{"EnablePolarity", 1}, {"LSNPolarity", 1}, {"LSPPolarity", 1}}, {{"EnablePolarity", 1}, {"LSNPolarity", 1}, {"LSPPolarity", 1}}},
        {ComputeOption_DIGIN_ACTIVE_LEVEL, "DIGIN_ACTIVE_LEVEL", 0x4001, 0xA001, {{"EnablePolarity", 1}, {"LSNPolarity", 0}, {"LSPPolarity", 1}}, {{"EnablePolarity", 1}, {"LSNPolarity", 0}, {"LSPPolarity", 1}}},
        {ComputeOption_LSS_Active, "LSS_Active", 0xFFF0, 0, {{"save_CAN_baudrate", 1}, {"save_axis_id", 1}}, {{"save_CAN_baudrate", 1}, {"save_axis_id", 1}}},
        {ComputeOption_LSS_Active, "LSS_Active", 0, 1, {{"save_CAN_baudrate", 1}, {"save_axis_id", 0}}, {{"save_axis_id", 0}}},
        {ComputeOption_LSS_Active, "LSS_Active", 0, 2, {{"save_CAN_baudrate", 0}, {"save_axis_id", 1}}, {{"save_CAN_baudrate", 0}}},
    });
    // clang-format on
    for (int field : {0x00, 0x08, 0x10, 0x20, 0x28, 0x38}) {  // only 110 means "estimator on"
        auto s = SetupBuilder().Real("SCR", field).Real("isSpeedEstimator", 1).Build();
        ASSERT_EQ(ReadBack_isSpeedEstimator(s.get()), 1);
        EXPECT_EQ(Value(*s, "isSpeedEstimator"), 0) << field;
    }
}

TEST(ValueOptions, ForwardAndReadBack) {
    const double k = kCountsPerRad;
    const Inputs limits = {
        {"Negative_SWLS", -2}, {"Positive_SWLS", 3}, {"SWNEGLS", 0}, {"SWPOSLS", 0}};
    // clang-format off
    RunRows({
        {ComputeOption_MECRESL, "MECRESL", 0, 4000, {}, {{"No_encoder_lines", 1000, 4, 1073741823}}},
        {nullptr, "MECRESL", 4003, 4003, {}, {{"No_encoder_lines", 1000}}},
        // 50 electrical cycles of 2^32 per revolution over 4000 counts.
        {ComputeOption_ENC2THL, "ENC2THL", 0, 50 * 4294967296.0 / 4000},
        {ComputeOption_ABSTART_MINMOVE, "ABSTART_MINMOVE", 0, 12},  // 4000 / 200 x 60 %
        {ComputeOption_ABSTART_MINMOVE, "ABSTART_MINMOVE", 0, 5, {{"ABSTART_MINMOVE_PERCENT", 25}}},
        {ComputeOption_MTSTYPE, "MTSTYPE", 9, 1, {{"Motor_TempSensor_Type", 1}}, {{"Motor_TempSensor_Type", 1, 0, 1}}},
        {ComputeOption_MTSTYPE, "MTSTYPE", 9, 0, {{"Motor_TempSensor_Type", 2}}, {{"Motor_TempSensor_Type", 0}}},
        {ComputeOption_AAR_table, "AAR_table", 9, 0, {{"Axis_ID_list", 0}}, {{"Axis_ID_list", 0}}},
        {ComputeOption_AAR_table, "AAR_table", 9, 261, {{"Axis_ID_list", 5}}, {{"Axis_ID_list", 5, 0, 511}}},
        {ComputeOption_COUNTINGDIR, "COUNTINGDIR", 9, 1, {{"ReverseCounting", 1}}, {{"ReverseCounting", 1}}},
        {ComputeOption_COUNTINGDIR, "COUNTINGDIR", 9, 0, {{"ReverseCounting", 0}}, {{"ReverseCounting", 0}}},
        {ComputeOption_QUAL, "QUAL", 9, 1, {{"isFilterEnc", 1}}, {{"isFilterEnc", 1}}},
        {ComputeOption_QUAL, "QUAL", 9, 0, {{"isFilterEnc", 0}}, {{"isFilterEnc", 0}}},
        {ComputeOption_GEAR, "GEAR", 9, 1.5, {{"GEARSLAVE", 3}, {"GEARMASTER", 2}}},
        {ComputeOption_GEAR, "GEAR", 9, 9, {{"GEARSLAVE", 3}, {"GEARMASTER", 0}}},  // no ratio
        {ComputeOption_TRANSMISSION, "TRANSMISSION", 9, -1, {{"Load_transmission", -3}}},
        {ComputeOption_TRANSMISSION, "TRANSMISSION", 9, 1, {{"Motor_transmission", 2}}},
        // Inputs filter time: 1/100 s with UPGRADE bit 9, else a 1 s full scale.
        {ComputeOption_T1ONA, "T1ONA", 0, 50, {{"UPGRADE", 0x200}, {"time_AB", 0.5}}, {{"time_AB", 0.5, 0.01, 655.35}}},
        {ComputeOption_T1ONA, "T1ONA", 0, 32767.5, {{"UPGRADE", 0}, {"time_AB", 0.5}}, {{"time_AB", 0.5, 0.01, 1}}},
        {ComputeOption_T1ONB, "T1ONB", 0, 50, {{"UPGRADE", 0x200}, {"time_AB", 0.5}}},
        // Phase advance: the reciprocal speed (counts per sample), at most 16384.
        {ComputeOption_THT_CORRECTION, "THT_CORRECTION", 9, 0, {{"PhaseAdvance_speed", -5}}, {{"PhaseAdvance_speed", 0}}},
        {ComputeOption_THT_CORRECTION, "THT_CORRECTION", 9, 16384, {{"PhaseAdvance_speed", 0.5}}, {{"PhaseAdvance_speed", 1}}},
        {ComputeOption_THT_CORRECTION, "THT_CORRECTION", 9, 4096, {{"PhaseAdvance_speed", 4}}, {{"PhaseAdvance_speed", 4}}},
        // Brake: pin of the output port x 256 + enable; delays in slow-loop samples.
        {ComputeOption_BRAKECFG, "BRAKECFG", 9, 40 * 256 + 1, {{"MotorBrake_output", 2}, {"isMotorBrake", 1}}, {{"MotorBrake_output", 2}, {"isMotorBrake", 1, 0, 1}}},
        {ComputeOption_BRAKECFG, "BRAKECFG", 9, 25 * 256, {{"MotorBrake_output", 0}, {"isMotorBrake", 0}}, {{"MotorBrake_output", 0}, {"isMotorBrake", 0}}},
        {ComputeOption_BRAKEAPPLYDELAY, "BRAKEAPPLYDELAY", 0, 200, {{"MotorBrake_applytime", 0.1}}, {{"MotorBrake_applytime", 0.1}}},
        {ComputeOption_BRAKERELEASEDELAY, "BRAKERELEASEDELAY", 0, 500, {{"MotorBrake_releasetime", 0.25}}, {{"MotorBrake_releasetime", 0.25}}},
        // Freeze window: position counts and slow-loop samples.
        {ComputeOption_POSOKLIM_FC, "POSOKLIM_FC", 0, 0.01 * k, {{"FreezeControl_errband", 0.01}}, {{"FreezeControl_errband", 0.01, 0, 32767 / k}}},
        {ComputeOption_POSOKLIM_FC, "POSOKLIM_FC", 0, 0.02 * k, {{"FreezeControl_errband", 0.01}, {"Motor_transmission", -2}}},
        {ComputeOption_TONPOSOK_FC, "TONPOSOK_FC", 0, 40, {{"FreezeControl_time", 0.02}}, {{"FreezeControl_time", 0.02, 0, 500e-6 * 65535}}},
        // Software limits -2 and +3 rad; a reversing transmission swaps the registers
        // and the read-back returns the limits it was given.
        {ComputeOption_SWNEGLS, "SWNEGLS", 0, -2 * k, limits, {{"Negative_SWLS", -2, -2147483648.0 / k, 2147483647.0 / k}}},
        {ComputeOption_SWPOSLS, "SWPOSLS", 0, 7.5 * k, With(limits, {{"Motor_transmission", 2.5}}), {{"Positive_SWLS", 3, -2147483648.0 / (2.5 * k)}}},
        {ComputeOption_SWNEGLS, "SWNEGLS", 0, -3 * k, With(limits, {{"Motor_transmission", -1}}), {{"Positive_SWLS", 3, kAny, 2147483647.0 / k}}},
        {ComputeOption_SWPOSLS, "SWPOSLS", 0, 1 * k, With(limits, {{"Motor_transmission", -0.5}}), {{"Negative_SWLS", -2}}},
    });
    // clang-format on
}

TEST(EncoderFilter, QualificationFieldsKeepTheOtherBits) {
    struct Case {
        double enabled, index, act_before, act_after, aq2_after;
    } cases[] = {
        {1, 5, 0x12AB3456, 0x12053456, 0x30FF | 0x4500},
        {1, 12, 0x12AB3456, 0x12063456, 0x30FF | 0x8A00},
        {1, 13, 0x12AB3456, 0x12003456, 0x30FF},            // unknown index: both fields 0
        {1, 5, 4294967295.0, 0xFF05FFFF, 0x30FF | 0x4500},  // bit 31 set, stored unsigned
        {1, 5, -1, 0xFF05FFFF, 0x30FF | 0x4500},            // ... or signed
        {0, 5, 0x12AB3456, 0x12AB3456, 0xFFFF},             // filter off: both unchanged
    };
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Set({{"isFilterEnc", c.enabled},
                           {"FilterEncValue", c.index},
                           {"QUAL_ACT", c.act_before},
                           {"QUAL_AQ2", 0xFFFF}})
                     .Build();
        ASSERT_EQ(ComputeOption_QUAL_ACT(s.get()), 1);
        ASSERT_EQ(ComputeOption_QUAL_AQ2(s.get()), 1);
        EXPECT_EQ(Value(*s, "QUAL_ACT"), c.act_after) << c.index;
        EXPECT_EQ(Value(*s, "QUAL_AQ2"), c.aq2_after) << c.index;
    }
}

TEST(FailingConversions, MissingNameOrInfiniteScaleLeavesTheTargetAsItWas) {
    struct Case {
        Conversion convert;
        const char* target;
        const char* missing;  // dropped from the setup
        const char* zeroed;   // set to 0 (the setup refuses the infinite result)
        int result;
    } cases[] = {
        {ComputeOption_ACR, "ACR", "PositionControlType", nullptr, 0},
        {ComputeOption_SCR, "SCR", "isDriveTemperatureSensor", nullptr, 0},
        {ComputeOption_SWNEGLS, "SWNEGLS", "Load_transmission", nullptr, 0},
        {ReadBack_Negative_SWLS, "Negative_SWLS", "SWPOSLS", nullptr, 0},
        {ReadBack_time_AB, "time_AB", "UPGRADE", nullptr, 0},
        {ComputeOption_SWPOSLS, "SWPOSLS", nullptr, "Load_transmission", 1},
        {ReadBack_Positive_SWLS, "Positive_SWLS", nullptr, "Load_transmission", 0},
        {ReadBack_FreezeControl_errband, "FreezeControl_errband", nullptr, "Load_transmission", 0},
        {ComputeOption_TONPOSOK_FC, "TONPOSOK_FC", nullptr, "Ts_S", 1},
        {ComputeOption_ABSTART_MINMOVE, "ABSTART_MINMOVE", nullptr, "NoMotorSteps", 1},
        // Port 7 is not in the brake table: its pin -1 would fill bits 8-15 of BRAKECFG.
        {ComputeOption_BRAKECFG, "BRAKECFG", nullptr, nullptr, 0},
        // Pin 0x5A is in no entry: the user's port stays.
        {ReadBack_MotorBrake_output, "MotorBrake_output", nullptr, nullptr, 0},
    };
    g_bShowErrors = 0;
    for (const auto& c : cases) {
        SetupBuilder b = EncoderDrive().Brake(0, 25).Set(Acr(0, 0));
        b.Real("Negative_SWLS", -2, "", -9, 9)
            .Real("Positive_SWLS", 3, "", -9, 9)
            .Real("FreezeControl_errband", 0.5, "", 0, 9)
            .Real("FreezeControl_time", 0.1)
            .Real("time_AB", 0.5, "", 0, 9)
            .Real("MotorBrake_output", 7)
            .Real("isMotorBrake", 1)
            .Real("isMotorTemperatureSensor", 1)
            .Real("isDriveTemperatureSensor", 1);
        for (const char* reg : {"ACR", "SCR", "UPGRADE", "SWNEGLS", "SWPOSLS", "POSOKLIM_FC",
                                "TONPOSOK_FC", "T1ONA", "ABSTART_MINMOVE", "BRAKECFG"})
            b.Real(reg, 0x5A5A);
        if (c.missing) b.Without(c.missing);
        if (c.zeroed) b.Real(c.zeroed, 0);
        auto s = b.Build();
        const double value = Value(*s, c.target), min = Min(*s, c.target), max = Max(*s, c.target);
        EXPECT_EQ(c.convert(s.get()), c.result) << c.target;
        const std::string why = c.missing  ? std::string("without ") + c.missing
                                : c.zeroed ? std::string(c.zeroed) + " = 0"
                                           : "unknown brake pin";
        EXPECT_EQ(Value(*s, c.target), value) << c.target << " " << why;
        EXPECT_EQ(Min(*s, c.target), min) << c.target << " " << why;
        EXPECT_EQ(Max(*s, c.target), max) << c.target << " " << why;
    }
    g_bShowErrors = 1;
}

TEST(ConfigRoundTrip, ForwardThenReadBackReturnsTheParameters) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const auto bit = [&] { return u(rng) < 0.5 ? 0.0 : 1.0; };
    for (int i = 0; i < 200; ++i) {
        const double ratio = (u(rng) < 0.5 ? -1 : 1) * std::pow(10.0, 2 * u(rng) - 1);
        const double mode = std::floor(u(rng) * 3);
        const double k = std::fabs(kCountsPerRad * ratio);
        const Inputs inputs = Acr(mode, std::floor(u(rng) * 2), bit(), 0, bit(),
                                  {{"isAutoActivatedAfterPowerOn", bit()},
                                   {"SpeedForward", bit()},
                                   {"isFreezeControl", bit()},
                                   {"POSOKLIM_FC", 0},
                                   {"TONPOSOK_FC", 0},
                                   {"Motor_transmission", ratio},
                                   {"FreezeControl_errband", u(rng) * 32767 / k},
                                   {"FreezeControl_time", u(rng) * 30},
                                   {"Negative_SWLS", -1000 * u(rng)},
                                   {"Positive_SWLS", 1000 * u(rng)},
                                   {"SWNEGLS", 0},
                                   {"SWPOSLS", 0},
                                   {"UPGRADE", bit() * 0x200},
                                   {"time_AB", 0.01 + 0.98 * u(rng)},
                                   {"T1ONA", 0},
                                   {"Axis_ID_list", std::floor(u(rng) * 256)},
                                   {"AAR_table", 0},
                                   {"ACR", std::floor(u(rng) * 65536)}});
        auto s = EncoderDrive().Set(inputs).Build();
        for (Conversion f : {ComputeOption_ACR, ComputeOption_POSOKLIM_FC,
                             ComputeOption_TONPOSOK_FC, ComputeOption_SWNEGLS,
                             ComputeOption_SWPOSLS, ComputeOption_T1ONA, ComputeOption_AAR_table})
            ASSERT_EQ(f(s.get()), 1) << i;
        for (const auto& [name, value] : inputs) {
            const auto it = kReadBack.find(name);
            if (it == kReadBack.end()) continue;
            s->SetParameterValueInBaseUnit(name, 0.5);
            ASSERT_EQ(it->second(s.get()), 1) << name;
            const std::string n = name;
            if (n == "DigitalReferenceType" && Value(*s, "ExternalReference") == 0) continue;
            const double expected = n == "isFreezeControl" && mode != 0 ? 0 : value;
            EXPECT_NEAR(Value(*s, name), expected, 1e-12 * (1 + std::fabs(value))) << n << i;
        }
    }
}

}  // namespace
