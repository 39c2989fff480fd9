#include "simdrive/registers.h"

#include <algorithm>
#include <cmath>

namespace orvex::sim {
namespace {

// Normalises a name: options are upper-case names and the setup compares names
// without regard to case.
std::string Key(const std::string& name) {
    std::string key = name;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return key;
}

// "32767 minus limit" back to the limit; an unset (0) register means full scale.
double LimitFrom(double reg) {
    return std::clamp(drive::kFullScale - reg, 0.0, drive::kFullScale);
}

}  // namespace

double DecodeGain(double mantissa, double shift) {
    return mantissa * std::ldexp(1.0, static_cast<int>(shift)) / drive::kFullScale;
}

RegisterImage::RegisterImage() {
    // Power-up defaults of the firmware: 20 kHz PWM at 40 MHz, current loop every
    // period, speed loop every tenth, error protections off, no output filter.
    values_["PWMPER"] = 1000;
    values_["CLPER"] = 1;
    values_["SLPER"] = 10;
    values_["TERRMAX"] = drive::kProtectionOff;
    values_["TSERRMAX"] = drive::kProtectionOff;
    values_["FILTERQ"] = drive::kFullScale;
    values_["KFFL"] = drive::kFullScale;
}

void RegisterImage::Write(const std::string& name, double value, int bits) {
    if (!std::isfinite(value)) value = 0.0;
    double v = std::trunc(value);
    const double span = bits == 32 ? 4294967296.0 : 65536.0;
    const double low = -span / 2.0;
    // A field holds either the signed or the unsigned reading of its bits; values
    // outside both wrap around.
    if (v < low || v >= span) {
        v = std::fmod(v, span);
        if (v < 0) v += span;
    }
    values_[Key(name)] = v;
    ++generation_;
}

double RegisterImage::Read(const std::string& name, double fallback) const {
    auto it = values_.find(Key(name));
    return it == values_.end() ? fallback : it->second;
}

bool RegisterImage::Has(const std::string& name) const {
    return values_.count(Key(name)) != 0;
}

DriveSettings DriveSettings::FromRegisters(const RegisterImage& r) {
    DriveSettings s;
    s.pwm_period_ticks = std::max(10, static_cast<int>(r.Read("PWMPER", 1000)));
    s.fast_divider = std::max(1, static_cast<int>(r.Read("CLPER", 1)));
    s.slow_divider = std::max(1, static_cast<int>(r.Read("SLPER", 10)));

    s.kp_current = DecodeGain(r.Read("KPI"), r.Read("SFTKPI"));
    s.ki_current = DecodeGain(r.Read("KII"), r.Read("SFTKII"));
    s.current_limit_d = LimitFrom(r.Read("SATID"));
    s.current_limit_q = LimitFrom(r.Read("SATIQ"));
    const double filterq = r.Read("FILTERQ", drive::kFullScale);
    s.output_filter =
        (filterq <= 0 || filterq >= drive::kFullScale) ? 1.0 : filterq / drive::kFullScale;
    s.offset_current = r.Read("FFL");

    s.kp_speed = DecodeGain(r.Read("KPS"), r.Read("SFTKPS"));
    s.ki_speed = DecodeGain(r.Read("KIS"), r.Read("SFTKIS"));
    s.speed_out_limit = LimitFrom(r.Read("SATS"));
    s.speed_int_limit = LimitFrom(r.Read("IMAXS"));
    s.kp_pos = DecodeGain(r.Read("KPP"), r.Read("SFTKPP"));
    s.ki_pos = DecodeGain(r.Read("KIP"), r.Read("SFTKIP"));
    s.kd_pos = DecodeGain(r.Read("KDP"), r.Read("SFTKDP"));
    s.kd_filter = std::clamp(r.Read("KDFP") / drive::kFullScale, 0.0, 0.999);
    s.pos_out_limit = LimitFrom(r.Read("SATP"));
    s.pos_int_limit = LimitFrom(r.Read("IMAXP"));
    s.kff_speed = DecodeGain(r.Read("KFFS"), r.Read("SFTSFFW"));
    s.kff_accel = DecodeGain(r.Read("KFFA"), r.Read("SFTKFF") + r.Read("SFTAFFW"));
    constexpr int kScrSpeedEstimatorField = 0x38, kScrSpeedEstimatorOn = 0x30;
    s.speed_estimator =
        (static_cast<int>(r.Read("SCR")) & kScrSpeedEstimatorField) == kScrSpeedEstimatorOn;
    constexpr int kAcrFreezeControl = 1 << 4;
    if (static_cast<int>(r.Read("ACR")) & kAcrFreezeControl) {
        s.freeze_band = std::max(0.0, r.Read("POSOKLIM_FC"));
        s.freeze_samples = std::max(0.0, r.Read("TONPOSOK_FC"));
    }
    s.kp_angle = DecodeGain(r.Read("KPTHT"), r.Read("SFTKPTHT"));
    s.ki_angle = DecodeGain(r.Read("KITHT"), r.Read("SFTKITHT"));

    const double enc = r.Read("ENC2THL");
    s.angle_per_count = static_cast<std::uint32_t>(static_cast<std::int64_t>(enc) & 0xFFFFFFFFLL);
    s.reverse_counting = r.Read("COUNTINGDIR") == 1.0;
    s.phase_advance = r.Read("THT_CORRECTION");

    s.protection_flags = static_cast<int>(r.Read("PCR")) & 0xFFFF;
    s.overcurrent_counts = r.Read("IMAXPROT");
    s.overcurrent_samples = r.Read("TIMAXPROT");
    s.max_position_error = r.Read("ERRMAX");
    s.position_error_samples = r.Read("TERRMAX", drive::kProtectionOff);
    s.max_speed_error = r.Read("SERRMAX");
    s.speed_error_samples = r.Read("TSERRMAX", drive::kProtectionOff);
    s.overvoltage_counts = r.Read("UMAXPROT");
    s.undervoltage_counts = r.Read("UMINPROT");
    s.i2t_rated_motor = r.Read("II2TPROT_M");
    s.i2t_scale_motor = r.Read("SFI2T_M");
    s.i2t_limit_motor = r.Read("I2TINTLIM_M");
    s.i2t_rated_drive = r.Read("II2TPROT_D");
    s.i2t_scale_drive = r.Read("SFI2T_D");
    s.i2t_limit_drive = r.Read("I2TINTLIM_D");

    for (int slot = 0; slot < 3; ++slot) {
        const std::string p = "BQ" + std::to_string(slot + 1);
        BiquadCoefficients& c = s.biquads[slot];
        c.b0 = r.Read(p + "B0");
        c.b1 = r.Read(p + "B1");
        c.b2 = r.Read(p + "B2");
        c.a1 = r.Read(p + "A1");
        c.a2 = r.Read(p + "A2");
        c.sf = std::max(1.0, r.Read(p + "SF", 1));
    }
    s.biquads_speed_ref = std::clamp(static_cast<int>(r.Read("SPDREF_BQ_INI")), 0, 3);
    s.biquads_current_ref =
        std::clamp(static_cast<int>(r.Read("IQREF_BQ_INI")), 0, 3 - s.biquads_speed_ref);
    s.biquads_speed_fb = std::clamp(static_cast<int>(r.Read("ASPD_BQ_INI")), 0,
                                    3 - s.biquads_speed_ref - s.biquads_current_ref);
    return s;
}

}  // namespace orvex::sim
