#include "compute/gain_design.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>

#include "tests/compute/setup_builder.h"

namespace {

using std::numbers::pi;

using compute_test::Param;
using compute_test::Real;
using Params = std::vector<Param>;

Params operator+(Params a, const Params& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A drive whose scales are round numbers: T_C = 50 us, T_S = 500 us (40 MHz clock,
// PWMPER 1000, CLPER 1, SLPER 10); k_I = 65520 / (2 x 8.19 A) = 4000 counts/A;
// k_V = 32767 / 32.767 V = 1000 counts/V; k_Pm = 4000 / 2pi counts/rad, so
// k_Sm = T_S x k_Pm = 1 / pi. Every gain starts at -7, a value no design gives.
std::unique_ptr<CMC_Setup> Drive(const Params& extra) {
    auto b = compute_test::PowerStageDrive().Real("ImaxPS", 8.19, "A").Real("Vdc", 32.767, "V");
    for (const char* gain :
         {"Kp_C_scl", "Ki_C_scl", "Kp_S_scl", "Ki_S_scl", "Kp_P_scl", "Ki_P_scl", "Kd_P_scl"})
        b.Real(gain, -7, "", -1e12, 1e12);
    return b.Add(extra).Build();
}

double Get(const CMC_Setup& s, const char* name) {
    return s.GetParameterValueInBaseUnit(name);
}

Params CurrentLoop(double L, double R, double bandwidth, double damping) {
    return {Real("L", L, "H"), Real("R", R, "Ohm"), Real("PB_C", bandwidth, "1/s"),
            Real("Dump_C", damping)};
}

// g = R x k_V / k_I = R / 4 throughout.
TEST(CurrentControllerDesign, BranchesOnFourLoopPeriods) {
    const double root2 = std::sqrt(2.0);
    struct Case {
        const char* what;
        double L, R, bandwidth, damping, kp, ki;
    } cases[] = {
        // tau = 2 ms, far above 4 T_C = 200 us: Kp = g (2 D PB tau - 1), Ki = g PB^2 tau T_C.
        {"slow winding", 2e-3, 1.0, 5000, 1.0, 0.25 * 19, 0.25 * 2.5},
        {"slow winding, light damping", 2e-3, 2.0, 5000, 0.5, 0.5 * (5000 * 1e-3 - 1),
         0.5 * 25e6 * 1e-3 * 50e-6},
        // tau exactly 4 T_C takes the sampling-delay branch: Kp = g (sqrt 2 - 1),
        // Ki = g PB T_C, the damping plays no part.
        {"at the threshold", 200e-6, 1.0, 5000, 1.0, 0.25 * (root2 - 1), 0.25 * 5000 * 50e-6},
        {"at the threshold, other damping", 200e-6, 1.0, 5000, 3.0, 0.25 * (root2 - 1),
         0.25 * 5000 * 50e-6},
        // tau = 2 T_C: Kp = g (2 / (2 sqrt 2) - 1), negative.
        {"fast winding", 100e-6, 1.0, 2000, 1.0, 0.25 * (1 / root2 - 1), 0.25 * 2000 * 50e-6},
        // Just above the threshold the proportional gain jumps to g (8 D PB T_C - 1).
        {"just above the threshold", 200e-6 * (1 + 1e-12), 1.0, 5000, 1.0,
         0.25 * (8 * 5000 * 50e-6 - 1), 0.25 * 25e6 * 200e-6 * 50e-6},
    };
    for (const auto& c : cases) {
        auto s = Drive(CurrentLoop(c.L, c.R, c.bandwidth, c.damping));
        ASSERT_EQ(orvex::DesignCurrentControllerGains(s.get()), 1) << c.what;
        EXPECT_NEAR(Get(*s, "Kp_C_scl"), c.kp, 1e-9 * std::abs(c.kp)) << c.what;
        EXPECT_NEAR(Get(*s, "Ki_C_scl"), c.ki, 1e-9 * std::abs(c.ki)) << c.what;
    }
}

Params OuterLoops(double Jt, const Params& more = {}) {
    return Params{Real("Jt", Jt, "kg*m^2"), Real("K", 0.5, "Nm/A"),  Real("PB_S", 200, "1/s"),
                  Real("Dump_S", 1.0),      Real("PB_P", 50, "1/s"), Real("Dump_P", 1.0)} +
           more;
}

Params Switch(const char* name, int value) {
    return {compute_test::Switch(name, value)};
}

// c = Jt k_I / (k_Sm K) = 1e-4 x 4000 x pi / 0.5 = 0.8 pi.
TEST(SpeedControllerDesign, IntegralGainFollowsTheLoopPeriod) {
    struct Case {
        const char* what;
        Params fast_loop;
        double Jt, ki, kp;
    } cases[] = {
        {"no fast-loop option", {}, 1e-4, 200.0 * 200 * 500e-6 * 0.8 * pi, 2 * 200 * 0.8 * pi},
        {"fast loop off", Switch("PosSpd_in_FastLoop", 0), 1e-4, 16 * pi, 320 * pi},
        {"fast loop on", Switch("PosSpd_in_FastLoop", 1), 1e-4, 1.6 * pi, 320 * pi},
        {"double inertia", {}, 2e-4, 32 * pi, 640 * pi},
    };
    for (const auto& c : cases) {
        auto s = Drive(OuterLoops(c.Jt, c.fast_loop));
        ASSERT_EQ(orvex::DesignSpeedControllerGains(s.get()), 1) << c.what;
        EXPECT_NEAR(Get(*s, "Ki_S_scl"), c.ki, 1e-9 * c.ki) << c.what;
        EXPECT_NEAR(Get(*s, "Kp_S_scl"), c.kp, 1e-9 * c.kp) << c.what;
    }
}

Params Choice(const char* name, int value) {
    return {compute_test::Choice(name, value, 0, 3)};
}

// Type 1 works on k_Sm / k_Pm = T_S; type 0 on c = Jt k_I / (k_Pm K) = 4 pi x 1e-4
// (for Jt = 1e-4) with a = 2 Dump_P + 1 = 3.
TEST(PositionControllerDesign, SpeedCommandingAndCurrentCommandingDesigns) {
    struct Case {
        const char* what;
        Params more;
        double Jt, ki, kp, kd;
    } cases[] = {
        {"commands speed", Choice("PositionControlType", 1), 1e-4, 2500 * 500e-6 * 500e-6,
         2 * 50 * 500e-6, 0.0},
        {"commands speed, double inertia", Choice("PositionControlType", 1), 2e-4,
         2500 * 500e-6 * 500e-6, 2 * 50 * 500e-6, 0.0},
        {"commands speed, fast loop",
         Choice("PositionControlType", 1) + Switch("PosSpd_in_FastLoop", 1), 1e-4,
         2500 * 50e-6 * 500e-6, 2 * 50 * 500e-6, 0.0},
        {"commands current", Choice("PositionControlType", 0), 1e-4, 0.025 * pi, 3 * pi, 120 * pi},
        {"commands current, double inertia", Choice("PositionControlType", 0), 2e-4, 0.05 * pi,
         6 * pi, 240 * pi},
        {"commands current, fast loop",
         Choice("PositionControlType", 0) + Switch("PosSpd_in_FastLoop", 1), 1e-4, 0.0025 * pi,
         3 * pi, 1200 * pi},
    };
    for (const auto& c : cases) {
        auto s = Drive(OuterLoops(c.Jt, c.more));
        ASSERT_EQ(orvex::DesignPositionControllerGains(s.get()), 1) << c.what;
        EXPECT_NEAR(Get(*s, "Ki_P_scl"), c.ki, 1e-9 * c.ki) << c.what;
        EXPECT_NEAR(Get(*s, "Kp_P_scl"), c.kp, 1e-9 * c.kp) << c.what;
        EXPECT_EQ(Get(*s, "Kd_P_scl") == 0.0, c.kd == 0.0) << c.what;
        EXPECT_NEAR(Get(*s, "Kd_P_scl"), c.kd, 1e-9 * c.kd) << c.what;
    }
}

// An absent parameter, or one that makes the gains undefined (a zero resistance, motor
// constant or resolution), leaves the loop its whole previous set rather than a mix.
TEST(GainDesign, MissingOrUndefinedInputsWriteNothing) {
    const Params speed_no_k = {Real("Jt", 1e-4, "kg*m^2"), Real("PB_S", 200, "1/s"),
                               Real("Dump_S", 1), Real("PB_P", 50, "1/s"), Real("Dump_P", 1)};
    struct Case {
        const char* what;
        Params extra;
        int (*design)(CMC_Setup*);
        double mecresl = 4000;
    } cases[] = {
        {"current without R",
         {Real("L", 1e-3, "H"), Real("PB_C", 1000, "1/s"), Real("Dump_C", 1)},
         orvex::DesignCurrentControllerGains},
        {"speed without K", speed_no_k, orvex::DesignSpeedControllerGains},
        {"position without PositionControlType", OuterLoops(1e-4),
         orvex::DesignPositionControllerGains},
        {"current, R = 0", CurrentLoop(1e-3, 0.0, 1000, 1), orvex::DesignCurrentControllerGains},
        {"speed, K = 0", speed_no_k + Params{Real("K", 0, "Nm/A")},
         orvex::DesignSpeedControllerGains},
        {"position type 0, K = 0",
         speed_no_k + Params{Real("K", 0, "Nm/A")} + Choice("PositionControlType", 0),
         orvex::DesignPositionControllerGains},
        // k_Sm / k_Pm is 0 / 0; Kd_P_scl = 0 alone would be finite.
        {"position type 1, no resolution", OuterLoops(1e-4, Choice("PositionControlType", 1)),
         orvex::DesignPositionControllerGains, 0},
    };
    for (const auto& c : cases) {
        auto s = Drive(c.extra);
        s->FindParameter("MECRESL")->SetValueInBaseUnit(c.mecresl);
        EXPECT_EQ(c.design(s.get()), 0) << c.what;
        for (const char* gain :
             {"Kp_C_scl", "Ki_C_scl", "Kp_S_scl", "Ki_S_scl", "Kp_P_scl", "Ki_P_scl", "Kd_P_scl"})
            EXPECT_EQ(Get(*s, gain), -7) << c.what << " " << gain;
    }
}

}  // namespace
