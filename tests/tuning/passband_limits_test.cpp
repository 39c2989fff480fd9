// The passband bounds of the speed loop and of the position loop cascaded on it,
// against the loops themselves: the designed gains run sample by sample on a rigid
// inertia, speed read as the motion over the last sample, the current held over the
// next, as the drive runs them.
#include "tuning/passband_limits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "compute/gain_design.h"
#include "host/setup/setup_file.h"

namespace {

using orvex::tuning::CascadedPassbandLimit;
using orvex::tuning::PiLoopPassbandLimit;

constexpr double kPeriod = 5e-4;  // the speed loop of a 20 kHz drive, every tenth period

// The unit step of the designed speed loop (or of the position loop around it when
// `position_w` > 0); true when it has settled within 1e-3 after 4 s.
bool Settles(double speed_w, double speed_z, double position_w = 0, double position_z = 0) {
    double x = 0, v = 0, previous_x = 0, speed_integral = 0, position_integral = 0, worst = 0;
    const int samples = static_cast<int>(4.0 / kPeriod);
    for (int k = 0; k < samples; ++k) {
        const double measured = (x - previous_x) / kPeriod;
        previous_x = x;
        double reference = 1;
        if (position_w > 0) {
            const double e = 1 - x;
            position_integral += position_w * position_w * kPeriod * e;
            reference = 2 * position_z * position_w * e + position_integral;
        }
        const double e = reference - measured;
        speed_integral += speed_w * speed_w * kPeriod * e;
        const double a = 2 * speed_z * speed_w * e + speed_integral;
        x += v * kPeriod + 0.5 * a * kPeriod * kPeriod;
        v += a * kPeriod;
        if (k > samples * 3 / 4) worst = std::max(worst, std::fabs((position_w > 0 ? x : v) - 1));
    }
    return std::isfinite(worst) && worst < 1e-3;
}

// Some passband between 1.5 and 6 times `bound` does not settle: the bound is not far
// below where the loop fails. (A sampled loop may settle again at some faster passband,
// so no single one is asked.)
template <class Loop>
bool FailsWithinSixTimes(double bound, Loop settles) {
    for (const double f : {1.5, 2.0, 2.5, 3.0, 3.5, 4.0, 5.0, 6.0})
        if (!settles(f * bound)) return true;
    return false;
}

TEST(PassbandLimit, SpeedLoopIsStableAtItsBoundAndNotFarBeyond) {
    for (const double z : {0.3, 0.8, 2.0}) {
        SCOPED_TRACE(testing::Message() << "damping " << z);
        const double bound = PiLoopPassbandLimit(z, kPeriod);
        EXPECT_TRUE(Settles(bound, z));
        EXPECT_TRUE(FailsWithinSixTimes(bound, [z](double w) { return Settles(w, z); }));
    }
    // Slower sampling or a slower current loop: a proportionally lower bound.
    EXPECT_NEAR(PiLoopPassbandLimit(0.8, 2 * kPeriod), PiLoopPassbandLimit(0.8, kPeriod) / 2, 1);
}

TEST(PassbandLimit, CascadedPositionLoopIsStableAtItsBoundAndNotFarBeyond) {
    const double speed_w = 2 * M_PI * 25;
    struct Case {
        double speed_z, position_z;
    };
    for (const Case c : {Case{0.3, 0.3}, Case{0.3, 1.0}, Case{0.8, 0.3}, Case{0.8, 1.0},
                         Case{2.0, 0.3}, Case{2.0, 1.0}}) {
        SCOPED_TRACE(testing::Message()
                     << "speed z " << c.speed_z << ", position z " << c.position_z);
        const double bound = CascadedPassbandLimit(
            c.position_z, {2 * c.speed_z * speed_w, speed_w * speed_w, kPeriod});
        EXPECT_TRUE(Settles(speed_w, c.speed_z, bound, c.position_z));
        EXPECT_TRUE(FailsWithinSixTimes(
            bound, [&](double w) { return Settles(speed_w, c.speed_z, w, c.position_z); }));
    }
}

TEST(PassbandLimit, DialogRangeTakesTheSmallerOfMaximAndTheBound) {
    auto loaded = axis::LoadSetupFile(ORVEX_RESOURCE_DIR "/setups/demo.json");
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    CMC_Setup* setup = loaded.setup.get();
    const double speed_maxim = setup->GetParameterValueInBaseUnit("PB_S_maxim");
    struct Case {
        const char* name;
        int position_control_type;
        double maxim_rad_s;  // "_maxim" set to this
        bool limited;
    };
    const Case cases[] = {
        {"PB_S", 1, speed_maxim, true},  // 200 Hz at a 2 kHz loop rate: bounded
        {"PB_S", 1, 2 * M_PI * 10, false},
        {"PB_P", 1, 2 * M_PI * 50, true},  // on the speed loop: bounded by it
        {"PB_P", 0, 2 * M_PI * 50, true},  // straight to current: sampling, current loop
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " type " << c.position_control_type);
        setup->SetParameterValueInBaseUnit("PositionControlType", c.position_control_type);
        setup->SetParameterValueInBaseUnit((std::string(c.name) + "_maxim").c_str(), c.maxim_rad_s);
        CMC_Parameter* p = setup->FindParameter(c.name);
        p->SetMaxInBaseUnit(1e6);
        p->SetValueInBaseUnit(c.maxim_rad_s);
        const auto range = orvex::tuning::ApplyAcceptedPassband(setup, c.name);
        ASSERT_TRUE(range.has_value());
        EXPECT_EQ(range->limited, c.limited);
        EXPECT_EQ(range->max_rad_s < c.maxim_rad_s, c.limited);
        // The parameter takes the range, and a value beyond it lands on its maximum.
        EXPECT_DOUBLE_EQ(p->GetMaxInBaseUnit(), range->max_rad_s);
        EXPECT_DOUBLE_EQ(p->GetValueInBaseUnit(), range->max_rad_s);
    }
    EXPECT_FALSE(orvex::tuning::AcceptedPassband(setup, "PB_X").has_value());
}

using orvex::tuning::DirectLoopPassbands;
using orvex::tuning::PositionLoopPlant;
using orvex::tuning::PassbandRange;

// A NEMA 23 on a 2 kHz position loop and an 800 Hz current loop.
constexpr PositionLoopPlant kPlant{.total_inertia_kgm2 = 1.3e-4,
                                 .torque_constant_Nm_per_A = 0.45,
                                 .rated_current_A = 2.8,
                                 .full_steps_per_rev = 200,
                                 .damping = 1.0,
                                 .period_s = 500e-6,
                                 .current_bandwidth_rad_s = 5026.5};

TEST(DirectLoopPassbands, LowerBoundFollowsDetentOverInertiaUpperBoundTheSlowerLoop) {
    // The lower bound goes with the square root of the detent (holding torque) over the
    // inertia; the upper bound with the sampling rate until the current loop is the
    // slower of the two, and both fall as the damping widens the crossover.
    const PassbandRange base = DirectLoopPassbands(kPlant);
    struct Case {
        const char* what;
        PositionLoopPlant plant;
        double min_ratio, max_ratio;  // against the base plant's bounds
    };
    auto with = [](auto change) {
        PositionLoopPlant p = kPlant;
        change(p);
        return p;
    };
    const Case cases[] = {
        {"four times the inertia", with([](auto& p) { p.total_inertia_kgm2 *= 4; }), 0.5, 1},
        {"four times the holding torque", with([](auto& p) { p.rated_current_A *= 4; }), 2, 1},
        {"twice the full steps", with([](auto& p) { p.full_steps_per_rev *= 2; }), std::sqrt(2.0),
         1},
        {"half the period, current loop binds", with([](auto& p) { p.period_s /= 2; }), 1,
         5026.5 / 30 / base.max_rad_s},
        {"a faster current loop too", with([](auto& p) {
             p.period_s /= 2;
             p.current_bandwidth_rad_s *= 4;
         }),
         1, 2},
        {"damping 2: crossover at 5 PB", with([](auto& p) { p.damping = 2; }), std::sqrt(3.0 / 5.0),
         3.0 / 5.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PassbandRange r = DirectLoopPassbands(c.plant);
        EXPECT_NEAR(r.min_rad_s / base.min_rad_s, c.min_ratio, 1e-9);
        EXPECT_NEAR(r.max_rad_s / base.max_rad_s, c.max_ratio, 1e-9);
    }
    // The base plant: sound from 8.6 Hz (2 % detent at a full step) to 26.5 Hz.
    EXPECT_NEAR(base.min_rad_s / (2 * M_PI), 8.58, 0.01);
    EXPECT_NEAR(base.max_rad_s / (2 * M_PI), 26.53, 0.01);
}

TEST(PositionLoopPassbands, RefusalSaysWhereTheSoundRangeLies) {
    struct Case {
        bool cascaded;
        PassbandRange range;
        double passband_rad_s;
        const char* expected;  // a part of the message; empty: no refusal
    } cases[] = {
        {false, {100, 200}, 150, ""},
        {false, {100, 200}, 100, ""},
        {false, {100, 200}, 99, "between 15.9 Hz and 31.8 Hz"},
        {false, {100, 200}, 201, "between 15.9 Hz and 31.8 Hz"},
        {false, {200, 100}, 150, "No bandwidth suits a position loop that commands current"},
        {true, {100, 200}, 200, ""},
        {true, {100, 200}, 99, "on this speed loop must be between 15.9 Hz and 31.8 Hz"},
        {true, {200, 100}, 150, "above 31.8 Hz to hold the shaft against the motor's detent"},
        {true, {200, 100}, 150, "sample faster"},
    };
    for (const Case& c : cases) {
        const std::string text =
            c.cascaded ? orvex::tuning::CascadedLoopRefusal(c.range, c.passband_rad_s)
                       : orvex::tuning::DirectLoopRefusal(c.range, c.passband_rad_s);
        if (*c.expected == 0)
            EXPECT_EQ(text, "") << c.passband_rad_s;
        else
            EXPECT_NE(text.find(c.expected), std::string::npos) << text;
    }
    // With a speed loop that would leave room, the refusal names it, in whole Hz up.
    const std::string remedy = orvex::tuning::CascadedLoopRefusal({200, 100}, 150, 2 * M_PI * 39.2);
    EXPECT_NE(remedy.find("Tune the speed loop to at least 40 Hz first"), std::string::npos)
        << remedy;
}

TEST(CascadedDetentMinimum, TheTwoLoopsTogetherAreAsStiffAsTheDetentAtOneFullStep) {
    // kPlant's detent at one full step: 2 % of sqrt 2 x 0.45 x 2.8 N m over 2 pi / 200 rad.
    const double detent_Nm_per_rad = 0.02 * std::sqrt(2.0) * 0.45 * 2.8 * 200 / (2 * M_PI);
    const double jt = kPlant.total_inertia_kgm2;
    auto speed_loop = [](double hz, double z) {
        const double w = 2 * M_PI * hz;
        return orvex::tuning::InnerLoop{2 * z * w, w * w, kPeriod};
    };
    struct Case {
        const char* what;
        double speed_hz, speed_z, position_z;
    } cases[] = {{"a soft speed loop", 10, 0.8, 1.0},
                 {"wider position damping", 10, 0.8, 2.0},
                 {"a damped speed loop", 10, 2.0, 1.0},
                 {"a speed loop just short of the detent", 12, 0.8, 1.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PositionLoopPlant plant = kPlant;
        plant.damping = c.position_z;
        const auto speed = speed_loop(c.speed_hz, c.speed_z);
        const double w = orvex::tuning::CascadedDetentMinimum(plant, speed);
        ASSERT_GT(w, 0);
        // The spring the cascade makes behind a standing target at that passband.
        EXPECT_NEAR(jt * (speed.b + speed.a * 2 * c.position_z * w), detent_Nm_per_rad,
                    1e-9 * detent_Nm_per_rad);
    }
    // A speed loop whose integral alone outweighs the detent leaves no lower bound.
    EXPECT_EQ(orvex::tuning::CascadedDetentMinimum(kPlant, speed_loop(15, 0.8)), 0);
    EXPECT_EQ(orvex::tuning::CascadedDetentMinimum(kPlant, speed_loop(50, 0.8)), 0);
}

// The speed loop the refusal asks for is the one at which the position loop's range
// opens: the demo with seven times its rated current (a detent its 25 Hz speed loop
// cannot hold) gets a passband a little above it, none a little below; a detent no
// speed loop at this sampling holds gets no speed loop at all.
TEST(SpeedPassbandForPositionLoop, OpensThePositionLoopsRange) {
    auto loaded = axis::LoadSetupFile(ORVEX_RESOURCE_DIR "/setups/demo.json");
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    CMC_Setup* setup = loaded.setup.get();
    setup->SetParameterValueInBaseUnit("PositionControlType", 1);
    const double rated = setup->GetParameterValueInBaseUnit("In");
    setup->SetParameterValueInBaseUnit("In", 7 * rated);  // 19.6 A, within its range
    ASSERT_TRUE(orvex::tuning::AcceptedPassband(setup, "PB_P")->Empty());
    const auto needed = orvex::tuning::SpeedPassbandForPositionLoop(setup);
    ASSERT_TRUE(needed.has_value());
    EXPECT_GT(*needed, setup->GetParameterValueInBaseUnit("PB_S"));
    for (const double factor : {0.97, 1.03}) {
        SCOPED_TRACE(factor);
        setup->SetParameterValueInBaseUnit("PB_S", factor * *needed);
        ASSERT_NE(orvex::DesignSpeedControllerGains(setup), 0);
        EXPECT_EQ(orvex::tuning::AcceptedPassband(setup, "PB_P")->Empty(), factor < 1);
    }
    setup->SetParameterValueInBaseUnit("Jt", setup->GetParameterValueInBaseUnit("Jt") / 1000);
    EXPECT_FALSE(orvex::tuning::SpeedPassbandForPositionLoop(setup).has_value());
}

}  // namespace
