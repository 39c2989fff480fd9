// The passband bounds of the speed loop and of the position loop cascaded on it,
// against the loops themselves: the designed gains run sample by sample on a rigid
// inertia, speed read as the motion over the last sample, the current held over the
// next, as the drive runs them.
#include "tuning/passband_limits.h"

#include <gtest/gtest.h>

#include <cmath>

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
        {"PB_P", 1, 2 * M_PI * 50, true},   // on the speed loop: bounded by it
        {"PB_P", 0, 2 * M_PI * 50, false},  // straight to current: not this bound's
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

}  // namespace
