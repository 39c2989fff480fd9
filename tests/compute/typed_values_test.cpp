// A read-back keeps the value the user typed when that value already gives the drive's
// registers, and only then.

#include "compute/typed_values.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <random>
#include <string>

#include "compute/sequences.h"
#include "host/setup/setup_file.h"
#include "tests/support/shipped_setup.h"

namespace {

using Values = std::map<std::string, std::array<double, 3>>;

Values All(const CMC_Setup& s) {
    Values out;
    const CMC_Parameters params = s.GetParameters();
    for (int i = 0; i < params.GetParametersCount(); ++i) {
        const CMC_Parameter* p = params[i];
        out[p->GetName()] = {p->GetValueInBaseUnit(), p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()};
    }
    return out;
}

double Value(const CMC_Setup& s, const char* name) {
    return s.FindParameter(name)->GetValueInBaseUnit();
}

// Regression: the first save of the demo setup turned 60 V into 59.99999999999999 V,
// 85 degC into 85.00000000000001 degC and moved the last digits of the analogue ends.
TEST(TypedValues, ForwardAndReadBackOfTheDemoKeepWhatTheUserTyped) {
    auto s = orvex_test::LoadShippedSetup("demo.json");
    ASSERT_TRUE(s);
    orvex::ComputeOptionsFromParameters(s.get());
    orvex::ReadBackParametersFromOptions(s.get());
    EXPECT_EQ(Value(*s, "UMAX_PROT"), 60.0);
    EXPECT_EQ(Value(*s, "Temp_2"), 85.0);
    EXPECT_EQ(Value(*s, "POS_min"), -31.41592653589793);
    EXPECT_EQ(Value(*s, "POS_max"), 31.41592653589793);
}

// Each forward conversion named for a parameter writes its own register and nothing
// else, so checking a typed value can put every register back as it was.
TEST(TypedValues, EachListedForwardConversionWritesOnlyItsRegister) {
    auto s = orvex_test::LoadShippedSetup("demo.json");
    ASSERT_TRUE(s);
    orvex::ComputeOptionsFromParameters(s.get());
    for (const orvex::EncodedParameter& entry : orvex::EncodedParameters()) {
        ASSERT_TRUE(s->FindParameter(entry.parameter)) << entry.parameter;
        for (const orvex::Encoding& e : entry.encodings) {
            ASSERT_TRUE(s->FindParameter(e.option)) << e.option;
            // A clearly different parameter value, so that the register really moves.
            CMC_Parameter* p = s->FindParameter(entry.parameter);
            const double typed = p->GetValueInBaseUnit();
            const Values before = All(*s);
            p->RestoreStored(typed * 0.5 + 0.25, p->GetMinInBaseUnit(), p->GetMaxInBaseUnit());
            EXPECT_EQ(e.forward(s.get()), 1) << e.option;
            Values after = All(*s);
            after[entry.parameter] = before.at(entry.parameter);
            after[e.option] = before.at(e.option);
            EXPECT_EQ(after, before) << entry.parameter << " -> " << e.option;
            // Undo for the next case.
            p->RestoreStored(typed, before.at(entry.parameter)[1], before.at(entry.parameter)[2]);
            CMC_Parameter* reg = s->FindParameter(e.option);
            reg->RestoreStored(before.at(e.option)[0], before.at(e.option)[1],
                               before.at(e.option)[2]);
        }
    }
}

// Whatever the registers hold, a read-back gives either what it always gave or the
// typed value, and the typed value only when it gives the same registers. A register
// moved by a few counts brings the parameter along.
TEST(TypedValues, AMovedRegisterStillMovesItsParameter) {
    for (const orvex::EncodedParameter& entry : orvex::EncodedParameters()) {
        for (const double counts : {0.0, 3.0, -200.0}) {
            auto plain = orvex_test::LoadShippedSetup("demo.json");
            auto kept = orvex_test::LoadShippedSetup("demo.json");
            ASSERT_TRUE(plain && kept);
            orvex::ComputeOptionsFromParameters(plain.get());
            orvex::ComputeOptionsFromParameters(kept.get());
            // Move the parameter's first register, as a changed option would.
            const char* reg = entry.encodings.front().option;
            for (CMC_Setup* s : {plain.get(), kept.get()}) {
                CMC_Parameter* r = s->FindParameter(reg);
                r->RestoreStored(r->GetValueInBaseUnit() + counts, r->GetMinInBaseUnit(),
                                 r->GetMaxInBaseUnit());
            }
            const double typed = Value(*kept, entry.parameter);
            entry.read_back(plain.get());
            orvex::ReadBackKeepingTypedValue(kept.get(), entry.read_back);
            const double read = Value(*plain, entry.parameter);
            const double got = Value(*kept, entry.parameter);
            EXPECT_EQ(All(*plain).at(reg), All(*kept).at(reg)) << reg;
            if (got == read) continue;
            EXPECT_EQ(got, typed) << entry.parameter << " " << counts;
            EXPECT_EQ(counts, 0.0) << entry.parameter << ": kept " << typed << " over " << read
                                   << " although " << reg << " moved by " << counts;
        }
    }
}

// A typed value within a register's count keeps; the register the drive gets is the
// one the value gives, so nothing is lost cycle after cycle.
TEST(TypedValues, TypedVoltagesSurviveManyCyclesAndKeepTheirRegister) {
    auto s = orvex_test::LoadShippedSetup("minimal.json");
    ASSERT_TRUE(s);
    std::mt19937 rng(11);
    for (int n = 0; n < 200; ++n) {
        const double volts = std::uniform_real_distribution(20.0, 100.0)(rng);
        s->SetParameterValueInBaseUnit("UMAX_PROT", volts);
        orvex::ComputeOptionsFromParameters(s.get());
        const double reg = Value(*s, "UMAXPROT");
        for (int cycle = 0; cycle < 5; ++cycle) {
            orvex::ReadBackParametersFromOptions(s.get());
            orvex::ComputeOptionsFromParameters(s.get());
        }
        ASSERT_EQ(Value(*s, "UMAX_PROT"), volts);
        ASSERT_EQ(Value(*s, "UMAXPROT"), reg);
    }
}

// The current end values do not feed any register in position mode: they are read
// back from the offset as always, not kept because any value would "give" the registers.
TEST(TypedValues, AValueThatFeedsNoRegisterIsNotKept) {
    auto s = orvex_test::LoadShippedSetup("demo.json");
    ASSERT_TRUE(s);
    ASSERT_EQ(Value(*s, "ControlMode"), 0.0);
    orvex::ComputeOptionsFromParameters(s.get());
    CMC_Parameter* crt_min = s->FindParameter("CRT_min");
    crt_min->RestoreStored(0.5, crt_min->GetMinInBaseUnit(), crt_min->GetMaxInBaseUnit());
    orvex::ReadBackParametersFromOptions(s.get());
    EXPECT_EQ(crt_min->GetValueInInternalUnit(), s->GetParameterValueInInternalUnit("AD5OFF"));
}

TEST(TypedValues, RegistersCompareAsTheDriveStoresThem) {
    CMC_Setup s;
    CMC_Parameter* r16 = s.AddParameter("R16", kTypeOption16, "", "", 0, -65536, 65536);
    CMC_Parameter* r32 = s.AddParameter("R32", kTypeOption32, "", "", 0, -1e10, 1e10);
    CMC_Parameter* real = s.AddParameter("X", kTypeReal, "", "", 0, -10, 10);
    const struct {
        const CMC_Parameter* p;
        double a, b;
        bool same;
    } cases[] = {
        {r16, 1234.2, 1234.9, true},
        {r16, 1234.9, 1235.0, false},
        {r16, -1.0, 65535.0, true},
        {r16, 65536.5, 0.0, true},
        {r32, -1.0, 4294967295.0, true},
        {r32, 70000.0, 4464.0, false},
        {r32, 1e300, 1e300, true},
        {r16, NAN, 0.0, false},
        {real, 1.0, 1.0000000000000002, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(orvex::SameRegister(*c.p, c.a, c.b), c.same) << c.a << " " << c.b;
}

}  // namespace
