// The arithmetic that turns what the identification programs report into amperes,
// ohms, henries and kg*m^2, and the verdicts on it.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "compute/identification.h"

namespace {

constexpr double kPi = std::numbers::pi;

TEST(PhaseConnection, VerdictOnTheTwoPhaseCurrents) {
    struct Case {
        double ia, ib, test_current;
        bool good;
        const char* why;
    };
    const Case cases[] = {
        {1.0, 1.0, 1.0, true, "balanced at the test current"},
        {0.5, 0.5, 1.0, false, "IA must exceed half the test current"},
        {0.51, 0.5, 1.0, true, "just above half"},
        {0.8, 1.0, 1.0, false, "ratio exactly 0.8 fails"},
        {1.2, 1.0, 1.0, false, "ratio exactly 1.2 fails"},
        {0.81, 1.0, 1.0, true, "ratio just inside"},
        {1.0, 0.0, 1.0, false, "IB zero fails without dividing"},
        {1.0, -1.0, 1.0, true, "IB negative of the same size passes the ratio"},
        {2.1, 2.0, 1.0, false, "IB must stay below twice the test current"},
        {2.1, 1.99, 1.0, true, "IB just below twice the test current"},
        {-1.0, -1.0, 1.0, false, "IA reversed does not carry the test current"},
        {0.0, 1.0, 1.0, false, "phase A open"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(orvex::PhaseConnectionGood(c.ia, c.ib, c.test_current), c.good) << c.why;
}

TEST(PhaseConnection, CurrentCountsToHundredthsOfAnAmpere) {
    struct Case {
        double counts, imaxps_A, adc_max, amperes;
    };
    const Case cases[] = {
        {4095, 8.0, 65520, 1.0},   // 65520 counts span 2 x 8 A
        {4100, 8.0, 65520, 1.0},   // 1.0012 A rounds to 1.00
        {4300, 8.0, 65520, 1.05},  // 1.0501 A
        {-8190, 8.0, 65520, -2.0}, {0, 8.0, 65520, 0.0}, {32760, 4.0, 65520, 4.0},
        {-10, 8.0, 65520, 0.0},  // noise on an open phase: a plain 0, never printed as -0
    };
    for (const Case& c : cases) {
        const double amperes = orvex::PhaseCurrentFromCounts(c.counts, c.imaxps_A, c.adc_max);
        EXPECT_DOUBLE_EQ(amperes, c.amperes) << c.counts;
        EXPECT_EQ(std::signbit(amperes), std::signbit(c.amperes)) << c.counts;
    }
}

TEST(Resistance, FromTheDifferenceOfTwoRuns) {
    // k_V = 32767 / 48 V, k_I = 65520 / 16 A.
    const double k_V = 32767.0 / 48.0, k_I = 65520.0 / 16.0;
    struct Case {
        double r_ohm, drop_V;  // the true resistance and a constant drive drop
    };
    for (const Case& c : {Case{1.12, 0.6}, Case{0.45, 1.2}, Case{12.0, 0.0}}) {
        const double i1 = 2.0 * k_I, i2 = 1.0 * k_I;  // 2 A and 1 A
        const double u1 = (2.0 * c.r_ohm + c.drop_V) * k_V, u2 = (1.0 * c.r_ohm + c.drop_V) * k_V;
        const auto r = orvex::ResistanceFromRuns(u1, i1, u2, i2, k_V, k_I);
        ASSERT_EQ(r.status, orvex::RlStatus::kOk);
        EXPECT_NEAR(r.value, c.r_ohm, 1e-12 * c.r_ohm) << "the drop cancels";
    }
}

TEST(Resistance, NoValueWhenTheCurrentsCannotBeTold) {
    struct Case {
        double u1, i1, u2, i2, k_V, k_I;
        orvex::RlStatus status;
    };
    const Case cases[] = {
        {900, 4000, 500, 4000, 682, 4095, orvex::RlStatus::kEqualCurrents},
        {900, 0, 500, 0, 682, 4095, orvex::RlStatus::kEqualCurrents},
        {900, 4000, 500, 2000, 0, 4095, orvex::RlStatus::kNotFinite},  // Vdc infinite
    };
    for (const Case& c : cases)
        EXPECT_EQ(orvex::ResistanceFromRuns(c.u1, c.i1, c.u2, c.i2, c.k_V, c.k_I).status, c.status);
}

TEST(BusVoltage, FromTheConverterCounts) {
    EXPECT_DOUBLE_EQ(orvex::BusVoltageFromCounts(65520, 100.0, 65520), 100.0);
    EXPECT_DOUBLE_EQ(orvex::BusVoltageFromCounts(16380, 48.0, 65520), 12.0);
}

// The logged points of a sinusoidal voltage of amplitude u on R + j w L: the current
// component in phase (IQ) and 90 degrees behind (ID), in the same counts.
orvex::InductanceMeans Demodulated(double u, double r, double w, double l, int points) {
    orvex::InductanceMeans means;
    const double z2 = r * r + w * w * l * l;
    for (int k = 0; k < points; ++k) means.Add(u * r / z2, u * w * l / z2);
    return means;
}

TEST(Inductance, FromTheCurrentBehindTheVoltage) {
    const double t_c = 50e-6, k_V = 32767.0 / 48.0, k_I = 65520.0 / 16.0;
    struct Case {
        double r_ohm, l_H, theta_inc;
        orvex::RlStatus status;
    };
    const Case cases[] = {
        {1.12, 2.95e-3, 400, orvex::RlStatus::kOk},
        {0.3, 0.2e-3, 2000, orvex::RlStatus::kOk},
        {20.0, 0.9, 5, orvex::RlStatus::kOk},
        {1.0, 0.999999, 5, orvex::RlStatus::kOk},  // just below 1 H
        {1.0, 1.2, 5, orvex::RlStatus::kInductanceTooLarge},
        {0.5, 49e-6, 3000, orvex::RlStatus::kInductanceTooSmall},  // 50 uH is the floor
        {0.5, 51e-6, 3000, orvex::RlStatus::kOk},
    };
    for (const Case& c : cases) {
        const double w = c.theta_inc * 2 * kPi / (t_c * 65535);
        // The voltage u3 in PWM counts, the currents in current counts.
        const double u3_V = 5.0;
        const auto means = Demodulated(u3_V * k_I, c.r_ohm, w, c.l_H, 400);
        const auto l = orvex::InductanceFromRun(means, c.theta_inc, u3_V * k_V, t_c, k_V, k_I);
        EXPECT_EQ(l.status, c.status) << c.l_H;
        if (l.status == orvex::RlStatus::kOk) {
            EXPECT_NEAR(l.value, c.l_H, 1e-9 * c.l_H) << c.l_H;
        }
    }
}

TEST(Inductance, ExactlyOneHenryPasses) {
    // One point whose means give L = 1 exactly: M_d = 1, M_sq = 1, u3 = omega, k_I = k_V.
    orvex::InductanceMeans means;
    means.Add(0.0, 1.0);
    const double t_c = 1.0, theta_inc = 65535.0 / (2 * kPi);  // omega = 1 rad/s
    const auto l = orvex::InductanceFromRun(means, theta_inc, 1.0, t_c, 1.0, 1.0);
    EXPECT_EQ(l.status, orvex::RlStatus::kOk);
    EXPECT_NEAR(l.value, 1.0, 1e-15);
}

TEST(Inductance, NoValueWithoutPointsCurrentOrFrequency) {
    const orvex::InductanceMeans none;
    EXPECT_EQ(orvex::InductanceFromRun(none, 400, 1000, 50e-6, 682, 4095).status,
              orvex::RlStatus::kNoPoints);
    orvex::InductanceMeans silent;
    silent.Add(0, 0);
    EXPECT_EQ(orvex::InductanceFromRun(silent, 400, 1000, 50e-6, 682, 4095).status,
              orvex::RlStatus::kNoCurrent);
    orvex::InductanceMeans some;
    some.Add(100, 50);
    EXPECT_EQ(orvex::InductanceFromRun(some, 0, 1000, 50e-6, 682, 4095).status,
              orvex::RlStatus::kNoCurrent);
}

TEST(RunningMean, EqualsTheArithmeticMean) {
    orvex::RunningMean m;
    const std::vector<double> xs = {4098, 4093, 4101, 4090, 4100};
    for (double x : xs) m.Add(x);
    EXPECT_NEAR(m.Value(), (4098 + 4093 + 4101 + 4090 + 4100) / 5.0, 1e-9);
    EXPECT_EQ(m.Count(), 5u);
}

TEST(Inertia, VerdictInItsOrder) {
    using V = orvex::InertiaVerdict;
    struct Case {
        double flag, dt;
        V verdict;
    };
    const Case cases[] = {
        {1, 120, V::kOk},
        {0, 120, V::kFlagFailed},  // the flag first, even with a valid time
        {-1, -2, V::kFlagFailed},
        {1, -1, V::kSpeedNegative},
        {1, -2, V::kNoSpeed},
        {1, -3, V::kSpeedNotReached},
        {1, -0.5, V::kSpeedNotReached},
        {1, 0, V::kOk},  // a time of 0 is judged by the inertia itself
    };
    for (const Case& c : cases)
        EXPECT_EQ(orvex::InertiaVerdictFor(c.flag, c.dt), c.verdict) << c.flag << " " << c.dt;
}

TEST(Inertia, TorqueOverAcceleration) {
    // 1000 lines: 4000 counts per turn; T_S = 0.5 ms; k_I = 4095 counts per ampere.
    const double t_s = 0.5e-3, k_pm = 4000 / (2 * kPi), k_sm = t_s * k_pm, k_i = 4095;
    struct Case {
        double k_Nm_per_A, current_A, accel_rad_s2, samples;
    };
    for (const Case& c :
         {Case{0.42, 2.0, 2000, 200}, Case{0.05, 0.4, 9000, 37}, Case{1.8, 6.0, 350, 1200}}) {
        const double delta_speed = c.accel_rad_s2 * c.samples * t_s * k_sm;
        const auto j = orvex::TotalInertia(k_sm, k_i, c.samples, t_s, c.k_Nm_per_A, delta_speed,
                                           c.current_A * k_i);
        ASSERT_TRUE(j.has_value());
        const double truth = c.k_Nm_per_A * c.current_A / c.accel_rad_s2;
        EXPECT_NEAR(*j, truth, 1e-12 * truth);
    }
}

TEST(Inertia, NoValueFromAZeroSpeedGainOrTime) {
    const double k_sm = 0.3, k_i = 4095, t_s = 0.5e-3;
    EXPECT_FALSE(orvex::TotalInertia(k_sm, k_i, 100, t_s, 0.42, 0, 8190));
    EXPECT_FALSE(orvex::TotalInertia(k_sm, k_i, 0, t_s, 0.42, 12, 8190));
    EXPECT_FALSE(orvex::TotalInertia(k_sm, k_i, 100, t_s, 0.0, 12, 8190));    // K of 0
    EXPECT_FALSE(orvex::TotalInertia(k_sm, k_i, 100, t_s, 0.42, -12, 8190));  // braking
    EXPECT_FALSE(orvex::TotalInertia(k_sm, 0, 100, t_s, 0.42, 12, 8190));     // no current scale
}

}  // namespace
