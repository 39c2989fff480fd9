// Responses of the filters as the drive runs them, from the rounded coefficients a
// slot holds.
#include "compute/biquad_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "tests/support/shipped_setup.h"

namespace {

using orvex::BiquadCoefficients;
using orvex::CBiquadDesigner;

constexpr double kTs = 500e-6;  // slow-loop period [s]

// The designed (unrounded) response, for comparison with the rounded one.
double DesignedDb(const BiquadCoefficients& c, double f) {
    const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * f * kTs);
    return 20 * std::log10(std::abs((c.b0 + c.b1 * z1 + c.b2 * z1 * z1) /
                                    (1.0 + c.a1 * z1 + c.a2 * z1 * z1)));
}

struct Quantized {
    BiquadCoefficients words;
    double sf;
    BiquadCoefficients designed;
};

Quantized Design(int type, double f1, double second) {
    CBiquadDesigner d;
    d.DesignFilter(type, f1 * kTs, second);
    const BiquadCoefficients designed = d.coefficients();
    d.Quantize();
    return {d.coefficients(), d.scale_factor(), designed};
}

TEST(LogFrequencies, SpansTheRangeInEqualRatios) {
    const std::vector<double> f = orvex::LogFrequencies(1.0, 1000.0, 4);
    ASSERT_EQ(f.size(), 4u);
    EXPECT_DOUBLE_EQ(f[0], 1.0);
    EXPECT_NEAR(f[1], 10.0, 1e-9);
    EXPECT_NEAR(f[2], 100.0, 1e-9);
    EXPECT_EQ(f[3], 1000.0);
    struct Bad {
        double low, high;
        int count;
    };
    for (const Bad& b :
         {Bad{0.0, 10.0, 5}, Bad{-1.0, 10.0, 5}, Bad{10.0, 10.0, 5}, Bad{10.0, 1.0, 5},
          Bad{1.0, INFINITY, 5}, Bad{1.0, NAN, 5}, Bad{1.0, 10.0, 1}})
        EXPECT_TRUE(orvex::LogFrequencies(b.low, b.high, b.count).empty())
            << b.low << " " << b.high << " " << b.count;
}

// Known points of each shape; the rounded filter must match the design closely, which
// it only does when the words are scaled back with their SF.
TEST(QuantizedBiquadResponse, MatchesTheDesignAtKnownPoints) {
    struct Case {
        const char* what;
        int type;
        double f1, second;
        double at_hz, expected_db, tolerance_db;
    };
    const Case cases[] = {
        {"low pass 1st order passes DC", CBiquadDesigner::kLowPass1, 100, 0, 0.5, 0.0, 0.01},
        {"low pass 1st order -3 dB at its corner", CBiquadDesigner::kLowPass1, 100, 0, 100, -3.0103,
         0.01},
        {"low pass 2nd order Q 1/sqrt2 -3 dB at corner", CBiquadDesigner::kLowPass2, 200,
         0.70710678, 200, -3.0103, 0.01},
        {"notch deep at its frequency", CBiquadDesigner::kNotch, 400, 2, 400, -200, 160},
        {"notch passes DC", CBiquadDesigner::kNotch, 400, 2, 0.5, 0.0, 0.01},
        {"high pass passes high frequencies", CBiquadDesigner::kHighPass, 50, 0.7071, 900, 0.0,
         0.05},
        {"band pass 0 dB at centre", CBiquadDesigner::kBandPass, 300, 1, 300, 0.0, 0.01},
        {"lead-lag 1st order unity at DC", CBiquadDesigner::kLeadLag1, 40, 160 * kTs, 0.5, 0.0,
         0.01},
        // (1 + s/w1)/(1 + s/w2) rises by w2/w1 = 4 (12 dB) well above both corners.
        {"lead-lag 1st order +12 dB above", CBiquadDesigner::kLeadLag1, 10, 40 * kTs, 600, 12.0,
         0.2},
        {"lead-lag 2nd order +24 dB above", CBiquadDesigner::kLeadLag2, 10, 40 * kTs, 600, 24.0,
         0.4},
    };
    for (const Case& c : cases) {
        const Quantized q = Design(c.type, c.f1, c.second);
        const orvex::FrequencyResponse r =
            orvex::QuantizedBiquadResponse(q.words, q.sf, kTs, {c.at_hz});
        ASSERT_EQ(r.magnitude_db.size(), 1u) << c.what;
        EXPECT_NEAR(r.magnitude_db[0], c.expected_db, c.tolerance_db) << c.what;
        if (c.expected_db > -100) {
            EXPECT_NEAR(r.magnitude_db[0], DesignedDb(q.designed, c.at_hz), 0.01) << c.what;
        }
    }
}

TEST(QuantizedBiquadResponse, PhaseIsContinuousOverTheBand) {
    // A second-order low pass turns through -180 degrees; arg() alone would wrap to +180.
    const Quantized q = Design(CBiquadDesigner::kLowPass2, 100, 5.0);
    const orvex::FrequencyResponse r = orvex::QuantizedBiquadResponse(
        q.words, q.sf, kTs, orvex::LogFrequencies(1, 0.45 / kTs, 300));
    ASSERT_EQ(r.phase_deg.size(), 300u);
    EXPECT_NEAR(r.phase_deg.front(), 0.0, 1.0);
    EXPECT_LT(r.phase_deg.back(), -170.0);
    for (size_t i = 1; i < r.phase_deg.size(); ++i)
        EXPECT_LT(std::abs(r.phase_deg[i] - r.phase_deg[i - 1]), 90.0) << i;
}

TEST(QuantizedBiquadResponse, EmptySlotOrNoSamplingPeriodGivesNoResponse) {
    const Quantized q = Design(CBiquadDesigner::kLowPass1, 100, 0);
    EXPECT_TRUE(orvex::QuantizedBiquadResponse(q.words, 0.0, kTs, {10.0}).frequency_hz.empty());
    EXPECT_TRUE(orvex::QuantizedBiquadResponse(q.words, q.sf, 0.0, {10.0}).frequency_hz.empty());
    EXPECT_TRUE(orvex::QuantizedBiquadResponse(q.words, q.sf, NAN, {10.0}).frequency_hz.empty());
}

// What the dialog draws is what the drive gets: the words designed from a filter
// description equal those the option computation writes into the filter's slot.
TEST(DesignQuantized, GivesTheSlotsWordsAndWritesNothing) {
    auto loaded = orvex_test::LoadShippedSetup("demo.json");
    ASSERT_TRUE(loaded);
    CMC_Setup* setup = loaded.get();
    // Filter 1 (notch) sits alone on the speed controller output: slot 1.
    CBiquadDesigner slot_writer;
    ASSERT_EQ(slot_writer.ComputeAllFilters(setup), 1);
    const double b0 = setup->GetParameterValueInBaseUnit("BQ1B0");
    setup->SetParameterValueInBaseUnit("BQ1B0", 12345);

    CBiquadDesigner d;
    ASSERT_EQ(d.DesignQuantized(setup, 1), 1);
    EXPECT_EQ(d.coefficients().b0, b0);
    EXPECT_EQ(d.coefficients().b1, setup->GetParameterValueInBaseUnit("BQ1B1"));
    EXPECT_EQ(d.coefficients().a2, setup->GetParameterValueInBaseUnit("BQ1A2"));
    EXPECT_EQ(d.scale_factor(), setup->GetParameterValueInBaseUnit("BQ1SF"));
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("BQ1B0"), 12345);

    EXPECT_EQ(d.DesignQuantized(setup, 0), 0);
    EXPECT_EQ(d.DesignQuantized(setup, 4), 0);
    // A type outside the table: an empty slot.
    setup->FindParameter("BQFilterType1")->SetMaxInBaseUnit(20);
    setup->SetParameterValueInBaseUnit("BQFilterType1", 12);
    ASSERT_EQ(d.DesignQuantized(setup, 1), 1);
    EXPECT_EQ(d.scale_factor(), 0.0);
}

}  // namespace
