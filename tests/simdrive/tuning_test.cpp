// The drive's loops with gains designed the module's way: the responses must be
// those the designs promise.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "bench.h"

namespace orvex::sim {
namespace {

using testing::Bench;
using testing::EncodeGain;
using testing::kCountsPerAmp;
using testing::kFastPeriod_s;
using testing::kSlowPeriod_s;
using testing::LoadScenario;

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kCountsPerRad = 4000 / kTwoPi;                // 1000 lines
constexpr double kSpeedScale = kSlowPeriod_s * kCountsPerRad;  // counts per sample per rad/s

void SetGain(Bench& bench, const char* mantissa, const char* shift, double gain) {
    double m = 0;
    int s = 0;
    EncodeGain(gain, m, s);
    bench.SetOption(shift, s);
    bench.SetOption(mantissa, m);
}

// Segment table of a positive trapezoid: ramp to `final` over `ramp_s`, hold,
// ramp back, pause; increments in 16.16 fixed point with exact landings.
std::map<std::string, double> Trapezoid(double final, double ramp_s, double hold_s,
                                        double pause_s) {
    auto n = [](double t) { return std::round(t / kSlowPeriod_s); };
    const double nr = n(ramp_s);
    const double a0 = nr > 1 ? nr - 1 : nr;
    const double q0 = std::floor(final / nr * 65536 + 0.5);
    const double q1 = std::floor((final - q0 * a0 / 65536) * 65536 + 0.5);
    const double q3 = std::floor(-final / nr * 65536 + 0.5);
    const double q4 = std::floor((-final - q3 * a0 / 65536) * 65536 + 0.5);
    return {{"a0", a0},        {"b0", q0 / 65536}, {"a1", 1},          {"b1", q1 / 65536},
            {"a2", n(hold_s)}, {"b2", 0},          {"a3", a0},         {"b3", q3 / 65536},
            {"a4", 1},         {"b4", q4 / 65536}, {"a5", n(pause_s)}, {"b5", 0},
            {"MultiC", 0}};
}

// The current loop designed for a 1 kHz bandwidth with damping 0.7 from the
// motor's R and L: the logged step has the rise time and overshoot that the
// designed closed loop (PI and winding, continuous) predicts.
TEST(CurrentLoop, StepResponseMatchesTheDesign) {
    struct Case {
        double r_ohm, l_H;
    } cases[] = {{1.12, 2.95e-3}, {3.4, 9.5e-3}};
    for (const Case& c : cases) {
        const Scenario s = LoadScenario("default.json", [&](Scenario& sc) {
            sc.motor.phase_resistance_ohm = c.r_ohm;
            sc.motor.phase_inductance_H = c.l_H;
        });
        const double vdc = s.drive.bus_voltage_V;
        const double g = c.r_ohm * (32767 / vdc) / kCountsPerAmp;
        const double tau = c.l_H / c.r_ohm, w = kTwoPi * 1000, zeta = 0.7;
        ASSERT_GT(tau, 4 * kFastPeriod_s);
        const double kp = g * (2 * zeta * w * tau - 1);
        const double ki = g * w * w * tau * kFastPeriod_s;

        // The design's prediction: tau di/dt = u / g - i, u = Kp e + Ki / T_C int e.
        double predicted_rise_s = 0, predicted_peak = 0;
        {
            double i = 0, integral = 0;
            const double dt = 1e-7;
            for (double t = 0; t < 3e-3; t += dt) {
                const double e = 1 - i;
                integral += ki / kFastPeriod_s * e * dt;
                i += dt * ((kp * e + integral) / g - i) / tau;
                if (predicted_rise_s == 0 && i >= 0.9) predicted_rise_s = t;
                predicted_peak = std::max(predicted_peak, i);
            }
        }

        Bench bench(s);
        SetGain(bench, "KPI", "SFTKPI", kp);
        SetGain(bench, "KII", "SFTKII", ki);
        // A step small enough that Kp x step stays within the voltage limit (SATIQ):
        // the design is for the linear loop.
        const double step = std::min(4095.0, std::floor(0.8 * (32767 - 2621) / kp));
        ASSERT_TRUE(bench.Run("Initial_Positioning_Test", {{"In1", step}}));
        ASSERT_TRUE(bench.Run(
            "Current_Controller_Tuning_Test",
            {{"RefTest", bench.Var("REFTST_V")}, {"In1", step}, {"Imax_Prot_Test", 30000}},
            {2, 100, 1, {"Current_Reference", "Motor_Current", "Voltage_Reference"}}));
        ASSERT_GT(bench.Var("test_flag"), 0);
        const auto points = bench.Log();
        ASSERT_EQ(points.size(), 100u);
        // Rise time: from the step to the first logged sample at 90 %.
        double t_step = -1, t_rise = -1, peak = 0;
        for (const auto& p : points) {
            if (t_step < 0 && p[1] > 0) t_step = p[0];
            if (t_step >= 0 && t_rise < 0 && p[2] >= 0.9 * step) t_rise = p[0] - t_step;
            peak = std::max(peak, p[2] / step);
        }
        ASSERT_GT(t_rise, 0);
        EXPECT_NEAR(t_rise, predicted_rise_s, 0.2 * predicted_rise_s) << c.r_ohm;
        EXPECT_NEAR(peak - 1, predicted_peak - 1, 0.2 * (predicted_peak - 1)) << c.r_ohm;
        // And it settles on the reference.
        EXPECT_NEAR(testing::Mean({points.end() - 20, points.end()}, 2), step, 0.01 * step);
    }
}

// Speed gains from the bandwidth design: Ki = PB^2 T c, Kp = 2 zeta PB c with
// c = Jt k_I / (k_Sm K).
void DesignSpeedLoop(Bench& bench, const Scenario& s, double bandwidth_rad_s) {
    const double jt = s.motor.rotor_inertia_kgm2 + s.load.inertia_kgm2;
    const double c = jt * kCountsPerAmp / (kSpeedScale * s.motor.torque_constant_Nm_per_A);
    SetGain(bench, "KPS", "SFTKPS", 2 * 1.0 * bandwidth_rad_s * c);
    SetGain(bench, "KIS", "SFTKIS", bandwidth_rad_s * bandwidth_rad_s * kSlowPeriod_s * c);
}

TEST(SpeedLoop, FollowsTheSegmentReference) {
    const Scenario s = LoadScenario();
    Bench bench(s);
    DesignSpeedLoop(bench, s, kTwoPi * 15);
    ASSERT_TRUE(bench.Run("Initial_Positioning_Test", {{"In1", 4095}}));
    auto inputs = Trapezoid(10, 0.02, 0.2, 0.1);
    inputs["RefTest"] = bench.Var("REFTST_V");
    inputs["IlimPS_Test"] = 3 * kCountsPerAmp;
    inputs["Imax_Prot_Test"] = 30000;
    ASSERT_TRUE(bench.Run(
        "Speed_Controller_Tuning_Test", inputs,
        {1, 1000, 1, {"Speed_Reference", "Load_Speed", "Current_Reference", "Motor_Current"}}));
    EXPECT_GT(bench.Var("test_flag"), 0);
    const auto p = bench.Log();
    // 40 samples of ramp, 400 of hold, 40 back, 200 of pause, then the program's
    // own 200 at rest.
    ASSERT_GE(p.size(), 880u);
    // The last half of the hold: the mean speed is the reference; at the end of
    // the run the shaft stands still.
    std::vector<drive::LogPoint> hold(p.begin() + 240, p.begin() + 440);
    EXPECT_DOUBLE_EQ(testing::Mean(hold, 1), 10.0);
    EXPECT_NEAR(testing::Mean(hold, 2), 10.0, 0.2);
    std::vector<drive::LogPoint> end(p.end() - 100, p.end());
    EXPECT_DOUBLE_EQ(testing::Mean(end, 1), 0.0);
    EXPECT_NEAR(testing::Mean(end, 2), 0.0, 0.1);
}

TEST(PositionLoop, EndsWithinAFewCountsOfTheReference) {
    for (bool through_speed_loop : {true, false}) {
        SCOPED_TRACE(through_speed_loop ? "with speed loop" : "without speed loop");
        const Scenario s = LoadScenario();
        Bench bench(s);
        const double jt = s.motor.rotor_inertia_kgm2 + s.load.inertia_kgm2;
        const double zeta = 1.0;
        const double k_pm = kCountsPerRad;
        if (through_speed_loop) {
            DesignSpeedLoop(bench, s, kTwoPi * 15);
            const double pb = kTwoPi * 3;
            SetGain(bench, "KPP", "SFTKPP", 2 * zeta * pb * kSpeedScale / k_pm);
            SetGain(bench, "KIP", "SFTKIP", pb * pb * kSlowPeriod_s * kSpeedScale / k_pm);
            SetGain(bench, "KDP", "SFTKDP", 0);
            SetGain(bench, "KFFS", "SFTSFFW", 1.0);  // the reference's speed fed forward
            bench.SetOption("SATP", 32767 - 30);     // speed limit 30 counts per sample
            bench.SetOption("IMAXP", 32767 - 30);
        } else {
            const double pb = kTwoPi * 10;
            const double c = jt * kCountsPerAmp / (k_pm * s.motor.torque_constant_Nm_per_A);
            const double a = 2 * zeta + 1;
            SetGain(bench, "KIP", "SFTKIP", pb * pb * pb * kSlowPeriod_s * c);
            SetGain(bench, "KPP", "SFTKPP", a * pb * pb * c);
            SetGain(bench, "KDP", "SFTKDP", a * pb * c / kSlowPeriod_s);
        }
        ASSERT_TRUE(bench.Run("Initial_Positioning_Test", {{"In1", 4095}}));
        auto inputs = Trapezoid(2000, 0.2, 0.5, 0.5);
        inputs["RefTest"] = bench.Var("REFTST_V");
        inputs["LimitSpeed_Test"] = 30;
        inputs["IlimPS_Test"] = 3 * kCountsPerAmp;
        inputs["Imax_Prot_Test"] = 30000;
        const double start = bench.Var("APOS");
        const char* program = through_speed_loop
                                  ? "Position_Controller_Tuning_Test_with_SpdCtrl"
                                  : "Position_Controller_Tuning_Test_without_SpdCtrl";
        ASSERT_TRUE(bench.Run(program, inputs, {1, 2000, 1, {"Target_Position", "Load_Position"}}));
        EXPECT_GT(bench.Var("test_flag"), 0);
        const auto p = bench.Log();
        ASSERT_GT(p.size(), 1500u);
        // End of the hold at the far position, and the end of the run back home.
        const auto& far = p[static_cast<std::size_t>(std::round((0.2 + 0.5) / kSlowPeriod_s)) - 1];
        EXPECT_EQ(far[1] - start, 2000);
        EXPECT_NEAR(far[2] - start, 2000, 5);
        EXPECT_NEAR(bench.Var("APOS") - start, 0, 3);
    }
}

}  // namespace
}  // namespace orvex::sim

namespace orvex::sim {
namespace {

// The motionless start: a rotor resting away from phase A is hardly moved, and
// the angle found is the rotor's electric angle less a quarter turn, within the
// +/- 25 electrical degrees (4550) the tuning asks for.
TEST(AngleLoop, FindsTheRotorWithoutMovingIt) {
    constexpr double kPolePairs = 50;
    for (double rest_rad : {0.0, 0.01, 0.02, -0.015}) {
        const Scenario s = testing::LoadScenario(
            "default.json", [&](Scenario& sc) { sc.motor.initial_angle_rad = rest_rad; });
        testing::Bench bench(s);
        const double start = bench.Var("APOS");
        ASSERT_TRUE(bench.Run("Angle_Controller_Tuning_Test",
                              {{"In1", 4095}, {"ReferenceIncrement", 4}, {"TimeLimit", 1000}},
                              {2, 2000, 10, {"Motor_Current", "Electric_Angle"}}));
        EXPECT_GT(bench.Var("test_flag"), 0) << rest_rad;
        EXPECT_NEAR(bench.Var("APOS"), start, 12) << rest_rad;
        const double rotor =
            kPolePairs * bench.drive->core().plant().State().angle_rad * 65536 / kTwoPi;
        const auto points = bench.Log();
        ASSERT_FALSE(points.empty());
        EXPECT_NEAR(points.back()[2], rotor - 16384, 4550) << rest_rad;
        EXPECT_NEAR(points.back()[1], 4095, 50);
    }
}

}  // namespace
}  // namespace orvex::sim
