#pragma once
// The controller gains the drive holds in fixed point, gain = mantissa x 2^shift /
// 32767, with the options that hold each one and the conversions between them. The
// option conversions, the editor (which re-encodes a gain the moment it is changed,
// so the field shows what the drive will use) and the tests all take them from here.

#include <string_view>

#include "compute/control_loop_options.h"
#include "host/setup/setup.h"

namespace orvex {

using SetupConversion = int (*)(CMC_Setup*);

/// One gain parameter and its options.
struct GainOptions {
    const char* gain;                 ///< the parameter ("Kp_C_scl")
    const char* mantissa;             ///< its mantissa option ("KPI")
    const char* shift;                ///< its shift option ("SFTKPI")
    SetupConversion encode_shift;     ///< writes `shift` from the gain
    SetupConversion encode_mantissa;  ///< writes `mantissa` from the gain
    SetupConversion read_back;        ///< the gain decoded from its options
    /// The acceleration feed-forward's shift does not fit one option: the drive splits
    /// it at 11, and the part above goes into this second one ("SFTKFF"). Null for the
    /// other gains, whose value is DecodeGain(mantissa, shift).
    const char* high_shift = nullptr;
    SetupConversion encode_high_shift = nullptr;
};

/// Every gain of the drive's loops.
inline constexpr GainOptions kGainOptions[] = {
    {"Kp_C_scl", "KPI", "SFTKPI", ComputeOption_SFTKPI, ComputeOption_KPI, ReadBack_Kp_C_scl},
    {"Ki_C_scl", "KII", "SFTKII", ComputeOption_SFTKII, ComputeOption_KII, ReadBack_Ki_C_scl},
    {"Kp_S_scl", "KPS", "SFTKPS", ComputeOption_SFTKPS, ComputeOption_KPS, ReadBack_Kp_S_scl},
    {"Ki_S_scl", "KIS", "SFTKIS", ComputeOption_SFTKIS, ComputeOption_KIS, ReadBack_Ki_S_scl},
    {"Kp_P_scl", "KPP", "SFTKPP", ComputeOption_SFTKPP, ComputeOption_KPP, ReadBack_Kp_P_scl},
    {"Ki_P_scl", "KIP", "SFTKIP", ComputeOption_SFTKIP, ComputeOption_KIP, ReadBack_Ki_P_scl},
    {"Kd_P_scl", "KDP", "SFTKDP", ComputeOption_SFTKDP, ComputeOption_KDP, ReadBack_Kd_P_scl},
    {"KFFS_scl", "KFFS", "SFTSFFW", ComputeOption_SFTSFFW, ComputeOption_KFFS, ReadBack_KFFS_scl},
    {"Kp_T_scl", "KPTHT", "SFTKPTHT", ComputeOption_SFTKPTHT, ComputeOption_KPTHT,
     ReadBack_Kp_T_scl},
    {"Ki_T_scl", "KITHT", "SFTKITHT", ComputeOption_SFTKITHT, ComputeOption_KITHT,
     ReadBack_Ki_T_scl},
    {"KFFA_scl", "KFFA", "SFTAFFW", ComputeOption_SFTAFFW, ComputeOption_KFFA, ReadBack_KFFA_scl,
     "SFTKFF", ComputeOption_SFTKFF},
};

/// The row of `gain`, names compared without regard to case; null for any other name.
const GainOptions* FindGainOptions(std::string_view gain);

/// Encodes the gain into its options (shifts first, then the mantissa) and reads it
/// back, so the parameter holds the gain the options give the drive (the gain as typed
/// where it gives the same registers, see typed_values.h). Each
/// step looks up its own names and is skipped when one is missing; 1 when every step
/// ran, else 0.
int ReencodeGain(CMC_Setup* setup, const GainOptions& gain);

}  // namespace orvex
