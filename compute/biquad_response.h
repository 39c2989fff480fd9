#pragma once
// The frequency response of a biquad as the drive runs it: from the whole-number
// coefficients and the scale factor SF a slot holds, so that what is drawn includes
// the rounding of the coefficients.

#include <vector>

#include "compute/biquad.h"

namespace orvex {

/// Magnitude and phase at a list of frequencies.
struct FrequencyResponse {
    std::vector<double> frequency_hz;
    std::vector<double> magnitude_db;
    /// Continuous over the list (unwrapped), in degrees; starts within (-180, 180].
    std::vector<double> phase_deg;
};

/// `count` frequencies from `low` to `high` (both > 0, Hz), evenly spaced on a
/// logarithmic scale. Empty when the span is not a positive, finite one or count < 2.
std::vector<double> LogFrequencies(double low, double high, int count);

/// The response of the slot H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2)
/// whose coefficients are the whole numbers `scaled` standing for c / SF x 2^31,
/// sampled every `ts` seconds, at each frequency of `frequencies`. Empty for an empty
/// slot (SF 0) or a sampling period that is not positive. A frequency where the
/// numerator vanishes gives a magnitude of -infinity dB (a notch's exact zero).
FrequencyResponse QuantizedBiquadResponse(const BiquadCoefficients& scaled, double sf, double ts,
                                          const std::vector<double>& frequencies);

}  // namespace orvex
