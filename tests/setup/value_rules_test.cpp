#include "host/setup/value_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "host/setup/setup.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// One parameter of each kind the dialogs bind: a current shown in mA, a count, a
// unitless real with a span around zero, a register with no unit type at all.
std::unique_ptr<CMC_Setup> BoundParameters() {
    auto s = std::make_unique<CMC_Setup>();
    s->AddParameter("In", kTypeReal, "A", "mA", 2, 0.1, 10);
    s->AddParameter("No_encoder_lines", kTypeInteger, "", "", 1000, 4, 100000);
    s->AddParameter("Dump_C", kTypeReal, "", "", 0.7, -1.5, 1.5);
    s->AddParameter("KPI", kTypeOption16, "", "", 12000, 0, 32767);
    s->AddParameter("isMotorI2t", kTypeSwitch, "", "", 1, 0, 1);
    return s;
}

TEST(SwitchRule, OnOnlyWhenTheTruncatedValueIsOne) {
    const struct {
        double value;
        bool on;
    } cases[] = {
        {1, true},      {1.7, true},           {1.999, true}, {0, false},    {0.999, false},
        {2, false},     {-1, false},           {-0.5, false}, {kNaN, false}, {kInf, false},
        {-kInf, false}, {4294967297.0, false},  // a wrapping 32-bit cast would read 1
    };
    for (const auto& c : cases) EXPECT_EQ(axis::IsSwitchOn(c.value), c.on) << c.value;
}

TEST(ValueText, SevenSignificantDigitsWithoutTrailingZeros) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {1, "1"},
        {-2.5, "-2.5"},
        {1.0 / 3, "0.3333333"},
        {2.0 / 3, "0.6666667"},
        {1234567.89, "1234568"},
        {123456789, "123456789"},  // whole digits beyond seven are kept, not rounded
        {0.0001, "0.0001"},
        {0.000123456789, "0.0001234568"},
        {-0.00000001, "-1e-08"},  // below 1e-4: exponent form
        {0.00009999, "9.999e-05"},
        {1e9, "1e+09"},
        {-2.5e12, "-2.5e+12"},
        {1.2345e100, "1.2345e+100"},  // the host's no-value marker stays readable
        {0.1 + 0.2, "0.3"},
        {99.99999999, "100"},  // rounding carries into a new digit
        {kNaN, "?"},
        {kInf, "?"},
        {-kInf, "?"},
    };
    for (const auto& c : cases) EXPECT_EQ(axis::FormatValue(c.value), c.text) << c.value;
}

TEST(ShownRange, LimitsInTheUnitTheUserChose) {
    auto s = BoundParameters();
    const struct {
        const char* name;
        double low, high;
        const char* unit;
    } cases[] = {
        {"In", 100, 10000, "mA"},
        {"No_encoder_lines", 4, 100000, ""},
        {"Dump_C", -1.5, 1.5, ""},
        {"KPI", 0, 32767, ""},  // a register has no unit type
    };
    for (const auto& c : cases) {
        const axis::ShownRange r = axis::ShownRangeOf(*s->FindParameter(c.name));
        EXPECT_DOUBLE_EQ(r.low, c.low) << c.name;
        EXPECT_DOUBLE_EQ(r.high, c.high) << c.name;
        EXPECT_EQ(r.unit, c.unit) << c.name;
    }
}

TEST(ShownRange, AReversingUnitStillGivesLowBelowHigh) {
    auto s = BoundParameters();
    s->AddParameter("Pos", kTypeReal, "rad", "rad", 0, -1, 3);
    ASSERT_EQ(s->MergeDerivedUnit("turns back", "rad", -2, 0), 1);
    ASSERT_EQ(s->FindParameter("Pos")->ChangeUnit("turns back"), 1);
    const axis::ShownRange r = axis::ShownRangeOf(*s->FindParameter("Pos"));
    EXPECT_DOUBLE_EQ(r.low, -6);
    EXPECT_DOUBLE_EQ(r.high, 2);
    EXPECT_EQ(r.unit, "turns back");
}

TEST(UserValue, AcceptsWithinTheLimitsAndTheirSlackAndRefusesTheRest) {
    auto s = BoundParameters();
    constexpr double kSlack10 = 1e-9 * 10;  // the slack of a range whose larger limit is 10
    const struct {
        const char* name;
        double entered;  // base unit
        bool accepted;
        double written;  // when accepted
        const char* refusal;
    } cases[] = {
        {"In", 5, true, 5, ""},
        {"In", 0.1, true, 0.1, ""},
        {"In", 10, true, 10, ""},
        {"In", 10 + 0.5 * kSlack10, true, 10, ""},  // pulled onto the limit
        {"In", 0.1 - 0.5 * kSlack10, true, 0.1, ""},
        {"In", 10 + 2 * kSlack10, false, 0, "Enter a value between 100 and 10000 mA."},
        {"In", 0, false, 0, "Enter a value between 100 and 10000 mA."},
        {"In", kNaN, false, 0, "Enter a value between 100 and 10000 mA."},  // text, no number
        {"In", kInf, false, 0, "Enter a value between 100 and 10000 mA."},
        {"No_encoder_lines", 2000, true, 2000, ""},
        {"No_encoder_lines", 2000 + 5e-5, true, 2000, ""},  // within the slack of 1e-4
        {"No_encoder_lines", 2000.5, false, 0, "Enter a whole number between 4 and 100000."},
        {"No_encoder_lines", 3, false, 0, "Enter a whole number between 4 and 100000."},
        {"Dump_C", -1.5, true, -1.5, ""},
        {"Dump_C", 1.6, false, 0, "Enter a value between -1.5 and 1.5."},
        {"KPI", 32767, true, 32767, ""},
        {"KPI", 12.5, false, 0, "Enter a whole number between 0 and 32767."},  // a register
        {"isMotorI2t", 1, true, 1, ""},
        {"isMotorI2t", 2, false, 0, "Enter a whole number between 0 and 1."},
    };
    for (const auto& c : cases) {
        const axis::UserValue v = axis::CheckUserValue(*s->FindParameter(c.name), c.entered);
        EXPECT_EQ(v.accepted(), c.accepted) << c.name << " " << c.entered;
        if (c.accepted) {
            EXPECT_EQ(*v.value, c.written) << c.name << " " << c.entered;
            EXPECT_TRUE(v.refusal.empty());
        } else {
            EXPECT_EQ(v.refusal, c.refusal) << c.name << " " << c.entered;
        }
    }
}

TEST(UserValue, TheRefusalFollowsTheShownUnit) {
    auto s = BoundParameters();
    CMC_Parameter* in = s->FindParameter("In");
    ASSERT_EQ(in->ChangeUnit("A"), 1);
    EXPECT_EQ(axis::CheckUserValue(*in, 11).refusal, "Enter a value between 0.1 and 10 A.");
}

TEST(Slider, PositionsAndValuesMapOntoTheLimits) {
    auto s = BoundParameters();
    const struct {
        const char* name;
        double value;  // base unit
        int steps;
        int position;
    } positions[] = {
        {"In", 0.1, 100, 0},    {"In", 10, 100, 100},
        {"In", 5.05, 100, 50},  {"In", 5.06, 100, 50},  // nearest step
        {"Dump_C", 0, 10, 5},   {"Dump_C", -1.5, 10, 0},
        {"Dump_C", -0.2, 0, 0},  // fewer than one step counts as one
        {"Dump_C", 0.2, 0, 1},
    };
    for (const auto& c : positions) {
        CMC_Parameter* p = s->FindParameter(c.name);
        ASSERT_EQ(p->SetValueInBaseUnit(c.value), 1);
        EXPECT_EQ(axis::SliderPosition(*p, c.steps), c.position) << c.name << " " << c.value;
    }

    const struct {
        const char* name;
        int position, steps;
        double value;
    } values[] = {
        {"In", 0, 100, 0.1},
        {"In", 100, 100, 10},
        {"In", 50, 100, 5.05},
        {"Dump_C", 3, 4, 0.75},
        {"No_encoder_lines", 1, 3, 33336},  // 4 + 99996 / 3 = 33336: whole already
        {"No_encoder_lines", 1, 7, 14289},  // 14289.14..., a whole-number parameter rounds
        {"KPI", 1, 2, 16384},               // 16383.5 rounds away from zero
    };
    for (const auto& c : values) {
        EXPECT_NEAR(axis::SliderValue(*s->FindParameter(c.name), c.position, c.steps), c.value,
                    1e-12)
            << c.name << " " << c.position;
    }
}

TEST(Slider, ARangeWithoutSpanSitsAtTheStart) {
    auto s = BoundParameters();
    s->AddParameter("Fixed", kTypeReal, "", "", 3, 3, 3);
    s->AddParameter("Inverted", kTypeReal, "", "", 3, 5, 1);
    EXPECT_EQ(axis::SliderPosition(*s->FindParameter("Fixed"), 100), 0);
    EXPECT_EQ(axis::SliderPosition(*s->FindParameter("Inverted"), 100), 0);
}

TEST(Slider, ATuningSpanLiesAroundTheValueWithinTheLimits) {
    auto s = BoundParameters();
    s->AddParameter("Kp_C_scl", kTypeReal, "", "", 1, 0, 100);
    s->AddParameter("Offset", kTypeReal, "", "", 0, -10, 10);
    const struct {
        const char* name;
        double value;  // base unit
        double low, high;
    } cases[] = {
        {"Kp_C_scl", 8, 4, 12},       // half to one and a half times
        {"Kp_C_scl", 80, 40, 100},    // the maximum caps it
        {"Kp_C_scl", 0.2, 0.1, 0.3},  // well inside
        {"In", 0.15, 0.1, 0.225},     // the minimum raises it
        {"Offset", -4, -6, -2},       // a negative value: its multiples change places
        {"Kp_C_scl", 0, 0, 100},      // nothing to slide over: the limits
        {"Dump_C", 1.5, 0.75, 1.5},   // at the maximum: from half of it up to it
    };
    for (const auto& c : cases) {
        CMC_Parameter* p = s->FindParameter(c.name);
        ASSERT_EQ(p->SetValueInBaseUnit(c.value), 1);
        const axis::SliderSpan span = axis::SpanAroundValue(*p);
        EXPECT_DOUBLE_EQ(span.low, c.low) << c.name << " " << c.value;
        EXPECT_DOUBLE_EQ(span.high, c.high) << c.name << " " << c.value;
    }
    // The slider maps over the span, not the limits: its middle is the value itself.
    CMC_Parameter* kp = s->FindParameter("Kp_C_scl");
    ASSERT_EQ(kp->SetValueInBaseUnit(8), 1);
    const axis::SliderSpan span = axis::SpanAroundValue(*kp);
    EXPECT_EQ(axis::SliderPosition(*kp, span, 100), 50);
    EXPECT_DOUBLE_EQ(axis::SliderValue(*kp, span, 100, 100), 12);
    EXPECT_DOUBLE_EQ(axis::SliderValue(*kp, span, 25, 100), 6);
}

TEST(Spin, APressMovesOneSliderStepWithinTheLimits) {
    auto s = BoundParameters();
    s->AddParameter("Kp_C_scl", kTypeReal, "", "", 8, 0, 100);
    const axis::SliderSpan tuning{4, 12};  // around 8
    const struct {
        const char* name;
        double value;  // base unit
        axis::SliderSpan span;
        int direction;
        double after;
    } cases[] = {
        {"Kp_C_scl", 8, tuning, 1, 8.08},  // a hundredth of the span
        {"Kp_C_scl", 8, tuning, -1, 7.92},
        {"Kp_C_scl", 30, tuning, 1, 30.08},                // typed in beyond the slider: same step
        {"Kp_C_scl", 99.95, tuning, 1, 100},               // held at the maximum
        {"In", 0.1, {0.1, 10}, -1, 0.1},                   // and at the minimum
        {"Dump_C", 0.7, {1.5, -1.5}, -1, 0.67},            // a span given high to low
        {"No_encoder_lines", 1000, {4, 100000}, 1, 2000},  // 999.96 rounds to 1000
        {"No_encoder_lines", 1000, {990, 1010}, -1, 999},  // a count moves by at least 1
    };
    for (const auto& c : cases) {
        CMC_Parameter* p = s->FindParameter(c.name);
        ASSERT_EQ(p->SetValueInBaseUnit(c.value), 1);
        EXPECT_NEAR(axis::SpinValue(*p, c.span, 100, c.direction), c.after, 1e-12)
            << c.name << " " << c.value << " " << c.direction;
    }
}

}  // namespace
