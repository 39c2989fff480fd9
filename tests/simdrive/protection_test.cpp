// Protections and loop details run from the registers, on the drive core alone.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "bench.h"
#include "simdrive/controllers.h"
#include "simdrive/drive_core.h"

namespace orvex::sim {
namespace {

constexpr double kKi = testing::kCountsPerAmp;

// Current loop gains of the test setup, for the default motor.
void WriteCurrentLoop(RegisterImage& r) {
    r.Write("KPI", 31057, 16);
    r.Write("SFTKPI", 2, 16);
    r.Write("KII", 29112, 16);
    r.Write("SFTKII", 0, 16);
    r.Write("ENC2THL", 53687091, 32);
}

// Runs until a protection trips or `max_s` passes; returns the time [s].
double RunUntilTrip(DriveCore& core, double max_s) {
    while (core.time_s() < max_s && !core.tripped()) core.Step(nullptr);
    return core.time_s();
}

TEST(Protection, MotorI2tTripsAfterTheSetTimeAtTheSetCurrent) {
    // Rated 1 A, limit 2 A for 2 s: at 2 A the sum reaches the limit after 2 s;
    // at 1.5 A after 2 x (4 - 1) / (2.25 - 1) = 4.8 s. (The scale register is 16
    // bits wide, so the time is at least 2048 slow samples.)
    const double t_s = 2.0, rated = 1.0 * kKi, limit = 2.0 * kKi;
    const double ts = testing::kSlowPeriod_s;
    struct Case {
        double current_A, expected_s;
    } cases[] = {{2.0, 2.0}, {1.5, 4.8}, {0.9, -1}};
    for (const Case& c : cases) {
        const Scenario s = testing::LoadScenario();
        RegisterImage r;
        WriteCurrentLoop(r);
        r.Write("PCR", kPcrMotorI2t, 16);
        r.Write("II2TPROT_M", rated, 16);
        r.Write("SFI2T_M", ts * 67108864.0 / t_s, 16);
        r.Write(
            "I2TINTLIM_M",
            (limit * limit - rated * rated) * 67108864.0 / (drive::kFullScale * drive::kFullScale),
            32);
        DriveCore core(s, r);
        ASSERT_TRUE(core.PowerOn());
        core.CommandCurrent(c.current_A * kKi, -16384, false);  // along phase A: no torque
        const double tripped_at = RunUntilTrip(core, 6.0);
        if (c.expected_s < 0) {
            EXPECT_FALSE(core.tripped()) << c.current_A;
        } else {
            EXPECT_EQ(core.mer() & kMerI2t, kMerI2t);
            EXPECT_NEAR(tripped_at, c.expected_s, 0.03 * c.expected_s) << c.current_A;
        }
    }
}

TEST(Protection, SpeedControlErrorTripsWhenTheShaftCannotFollow) {
    const Scenario s =
        testing::LoadScenario("default.json", [](Scenario& sc) { sc.faults.brake_locked = true; });
    RegisterImage r;
    WriteCurrentLoop(r);
    r.Write("KPS", 17244, 16);
    r.Write("SFTKPS", 12, 16);
    r.Write("SATS", 32767 - 8000, 16);
    r.Write("IMAXS", 32767 - 8000, 16);
    r.Write("SERRMAX", 5, 16);
    r.Write("TSERRMAX", 40, 16);  // 20 ms
    DriveCore core(s, r);
    core.AlignElectricAngleHere();
    ASSERT_TRUE(core.PowerOn());
    core.CommandSpeed(10);
    const double tripped_at = RunUntilTrip(core, 1.0);
    EXPECT_EQ(core.mer() & kMerControlError, kMerControlError);
    EXPECT_NEAR(tripped_at, 41 * testing::kSlowPeriod_s, testing::kSlowPeriod_s);
    EXPECT_FALSE(core.power_on());
}

TEST(Protection, ErrorTimeOf65535SwitchesTheProtectionOff) {
    const Scenario s =
        testing::LoadScenario("default.json", [](Scenario& sc) { sc.faults.brake_locked = true; });
    RegisterImage r;
    WriteCurrentLoop(r);
    r.Write("SERRMAX", 1, 16);
    r.Write("TSERRMAX", 65535, 16);
    DriveCore core(s, r);
    core.AlignElectricAngleHere();
    ASSERT_TRUE(core.PowerOn());
    core.CommandSpeed(10);
    RunUntilTrip(core, 0.5);
    EXPECT_FALSE(core.tripped());
}

TEST(CurrentLoop, OffsetCurrentAddsToTheReference) {
    // FFL (gravity compensation) is added to every current reference.
    for (double offset : {0.0, 800.0, -1500.0}) {
        const Scenario s = testing::LoadScenario();
        RegisterImage r;
        WriteCurrentLoop(r);
        r.Write("FFL", offset, 16);
        DriveCore core(s, r);
        ASSERT_TRUE(core.PowerOn());
        core.CommandCurrent(1000, -16384, false);
        for (int k = 0; k < 4000; ++k) core.Step(nullptr);
        EXPECT_NEAR(core.plant().State().current_a_A * kKi, 1000 + offset, 5) << offset;
    }
}

TEST(PositionController, IntegralStopsWindingWhileTheCurrentIsAtItsLimit) {
    // Kp 1, Ki 0.1, output limit 10, integral limit 100. Held, the sum moves only while
    // the output is within its limit or the error pulls it back from there.
    struct Case {
        const char* what;
        Windup windup;
        double start_integral, error;
        double integral_after_50;
    } cases[] = {
        {"saturating error, held", Windup::kHold, 0, 20, 0},
        {"saturating error, summed", Windup::kIntegrate, 0, 20, 100},
        // Down from 50 until the output, -20 + sum, reaches the other limit.
        {"error pulling back from the limit, held", Windup::kHold, 50, -20, 10},
        {"within the limit, held", Windup::kHold, 0, 1, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PidState pid;
        pid.integral = c.start_integral;
        for (int k = 0; k < 50; ++k) PidSample(pid, c.error, 1.0, 0.1, 0, 0, 100, 10, c.windup);
        EXPECT_NEAR(pid.integral, c.integral_after_50, 1e-9);
    }
}

TEST(Biquad, ScaledCoefficientsFilterAsDesigned) {
    // b = (K/(K+1), K/(K+1), 0), a1 = (K-1)/(K+1): a first-order low pass, scaled
    // by 2^31 / SF as the registers hold it.
    const double k = std::tan(std::numbers::pi * 100 * testing::kSlowPeriod_s);
    BiquadCoefficients low_pass{k / (k + 1), k / (k + 1), 0, (k - 1) / (k + 1), 0, 1};
    for (double* c : {&low_pass.b0, &low_pass.b1, &low_pass.b2, &low_pass.a1, &low_pass.a2})
        *c = std::floor(*c * 2147483648.0 + 0.5);
    BiquadCoefficients identity{1073741824, 0, 0, 0, 0, 2};
    struct Case {
        BiquadCoefficients c;
        double dc_gain, nyquist_gain;
    } cases[] = {{low_pass, 1.0, 0.0}, {identity, 1.0, 1.0}};
    for (const Case& t : cases) {
        BiquadChain dc, alternating;
        dc.Configure(&t.c, 1);
        alternating.Configure(&t.c, 1);
        double y_dc = 0, y_alt = 0;
        for (int n = 0; n < 2000; ++n) {
            y_dc = dc.Filter(1.0);
            y_alt = alternating.Filter(n % 2 ? -1.0 : 1.0);
        }
        EXPECT_NEAR(y_dc, t.dc_gain, 1e-6);
        EXPECT_NEAR(std::fabs(y_alt), t.nyquist_gain, 1e-6);
    }
}

}  // namespace
}  // namespace orvex::sim
