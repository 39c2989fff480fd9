#include "compute/parameter_ranges.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "compute/analogue_reference.h"
#include "compute/option_codec.h"
#include "compute/scales.h"
#include "host/link/drive_facts.h"

namespace orvex {
namespace {

// Largest count of the drive's signed 16-bit position, speed and time words.
constexpr double kWordMax = drive::kFullScale;
// Largest count of an unsigned 16-bit sample counter (tuning test segment times).
constexpr double kSampleCountMax = 65535.0;

CMC_Parameter* Has(const CMC_Setup* setup, const std::string& name) {
    axis::ScopedSilentLookup silent;
    return setup->FindParameter(name);
}

double Value(const CMC_Setup* setup, const char* name) {
    return setup->GetParameterValueInBaseUnit(name);
}

// Minimum first, then maximum, with the setup's direct setters.
void SetLimits(CMC_Parameter* p, double min, double max) {
    p->SetMinInBaseUnit(min);
    p->SetMaxInBaseUnit(max);
}

void SetMaxOf(const CMC_Setup* setup, const char* name, double max) {
    if (CMC_Parameter* p = Has(setup, name)) p->SetMaxInBaseUnit(max);
}

// A bandwidth's tuning range is held by two parameters of its own.
void BandwidthRange(const CMC_Setup* setup, const char* name, const char* minimum,
                    const char* maximum) {
    CMC_Parameter* p = Has(setup, name);
    if (!p || !HasAll(setup, {minimum, maximum})) return;
    SetLimits(p, Value(setup, minimum), Value(setup, maximum));
}

}  // namespace

void UpdateParameterRanges(CMC_Setup* setup) {
    const double T_S = GetSpeedLoopPeriod(setup);

    // Error thresholds and their times, as the drive's 16-bit words hold them.
    if (CMC_Parameter* p = Has(setup, "ERR_speed"))
        p->SetMaxInBaseUnit(kWordMax / std::abs(GetLoadSpeedScale(setup)));
    if (CMC_Parameter* p = Has(setup, "ERR_position"))
        p->SetMaxInBaseUnit(kWordMax / std::abs(GetLoadPositionScale(setup)));
    SetMaxOf(setup, "time_ERR_spd", kWordMax * T_S);
    SetMaxOf(setup, "time_ERR_pos", kWordMax * T_S);

    BandwidthRange(setup, "PB_C", "PB_C_minim", "PB_C_maxim");
    BandwidthRange(setup, "PB_S", "PB_S_minim", "PB_S_maxim");
    BandwidthRange(setup, "PB_P", "PB_P_minim", "PB_P_maxim");

    // Tuning test segment times: at least one slow-loop sample (two for the position
    // test's acceleration segments), at most what the sample counter holds.
    for (const char* name : {"TPP", "TNP"})
        if (CMC_Parameter* p = Has(setup, name)) SetLimits(p, T_S, kSampleCountMax * T_S);
    for (const char* name : {"TaPP", "TaNP"})
        if (CMC_Parameter* p = Has(setup, name)) SetLimits(p, 2.0 * T_S, kSampleCountMax * T_S);
    for (const char* name : {"TPS", "TNS", "TaPS", "TaNS"})
        if (CMC_Parameter* p = Has(setup, name)) SetLimits(p, T_S, kSampleCountMax * T_S);

    // The test move: at most one full speed word (32767 counts) per sample over the
    // shorter of the two acceleration times.
    if (CMC_Parameter* p = Has(setup, "TestPosition"); p && HasAll(setup, {"TaPP", "TaNP"})) {
        const double max_step = kWordMax / std::abs(GetLoadPositionScale(setup));
        const double m =
            std::min(Value(setup, "TaPP") / T_S * max_step, Value(setup, "TaNP") / T_S * max_step);
        SetLimits(p, -m, m);
    }
    if (CMC_Parameter* p = Has(setup, "TestSpeed"); p && HasAll(setup, {"Limit_Speed"})) {
        const double m =
            std::min(Value(setup, "Limit_Speed"), kWordMax / std::abs(GetLoadSpeedScale(setup)));
        SetLimits(p, -m, m);
    }

    // With an analogue reference input: its filter corner stays below the slow loop's
    // Nyquist frequency, then the dead-band and end-value ranges.
    if (HasAnalogueReference(setup)) {
        SetMaxOf(setup, "filter", 1.0 / (2.0 * T_S));
        UpdateAnalogueReferenceRanges(setup);
    }

    if (Has(setup, "KPTHT")) {
        if (CMC_Parameter* p = Has(setup, "MAX_CURRENT"); p && HasAll(setup, {"In", "InPS"}))
            SetLimits(p, 0.0, std::min(Value(setup, "In"), Value(setup, "InPS")));
    }

    if (Has(setup, "IQREF_BQ_INI")) {
        const double nyquist = 0.5 / T_S;
        for (int i = 1; i <= 3; ++i) {
            for (const char* format : {"BQFilterF1%d", "BQFilterF2%d"}) {
                char name[32];
                std::snprintf(name, sizeof name, format, i);
                SetMaxOf(setup, name, nyquist);
            }
        }
    }
}

}  // namespace orvex
