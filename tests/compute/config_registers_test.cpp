#include "compute/config_registers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/compute/config_fixture.h"

namespace {

using namespace orvex;
using config_test::Internal;
using config_test::Max;
using config_test::Min;
using config_test::SetupBuilder;
using config_test::Value;

// The ACR inputs with the reference and the optional features switched off.
SetupBuilder AcrSetup(double mode, double position_type, double acr) {
    SetupBuilder b;
    b.Option("ACR", acr)
        .Switch("isAutoActivatedAfterPowerOn", 0)
        .Switch("ExternalReference", 0)
        .Switch("isAnalogueReference", 0)
        .Choice("DigitalReferenceType", 0)
        .Choice("ControlMode", mode)
        .Choice("PositionControlType", position_type);
    return b;
}

TEST(AcrRegister, ModeBitsForEveryControlMode) {
    struct Case {
        int mode, position_type, acr_before, acr_after;
    } cases[] = {
        {0, 0, 0x0000, 0x0500},  // position loop over the current loop
        {0, 1, 0x0000, 0x0700},  // position loop over the speed loop
        {0, 0, 0x0208, 0x0508},  // type 0 clears the speed-loop bit, keeps bit 3
        {1, 0, 0x0700, 0x0300},
        {1, 1, 0x0008, 0x0308},
        {2, 0, 0x0700, 0x0100},
        {2, 1, 0x0600, 0x0100},
    };
    for (const auto& c : cases) {
        auto s = AcrSetup(c.mode, c.position_type, c.acr_before).Build();
        ASSERT_EQ(ComputeOption_ACR(s.get()), 1);
        EXPECT_EQ(Value(*s, "ACR"), c.acr_after) << c.mode << "/" << c.position_type;
        s->SetParameterValueInBaseUnit("ControlMode", 1.5);
        ASSERT_EQ(ReadBack_ControlMode(s.get()), 1);
        EXPECT_EQ(Value(*s, "ControlMode"), c.mode);
        EXPECT_EQ(Min(*s, "ControlMode"), 0);
        EXPECT_EQ(Max(*s, "ControlMode"), 2);
    }
}

TEST(AcrRegister, UnknownControlModeWritesNothing) {
    for (double mode : {3.0, -1.0}) {
        auto s = AcrSetup(mode, 0, 0x1234).Build();
        s->SetParameterValueInBaseUnit("isAutoActivatedAfterPowerOn", 1);
        EXPECT_EQ(ComputeOption_ACR(s.get()), 0);
        EXPECT_EQ(Value(*s, "ACR"), 0x1234);
    }
}

TEST(AcrRegister, ReferenceBitsAndTheirReadBack) {
    struct Case {
        int external, analogue, digital_type, acr_before, acr_after;
    } cases[] = {
        {0, 1, 0, 0x00C4, 0x0104},  // no external reference: bits 6, 7 cleared, 2 kept
        {1, 1, 0, 0x0084, 0x0144},  // analogue: bit 6, bit 2 as it was
        {1, 1, 1, 0x0000, 0x0140},
        {1, 0, 0, 0x0040, 0x0184},  // digital of type 0: bits 7 and 2
        {1, 0, 1, 0x0044, 0x0180},  // digital of type 1: bit 7 only
    };
    for (const auto& c : cases) {
        auto s = AcrSetup(2, 0, c.acr_before).Variable("CADIN").Option("CADIN", 0).Build();
        s->SetParameterValueInBaseUnit("ExternalReference", c.external);
        s->SetParameterValueInBaseUnit("isAnalogueReference", c.analogue);
        s->SetParameterValueInBaseUnit("DigitalReferenceType", c.digital_type);
        ASSERT_EQ(ComputeOption_ACR(s.get()), 1);
        const int acr = static_cast<int>(Value(*s, "ACR"));
        EXPECT_EQ(acr, c.acr_after) << std::hex << c.acr_before;

        ASSERT_EQ(ReadBack_ExternalReference(s.get()), 1);
        ASSERT_EQ(ReadBack_isAnalogueReference(s.get()), 1);
        ASSERT_EQ(ReadBack_DigitalReferenceType(s.get()), 1);
        EXPECT_EQ(Value(*s, "ExternalReference"), c.external);
        EXPECT_EQ(Value(*s, "isAnalogueReference"), (acr & 0x40) ? 1 : 0);
        EXPECT_EQ(Value(*s, "DigitalReferenceType"), (acr & 0x04) ? 0 : 1);
        if (c.external && !c.analogue) EXPECT_EQ(Value(*s, "DigitalReferenceType"), c.digital_type);
    }
}

TEST(AcrRegister, AnalogueReferenceCannotBeSelectedWithoutTheInput) {
    // A "CADIN" parameter alone is not an analogue input: the drive variable is missing.
    auto s = AcrSetup(2, 0, 0x0140).Option("CADIN", 0).Build();
    s->SetParameterValueInBaseUnit("isAnalogueReference", 1);
    ASSERT_EQ(ReadBack_isAnalogueReference(s.get()), 1);
    EXPECT_EQ(Max(*s, "isAnalogueReference"), 0);
    EXPECT_EQ(Value(*s, "isAnalogueReference"), 0);
}

TEST(AcrRegister, OptionalBitsFollowTheirSwitchesAndGates) {
    struct Case {
        const char* what;
        bool speed_forward_param, freeze_gate;
        int auto_on, speed_forward, freeze;
        int acr_before, acr_after;
    } cases[] = {
        {"auto on", false, false, 1, 0, 0, 0x0000, 0x0502},
        {"auto off clears bit 1", false, false, 0, 0, 0, 0x0002, 0x0500},
        {"no SpeedForward clears bit 14", false, false, 0, 0, 0, 0x4000, 0x0500},
        {"SpeedForward on", true, false, 0, 1, 0, 0x0000, 0x4500},
        {"SpeedForward off", true, false, 0, 0, 0, 0x4000, 0x0500},
        {"freeze on", false, true, 0, 0, 1, 0x0000, 0x0510},
        {"freeze off", false, true, 0, 0, 0, 0x0010, 0x0500},
        {"no freeze options: bit 4 kept", false, false, 0, 0, 1, 0x0010, 0x0510},
    };
    for (const auto& c : cases) {
        SetupBuilder b = AcrSetup(0, 0, c.acr_before);
        b.Switch("isFreezeControl", c.freeze);
        if (c.speed_forward_param) b.Switch("SpeedForward", c.speed_forward);
        if (c.freeze_gate) b.Option("POSOKLIM_FC", 0).Option("TONPOSOK_FC", 0);
        auto s = b.Build();
        s->SetParameterValueInBaseUnit("isAutoActivatedAfterPowerOn", c.auto_on);
        ASSERT_EQ(ComputeOption_ACR(s.get()), 1) << c.what;
        EXPECT_EQ(Value(*s, "ACR"), c.acr_after) << c.what;
        ASSERT_EQ(ReadBack_IsAutoActivatedAfterPowerOn(s.get()), 1);
        EXPECT_EQ(Value(*s, "isAutoActivatedAfterPowerOn"), c.auto_on) << c.what;
    }
}

TEST(AcrRegister, FreezeControlReadsBackOnlyInPositionMode) {
    struct Case {
        int acr, mode, expected;
    } cases[] = {{0x0510, 0, 1}, {0x0500, 0, 0}, {0x0310, 1, 0}, {0x0110, 2, 0}};
    for (const auto& c : cases) {
        auto s = AcrSetup(c.mode, 0, c.acr).Switch("isFreezeControl", 1 - c.expected).Build();
        ASSERT_EQ(ReadBack_isFreezeControl(s.get()), 1);
        EXPECT_EQ(Value(*s, "isFreezeControl"), c.expected) << std::hex << c.acr;
    }
}

TEST(SpeedForwardDefault, OnUnlessPositionOverSpeedLoop) {
    struct Case {
        int mode, position_type;
        double speed_forward_after;
        int acr_after;
    } cases[] = {
        {0, 1, 0, 0x0700},  // the one case left to the user
        {0, 0, 1, 0x4700},  // only bit 14 changes
        {1, 0, 1, 0x4700},
        {2, 1, 1, 0x4700},
    };
    for (const auto& c : cases) {
        auto s = AcrSetup(c.mode, c.position_type, 0x0700).Switch("SpeedForward", 0).Build();
        EXPECT_EQ(ApplySpeedForwardDefault(s.get()), 1);
        EXPECT_EQ(Value(*s, "SpeedForward"), c.speed_forward_after);
        EXPECT_EQ(Value(*s, "ACR"), c.acr_after);
        ASSERT_EQ(ReadBack_SpeedForward(s.get()), 1);
        EXPECT_EQ(Value(*s, "SpeedForward"), c.speed_forward_after);
    }
    auto s = AcrSetup(1, 0, 0x0300).Build();  // no "SpeedForward"
    EXPECT_EQ(ApplySpeedForwardDefault(s.get()), 0);
    EXPECT_EQ(Value(*s, "ACR"), 0x0300);
}

TEST(LoopClosure, SettingsFollowTheControlMode) {
    struct Case {
        double mode, position_type;
        int result;
        const char *position, *speed, *current;
    } cases[] = {
        {0, 0, 1, "1", "0", "1"}, {0, 1, 1, "1", "1", "1"}, {1, 0, 1, "0", "1", "1"},
        {1, 7, 1, "0", "1", "1"}, {2, 1, 1, "0", "0", "1"}, {0, 2, 0, "x", "x", "x"},
        {3, 0, 0, "x", "x", "x"},
    };
    for (const auto& c : cases) {
        auto s = AcrSetup(c.mode, c.position_type, 0)
                     .Setting("IsClosedPosition", "x")
                     .Setting("IsClosedSpeed", "x")
                     .Setting("IsClosedCurrent", "x")
                     .Build();
        EXPECT_EQ(UpdateLoopClosure(s.get()), c.result) << c.mode << "/" << c.position_type;
        EXPECT_EQ(s->GetOptionNoError("IsClosedPosition"), c.position);
        EXPECT_EQ(s->GetOptionNoError("IsClosedSpeed"), c.speed);
        EXPECT_EQ(s->GetOptionNoError("IsClosedCurrent"), c.current);
    }
}

TEST(ScrRegister, TemperatureSensorsAndSpeedEstimator) {
    struct Case {
        bool estimator_param;
        int motor_sensor, drive_sensor, estimator, scr_before, scr_after, estimator_back;
    } cases[] = {
        {true, 0, 0, 1, 0x0038, 0x0030, 1},  // bits 5..3 = 110
        {true, 0, 0, 0, 0x0038, 0x0000, 0},
        {true, 1, 1, 1, 0x0001, 0x01B1, 1},
        {false, 1, 0, 0, 0x0138, 0x00B8, -1},  // no estimator: bits 3-5 kept
    };
    for (const auto& c : cases) {
        SetupBuilder b;
        b.Option("SCR", c.scr_before)
            .Switch("isMotorTemperatureSensor", c.motor_sensor)
            .Switch("isDriveTemperatureSensor", c.drive_sensor);
        if (c.estimator_param) b.Switch("isSpeedEstimator", c.estimator);
        auto s = b.Build();
        ASSERT_EQ(ComputeOption_SCR(s.get()), 1);
        EXPECT_EQ(Value(*s, "SCR"), c.scr_after) << std::hex << c.scr_before;
        s->SetParameterValueInBaseUnit("isMotorTemperatureSensor", 1 - c.motor_sensor);
        s->SetParameterValueInBaseUnit("isDriveTemperatureSensor", 1 - c.drive_sensor);
        ASSERT_EQ(ReadBack_isMotorTemperatureSensor(s.get()), 1);
        ASSERT_EQ(ReadBack_isDriveTemperatureSensor(s.get()), 1);
        EXPECT_EQ(Value(*s, "isMotorTemperatureSensor"), c.motor_sensor);
        EXPECT_EQ(Value(*s, "isDriveTemperatureSensor"), c.drive_sensor);
        if (c.estimator_param) {
            ASSERT_EQ(ReadBack_isSpeedEstimator(s.get()), 1);
            EXPECT_EQ(Value(*s, "isSpeedEstimator"), c.estimator_back);
        }
    }
    // Only the pattern 110 means "estimator on".
    for (int field : {0x00, 0x08, 0x10, 0x20, 0x28, 0x38}) {
        auto s = SetupBuilder().Option("SCR", field).Switch("isSpeedEstimator", 1).Build();
        ASSERT_EQ(ReadBack_isSpeedEstimator(s.get()), 1);
        EXPECT_EQ(Value(*s, "isSpeedEstimator"), 0) << field;
    }
}

TEST(OsrRegister, StartModeField) {
    struct Case {
        double start_mode;  // < 0: no "StartMode" in the setup
        int osr_before, osr_after;
        double read_back;
    } cases[] = {
        {1, 0x010C, 0x0114, 1}, {0, 0x011C, 0x0104, 0}, {2, 0x0010, 0x0004, 0},
        {3, 0x0000, 0x0004, 0}, {-1, 0x011C, 0x011C, -1},
    };
    for (const auto& c : cases) {
        SetupBuilder b;
        b.Option("OSR", c.osr_before);
        if (c.start_mode >= 0) b.Real("StartMode", c.start_mode);
        auto s = b.Build();
        ASSERT_EQ(ComputeOption_OSR(s.get()), 1);
        EXPECT_EQ(Value(*s, "OSR"), c.osr_after) << c.start_mode;
        if (c.start_mode < 0) continue;
        ASSERT_EQ(ReadBack_StartMode(s.get()), 1);
        EXPECT_EQ(Value(*s, "StartMode"), c.read_back);
        EXPECT_EQ(Max(*s, "StartMode"), 3);
    }
}

TEST(AsrRegister, PolarityTypeNegativeTransmissionAndSoftwareLimits) {
    struct Case {
        const char* neg_setting;  // null: setting absent
        double ratio_sign;
        int polarity_type, swls, asr_before, asr_after;
    } cases[] = {
        {"1", -1, 0, 1, 0x0000, 0x1084},
        {"1", +1, 1, 0, 0x1084, 0x0000},  // positive ratio clears bit 7
        {"0", -1, 1, 0, 0x0080, 0x0000},  // the drive does not support it
        {nullptr, -1, 1, 0, 0x0080, 0x0000},
        {"1", -1, 1, 1, 0x0001, 0x1081},
    };
    for (const auto& c : cases) {
        SetupBuilder b;
        b.Option("ASR", c.asr_before)
            .Real("Motor_transmission", c.ratio_sign)
            .Real("Load_transmission", 1)
            .Choice("InputsPolarityType", c.polarity_type)
            .Switch("isSWLS", c.swls);
        if (c.neg_setting) b.Setting("hasNegTransmission", c.neg_setting);
        auto s = b.Build();
        ASSERT_EQ(ComputeOption_ASR(s.get()), 1);
        EXPECT_EQ(Value(*s, "ASR"), c.asr_after) << std::hex << c.asr_before;
        ASSERT_EQ(ReadBack_InputsPolarityType(s.get()), 1);
        ASSERT_EQ(ReadBack_isSWLS(s.get()), 1);
        EXPECT_EQ(Value(*s, "InputsPolarityType"), c.polarity_type);
        EXPECT_EQ(Value(*s, "isSWLS"), c.swls);
    }
    // Without the gated parameters their bits stay as they were.
    auto s = SetupBuilder().Option("ASR", 0x1004).Build();
    ASSERT_EQ(ComputeOption_ASR(s.get()), 1);
    EXPECT_EQ(Value(*s, "ASR"), 0x1004);
}

TEST(UpgradeRegister, LimitMaximumAndFastLoopBitsKeepTheTimeBase) {
    struct Case {
        bool fast_loop_param;
        int limit_max, fast_loop, before, after;
    } cases[] = {
        {true, 1, 1, 0x8200, 0x0244},  // bit 15 dropped, bit 9 kept
        {true, 0, 0, 0x0244, 0x0200},
        {false, 1, 0, 0x0040, 0x0044},  // no fast-loop parameter: bit 6 kept
    };
    for (const auto& c : cases) {
        SetupBuilder b;
        b.Option("UPGRADE", c.before).Switch("isLimitMaximum", c.limit_max);
        if (c.fast_loop_param) b.Switch("PosSpd_in_FastLoop", c.fast_loop);
        auto s = b.Build();
        ASSERT_EQ(ComputeOption_UPGRADE(s.get()), 1);
        EXPECT_EQ(Value(*s, "UPGRADE"), c.after) << std::hex << c.before;
        ASSERT_EQ(ReadBack_isLimitMaximum(s.get()), 1);
        EXPECT_EQ(ReadBack_PosSpd_in_FastLoop(s.get()), 1);  // absence is success
        EXPECT_EQ(Value(*s, "isLimitMaximum"), c.limit_max);
        if (c.fast_loop_param) EXPECT_EQ(Value(*s, "PosSpd_in_FastLoop"), c.fast_loop);
    }
}

TEST(DigitalInputLevels, PolarityBits) {
    struct Case {
        int enable, lsn, lsp, before, after;
    } cases[] = {
        {1, 1, 1, 0x0000, 0xE000}, {0, 0, 0, 0xFFFF, 0x1FFF}, {1, 0, 1, 0x4001, 0xA001},
        {0, 1, 0, 0xA000, 0x4000},
    };
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Option("DIGIN_ACTIVE_LEVEL", c.before)
                     .Switch("EnablePolarity", c.enable)
                     .Switch("LSNPolarity", c.lsn)
                     .Switch("LSPPolarity", c.lsp)
                     .Build();
        ASSERT_EQ(ComputeOption_DIGIN_ACTIVE_LEVEL(s.get()), 1);
        EXPECT_EQ(Value(*s, "DIGIN_ACTIVE_LEVEL"), c.after) << std::hex << c.before;
        for (auto* f : {ReadBack_EnablePolarity, ReadBack_LSNPolarity, ReadBack_LSPPolarity})
            ASSERT_EQ(f(s.get()), 1);
        EXPECT_EQ(Value(*s, "EnablePolarity"), c.enable);
        EXPECT_EQ(Value(*s, "LSNPolarity"), c.lsn);
        EXPECT_EQ(Value(*s, "LSPPolarity"), c.lsp);
    }
}

TEST(NetworkSettings, LssActiveMarksWhatIsNotSaved) {
    struct Case {
        int save_baudrate, save_axis_id, lss;
    } cases[] = {{1, 1, 0}, {1, 0, 1}, {0, 1, 2}, {0, 0, 3}};
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Option("LSS_Active", 0xFFF0)
                     .Switch("save_CAN_baudrate", c.save_baudrate)
                     .Switch("save_axis_id", c.save_axis_id)
                     .Build();
        ASSERT_EQ(ComputeOption_LSS_Active(s.get()), 1);
        EXPECT_EQ(Value(*s, "LSS_Active"), c.lss);
        ASSERT_EQ(ReadBack_save_CAN_baudrate(s.get()), 1);
        ASSERT_EQ(ReadBack_save_axis_id(s.get()), 1);
        EXPECT_EQ(Value(*s, "save_CAN_baudrate"), c.save_baudrate);
        EXPECT_EQ(Value(*s, "save_axis_id"), c.save_axis_id);
    }
}

TEST(EncoderOptions, ResolutionElectricAngleAndStartMove) {
    auto s = SetupBuilder::Drive()
                 .Option("ENC2THL", 0, 32)
                 .Option("ABSTART_MINMOVE", 0)
                 .Build();
    ASSERT_EQ(ComputeOption_MECRESL(s.get()), 1);
    ASSERT_EQ(ComputeOption_ENC2THL(s.get()), 1);
    ASSERT_EQ(ComputeOption_ABSTART_MINMOVE(s.get()), 1);
    EXPECT_EQ(Value(*s, "MECRESL"), 4000);
    // 50 electrical cycles per revolution over 4000 counts, 2^32 per cycle.
    EXPECT_DOUBLE_EQ(Value(*s, "ENC2THL"), 50.0 * 4294967296.0 / 4000.0);
    EXPECT_DOUBLE_EQ(Value(*s, "ABSTART_MINMOVE"), 12.0);  // 4000 / 200 x 60 %

    s = SetupBuilder::Drive().Option("ABSTART_MINMOVE", 0).Real("ABSTART_MINMOVE_PERCENT", 25).Build();
    ASSERT_EQ(ComputeOption_ABSTART_MINMOVE(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(*s, "ABSTART_MINMOVE"), 5.0);

    // The line count comes back as a whole number from a resolution off a multiple of 4.
    s = SetupBuilder::Drive().Option("MECRESL", 4003, 32).Build();
    ASSERT_EQ(ReadBack_No_encoder_lines(s.get()), 1);
    EXPECT_EQ(Value(*s, "No_encoder_lines"), 1000);
    EXPECT_EQ(Min(*s, "No_encoder_lines"), 4);
    EXPECT_EQ(Max(*s, "No_encoder_lines"), 1073741823);
}

TEST(ValueOptions, ForwardAndReadBackTable) {
    struct Case {
        const char* what;
        int (*forward)(CMC_Setup*);
        int (*read_back)(CMC_Setup*);
        const char* param;
        double value;
        const char* option;
        double option_value;
        double value_back;
    } cases[] = {
        {"no axis id", ComputeOption_AAR_table, ReadBack_Axis_ID_list, "Axis_ID_list", 0,
         "AAR_table", 0, 0},
        {"axis id 5", ComputeOption_AAR_table, ReadBack_Axis_ID_list, "Axis_ID_list", 5,
         "AAR_table", 261, 5},
        {"thermistor", ComputeOption_MTSTYPE, ReadBack_Motor_TempSensor_Type,
         "Motor_TempSensor_Type", 1, "MTSTYPE", 1, 1},
        {"other sensor", ComputeOption_MTSTYPE, ReadBack_Motor_TempSensor_Type,
         "Motor_TempSensor_Type", 2, "MTSTYPE", 0, 0},
        {"reverse counting", ComputeOption_COUNTINGDIR, ReadBack_ReverseCounting,
         "ReverseCounting", 1, "COUNTINGDIR", 1, 1},
        {"normal counting", ComputeOption_COUNTINGDIR, ReadBack_ReverseCounting,
         "ReverseCounting", 0, "COUNTINGDIR", 0, 0},
        {"filter on", ComputeOption_QUAL, ReadBack_isFilterEnc, "isFilterEnc", 1, "QUAL", 1, 1},
        {"filter off", ComputeOption_QUAL, ReadBack_isFilterEnc, "isFilterEnc", 0, "QUAL", 0, 0},
    };
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Real(c.param, c.value, "", 0, 1000)
                     .Option(c.option, 12345)
                     .Real("FilterEncValue", 0)
                     .Build();
        ASSERT_EQ(c.forward(s.get()), 1) << c.what;
        EXPECT_EQ(Value(*s, c.option), c.option_value) << c.what;
        s->SetParameterValueInBaseUnit(c.param, 77);
        ASSERT_EQ(c.read_back(s.get()), 1) << c.what;
        EXPECT_EQ(Value(*s, c.param), c.value_back) << c.what;
    }
}

TEST(ValueOptions, GearTransmissionAndInputsTime) {
    auto s = SetupBuilder::Drive()
                 .Real("GEARSLAVE", 3)
                 .Real("GEARMASTER", 2)
                 .Option("GEAR", 0, 32)
                 .Option("TRANSMISSION", 0)
                 .Build();
    ASSERT_EQ(ComputeOption_GEAR(s.get()), 1);
    ASSERT_EQ(ComputeOption_TRANSMISSION(s.get()), 1);
    EXPECT_EQ(Value(*s, "GEAR"), 1.5);
    EXPECT_EQ(Value(*s, "TRANSMISSION"), 1);
    s->SetParameterValueInBaseUnit("Load_transmission", -3);
    s->SetParameterValueInBaseUnit("GEARMASTER", 0);  // no finite ratio: GEAR keeps 1.5
    ComputeOption_GEAR(s.get());
    ASSERT_EQ(ComputeOption_TRANSMISSION(s.get()), 1);
    EXPECT_EQ(Value(*s, "GEAR"), 1.5);
    EXPECT_EQ(Value(*s, "TRANSMISSION"), -1);

    struct Case {
        int upgrade;
        double time_AB, counts, max;
    } cases[] = {{0x0200, 0.5, 50, 655.35}, {0x0000, 0.5, 32767.5, 1.0}};
    for (const auto& c : cases) {
        auto t = SetupBuilder()
                     .Option("UPGRADE", c.upgrade)
                     .Real("time_AB", c.time_AB, "s")
                     .Option("T1ONA", 0)
                     .Option("T1ONB", 0)
                     .Build();
        ASSERT_EQ(ComputeOption_T1ONA(t.get()), 1);
        ASSERT_EQ(ComputeOption_T1ONB(t.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*t, "T1ONA"), c.counts);
        EXPECT_DOUBLE_EQ(Value(*t, "T1ONB"), c.counts);
        t->SetParameterValueInBaseUnit("time_AB", 0.2);
        ASSERT_EQ(ReadBack_time_AB(t.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*t, "time_AB"), c.time_AB);
        EXPECT_DOUBLE_EQ(Min(*t, "time_AB"), 0.01);
        EXPECT_DOUBLE_EQ(Max(*t, "time_AB"), c.max);
    }
}

TEST(PhaseAdvance, CorrectionIsTheReciprocalSpeedCappedAt16384) {
    struct Case {
        double speed_internal, correction, speed_back;
    } cases[] = {
        {0, 0, 0}, {-5, 0, 0}, {0.5, 16384, 1}, {1, 16384, 1}, {4, 4096, 4}, {16384, 1, 16384},
    };
    for (const auto& c : cases) {
        auto s = SetupBuilder::Drive()
                     .Real("PhaseAdvance_speed", 0, "rad/s")
                     .Option("THT_CORRECTION", 99)
                     .Build();
        s->SetParameterValueInInternalUnit("PhaseAdvance_speed", c.speed_internal);
        ASSERT_EQ(ComputeOption_THT_CORRECTION(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "THT_CORRECTION"), c.correction) << c.speed_internal;
        ASSERT_EQ(ReadBack_PhaseAdvance_speed(s.get()), 1);
        EXPECT_NEAR(Internal(*s, "PhaseAdvance_speed"), c.speed_back, 1e-9) << c.speed_internal;
    }
}

TEST(EncoderFilter, QualificationFieldsKeepTheOtherBits) {
    for (int index = -1; index <= 13; ++index) {
        const EncoderFilterSetting f = EncoderFilterForIndex(index);
        auto s = SetupBuilder()
                     .Switch("isFilterEnc", 1)
                     .Real("FilterEncValue", index)
                     .Option("QUAL_ACT", 0x12AB3456, 32)
                     .Option("QUAL_AQ2", 0xFFFF)
                     .Build();
        ASSERT_EQ(ComputeOption_QUAL_ACT(s.get()), 1);
        ASSERT_EQ(ComputeOption_QUAL_AQ2(s.get()), 1);
        EXPECT_EQ(Value(*s, "QUAL_ACT"), 0x12003456 | f.period_field) << index;
        EXPECT_EQ(Value(*s, "QUAL_AQ2"), 0x30FF | f.sample_pattern) << index;
    }
    EXPECT_EQ(EncoderFilterForIndex(5).period_field, 0x050000);
    EXPECT_EQ(EncoderFilterForIndex(5).sample_pattern, 0x4500);
    EXPECT_EQ(EncoderFilterForIndex(12).period_field, 0x060000);
    EXPECT_EQ(EncoderFilterForIndex(12).sample_pattern, 0x8A00);
    EXPECT_EQ(EncoderFilterForIndex(13).sample_pattern, 0);

    // Bit 31 survives whether the register was stored signed or unsigned.
    for (double stored : {4294967295.0, -1.0}) {
        auto s = SetupBuilder()
                     .Switch("isFilterEnc", 1)
                     .Real("FilterEncValue", 5)
                     .Option("QUAL_ACT", stored, 32)
                     .Build();
        ASSERT_EQ(ComputeOption_QUAL_ACT(s.get()), 1);
        EXPECT_EQ(Value(*s, "QUAL_ACT"), 0xFF05FFFFu) << stored;
    }
    // Filter off: the qualification registers stay as they are.
    auto s = SetupBuilder()
                 .Switch("isFilterEnc", 0)
                 .Real("FilterEncValue", 5)
                 .Option("QUAL_ACT", 0x12AB3456, 32)
                 .Option("QUAL_AQ2", 0xFFFF)
                 .Build();
    ASSERT_EQ(ComputeOption_QUAL_ACT(s.get()), 1);
    ASSERT_EQ(ComputeOption_QUAL_AQ2(s.get()), 1);
    EXPECT_EQ(Value(*s, "QUAL_ACT"), 0x12AB3456);
    EXPECT_EQ(Value(*s, "QUAL_AQ2"), 0xFFFF);
}

SetupBuilder BrakeSetup(double port, double enabled) {
    SetupBuilder b;
    b.Brake(0, 25)
        .Brake(2, 40)
        .Real("MotorBrake_output", port, "", -1, 100)
        .Switch("isMotorBrake", enabled)
        .Option("BRAKECFG", 0x1234)
        .Real("Ts_S", 500e-6, "s")
        .Real("MotorBrake_applytime", 0.1, "s")
        .Real("MotorBrake_releasetime", 0.25, "s")
        .Option("BRAKEAPPLYDELAY", 0)
        .Option("BRAKERELEASEDELAY", 0);
    return b;
}

TEST(MotorBrake, OutputPinAndDelays) {
    struct Case {
        double port, enabled;
        int cfg;
    } cases[] = {{2, 1, 40 * 256 + 1}, {0, 0, 25 * 256}, {0, 1, 25 * 256 + 1}};
    for (const auto& c : cases) {
        auto s = BrakeSetup(c.port, c.enabled).Build();
        ASSERT_EQ(ComputeOption_BRAKECFG(s.get()), 1);
        EXPECT_EQ(Value(*s, "BRAKECFG"), c.cfg);
        s->SetParameterValueInBaseUnit("MotorBrake_output", 5);
        s->SetParameterValueInBaseUnit("isMotorBrake", 1 - c.enabled);
        ASSERT_EQ(ReadBack_isMotorBrake(s.get()), 1);
        ASSERT_EQ(ReadBack_MotorBrake_output(s.get()), 1);
        EXPECT_EQ(Value(*s, "MotorBrake_output"), c.port);
        EXPECT_EQ(Value(*s, "isMotorBrake"), c.enabled);
    }
    auto s = BrakeSetup(2, 1).Build();
    ASSERT_EQ(ComputeOption_BRAKEAPPLYDELAY(s.get()), 1);
    ASSERT_EQ(ComputeOption_BRAKERELEASEDELAY(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(*s, "BRAKEAPPLYDELAY"), 200);
    EXPECT_DOUBLE_EQ(Value(*s, "BRAKERELEASEDELAY"), 500);
    s->SetParameterValueInBaseUnit("Ts_S", 1e-3);
    ASSERT_EQ(ReadBack_MotorBrake_applytime(s.get()), 1);
    ASSERT_EQ(ReadBack_MotorBrake_releasetime(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(*s, "MotorBrake_applytime"), 0.2);
    EXPECT_DOUBLE_EQ(Value(*s, "MotorBrake_releasetime"), 0.5);
}

TEST(MotorBrake, OutputOutsideTheBrakeTableKeepsRegisterAndPort) {
    // Port 7 has no pin: no pin field of -1 (0xFF00 and up) reaches the drive.
    auto s = BrakeSetup(7, 1).Build();
    EXPECT_EQ(ComputeOption_BRAKECFG(s.get()), 0);
    EXPECT_EQ(Value(*s, "BRAKECFG"), 0x1234);
    // Pin 0x12 is in no table entry: the user's port stays.
    EXPECT_EQ(ReadBack_MotorBrake_output(s.get()), 0);
    EXPECT_EQ(Value(*s, "MotorBrake_output"), 7);
}

TEST(FreezeControl, WindowInCountsAndSamples) {
    for (double ratio : {1.0, -2.0}) {
        auto s = SetupBuilder::Drive()
                     .Real("Motor_transmission", ratio)
                     .Real("FreezeControl_errband", 0.01, "rad")
                     .Real("FreezeControl_time", 0.02, "s")
                     .Option("POSOKLIM_FC", 0)
                     .Option("TONPOSOK_FC", 0)
                     .Build();
        const double k = std::fabs(4000.0 / 6.283185307179586 * ratio);
        ASSERT_EQ(ComputeOption_POSOKLIM_FC(s.get()), 1);
        ASSERT_EQ(ComputeOption_TONPOSOK_FC(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "POSOKLIM_FC"), 0.01 * k);
        EXPECT_DOUBLE_EQ(Value(*s, "TONPOSOK_FC"), 40);
        s->SetParameterValueInBaseUnit("FreezeControl_errband", 0);
        s->SetParameterValueInBaseUnit("FreezeControl_time", 0);
        ASSERT_EQ(ReadBack_FreezeControl_errband(s.get()), 1);
        ASSERT_EQ(ReadBack_FreezeControl_time(s.get()), 1);
        EXPECT_NEAR(Value(*s, "FreezeControl_errband"), 0.01, 1e-15);
        EXPECT_DOUBLE_EQ(Max(*s, "FreezeControl_errband"), 32767 / k);
        EXPECT_DOUBLE_EQ(Value(*s, "FreezeControl_time"), 0.02);
        EXPECT_DOUBLE_EQ(Max(*s, "FreezeControl_time"), 500e-6 * 65535);
    }
}

TEST(SoftwareLimits, ReversingTransmissionSwapsRegistersAndReadsBackTheGivenLimits) {
    struct Case {
        double ratio;
        double swnegls, swposls;  // for limits -2 and +3 rad, in counts per rad of a 1:1 drive
    } cases[] = {{1, -2, 3}, {2.5, -5, 7.5}, {-1, -3, 2}, {-0.5, -1.5, 1}};
    for (const auto& c : cases) {
        auto s = SetupBuilder::Drive()
                     .Real("Motor_transmission", c.ratio)
                     .Real("Negative_SWLS", -2, "rad")
                     .Real("Positive_SWLS", 3, "rad")
                     .Option("SWNEGLS", 0, 32)
                     .Option("SWPOSLS", 0, 32)
                     .Build();
        const double k1 = 4000.0 / 6.283185307179586;
        const double k = k1 * c.ratio;
        ASSERT_EQ(ComputeOption_SWNEGLS(s.get()), 1);
        ASSERT_EQ(ComputeOption_SWPOSLS(s.get()), 1);
        EXPECT_NEAR(Value(*s, "SWNEGLS"), c.swnegls * k1, 1e-9) << c.ratio;
        EXPECT_NEAR(Value(*s, "SWPOSLS"), c.swposls * k1, 1e-9) << c.ratio;
        s->SetParameterValueInBaseUnit("Negative_SWLS", 0);
        s->SetParameterValueInBaseUnit("Positive_SWLS", 0);
        ASSERT_EQ(ReadBack_Negative_SWLS(s.get()), 1);
        ASSERT_EQ(ReadBack_Positive_SWLS(s.get()), 1);
        EXPECT_NEAR(Value(*s, "Negative_SWLS"), -2, 1e-12) << c.ratio;
        EXPECT_NEAR(Value(*s, "Positive_SWLS"), 3, 1e-12) << c.ratio;
        EXPECT_DOUBLE_EQ(Min(*s, "Negative_SWLS"), -2147483648.0 / std::fabs(k));
        EXPECT_DOUBLE_EQ(Max(*s, "Positive_SWLS"), 2147483647.0 / std::fabs(k));
    }
}

TEST(MissingNames, ConversionFailsAndWritesNothing) {
    struct Case {
        int (*convert)(CMC_Setup*);
        const char* missing;
        const char* target;
    } cases[] = {
        {ComputeOption_ACR, "PositionControlType", "ACR"},
        {ComputeOption_SCR, "isDriveTemperatureSensor", "SCR"},
        {ComputeOption_UPGRADE, "isLimitMaximum", "UPGRADE"},
        {ComputeOption_SWNEGLS, "Load_transmission", "SWNEGLS"},
        {ComputeOption_SWPOSLS, "Positive_SWLS", "SWPOSLS"},
        {ComputeOption_ENC2THL, "NoMotorSteps", "ENC2THL"},
        {ComputeOption_POSOKLIM_FC, "MECRESL", "POSOKLIM_FC"},
        {ComputeOption_T1ONA, "UPGRADE", "T1ONA"},
        {ReadBack_Negative_SWLS, "SWPOSLS", "Negative_SWLS"},
        {ReadBack_ControlMode, "ACR", "ControlMode"},
        {ReadBack_time_AB, "UPGRADE", "time_AB"},
        {ReadBack_FreezeControl_time, "Ts_S", "FreezeControl_time"},
    };
    g_bShowErrors = 0;
    for (const auto& c : cases) {
        SetupBuilder b = AcrSetup(0, 0, 0x5A5A);
        b.Real("Motor_transmission", 1)
            .Real("Load_transmission", 1)
            .Option("MECRESL", 4000, 32)
            .Real("NoMotorSteps", 200)
            .Real("No_encoder_lines", 1000)
            .Real("Ts_S", 500e-6, "s")
            .Real("FreezeControl_errband", 1)
            .Real("FreezeControl_time", 1)
            .Real("time_AB", 0.5)
            .Real("Negative_SWLS", -1)
            .Real("Positive_SWLS", 1)
            .Switch("isMotorTemperatureSensor", 1)
            .Switch("isDriveTemperatureSensor", 1)
            .Switch("isLimitMaximum", 1);
        for (const char* reg : {"SCR", "UPGRADE", "SWNEGLS", "SWPOSLS", "ENC2THL", "POSOKLIM_FC",
                                "T1ONA", "TONPOSOK_FC"})
            b.Option(reg, 0x5A5A, 32);
        b.Without(c.missing);
        auto s = b.Build();
        const double before = Value(*s, c.target);
        EXPECT_EQ(c.convert(s.get()), 0) << c.target << " without " << c.missing;
        EXPECT_EQ(Value(*s, c.target), before) << c.target << " without " << c.missing;
    }
    g_bShowErrors = 1;
}

TEST(SetupSettings, FlagsAndDefaults) {
    auto s = SetupBuilder()
                 .Setting("hasNegTransmission", "1")
                 .Setting("hideEnablePolarity", "2")
                 .Setting("IsInputsTypeProgrammable", "0")
                 .Real("Ts_S_min", 250e-6, "s")
                 .Build();
    EXPECT_TRUE(IsSettingOn(s.get(), "hasNegTransmission"));
    EXPECT_FALSE(IsSettingOn(s.get(), "hideEnablePolarity"));
    EXPECT_FALSE(IsSettingOn(s.get(), "NewDeadBand"));
    EXPECT_EQ(GetInputsTypeProgrammable(s.get()), 0);
    EXPECT_EQ(GetMinimumSpeedLoopPeriod(s.get()), 250e-6);
    EXPECT_EQ(GetMinimumCurrentLoopPeriod(s.get()), 0);
    EXPECT_EQ(GetInputsTypeProgrammable(SetupBuilder().Build().get()), -1);
}

}  // namespace

namespace {

TEST(DegenerateScales, LeaveTargetsAsTheyWere) {
    // A zero load transmission or clock makes the scales infinite; a zero loop period
    // makes sample counts infinite. Nothing is written then, not even a range.
    struct Case {
        const char* zeroed;
        int (*convert)(CMC_Setup*);
        const char* target;
    } cases[] = {
        {"Load_transmission", ComputeOption_SWNEGLS, "SWNEGLS"},
        {"Load_transmission", ComputeOption_SWPOSLS, "SWPOSLS"},
        {"Load_transmission", ReadBack_Negative_SWLS, "Negative_SWLS"},
        {"Load_transmission", ReadBack_Positive_SWLS, "Positive_SWLS"},
        {"Load_transmission", ComputeOption_POSOKLIM_FC, "POSOKLIM_FC"},
        {"Load_transmission", ReadBack_FreezeControl_errband, "FreezeControl_errband"},
        {"Ts_S", ComputeOption_TONPOSOK_FC, "TONPOSOK_FC"},
        {"Ts_S", ComputeOption_BRAKEAPPLYDELAY, "BRAKEAPPLYDELAY"},
        {"NoMotorSteps", ComputeOption_ABSTART_MINMOVE, "ABSTART_MINMOVE"},
        {"No_encoder_lines", ComputeOption_ENC2THL, "ENC2THL"},
    };
    for (const auto& c : cases) {
        auto s = SetupBuilder::Drive()
                     .Real("Negative_SWLS", -2, "rad", -9, 9)
                     .Real("Positive_SWLS", 3, "rad", -9, 9)
                     .Real("FreezeControl_errband", 0.5, "rad", 0, 9)
                     .Real("FreezeControl_time", 0.1, "s")
                     .Real("MotorBrake_applytime", 0.1, "s")
                     .Option("SWNEGLS", 111, 32)
                     .Option("SWPOSLS", 222, 32)
                     .Option("POSOKLIM_FC", 333)
                     .Option("TONPOSOK_FC", 444)
                     .Option("BRAKEAPPLYDELAY", 555)
                     .Option("ABSTART_MINMOVE", 666)
                     .Option("ENC2THL", 777, 32)
                     .Build();
        s->FindParameter(c.zeroed)->SetMinInBaseUnit(0);
        s->SetParameterValueInBaseUnit(c.zeroed, 0);
        const double value = Value(*s, c.target), min = Min(*s, c.target), max = Max(*s, c.target);
        c.convert(s.get());
        EXPECT_EQ(Value(*s, c.target), value) << c.target << " with " << c.zeroed << " 0";
        EXPECT_EQ(Min(*s, c.target), min) << c.target;
        EXPECT_EQ(Max(*s, c.target), max) << c.target;
    }
}

TEST(ConfigRoundTrip, ForwardThenReadBackReturnsTheParameters) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    auto bit = [&] { return u(rng) < 0.5 ? 0.0 : 1.0; };
    for (int i = 0; i < 200; ++i) {
        const double ratio = (u(rng) < 0.5 ? -1 : 1) * std::pow(10.0, 2 * u(rng) - 1);
        const int mode = static_cast<int>(u(rng) * 3);
        const int position_type = static_cast<int>(u(rng) * 2);
        SetupBuilder b = AcrSetup(mode, position_type, std::floor(u(rng) * 65536));
        b.Real("Motor_transmission", ratio)
            .Real("Load_transmission", 1)
            .Option("MECRESL", 4000, 32)
            .Real("SLPER", 10).Real("PWMPER", 1000).Real("DSP_freq", 40e6, "Hz")
            .Real("Ts_S", 500e-6, "s")
            .Switch("SpeedForward", bit())
            .Switch("isFreezeControl", bit())
            .Option("POSOKLIM_FC", 0).Option("TONPOSOK_FC", 0)
            // within the 16-bit window of the drive: 32767 counts
            .Real("FreezeControl_errband", u(rng) * 32767 / std::fabs(4000 / 6.283185307179586 * ratio), "rad")
            .Real("FreezeControl_time", u(rng) * 30, "s")
            .Real("Negative_SWLS", -1000 * u(rng), "rad")
            .Real("Positive_SWLS", 1000 * u(rng), "rad")
            .Option("SWNEGLS", 0, 32).Option("SWPOSLS", 0, 32)
            .Option("UPGRADE", u(rng) < 0.5 ? 0x200 : 0)
            .Real("time_AB", 0.01 + 0.98 * u(rng), "s")
            .Option("T1ONA", 0)
            .Real("Axis_ID_list", std::floor(u(rng) * 256)).Option("AAR_table", 0);
        auto s = b.Build();
        s->SetParameterValueInBaseUnit("isAutoActivatedAfterPowerOn", bit());
        s->SetParameterValueInBaseUnit("ExternalReference", bit());
        s->SetParameterValueInBaseUnit("DigitalReferenceType", bit());
        const auto before = [&](const char* n) { return Value(*s, n); };
        const double auto_on = before("isAutoActivatedAfterPowerOn"),
                     external = before("ExternalReference"), digital = before("DigitalReferenceType"),
                     speed_forward = before("SpeedForward"), freeze = before("isFreezeControl"),
                     errband = before("FreezeControl_errband"), time = before("FreezeControl_time"),
                     neg = before("Negative_SWLS"), pos = before("Positive_SWLS"),
                     time_ab = before("time_AB"), axis = before("Axis_ID_list");

        for (auto* f : {ComputeOption_ACR, ComputeOption_POSOKLIM_FC, ComputeOption_TONPOSOK_FC,
                        ComputeOption_SWNEGLS, ComputeOption_SWPOSLS, ComputeOption_T1ONA,
                        ComputeOption_AAR_table})
            ASSERT_EQ(f(s.get()), 1) << i;
        for (const char* n : {"isAutoActivatedAfterPowerOn", "ExternalReference",
                              "DigitalReferenceType", "SpeedForward", "isFreezeControl",
                              "ControlMode", "FreezeControl_errband", "FreezeControl_time",
                              "Negative_SWLS", "Positive_SWLS", "time_AB", "Axis_ID_list"})
            s->SetParameterValueInBaseUnit(n, 0.5);  // forget the inputs
        for (auto* f : {ReadBack_ControlMode, ReadBack_ExternalReference,
                        ReadBack_IsAutoActivatedAfterPowerOn, ReadBack_DigitalReferenceType,
                        ReadBack_SpeedForward, ReadBack_isFreezeControl,
                        ReadBack_FreezeControl_errband, ReadBack_FreezeControl_time,
                        ReadBack_Negative_SWLS, ReadBack_Positive_SWLS, ReadBack_time_AB,
                        ReadBack_Axis_ID_list})
            ASSERT_EQ(f(s.get()), 1) << i;

        EXPECT_EQ(Value(*s, "ControlMode"), mode) << i;
        EXPECT_EQ(Value(*s, "isAutoActivatedAfterPowerOn"), auto_on) << i;
        EXPECT_EQ(Value(*s, "ExternalReference"), external) << i;
        if (external == 1) EXPECT_EQ(Value(*s, "DigitalReferenceType"), digital) << i;
        EXPECT_EQ(Value(*s, "SpeedForward"), speed_forward) << i;
        EXPECT_EQ(Value(*s, "isFreezeControl"), mode == 0 ? freeze : 0) << i;
        EXPECT_NEAR(Value(*s, "FreezeControl_errband"), errband, 1e-12 * (1 + errband)) << i;
        EXPECT_NEAR(Value(*s, "FreezeControl_time"), time, 1e-12 * (1 + time)) << i;
        EXPECT_NEAR(Value(*s, "Negative_SWLS"), neg, 1e-12 * (1 + std::fabs(neg))) << i;
        EXPECT_NEAR(Value(*s, "Positive_SWLS"), pos, 1e-12 * (1 + pos)) << i;
        EXPECT_NEAR(Value(*s, "time_AB"), time_ab, 1e-12) << i;
        EXPECT_EQ(Value(*s, "Axis_ID_list"), axis) << i;
    }
}

}  // namespace
