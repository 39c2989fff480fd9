#include "compute/biquad.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "compute/units_transmission.h"
#include "host/setup/chip_link.h"
#include "tests/compute/setup_builder.h"

namespace {

using std::numbers::pi;

using orvex::BiquadCoefficients;
using orvex::CBiquadDesigner;
using cplx = std::complex<double>;

constexpr double kWordOne = 2147483648.0;  // 2^31
constexpr double kTs = 500e-6;             // slow-loop period of the test drive [s]

struct Filter {
    int on = 0;
    int type = 0;
    double f1 = 100;  // Hz
    double f2 = 400;  // Hz
    double q = 0.7;
    int location = 0;
};

// Three filter descriptions, the drive's three slots (holding stale values) and the
// counts. Names listed in `omit` are left out.
std::unique_ptr<CMC_Setup> FilterSetup(const std::vector<Filter>& filters,
                                       const std::vector<std::string>& omit = {}) {
    using compute_test::Choice;
    using compute_test::Real;
    compute_test::SetupBuilder b;
    b.Real("Ts_S", kTs, "s", 0, 1);
    for (size_t k = 0; k < filters.size(); ++k) {
        const Filter& f = filters[k];
        const std::string i = std::to_string(k + 1);
        b.Add({compute_test::Switch("BQFilter" + i, f.on),
               Choice("BQFilterType" + i, f.type, -5, 20),
               Real("BQFilterF1" + i, f.f1, "Hz", 0, 1e6),
               Real("BQFilterF2" + i, f.f2, "Hz", 0, 1e6), Real("BQFilterQ" + i, f.q, "", 0, 100),
               Choice("BQFilterLocation" + i, f.location, 0, 9)});
    }
    for (int s = 1; s <= 3; ++s)
        for (const char* c : {"B0", "B1", "B2", "A1", "A2", "SF"})
            b.Add(compute_test::Option32("BQ" + std::to_string(s) + c, 12345));
    for (const char* c : {"SPDREF_BQ_INI", "IQREF_BQ_INI", "ASPD_BQ_INI"})
        b.Add(compute_test::Option16(c, 7, 0, 3));
    return b.Without(omit).Build();
}

struct Slot {
    double b0, b1, b2, a1, a2, sf;
};

Slot ReadSlot(const CMC_Setup& s, int slot) {
    auto v = [&](const char* c) {
        return s.GetParameterValueInBaseUnit("BQ" + std::to_string(slot) + c);
    };
    return {v("B0"), v("B1"), v("B2"), v("A1"), v("A2"), v("SF")};
}

// Frequency response of a slot's whole-number filter at f [Hz].
cplx SlotResponse(const Slot& w, double f) {
    const cplx z1 = std::polar(1.0, -2 * pi * f * kTs);  // z^-1
    return (w.b0 + w.b1 * z1 + w.b2 * z1 * z1) / (kWordOne / w.sf + w.a1 * z1 + w.a2 * z1 * z1);
}

TEST(BiquadTypes, OfferedTypesInIndexOrder) {
    CBiquadDesigner d;
    std::vector<std::string> names = {"stale"};
    std::vector<int> types = {42};
    d.GetOfferedTypes(names, types);
    EXPECT_EQ(types, (std::vector<int>{0, 1, 2, 3, 4, 8, 9}));
    EXPECT_EQ(names, (std::vector<std::string>{"Low Pass 1st order", "Low Pass 2nd order", "Notch",
                                               "High Pass", "Band Pass", "Lead-lag 1st order",
                                               "Lead-lag 2nd order"}));
    EXPECT_EQ(d.GetTypeName(6), "Low Shelf");
    EXPECT_FALSE(d.IsOffered(5));
    EXPECT_EQ(d.GetTypeName(10), "");
}

// Each filter gets its own corner so that a slot shows which filter it holds.
constexpr double kCorner[] = {0, 50, 150, 450};  // Hz, by filter number

double LowPassWordB1(int filter) {
    CBiquadDesigner d;
    d.DesignFilter(0, kCorner[filter] * kTs, 0);
    d.Quantize();
    return d.coefficients().b1;  // b1 is never trimmed
}

TEST(BiquadSlots, FilledLocationByLocation) {
    struct Case {
        const char* what;
        int on[3];
        int location[3];
        int slot_holds[3];  // filter number per slot, 0 = empty
        int counts[3];      // SPDREF, IQREF, ASPD
    } cases[] = {
        {"none on", {0, 0, 0}, {0, 1, 2}, {0, 0, 0}, {0, 0, 0}},
        {"1 and 3 on the feedback, 2 on the position output",
         {1, 1, 1},
         {2, 0, 2},
         {2, 1, 3},
         {1, 0, 2}},
        {"all on the current reference", {1, 1, 1}, {1, 1, 1}, {1, 2, 3}, {0, 3, 0}},
        {"an off filter keeps no slot", {1, 0, 1}, {1, 0, 0}, {3, 1, 0}, {1, 1, 0}},
        {"a location outside 0 to 2 is never placed", {1, 1, 0}, {5, 1, 0}, {2, 0, 0}, {0, 1, 0}},
    };
    for (const auto& c : cases) {
        std::vector<Filter> filters(3);
        for (int k = 0; k < 3; ++k) {
            filters[k].on = c.on[k];
            filters[k].location = c.location[k];
            filters[k].f1 = kCorner[k + 1];
        }
        auto s = FilterSetup(filters);
        CBiquadDesigner d;
        EXPECT_EQ(d.ComputeAllFilters(s.get()), 1);
        for (int slot = 1; slot <= 3; ++slot) {
            const Slot w = ReadSlot(*s, slot);
            const int f = c.slot_holds[slot - 1];
            if (f == 0) {
                for (double v : {w.b0, w.b1, w.b2, w.a1, w.a2, w.sf})
                    EXPECT_EQ(v, 0) << c.what << " slot " << slot;
            } else {
                EXPECT_EQ(w.b1, LowPassWordB1(f)) << c.what << " slot " << slot;
                EXPECT_EQ(w.sf, 1) << c.what << " slot " << slot;
            }
        }
        EXPECT_EQ(s->GetParameterValueInBaseUnit("SPDREF_BQ_INI"), c.counts[0]) << c.what;
        EXPECT_EQ(s->GetParameterValueInBaseUnit("IQREF_BQ_INI"), c.counts[1]) << c.what;
        EXPECT_EQ(s->GetParameterValueInBaseUnit("ASPD_BQ_INI"), c.counts[2]) << c.what;
    }
}

TEST(BiquadQuantize, WordsAndScaleFactor) {
    const double w30 = 1073741824.0;  // 2^30
    struct Case {
        const char* what;
        BiquadCoefficients in;
        BiquadCoefficients words;
        double sf;
    } cases[] = {
        {"0.25 at SF 1", {0.25, 0, 0, 0, 0}, {536870912, 0, 0, 0, 0}, 1},
        {"halves round up",
         {1.5 / kWordOne, -1.5 / kWordOne, 2.5 / kWordOne, 0, 0},
         {2, -1, 3, 0, 0},
         1},
        {"largest below 1", {0.5, 0, 0, -0.75, 0}, {w30, 0, 0, -1610612736, 0}, 1},
        {"largest exactly 1", {0.5, 0, 0, -1.0, 0.25}, {536870912, 0, 0, -w30, 268435456}, 2},
        {"b0 exactly 1", {1.0, 0, 0, 0, 0}, {w30, 0, 0, 0, 0}, 2},
        {"largest between 1 and 2",
         {0.5, 0, 0, -1.5, 0.5},
         {536870912, 0, 0, -1610612736, 536870912},
         2},
        {"largest exactly 2", {2.0, 0, 0, -1.0, 0}, {w30, 0, 0, -536870912, 0}, 4},
        {"largest exactly 4", {0, 0, 0, 4.0, -3.0}, {0, 0, 0, w30, -805306368}, 8},
        {"half a count below 1 would round to 2^31",
         {1.0 - 1.0 / (4 * kWordOne), 0, 0, 0, 0},
         {w30, 0, 0, 0, 0},
         2},
        {"undefined design", {0.5, NAN, 0, INFINITY, 0}, {0, 0, 0, 0, 0}, 0},
    };
    for (const auto& c : cases) {
        CBiquadDesigner d;
        d.SetCoefficients(c.in);
        d.Quantize();
        const BiquadCoefficients& w = d.coefficients();
        EXPECT_EQ(d.scale_factor(), c.sf) << c.what;
        EXPECT_EQ(w.b0, c.words.b0) << c.what;
        EXPECT_EQ(w.b1, c.words.b1) << c.what;
        EXPECT_EQ(w.b2, c.words.b2) << c.what;
        EXPECT_EQ(w.a1, c.words.a1) << c.what;
        EXPECT_EQ(w.a2, c.words.a2) << c.what;
        for (double v : {w.b0, w.b1, w.b2, w.a1, w.a2}) EXPECT_LT(std::abs(v), kWordOne) << c.what;
    }
}

TEST(BiquadQuantize, LowPassScaleFactorFollowsItsLargestCoefficient) {
    struct Case {
        const char* what;
        double f1n, q, sf;
    } cases[] = {
        {"a1 between -2 and -1", 0.05, 0.5, 2},
        {"corner at a quarter of the sampling rate: all below 1", 0.25, 0.7, 1},
        {"corner at 0 Hz: a1 = -2 exactly", 0.0, 0.7, 4},
    };
    for (const auto& c : cases) {
        CBiquadDesigner d;
        d.DesignFilter(1, c.f1n, c.q);
        d.Quantize();
        EXPECT_EQ(d.scale_factor(), c.sf) << c.what;
    }
    // A first-order low pass at 0 Hz has a1 = -1 exactly.
    CBiquadDesigner d;
    d.DesignFilter(0, 0.0, 0);
    d.Quantize();
    EXPECT_EQ(d.scale_factor(), 2);
    EXPECT_EQ(d.coefficients().a1, -1073741824.0);
}

TEST(BiquadDesign, LeadLagWithEqualCornersPassesThrough) {
    CBiquadDesigner d;
    d.DesignFilter(8, 0.03, 0.03);
    const BiquadCoefficients& c = d.coefficients();
    EXPECT_EQ(c.b0, 1.0);
    EXPECT_EQ(c.b1, c.a1);
    EXPECT_EQ(c.b2, 0.0);
    EXPECT_EQ(c.a2, 0.0);
}

TEST(BiquadDesign, TypeOutsideTheTableKeepsTheCoefficients) {
    CBiquadDesigner d;
    d.SetCoefficients({0.1, 0.2, 0.3, 0.4, 0.5});
    d.DesignFilter(10, 0.05, 0.7);
    d.DesignFilter(-1, 0.05, 0.7);
    EXPECT_EQ(d.coefficients().b2, 0.3);
    EXPECT_EQ(d.coefficients().a2, 0.5);
}

// Known designs at T_S = 500 us, words as the drive gets them. The low pass's
// rounding leaves its zero-frequency gain one count short, which b0 takes up.
TEST(BiquadSlots, ExactWordsOfKnownDesigns) {
    struct Case {
        const char* what;
        Filter f;
        Slot words;
    } cases[] = {
        {"low pass 2nd order, 100 Hz, Q 0.5",
         {1, 1, 100, 0, 0.5, 0},
         {20073333, 40146664, 20073332, -1560238198, 566789703, 2}},
        {"notch, 250 Hz, Q 2",
         {1, 2, 250, 0, 2.0, 0},
         {912443141, -1290389465, 912443141, -1290389465, 751144458, 2}},
    };
    for (const auto& c : cases) {
        auto s = FilterSetup({c.f, Filter{}, Filter{}});
        CBiquadDesigner d;
        ASSERT_EQ(d.ComputeFilter(s.get(), 1, 2), 1) << c.what;
        const Slot w = ReadSlot(*s, 2);
        EXPECT_EQ(w.b0, c.words.b0) << c.what;
        EXPECT_EQ(w.b1, c.words.b1) << c.what;
        EXPECT_EQ(w.b2, c.words.b2) << c.what;
        EXPECT_EQ(w.a1, c.words.a1) << c.what;
        EXPECT_EQ(w.a2, c.words.a2) << c.what;
        EXPECT_EQ(w.sf, c.words.sf) << c.what;
        EXPECT_EQ(ReadSlot(*s, 1).b0, 12345) << "other slots untouched";
    }
}

// Analogue prototypes in the normalised s = j w / w1; the bilinear transform maps the
// digital frequency f onto w / w1 = tan(pi f T) / tan(pi F1 T), F1 itself exactly.
cplx Prototype(int type, double x, double xz, double q) {
    const cplx s(0, x);
    switch (type) {
        case 0:
            return 1.0 / (1.0 + s);
        case 1:
            return 1.0 / (s * s + s / q + 1.0);
        case 2:
            return (s * s + 1.0) / (s * s + s / q + 1.0);
        case 3:
            return s * s / (s * s + s / q + 1.0);
        case 4:
            return (s / q) / (s * s + s / q + 1.0);
        case 8:
            return (1.0 + s) / (1.0 + cplx(0, xz));
        case 9:
            return (1.0 + s) * (1.0 + s) / ((1.0 + cplx(0, xz)) * (1.0 + cplx(0, xz)));
        default:
            return 1.0;  // peak and shelves at 0 dB
    }
}

TEST(BiquadSlots, ResponseMatchesTheAnaloguePrototype) {
    const double F1 = 120, F2 = 360, Q = 1.5;
    for (int type = 0; type <= 9; ++type) {
        auto s = FilterSetup({Filter{1, type, F1, F2, Q, 1}, Filter{}, Filter{}});
        CBiquadDesigner d;
        ASSERT_EQ(d.ComputeAllFilters(s.get()), 1);
        const Slot w = ReadSlot(*s, 1);
        ASSERT_GE(w.sf, 1) << type;
        for (double f : {0.0, 10.0, 60.0, F1, 300.0, 700.0, 980.0}) {
            const double warp = std::tan(pi * f * kTs);
            const cplx expected =
                Prototype(type, warp / std::tan(pi * F1 * kTs), warp / std::tan(pi * F2 * kTs), Q);
            const cplx got = SlotResponse(w, f);
            EXPECT_NEAR(got.real(), expected.real(), 2e-6 * (1 + std::abs(expected)))
                << "type " << type << " at " << f << " Hz";
            EXPECT_NEAR(got.imag(), expected.imag(), 2e-6 * (1 + std::abs(expected)))
                << "type " << type << " at " << f << " Hz";
        }
        // At its own corner the filter is exactly the unwarped analogue filter.
        const double at_corner = std::abs(SlotResponse(w, F1));
        if (type == 2) {
            EXPECT_NEAR(at_corner, 0.0, 1e-6);
        } else if (type == 4) {
            EXPECT_NEAR(at_corner, 1.0, 1e-6);
        } else if (type == 1 || type == 3) {
            EXPECT_NEAR(at_corner, Q, 1e-5);
        }
    }
}

TEST(BiquadSlots, ZeroFrequencyGainIsExactlyOneWhereDesignedSo) {
    for (int type = 0; type <= 9; ++type) {
        for (double f1 : {5.0, 80.0, 333.0, 900.0}) {
            auto s = FilterSetup({Filter{1, type, f1, 2.7 * f1, 0.6, 0}, Filter{}, Filter{}});
            CBiquadDesigner d;
            d.ComputeAllFilters(s.get());
            const Slot w = ReadSlot(*s, 1);
            const double dc_num = w.b0 + w.b1 + w.b2;
            const double dc_den = kWordOne / w.sf + w.a1 + w.a2;
            if (type == 3 || type == 4)
                EXPECT_LE(std::abs(dc_num), 1.0) << "type " << type << " at " << f1;
            else
                EXPECT_EQ(dc_num, dc_den) << "type " << type << " at " << f1;
        }
    }
}

TEST(BiquadSlots, UndesignableFilterGetsZerosButKeepsItsSlot) {
    struct Case {
        const char* what;
        Filter f;
    } cases[] = {
        {"type outside the table", {1, 12, 100, 300, 0.7, 1}},
        {"negative type", {1, -1, 100, 300, 0.7, 1}},
        {"zero Q at 0 Hz", {1, 1, 0, 300, 0.0, 1}},
        {"lead at 0 Hz", {1, 8, 0, 300, 0.7, 1}},
    };
    for (const auto& c : cases) {
        auto s = FilterSetup({c.f, Filter{1, 0, 100, 0, 0.7, 1}, Filter{}});
        CBiquadDesigner d;
        d.ComputeAllFilters(s.get());
        const Slot w = ReadSlot(*s, 1);
        for (double v : {w.b0, w.b1, w.b2, w.a1, w.a2, w.sf}) EXPECT_EQ(v, 0) << c.what;
        EXPECT_GT(ReadSlot(*s, 2).b0, 0) << c.what << ": filter 2 in slot 2";
        EXPECT_EQ(s->GetParameterValueInBaseUnit("IQREF_BQ_INI"), 2) << c.what;
    }
}

TEST(BiquadSlots, IncompleteDescriptionIsNotPlaced) {
    std::vector<Filter> filters = {Filter{1, 0, kCorner[1], 0, 0.7, 0},
                                   Filter{1, 8, kCorner[2], 300, 0.7, 0},
                                   Filter{1, 0, kCorner[3], 0, 0.7, 0}};
    // Filter 2 is a lead-lag without its lag frequency.
    auto s = FilterSetup(filters, {"BQFilterF22"});
    CBiquadDesigner d;
    d.ComputeAllFilters(s.get());
    EXPECT_EQ(ReadSlot(*s, 1).b1, LowPassWordB1(1));
    EXPECT_EQ(ReadSlot(*s, 2).b1, LowPassWordB1(3));
    EXPECT_EQ(ReadSlot(*s, 3).sf, 0);
    EXPECT_EQ(s->GetParameterValueInBaseUnit("SPDREF_BQ_INI"), 2);
}

TEST(BiquadSlots, MissingSlotAndCountOptionsAreSkipped) {
    auto s = FilterSetup({Filter{1, 0, 100, 0, 0.7, 2}, Filter{}, Filter{}},
                         {"BQ1A2", "BQ3SF", "ASPD_BQ_INI"});
    CBiquadDesigner d;
    EXPECT_EQ(d.ComputeAllFilters(s.get()), 1);
    EXPECT_GT(ReadSlot(*s, 1).b0, 0);
    EXPECT_EQ(ReadSlot(*s, 3).b0, 0);
}

TEST(BiquadSlots, ForwardStepRunsOnlyOnDrivesWithFilters) {
    auto without =
        FilterSetup({Filter{1, 0, 100, 0, 0.7, 1}, Filter{}, Filter{}}, {"IQREF_BQ_INI"});
    EXPECT_EQ(orvex::ComputeOption_BiquadFilters(without.get()), 0);
    EXPECT_EQ(ReadSlot(*without, 1).b0, 12345);

    auto with = FilterSetup({Filter{1, 0, 100, 0, 0.7, 1}, Filter{}, Filter{}});
    EXPECT_EQ(orvex::ComputeOption_BiquadFilters(with.get()), 1);
    EXPECT_EQ(with->GetParameterValueInBaseUnit("IQREF_BQ_INI"), 1);
    EXPECT_EQ(ReadSlot(*with, 2).b0, 0);
}

// Records what reaches the drive.
class RecordingLink : public axis::ChipLink {
  public:
    struct Write {
        std::string name;
        double value;
        int bits;
    };
    std::vector<Write> writes;
    bool fail = false;
    bool ReadVariable(const std::string&, double&, std::string&) override { return false; }
    bool WriteVariable(const std::string&, double, std::string&) override { return false; }
    bool WriteParameter(const std::string& name, double value, int bits,
                        std::string& error) override {
        writes.push_back({name, value, bits});
        if (fail) error = "Drive does not answer.";
        return !fail;
    }
    bool ExecuteString(const std::string&, std::string&) override { return false; }
};

TEST(BiquadDrive, WritesCountsThenSlotsInOrder) {
    auto s = FilterSetup({Filter{1, 1, 100, 0, 0.5, 0}, Filter{}, Filter{}}, {"BQ2A1"});
    CBiquadDesigner d;
    d.ComputeAllFilters(s.get());
    RecordingLink link;
    s->SetChipLink(&link);
    EXPECT_EQ(d.WriteFiltersToDrive(s.get()), 1);
    std::vector<std::string> names;
    for (const auto& w : link.writes) names.push_back(w.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{
                  "SPDREF_BQ_INI", "IQREF_BQ_INI", "ASPD_BQ_INI",                             //
                  "BQ1B0",         "BQ1B1",        "BQ1B2",       "BQ1A1", "BQ1A2", "BQ1SF",  //
                  "BQ2B0",         "BQ2B1",        "BQ2B2",       "BQ2A2", "BQ2SF",           //
                  "BQ3B0",         "BQ3B1",        "BQ3B2",       "BQ3A1", "BQ3A2", "BQ3SF"}));
    EXPECT_EQ(link.writes[0].value, 1);
    EXPECT_EQ(link.writes[0].bits, 16);
    EXPECT_EQ(link.writes[3].value, 20073333);
    EXPECT_EQ(link.writes[3].bits, 32);

    // Every write is tried; the failure is reported.
    link.writes.clear();
    link.fail = true;
    EXPECT_EQ(d.WriteFiltersToDrive(s.get()), 0);
    EXPECT_EQ(link.writes.size(), 20u);
    EXPECT_EQ(s->GetLastDriveError(), "Drive does not answer.");

    s->SetChipLink(nullptr);
    EXPECT_EQ(d.WriteFiltersToDrive(s.get()), 0);
    EXPECT_EQ(s->GetLastDriveError(), "No drive connected.");
}

}  // namespace
