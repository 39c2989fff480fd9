#include "tuning/step_response.h"

#include <algorithm>
#include <cmath>

namespace orvex::tuning {

namespace {

// The first time, from sample `from` on, at which the response has come `fraction` of
// the way from `start` to `target` (linear between samples).
std::optional<double> Crossing(const std::vector<double>& t, const std::vector<double>& y,
                               size_t from, size_t to, double start, double target,
                               double fraction) {
    const double level = start + fraction * (target - start);
    const double sign = target >= start ? 1.0 : -1.0;
    for (size_t i = from; i <= to; ++i) {
        if (sign * (y[i] - level) < 0) continue;
        if (i == from) return t[i];
        const double y0 = y[i - 1], y1 = y[i];
        const double share = y1 == y0 ? 1.0 : (level - y0) / (y1 - y0);
        return t[i - 1] + share * (t[i] - t[i - 1]);
    }
    return std::nullopt;
}

}  // namespace

StepResponseResult MeasureStepResponse(const std::vector<double>& time_s,
                                       const std::vector<double>& reference,
                                       const std::vector<double>& response,
                                       const StepResponseOptions& options) {
    const size_t n = time_s.size();
    if (reference.size() != n || response.size() != n)
        return {std::nullopt, "time, reference and response differ in length"};
    if (n < 3) return {std::nullopt, "fewer than three samples"};
    for (size_t i = 1; i < n; ++i)
        if (!(time_s[i] > time_s[i - 1]))
            return {std::nullopt, "time does not increase at sample " + std::to_string(i)};
    const double r0 = reference[0];
    size_t begin = 0;
    while (begin < n && reference[begin] == r0) ++begin;
    if (begin == n) return {std::nullopt, "the reference never changes"};
    // The final value: the reference farthest from where it began; the hold is the
    // first run of samples at it.
    size_t peak = begin;
    for (size_t i = begin; i < n; ++i)
        if (std::abs(reference[i] - r0) > std::abs(reference[peak] - r0)) peak = i;
    const double target = reference[peak];
    size_t hold_begin = begin;
    while (reference[hold_begin] != target) ++hold_begin;
    size_t hold_end = hold_begin;
    while (hold_end + 1 < n && reference[hold_end + 1] == target) ++hold_end;

    const double step = target - r0;
    const double t0 = time_s[begin - 1];  // the last sample before the reference moved
    StepResponseFigures f;
    const auto t10 = Crossing(time_s, response, begin - 1, hold_end, r0, target, 0.1);
    const auto t90 = Crossing(time_s, response, begin - 1, hold_end, r0, target, 0.9);
    if (t10 && t90) f.rise_time_s = *t90 - *t10;
    double peak_beyond = 0;
    for (size_t i = begin; i <= hold_end; ++i)
        peak_beyond = std::max(peak_beyond, (response[i] - target) / step);
    f.overshoot_percent = 100.0 * peak_beyond;
    const double band =
        std::max(options.settling_band_percent / 100.0 * std::abs(step), options.resolution);
    size_t last_out = begin - 1;
    for (size_t i = begin; i <= hold_end; ++i)
        if (std::abs(response[i] - target) > band) last_out = i;
    if (last_out < hold_end) f.settling_time_s = time_s[last_out + 1] - t0;
    const size_t span = hold_end - hold_begin + 1;
    const size_t tail = std::max<size_t>(1, span / 10);
    double error = 0;
    for (size_t i = hold_end + 1 - tail; i <= hold_end; ++i) error += target - response[i];
    f.steady_state_error = error / static_cast<double>(tail);
    return {f, {}};
}

}  // namespace orvex::tuning
