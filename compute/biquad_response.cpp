#include "compute/biquad_response.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace orvex {
namespace {

// The drive's coefficient word: 2^31 stands for 1.
constexpr double kWordOne = 2147483648.0;

}  // namespace

std::vector<double> LogFrequencies(double low, double high, int count) {
    std::vector<double> out;
    if (!(low > 0.0) || !(high > low) || !std::isfinite(high) || count < 2) return out;
    const double step = std::log(high / low) / (count - 1);
    out.reserve(count);
    for (int i = 0; i < count; ++i) out.push_back(low * std::exp(step * i));
    out.back() = high;
    return out;
}

FrequencyResponse QuantizedBiquadResponse(const BiquadCoefficients& scaled, double sf, double ts,
                                          const std::vector<double>& frequencies) {
    FrequencyResponse r;
    if (!(sf > 0.0) || !(ts > 0.0) || !std::isfinite(sf) || !std::isfinite(ts)) return r;
    // Back from the words to the coefficients the drive's arithmetic realises.
    const double k = sf / kWordOne;
    const double b0 = scaled.b0 * k, b1 = scaled.b1 * k, b2 = scaled.b2 * k;
    const double a1 = scaled.a1 * k, a2 = scaled.a2 * k;
    double previous = 0.0;
    for (size_t i = 0; i < frequencies.size(); ++i) {
        const double w = 2.0 * std::numbers::pi * frequencies[i] * ts;
        const std::complex<double> z1 = std::polar(1.0, -w);  // z^-1 on the unit circle
        const std::complex<double> z2 = z1 * z1;
        const std::complex<double> h = (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
        r.frequency_hz.push_back(frequencies[i]);
        r.magnitude_db.push_back(20.0 * std::log10(std::abs(h)));
        double phase = std::arg(h) * 180.0 / std::numbers::pi;
        if (i > 0) {
            // Keep the phase continuous: whole turns are added where arg() wraps.
            phase += 360.0 * std::round((previous - phase) / 360.0);
        }
        r.phase_deg.push_back(phase);
        previous = phase;
    }
    return r;
}

}  // namespace orvex
