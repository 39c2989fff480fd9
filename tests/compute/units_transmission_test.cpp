#include "compute/units_transmission.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "compute/scales.h"
#include "tests/compute/setup_builder.h"

namespace {

using std::numbers::pi;

// A 1000-line encoder at 40 MHz / 20 kHz PWM, current loop every PWM period, slow
// loop every 10: T_C = 50 us, T_S = 500 us.
std::unique_ptr<CMC_Setup> Bench(double motor_tr = 1.0, double load_tr = 1.0, int type = 0) {
    using compute_test::Integer;
    using compute_test::Option16;
    using compute_test::Option32;
    using compute_test::Real;
    auto s = compute_test::SetupBuilder()
                 .Setting("ADCMaxValue", "65520")
                 .Add({Real("DSP_freq", 40e6, "Hz", 0, 1e9),
                       Option16("PWMPER", 1000),
                       Option16("CLPER", 1),
                       Option16("SLPER", 10),
                       Option32("MECRESL", 4000, 0, 1e9),
                       Option32("ENC2THL", 214748364.8, 0, 4294967295),
                       Integer("No_encoder_lines", 1000, 1, 1e6),
                       Integer("NoMotorSteps", 200, 1, 1e4),
                       Real("Motor_transmission", motor_tr, "", -1e6, 1e6),
                       Real("Load_transmission", load_tr, "rad", -1e6, 1e6),
                       compute_test::Choice("TransmissionType", type, 0, 1),
                       Real("ImaxPS", 8, "A", 0, 100),
                       Real("Vdc", 48, "V", 1, 100),
                       Real("VdcMaxMeasurable", 100, "V", 1, 1000),
                       Real("AnalogueInputsRange", 20, "V", 0, 30),
                       Real("ADCrange", 3.3, "V", 0, 10),
                       Real("DriveTempSensorGain", 0.01, "V/°C", 0, 1),
                       Real("DriveTempOutputAt0oC", 0.5, "V", 0, 5),
                       Real("Limit_Speed", 100, "rad/s", 0, 1e4),
                       Real("TestSpeed", 10, "rad/s", -1e4, 1e4),
                       Real("ERR_position", 1, "rad", 0, 1e4),
                       compute_test::Switch("isSWLS", 0),
                       Real("Negative_SWLS", -10, "rad", -1e6, 1e6)})
                 .Variable("APOS_LD", "rad", "rot")
                 .Variable("CACC", "rad/s^2")
                 .Build();
    orvex::InstallScaleProvider(s.get());
    return s;
}

double F(CMC_Setup* s, const char* unit, const char* name) {
    return orvex::GetScaleFactor(s, unit, name);
}

TEST(ScaleFactor, UnitRulesOnTheBench) {
    auto s = Bench();
    const double kI = 65520 / 16.0, kP = 4000 / (2 * pi), kS = 500e-6 * 4000 / (2 * pi);
    struct Case {
        const char* unit;
        const char* name;
        double factor;
    } cases[] = {
        {"V ", "UMAX_PROT", 100 / 65520.0},  // measured supply voltage
        {"V", "BOOST", 48 / 32767.0},        // PWM voltage
        {"V", "AD5", 20 / 65520.0},          // analogue input
        {"A", "In", 1 / kI},
        {"a", "In", 1 / kI},  // unit names fold case
        {"s", "Ts_C", 50e-6},
        {"s", "time_ERR_pos", 500e-6},
        {"rad", "APOS_MT", 1 / kP},
        {"rad", "THTST", 9.587672516830327e-05},
        {"rad", "APOS_LD", 1 / kP},
        {"rad/s", "ASPD", 1 / kS},
        {"rad/s", "Limit_Speed", 1 / kS},
        {"rad/s^2", "CACC", 1 / (1000 * 2 * 500e-6 * 500e-6 / pi)},
        {"rad/s^3", "JERK", 1 / (1000 * 2 * std::pow(500e-6, 3) / pi)},
        {"V/s", "x", 48 / 32767.0 / 500e-6},
        {"A/s", "x", 1 / kI / 500e-6},
        {"furlong", "x", 1.0},
        // One electrical cycle per count of ENC2THL: 4000 x 214748364.8 / 2^32 = 200.
        {"rad/s", "TINCTST", 2 * pi / 65534 / 50e-6 / 200},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(F(s.get(), c.unit, c.name), c.factor, std::abs(c.factor) * 1e-12)
            << c.unit << " " << c.name;
    EXPECT_NE(F(s.get(), "V ", "x"), F(s.get(), "V", "x"));
}

TEST(ScaleFactor, ReversingTransmissionKeepsUserLimitsPositive) {
    auto s = Bench(-2.0, 1.0);
    EXPECT_GT(F(s.get(), "rad", "ERR_position"), 0);
    EXPECT_GT(F(s.get(), "rad/s", "Limit_Speed"), 0);
    EXPECT_GT(F(s.get(), "m/s", "TestSpeed"), 0);
    EXPECT_LT(F(s.get(), "rad", "APOS_LD"), 0);
    EXPECT_LT(F(s.get(), "rad/s", "ASPD_LD"), 0);
    EXPECT_DOUBLE_EQ(F(s.get(), "rad", "APOS_LD"), -F(s.get(), "rad", "ERR_position"));
    // Motor-side quantities ignore the transmission.
    EXPECT_GT(F(s.get(), "rad", "APOS_MT"), 0);
}

TEST(ScaleFactor, DegreesCelsiusInBothSpellings) {
    auto s = Bench();
    const double factor = 3.3 / (65520 * 0.01), offset = -65520 * 0.5 / 3.3;
    for (const char* unit : {"\xC2\xB0"
                             "C",
                             "\xB0"
                             "C"}) {
        EXPECT_DOUBLE_EQ(F(s.get(), unit, "T2MAXPROT"), factor);
        EXPECT_DOUBLE_EQ(orvex::GetScaleOffset(s.get(), unit), offset);
    }
    EXPECT_EQ(orvex::GetScaleOffset(s.get(), "V"), 0.0);
    // 25 degrees: the sensor gives 0.75 V, that is 0.75 / 3.3 x 65520 counts.
    const double counts = 0.75 / 3.3 * 65520;
    EXPECT_NEAR((counts + offset) * factor, 25.0, 1e-9);
    s->SetParameterValueInBaseUnit("DriveTempOutputAt0oC", 0);
    EXPECT_EQ(orvex::GetScaleOffset(s.get(),
                                    "\xB0"
                                    "C"),
              0.0);
}

TEST(StepUnits, FollowMotorStepsAndTransmission) {
    auto s = Bench(1.0, 1.0);
    ASSERT_EQ(orvex::UpdateStepUnits(s.get()), 1);
    const CMC_Unit* steps = s->GetUnits()->FindUnit("steps");
    ASSERT_NE(steps, nullptr);
    EXPECT_NEAR(steps->ToBase(1.0), 2 * pi / 200, 1e-15);  // one step is 2pi/200 rad
    for (const char* u : {"steps/s", "steps/s^2", "steps/s^3"})
        EXPECT_DOUBLE_EQ(s->GetUnits()->FindUnit(u)->GetFactor(), 200 / (2 * pi)) << u;
    s->SetParameterValueInBaseUnit("Motor_transmission", 5);  // 5 motor rad per load rad
    ASSERT_EQ(orvex::UpdateStepUnits(s.get()), 1);
    EXPECT_DOUBLE_EQ(steps->GetFactor(), 5 * 200 / (2 * pi));
    // A zero load transmission gives no usable factor: the merge is refused.
    s->FindParameter("Load_transmission")->RestoreStored(0, -1e6, 1e6);
    EXPECT_EQ(orvex::UpdateStepUnits(s.get()), 0);
    EXPECT_DOUBLE_EQ(steps->GetFactor(), 5 * 200 / (2 * pi));
}

TEST(UnitTypes, FollowTheTransmissionType) {
    auto s = Bench(1, 1, 0);
    orvex::UpdateUnitTypesByTransmission(s.get());
    EXPECT_EQ(s->FindParameter("Limit_Speed")->GetUnitName(), "rad/s");
    EXPECT_EQ(s->FindParameter("TestSpeed")->GetUnitName(), "rpm");
    EXPECT_EQ(s->FindVariable("APOS_LD")->GetUnitName(), "rot");
    // Without the software-limit gate its parameters keep their type.
    s->SetParameterValueInBaseUnit("TransmissionType", 1);
    testing::internal::CaptureStderr();
    orvex::UpdateUnitTypesByTransmission(s.get());
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(s->FindParameter("Limit_Speed")->GetUnitName(), "m/s");
    EXPECT_EQ(s->FindParameter("TestSpeed")->GetUnitName(), "m/s");
    EXPECT_EQ(s->FindParameter("Load_transmission")->GetUnitName(), "mm");
    EXPECT_EQ(s->FindVariable("APOS_LD")->GetUnitName(), "mm");
    EXPECT_EQ(s->FindVariable("CACC")->GetUnitName(), "m/s^2");
    EXPECT_EQ(s->FindParameter("Negative_SWLS")->GetUnitName(), "mm");     // gate "isSWLS" present
    EXPECT_DOUBLE_EQ(s->GetParameterValueInBaseUnit("Limit_Speed"), 100);  // value kept
}

}  // namespace
