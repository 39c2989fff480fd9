#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "compute/control_loop_options.h"
#include "compute/protection_options.h"
#include "host/setup/setup_file.h"

namespace {

using Conversion = int (*)(CMC_Setup*);

// The control loop and protection steps of the forward sequence, in its order.
const Conversion kForward[] = {
    orvex::ComputeOption_T2MAXPROT,    orvex::ComputeOption_UMAXPROT,
    orvex::ComputeOption_UMINPROT,     orvex::ComputeOption_II2TPROT_D,
    orvex::ComputeOption_SFI2T_D,      orvex::ComputeOption_I2TINTLIM_D,
    orvex::ComputeOption_II2TWARLIM_D, orvex::ComputeOption_SATPWM,
    orvex::ComputeOption_PCR,          orvex::ComputeOption_SFTKPI,
    orvex::ComputeOption_KPI,          orvex::ComputeOption_SFTKII,
    orvex::ComputeOption_KII,          orvex::ComputeOption_SATID,
    orvex::ComputeOption_SATIQ,        orvex::ComputeOption_FILTERQ,
    orvex::ComputeOption_FFL,          orvex::ComputeOption_KFFL,
    orvex::ComputeOption_SFTKPS,       orvex::ComputeOption_KPS,
    orvex::ComputeOption_SFTKIS,       orvex::ComputeOption_KIS,
    orvex::ComputeOption_IMAXS,        orvex::ComputeOption_SATS,
    orvex::ComputeOption_SFTKPP,       orvex::ComputeOption_KPP,
    orvex::ComputeOption_SFTKIP,       orvex::ComputeOption_KIP,
    orvex::ComputeOption_SFTKDP,       orvex::ComputeOption_KDP,
    orvex::ComputeOption_KDFP,         orvex::ComputeOption_IMAXP,
    orvex::ComputeOption_SATP,         orvex::ComputeOption_SFTSFFW,
    orvex::ComputeOption_KFFS,         orvex::ComputeOption_SFTAFFW,
    orvex::ComputeOption_SFTKFF,       orvex::ComputeOption_KFFA,
    orvex::ComputeOption_IMAXPROT,     orvex::ComputeOption_TIMAXPROT,
    orvex::ComputeOption_ERRMAX,       orvex::ComputeOption_TERRMAX,
    orvex::ComputeOption_SERRMAX,      orvex::ComputeOption_TSERRMAX,
    orvex::ComputeOption_T1MAXPROT,    orvex::ComputeOption_II2TPROT_M,
    orvex::ComputeOption_SFI2T_M,      orvex::ComputeOption_I2TINTLIM_M,
    orvex::ComputeOption_I2TWARLIM_M,  orvex::ComputeOption_BOOST,
    orvex::ComputeOption_SFTKPTHT,     orvex::ComputeOption_KPTHT,
    orvex::ComputeOption_SFTKITHT,     orvex::ComputeOption_KITHT,
};

// The control loop and protection steps of the read-back sequence, in its order.
const Conversion kReadBack[] = {
    orvex::ReadBack_isOverVoltage,
    orvex::ReadBack_UMAX_PROT,
    orvex::ReadBack_isUnderVoltage,
    orvex::ReadBack_UMIN_PROT,
    orvex::ReadBack_isDriveOverTemp,
    orvex::ReadBack_Temp_2,
    orvex::ReadBack_isDriveI2t,
    orvex::ReadBack_I_I2t_D,
    orvex::ReadBack_t_I2t_D,
    orvex::ReadBack_IlimPS,
    orvex::ReadBack_Kp_C_scl,
    orvex::ReadBack_Ki_C_scl,
    orvex::ReadBack_TestCurrent,
    orvex::ReadBack_TestProtectionCurrent,
    orvex::ReadBack_isUseFilterOnCrtCtrlOutput,
    orvex::ReadBack_FilterOnCurrentControllerOutput,
    orvex::ReadBack_isCompensateGravitationalLoads,
    orvex::ReadBack_OffsetCurrent,
    orvex::ReadBack_Kp_S_scl,
    orvex::ReadBack_Ki_S_scl,
    orvex::ReadBack_IPSatS,
    orvex::ReadBack_KFFA_scl,
    orvex::ReadBack_TestLimitCurrent,
    orvex::ReadBack_Jload_over_J,
    orvex::ReadBack_Kp_P_scl,
    orvex::ReadBack_Ki_P_scl,
    orvex::ReadBack_Kd_P_scl,
    orvex::ReadBack_filter_D,
    orvex::ReadBack_IPSatP,
    orvex::ReadBack_Limit_Speed,
    orvex::ReadBack_TestMaxSpeed,
    orvex::ReadBack_KFFS_scl,
    orvex::ReadBack_isOverCurrent,
    orvex::ReadBack_Imax_Prot,
    orvex::ReadBack_time_Imax_Prot,
    orvex::ReadBack_isPositionControlError,
    orvex::ReadBack_ERR_position,
    orvex::ReadBack_time_ERR_pos,
    orvex::ReadBack_isSpeedControlError,
    orvex::ReadBack_ERR_speed,
    orvex::ReadBack_time_ERR_spd,
    orvex::ReadBack_isMotorOverTemp,
    orvex::ReadBack_isMotori2t,
    orvex::ReadBack_I_I2t_M,
    orvex::ReadBack_t_I2t_M,
    orvex::ReadBack_Kp_T_scl,
    orvex::ReadBack_Ki_T_scl,
};

struct Snapshot {
    double value, min, max;
};

std::map<std::string, Snapshot> Take(const CMC_Setup& s) {
    std::map<std::string, Snapshot> out;
    const CMC_Parameters params = s.GetParameters();
    for (int i = 0; i < params.GetParametersCount(); ++i) {
        const CMC_Parameter* p = params[i];
        out[p->GetName()] = {p->GetValueInBaseUnit(), p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()};
    }
    return out;
}

void ExpectClose(double a, double b, const std::string& what) {
    EXPECT_NEAR(a, b, 1e-12 + std::abs(b) * 1e-12) << what;
}

// The shipped demo setup was computed with the drive's conversions: recomputing the
// options and reading the parameters back, many times over, changes no value and no
// range.
TEST(LoopAndProtectionOnDemoSetup, RecomputingChangesNothing) {
    auto r = axis::LoadSetupFile(ORVEX_RESOURCE_DIR "/setups/demo.json");
    ASSERT_TRUE(r.ok()) << r.error;
    CMC_Setup* s = r.setup.get();
    const auto before = Take(*s);
    for (int cycle = 0; cycle < 100; ++cycle) {
        for (Conversion c : kForward) ASSERT_EQ(c(s), 1);
        for (Conversion c : kReadBack) ASSERT_EQ(c(s), 1);
    }
    for (const auto& [name, was] : Take(*s)) {
        const Snapshot& old = before.at(name);
        ExpectClose(was.value, old.value, name);
        ExpectClose(was.min, old.min, name + " min");
        ExpectClose(was.max, old.max, name + " max");
    }
}

}  // namespace
