#include "compute/scale_inputs.h"

#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "compute/option_codec.h"
#include "host/setup/setup.h"

namespace orvex {

namespace {

// A divisor of the scale functions and the values that depend on it.
struct ScaleInput {
    const char* name;
    const char* needed_for;
};

constexpr ScaleInput kDivisors[] = {
    {"PWMPER",
     "the PWM frequency, the loop periods and every time, speed, acceleration and "
     "jerk value"},
    {"DSP_freq",
     "the PWM frequency, the loop periods and every time, speed, acceleration and "
     "jerk value"},
    {"CLPER", "the current loop period and the values timed by it"},
    {"SLPER", "the speed loop period and every time, speed, acceleration and jerk value"},
    {"ImaxPS", "every current value in the drive's units"},
    {"Vdc", "every PWM voltage value in the drive's units"},
    {"VdcMaxMeasurable", "the supply voltage protections and the measured voltage"},
    {"Load_transmission", "every load position, speed, acceleration and jerk value"},
    {"MECRESL", "every position and speed value (fewer than 4 encoder counts per revolution)"},
    {"DriveTempSensorGain", "the drive temperature values"},
    {"ADCrange", "the drive temperature values"},
};

// A value that makes a divisor vanish: 0, or for the encoder resolution less than one
// quadrature step, or not a finite number at all.
bool Unusable(const char* name, double value) {
    if (!std::isfinite(value)) return true;
    if (std::string(name) == "MECRESL") return TruncToInt32(value / 4.0) == 0;
    return value == 0.0;
}

std::string Shown(double value) {
    return nlohmann::json(value).dump();
}

// The ADC full scale: a whole number of counts above 0 (what the host reads it as).
bool IsWholeCountAboveZero(const std::string& text) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    return v > 0 && v <= 0xFFFFFFFFull;
}

}  // namespace

std::vector<std::string> ScaleInputProblems(const CMC_Setup* s) {
    std::vector<std::string> problems;
    if (!s) return problems;
    axis::ScopedSilentLookup silent;
    // An empty or absent setting stands for the usual full scale; anything else must be
    // a count, or the host reads a number nobody meant.
    const std::string adc = s->GetOptionNoError("ADCMaxValue");
    if (!adc.empty() && !IsWholeCountAboveZero(adc))
        problems.push_back("setting \"ADCMaxValue\" is \"" + adc +
                           "\", not a whole number of counts above 0 (read as " +
                           std::to_string(Compute_ADCMaxValue(s)) +
                           "): every current, measured voltage, temperature and analogue input "
                           "value is wrong or cannot be computed");
    for (const ScaleInput& input : kDivisors) {
        const CMC_Parameter* p = s->FindParameter(input.name);
        if (!p) continue;
        const double value = p->GetValueInBaseUnit();
        if (Unusable(input.name, value))
            problems.push_back("parameter \"" + std::string(input.name) + "\" is " + Shown(value) +
                               ": " + input.needed_for + " cannot be computed");
    }
    return problems;
}

}  // namespace orvex
