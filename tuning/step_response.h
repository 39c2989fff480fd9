#pragma once
// Figures of a logged step response, as a commissioning engineer reads them off the
// plot: rise time, overshoot, settling time and steady-state error. No Qt: samples
// in, figures out.

#include <optional>
#include <string>
#include <vector>

namespace orvex::tuning {

struct StepResponseFigures {
    /// From 10 % to 90 % of the step, in seconds; empty when the response never
    /// reached 90 %.
    std::optional<double> rise_time_s;
    /// Peak beyond the final value, in percent of the step (0 when none).
    double overshoot_percent = 0;
    /// From the start of the step until the response stays within the band around the
    /// final value, in seconds; empty when it never settles within the record.
    std::optional<double> settling_time_s;
    /// Reference minus response, averaged over the last tenth of the hold, in the
    /// signals' unit.
    double steady_state_error = 0;
};

/// How the step is found and judged.
struct StepResponseOptions {
    /// Settling band, in percent of the step.
    double settling_band_percent = 2.0;
    /// The smallest difference the response is recorded in (one count for the drive's
    /// signals): the band is never narrower. A speed of 30 counts per sample that
    /// reads 29, 30 and 31 has settled, though no reading lies within 2 %.
    double resolution = 0.0;
};

/// Measures the first step of `reference` (from its first value to the value it holds
/// longest after the first change) as followed by `response`, both sampled at
/// `time_s`. The figures cover the span while the reference holds its final value.
/// Errors: sizes that differ, fewer than three samples, a reference that never
/// changes, times that do not increase.
struct StepResponseResult {
    std::optional<StepResponseFigures> figures;
    std::string error;
};
StepResponseResult MeasureStepResponse(const std::vector<double>& time_s,
                                       const std::vector<double>& reference,
                                       const std::vector<double>& response,
                                       const StepResponseOptions& options = {});

}  // namespace orvex::tuning
