#include <gtest/gtest.h>

#include <cmath>

#include "compute/control_loop_options.h"
#include "compute/protection_options.h"
#include "tests/compute/loop_fixture.h"

namespace {

using orvex_test::SetupBuilder;
using orvex_test::Value;

// A zero clock, peak current, period or register makes a scale or a quotient infinite or
// undefined. The conversion still runs, but its target keeps the value it had: no NaN or
// infinity reaches a register or a parameter, and no truncation turns one into a count.
TEST(DegenerateScales, TargetKeepsItsValue) {
    const struct {
        const char* zeroed;  // parameter set to 0 before the conversion
        int (*conversion)(CMC_Setup*);
        const char* target;
    } cases[] = {
        {"ImaxPS", orvex::ComputeOption_SATS, "SATS"},
        {"ImaxPS", orvex::ComputeOption_IMAXS, "IMAXS"},
        {"ImaxPS", orvex::ComputeOption_FFL, "FFL"},
        {"ImaxPS", orvex::ComputeOption_IMAXPROT, "IMAXPROT"},
        {"ImaxPS", orvex::ComputeOption_I2TINTLIM_D, "I2TINTLIM_D"},
        {"ImaxPS", orvex::ReadBack_I_I2t_M, "I_I2t_M"},
        {"ImaxPS", orvex::ReadBack_OffsetCurrent, "OffsetCurrent"},
        {"DSP_freq", orvex::ComputeOption_FILTERQ, "FILTERQ"},  // 0 x inf in the exponent
        {"DSP_freq", orvex::ComputeOption_I2TINTLIM_M, "I2TINTLIM_M"},
        {"VdcMaxMeasurable", orvex::ComputeOption_UMAXPROT, "UMAXPROT"},
        {"Ts_S", orvex::ComputeOption_TIMAXPROT, "TIMAXPROT"},
        {"SFI2T_D", orvex::ReadBack_t_I2t_D, "t_I2t_D"},
        {"Vdc", orvex::ComputeOption_BOOST, "BOOST"},
        {"Load_transmission", orvex::ComputeOption_SERRMAX, "SERRMAX"},
        {"MECRESL", orvex::ReadBack_ERR_position, "ERR_position"},
    };
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Drive()
                     .Real("IlimPS", 2, "A")
                     .Real("IPSatS", 50, "%")
                     .Real("isCompensateGravitationalLoads", 1)
                     .Real("OffsetCurrent", 0, "A")
                     .Real("isUseFilterOnCrtCtrlOutput", 1)
                     .Real("FilterOnCurrentControllerOutput", 0, "1/s")
                     .Real("Imax_Prot", 3, "A")
                     .Real("time_Imax_Prot", 0.01, "s")
                     .Real("I_I2t_D", 6, "A")
                     .Real("t_I2t_D", 10, "s")
                     .Real("I_I2t_M", 4, "A")
                     .Real("t_I2t_M", 10, "s")
                     .Real("UMAX_PROT", 60, "V")
                     .Real("R", 1, "Ohm")
                     .Real("ERR_speed", 5, "rad/s")
                     .Real("ERR_position", 0.1, "rad")
                     .Option("SATS", 7)
                     .Option("IMAXS", 7)
                     .Option("FFL", 7)
                     .Option("IMAXPROT", 7)
                     .Option("I2TINTLIM_D", 7)
                     .Option("I2TINTLIM_M", 7e6)
                     .Option("FILTERQ", 7)
                     .Option("UMAXPROT", 7)
                     .Option("TIMAXPROT", 7)
                     .Option("SFI2T_D", 7)
                     .Option("BOOST", 7)
                     .Option("SERRMAX", 7)
                     .Option("ERRMAX", 7)
                     .Build();
        const double before = Value(*s, c.target);
        s->SetParameterValueInBaseUnit(c.zeroed, 0);
        ASSERT_EQ(c.conversion(s.get()), 1) << c.target;
        EXPECT_EQ(Value(*s, c.target), before) << c.target << " with " << c.zeroed << " 0";
    }
}

TEST(DegenerateScales, SaturationAtFullScaleLeavesThePercentage) {
    // SATS = 32767 is a zero current limit: the integral share 0 / 0 is undefined.
    auto s =
        SetupBuilder().Real("IPSatS", 40, "%").Option("IMAXS", 32767).Option("SATS", 32767).Build();
    ASSERT_EQ(orvex::ReadBack_IPSatS(s.get()), 1);
    EXPECT_EQ(Value(*s, "IPSatS"), 40);
}

}  // namespace
