#include <gtest/gtest.h>

#include <cmath>

#include "compute/scales.h"
#include "compute/units_transmission.h"
#include "host/setup/setup_file.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

// A 1000-line encoder at 40 MHz / 20 kHz PWM, current loop every PWM period, slow
// loop every 10: T_C = 50 us, T_S = 500 us.
std::unique_ptr<CMC_Setup> Bench(double motor_tr = 1.0, double load_tr = 1.0, int type = 0) {
    std::string json = R"({"format":"orvex-setup","version":1,
      "settings": {"ADCMaxValue": "65520"},
      "parameters":[
      {"name":"DSP_freq","value":40e6,"unit":"Hz","min":0,"max":1e9,"type":"real"},
      {"name":"PWMPER","value":1000,"min":0,"max":65535,"type":"option16"},
      {"name":"CLPER","value":1,"min":0,"max":65535,"type":"option16"},
      {"name":"SLPER","value":10,"min":0,"max":65535,"type":"option16"},
      {"name":"MECRESL","value":4000,"min":0,"max":1e9,"type":"option32"},
      {"name":"ENC2THL","value":214748364.8,"min":0,"max":4294967295,"type":"option32"},
      {"name":"No_encoder_lines","value":1000,"unit":"","min":1,"max":1e6,"type":"integer"},
      {"name":"NoMotorSteps","value":200,"unit":"","min":1,"max":1e4,"type":"integer"},
      {"name":"Motor_transmission","value":)" +
                       std::to_string(motor_tr) + R"(,"unit":"","min":-1e6,"max":1e6,"type":"real"},
      {"name":"Load_transmission","value":)" +
                       std::to_string(load_tr) +
                       R"(,"unit":"rad","min":-1e6,"max":1e6,"type":"real"},
      {"name":"TransmissionType","value":)" +
                       std::to_string(type) + R"(,"unit":"","min":0,"max":1,"type":"choice"},
      {"name":"ImaxPS","value":8,"unit":"A","min":0,"max":100,"type":"real"},
      {"name":"Vdc","value":48,"unit":"V","min":1,"max":100,"type":"real"},
      {"name":"VdcMaxMeasurable","value":100,"unit":"V","min":1,"max":1000,"type":"real"},
      {"name":"AnalogueInputsRange","value":20,"unit":"V","min":0,"max":30,"type":"real"},
      {"name":"ADCrange","value":3.3,"unit":"V","min":0,"max":10,"type":"real"},
      {"name":"DriveTempSensorGain","value":0.01,"unit":"V/°C","min":0,"max":1,"type":"real"},
      {"name":"DriveTempOutputAt0oC","value":0.5,"unit":"V","min":0,"max":5,"type":"real"},
      {"name":"Limit_Speed","value":100,"unit":"rad/s","min":0,"max":1e4,"type":"real"},
      {"name":"TestSpeed","value":10,"unit":"rad/s","min":-1e4,"max":1e4,"type":"real"},
      {"name":"ERR_position","value":1,"unit":"rad","min":0,"max":1e4,"type":"real"},
      {"name":"isSWLS","value":0,"unit":"","min":0,"max":1,"type":"switch"},
      {"name":"Negative_SWLS","value":-10,"unit":"rad","min":-1e6,"max":1e6,"type":"real"}],
      "variables":[{"name":"APOS_LD","unit":"rad","show":"rot"},{"name":"CACC","unit":"rad/s^2"}]})";
    auto r = axis::ParseSetup(json);
    EXPECT_TRUE(r.ok()) << r.error;
    orvex::InstallScaleProvider(r.setup.get());
    return std::move(r.setup);
}

double F(CMC_Setup* s, const char* unit, const char* name) {
    return orvex::GetScaleFactor(s, unit, name);
}

TEST(ScaleFactor, UnitRulesOnTheBench) {
    auto s = Bench();
    const double kI = 65520 / 16.0, kP = 4000 / kTwoPi, kS = 500e-6 * 4000 / kTwoPi;
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
        {"rad/s^2", "CACC", 1 / (1000 * 2 * 500e-6 * 500e-6 / M_PI)},
        {"rad/s^3", "JERK", 1 / (1000 * 2 * std::pow(500e-6, 3) / M_PI)},
        {"V/s", "x", 48 / 32767.0 / 500e-6},
        {"A/s", "x", 1 / kI / 500e-6},
        {"furlong", "x", 1.0},
        // One electrical cycle per count of ENC2THL: 4000 x 214748364.8 / 2^32 = 200.
        {"rad/s", "TINCTST", kTwoPi / 65534 / 50e-6 / 200},
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
    EXPECT_NEAR(steps->ToBase(1.0), kTwoPi / 200, 1e-15);  // one step is 2pi/200 rad
    for (const char* u : {"steps/s", "steps/s^2", "steps/s^3"})
        EXPECT_DOUBLE_EQ(s->GetUnits()->FindUnit(u)->GetFactor(), 200 / kTwoPi) << u;
    s->SetParameterValueInBaseUnit("Motor_transmission", 5);  // 5 motor rad per load rad
    ASSERT_EQ(orvex::UpdateStepUnits(s.get()), 1);
    EXPECT_DOUBLE_EQ(steps->GetFactor(), 5 * 200 / kTwoPi);
    // A zero load transmission gives no usable factor: the merge is refused.
    s->FindParameter("Load_transmission")->RestoreStored(0, -1e6, 1e6);
    EXPECT_EQ(orvex::UpdateStepUnits(s.get()), 0);
    EXPECT_DOUBLE_EQ(steps->GetFactor(), 5 * 200 / kTwoPi);
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
