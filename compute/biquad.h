#pragma once
// Second-order digital filters (biquads) in the drive's control loops.
//
// The user describes up to three filters in physical terms ("BQFilter%d" on/off,
// "BQFilterType%d", "BQFilterF1%d" and "BQFilterF2%d" in Hz, "BQFilterQ%d",
// "BQFilterLocation%d": 0 position controller output, 1 speed controller output,
// 2 speed feedback). The designer turns each into the drive's fixed-point
// coefficients of
//     H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2)
// by the bilinear transform prewarped at the filter's frequency, and fills the
// drive's three slots ("BQ%dB0" ... "BQ%dA2", "BQ%dSF") location by location. The
// drive holds each coefficient as c / SF x 2^31 in a signed 32-bit word, SF a power
// of two, so it runs the slot with 2^31 / SF standing for the leading 1 of the
// denominator.

#include <array>
#include <string>
#include <vector>

#include "host/setup/setup.h"

namespace orvex {

/// b0, b1, b2 over 1, a1, a2, as designed (unitless) or scaled to whole numbers.
struct BiquadCoefficients {
    double b0 = 0.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
};

class CBiquadDesigner {
  public:
    /// Filter types, the values of "BQFilterType%d".
    enum Type : int {
        kLowPass1 = 0,
        kLowPass2 = 1,
        kNotch = 2,
        kHighPass = 3,
        kBandPass = 4,
        kPeak = 5,
        kLowShelf = 6,
        kHighShelf = 7,
        kLeadLag1 = 8,
        kLeadLag2 = 9,
    };
    static constexpr int kTypeCount = 10;
    /// Filter descriptions in the setup, and slots in the drive.
    static constexpr int kFilterCount = 3;
    static constexpr int kSlotCount = 3;

    CBiquadDesigner();

    /// The type's name ("Notch" ...); empty outside 0 to 9.
    std::string GetTypeName(int type) const;
    /// Whether the Filters dialog lists the type.
    bool IsOffered(int type) const;
    /// Empties both arrays, then appends the name and the index of each offered type
    /// in index order (0, 1, 2, 3, 4, 8, 9).
    void GetOfferedTypes(std::vector<std::string>& names, std::vector<int>& types) const;

    /// Designs the coefficients of `type`. `f1n` is the frequency F1 times the
    /// sampling period (cycles per sample); `second` is F2 times the sampling period
    /// for the lead-lag types (zero at F1, pole at F2) and Q for the others. A type
    /// outside 0 to 9 leaves the coefficients unchanged.
    void DesignFilter(int type, double f1n, double second);
    /// Scales the five coefficients to whole numbers c / SF x 2^31 (halves round up)
    /// and sets SF to the smallest power of two that keeps every one of them inside
    /// the signed 32-bit range. Coefficients that are not all finite (an undefined
    /// design) become zeros with SF 0, an empty slot.
    void Quantize();

    /// Designs filter `filter` (1 to 3) as the drive will run it: the whole-number
    /// coefficients and SF that ComputeFilter writes to a slot, kept here only. A type
    /// outside 0 to 9 or an undefined design gives zeros with SF 0 (an empty slot). 0,
    /// designing nothing, when a description parameter or "Ts_S" is absent.
    int DesignQuantized(const CMC_Setup* setup, int filter);
    /// Designs filter `filter` (1 to 3) into slot `slot` (1 to 3) and writes the slot's
    /// six options; slot options the setup lacks are skipped. A type outside 0 to 9, or
    /// a description whose design is undefined (a zero Q, a lead at 0 Hz, a zero
    /// "Ts_S"), gives the slot zeros. 0, writing nothing, when a description parameter
    /// or "Ts_S" is absent.
    int ComputeFilter(CMC_Setup* setup, int filter, int slot);
    /// Places every filter that is on and has a location 0 to 2 into the slots,
    /// location by location and within a location in filter order; zeroes the slots
    /// left over and writes the counts "SPDREF_BQ_INI", "IQREF_BQ_INI", "ASPD_BQ_INI".
    /// A filter whose description is incomplete is not placed. Returns 1.
    int ComputeAllFilters(CMC_Setup* setup);
    /// Sends the three counts and the slot options that the setup has to the drive,
    /// counts first, then slot by slot B0, B1, B2, A1, A2, SF. Every write is tried;
    /// 1 when all succeeded, else 0 with the reason in the setup's last drive error.
    int WriteFiltersToDrive(CMC_Setup* setup);

    const BiquadCoefficients& coefficients() const { return c_; }
    /// The scale factor SF of the last quantisation (a power of two, at least 1).
    double scale_factor() const { return sf_; }
    /// Sets the coefficients as if designed (for quantising a given filter).
    void SetCoefficients(const BiquadCoefficients& c) { c_ = c; }

  private:
    std::array<const char*, kTypeCount> names_;
    std::array<bool, kTypeCount> offered_;
    BiquadCoefficients c_;
    double sf_ = 1.0;
};

/// The forward sequence's last step, on a setup that supports filters (it has
/// "IQREF_BQ_INI"): every slot option and count, by a designer made for this step.
/// 0 when the setup has no filters.
int ComputeOption_BiquadFilters(CMC_Setup* setup);

}  // namespace orvex
