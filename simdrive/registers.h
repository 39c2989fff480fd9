#pragma once
// The drive's register image and what the firmware makes of it. The host writes
// any option by name (every option of the setup goes down at program start); the
// firmware reads the registers it knows, in drive units:
//   gains      mantissa x 2^shift / 32767
//   limits     "32767 minus limit": SATS = 32767 - limit, in current counts
//   currents   counts = A x ADCmax / (2 ImaxPS)
//   voltages   PWM counts, 32767 = the bus voltage
//   positions  counts, 4 x lines per revolution; speeds counts per slow sample
//   angles     65536 per electrical turn; ENC2THL 2^32 per turn per encoder count

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "host/link/drive_facts.h"

namespace orvex::sim {

class RegisterImage {
  public:
    RegisterImage();
    /// Stores `value` truncated to an integer of `bits` bits (16 or 32). Values
    /// beyond the field wrap as they would in the drive's memory.
    void Write(const std::string& name, double value, int bits);
    /// The register's value, or `fallback` when it was never written.
    double Read(const std::string& name, double fallback = 0.0) const;
    bool Has(const std::string& name) const;
    /// Bumped on every write, so derived settings know when to refresh.
    std::uint64_t generation() const { return generation_; }

  private:
    std::map<std::string, double> values_;
    std::uint64_t generation_ = 1;
};

/// One biquad slot: y = (b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2) SF / 2^31.
struct BiquadCoefficients {
    double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0, sf = 1;
};

/// The settings the loops run with, decoded from the registers.
struct DriveSettings {
    int pwm_period_ticks = 1000;  // PWMPER: half the PWM period in processor ticks
    int fast_divider = 1;         // CLPER
    int slow_divider = 10;        // SLPER

    double kp_current = 0, ki_current = 0;
    double current_limit_d = drive::kFullScale;  // voltage counts
    double current_limit_q = drive::kFullScale;
    double output_filter = 1.0;  // FILTERQ / 32767; 1 = no filter
    double offset_current = 0;   // FFL, current counts

    double kp_speed = 0, ki_speed = 0;
    double speed_out_limit = 0;  // current counts (32767 - SATS)
    double speed_int_limit = 0;  // current counts (32767 - IMAXS)
    double kp_pos = 0, ki_pos = 0, kd_pos = 0;
    double kd_filter = 0;      // KDFP / 32767: pole of the derivative filter
    double pos_out_limit = 0;  // (32767 - SATP): a current or a speed
    double pos_int_limit = 0;  // (32767 - IMAXP)
    double kff_speed = 0, kff_accel = 0;
    bool speed_estimator = false;  // SCR bits 5..3 = 110: the loop runs on the observed speed
    // Freeze control (ACR bit 4): a position error within POSOKLIM_FC counts for
    // TONPOSOK_FC samples holds the loops' integrals; 0 counts: off.
    double freeze_band = 0, freeze_samples = 0;
    double kp_angle = 0, ki_angle = 0;

    std::uint32_t angle_per_count = 0;  // ENC2THL
    bool reverse_counting = false;      // COUNTINGDIR
    double phase_advance = 0;           // THT_CORRECTION

    int protection_flags = 0;                               // PCR
    double overcurrent_counts = 0;                          // IMAXPROT
    double overcurrent_samples = 0;                         // TIMAXPROT
    double max_position_error = 0;                          // ERRMAX
    double position_error_samples = drive::kProtectionOff;  // TERRMAX
    double max_speed_error = 0;                             // SERRMAX
    double speed_error_samples = drive::kProtectionOff;     // TSERRMAX
    double overvoltage_counts = 0;                          // UMAXPROT, bus ADC counts
    double undervoltage_counts = 0;                         // UMINPROT
    double i2t_rated_motor = 0, i2t_scale_motor = 0, i2t_limit_motor = 0;
    double i2t_rated_drive = 0, i2t_scale_drive = 0, i2t_limit_drive = 0;

    std::array<BiquadCoefficients, 3> biquads{};
    int biquads_speed_ref = 0;    // SPDREF_BQ_INI: slots on the position controller output
    int biquads_current_ref = 0;  // IQREF_BQ_INI: on the speed controller output
    int biquads_speed_fb = 0;     // ASPD_BQ_INI: on the speed feedback

    /// Decodes everything from the register image.
    static DriveSettings FromRegisters(const RegisterImage& registers);
};

/// mantissa x 2^shift / 32767, the drive's fixed-point gain.
double DecodeGain(double mantissa, double shift);

}  // namespace orvex::sim
