#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "host/setup/setup.h"
#include "host/setup/setup_file.h"

namespace {

std::unique_ptr<CMC_Setup> MakeSetup() {
    auto s = std::make_unique<CMC_Setup>();
    s->AddParameter("In", kTypeReal, "A", "mA", 2.8, 0.01, 20);
    s->AddParameter("KPI", kTypeOption16, "", "", 12000, -32768, 32767);
    s->AddParameter("isMotorI2t", kTypeSwitch, "", "", 1, 0, 1);
    s->AddVariable("APOS", "rad", "rot");
    return s;
}

TEST(SetupModel, ClampsAndRefusesNonFiniteValues) {
    auto s = MakeSetup();
    CMC_Parameter* in = s->FindParameter("In");
    EXPECT_EQ(in->SetValueInBaseUnit(25), 1);
    EXPECT_EQ(in->GetValueInBaseUnit(), 20);
    EXPECT_EQ(in->SetValueInBaseUnit(-3), 1);
    EXPECT_EQ(in->GetValueInBaseUnit(), 0.01);
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(in->SetValueInBaseUnit(bad), 0);
        EXPECT_EQ(in->GetValueInBaseUnit(), 0.01);
        EXPECT_EQ(in->SetMinInBaseUnit(bad), 0);
        EXPECT_EQ(in->SetMaxInBaseUnit(bad), 0);
    }
    // Limit setters store as given: no reordering, no move of the value.
    EXPECT_EQ(in->SetMinInBaseUnit(50), 1);
    EXPECT_EQ(in->GetMinInBaseUnit(), 50);
    EXPECT_EQ(in->GetValueInBaseUnit(), 0.01);
    // With the minimum above the maximum the maximum is applied first, then the minimum.
    EXPECT_EQ(in->SetValueInBaseUnit(30), 1);
    EXPECT_EQ(in->GetValueInBaseUnit(), 50);
}

TEST(SetupModel, NamesMatchWithoutRegardToCase) {
    auto s = MakeSetup();
    EXPECT_EQ(s->FindParameter("isMotori2t"), s->FindParameter("ISMOTORI2T"));
    EXPECT_NE(s->FindParameter("ismotori2t"), nullptr);
    EXPECT_EQ(s->AddParameter("IN", kTypeReal, "A", "", 1, 0, 2), nullptr);
    EXPECT_NE(s->FindVariable("apos"), nullptr);
    s->SetOption("NewDeadBand", "1");
    EXPECT_EQ(s->GetIntOption("newdeadband"), 1);
    s->SetOption("NEWDEADBAND", "0");
    EXPECT_EQ(s->GetOptions().size(), 1u);
    EXPECT_EQ(s->GetOptionNoError("NewDeadBand"), "0");
    s->ClearOption("newDeadBand");
    EXPECT_EQ(s->GetOptionNoError("NewDeadBand"), "");
}

// The name index grows many times on the way to tens of thousands of names (past the
// size where it and the parameters are kept in huge pages); every name stays found in
// any letter case, no parameter moves, and a refused name leaves nothing behind.
TEST(SetupModel, ManyNamesStayFoundAndUniqueAsTheIndexGrows) {
    CMC_Setup s;
    constexpr int kCount = 70'000;
    const CMC_Parameter* first = s.AddParameter("Gain_0", kTypeReal, "A", "mA", 0, 0, kCount);
    for (int i = 1; i < kCount; ++i)
        ASSERT_NE(s.AddParameter("Gain_" + std::to_string(i), kTypeReal, "", "", i, 0, kCount),
                  nullptr);
    EXPECT_EQ(s.FindParameter("GAIN_0"), first);
    EXPECT_EQ(first->GetUnitName(), "mA");
    for (int i = 0; i < kCount; ++i) {
        const std::string upper = "GAIN_" + std::to_string(i);
        ASSERT_NE(s.FindParameter(upper), nullptr) << upper;
        EXPECT_EQ(s.FindParameter(upper)->GetValueInBaseUnit(), i);
        EXPECT_EQ(s.AddParameter("gain_" + std::to_string(i), kTypeReal, "", "", 0, 0, 1), nullptr);
    }
    EXPECT_EQ(s.GetParameters().GetParametersCount(), kCount);
    axis::ScopedSilentLookup silent;
    for (const char* absent : {"Gain_", "Gain_70000", "Gain_-1", "ain_1", ""})
        EXPECT_EQ(s.FindParameter(absent), nullptr) << absent;
}

TEST(SetupModel, MissingNamesAreReportedOnlyWhileShowErrorsIsSet) {
    auto s = MakeSetup();
    testing::internal::CaptureStderr();
    EXPECT_EQ(s->FindParameter("NoSuchThing"), nullptr);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("NoSuchThing"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);

    const int before = g_bShowErrors;
    testing::internal::CaptureStderr();
    {
        axis::ScopedSilentLookup silent;
        EXPECT_EQ(g_bShowErrors, 0);
        EXPECT_EQ(s->FindParameter("NoSuchThing"), nullptr);
        EXPECT_EQ(s->FindVariable("NoSuchVar"), nullptr);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(g_bShowErrors, before);
}

TEST(SetupModel, DisplayUnitsAndUnitTypes) {
    auto s = MakeSetup();
    EXPECT_DOUBLE_EQ(s->GetParameterValue("In"), 2800);  // shown in mA
    EXPECT_EQ(s->ChangeParameterUnit("In", "V"), 0);     // not a current unit
    EXPECT_EQ(s->GetParameterUnit("In"), "mA");
    CMC_Variable* apos = s->FindVariable("APOS");
    EXPECT_EQ(apos->ChangeUnitType("mm"), 1);
    EXPECT_EQ(apos->GetBaseUnitName(), "m");
    EXPECT_EQ(apos->GetUnitName(), "mm");
    // Units merged into one setup stay with it.
    EXPECT_EQ(s->MergeDerivedUnit("steps", "rad", 200 / (2 * std::numbers::pi), 0), 1);
    EXPECT_EQ(s->MergeDerivedUnit("steps", "rad", 400 / (2 * std::numbers::pi), 0), 1);  // replaced
    const CMC_Unit* steps = s->GetUnits()->FindUnit("steps");
    ASSERT_NE(steps, nullptr);
    EXPECT_DOUBLE_EQ(steps->GetFactor(), 400 / (2 * std::numbers::pi));
    EXPECT_EQ(steps->GetUnitType(), s->GetUnits()->FindBaseUnit("rad")->GetUnitType());
    EXPECT_EQ(s->MergeDerivedUnit("x", "no-such-base", 1, 0), 0);
    EXPECT_EQ(s->MergeDerivedUnit("rad", "rad", 2, 0), 0);  // a base unit is never replaced
    CMC_Setup other;
    EXPECT_EQ(other.GetUnits()->FindUnit("steps"), nullptr);
}

TEST(SetupModel, InternalUnitsComeFromTheScaleProvider) {
    auto s = MakeSetup();
    s->SetScaleProvider({[](CMC_Setup*, const char* unit, const char*) {
                             return std::string(unit) == "A" ? 0.01 : 1.0;
                         },
                         [](CMC_Setup*, const char*) { return 5.0; }});
    // internal = base / factor - offset
    EXPECT_DOUBLE_EQ(s->GetParameterValueInInternalUnit("In"), 2.8 / 0.01 - 5);
    EXPECT_EQ(s->SetParameterValueInInternalUnit("In", 995), 1);
    EXPECT_DOUBLE_EQ(s->GetParameterValueInBaseUnit("In"), 10.0);
    // An option is its own register value.
    EXPECT_DOUBLE_EQ(s->GetParameterValueInInternalUnit("KPI"), 12000);
}

TEST(SetupModel, DriveAccessWithoutADriveFailsWithAReason) {
    auto s = MakeSetup();
    EXPECT_EQ(s->FindParameter("KPI")->WriteToChip(), 0);
    EXPECT_EQ(s->GetLastDriveError(), "No drive connected.");
    EXPECT_EQ(s->FindVariable("APOS")->ReadFromChip(), 0);
    EXPECT_EQ(s->ExecuteString("!CAP;ENCAPI1;"), 0);
}

TEST(SetupModel, BrakeOutputTable) {
    CMC_Setup s;
    s.SetBrakeOutputs({{0, 25, "OUT0", 0x10, false}, {1, 27, "OUT1", 0x20, true}});
    EXPECT_EQ(s.GetIOPinFromPort(1), 27);
    EXPECT_EQ(s.GetIOPortFromPin(25), 0);
    EXPECT_EQ(s.GetIOPortFromPin(99), -1);
    EXPECT_EQ(s.IsBrakePortEnable(0) & 0x30, 0x10);
    EXPECT_TRUE(s.IsIOVX5PortInverted(1));
    std::vector<std::string> names;
    EXPECT_EQ(s.FillIOBrakeCombo([&](const std::string& n, int) { names.push_back(n); }, 1), 1);
    EXPECT_EQ(names, (std::vector<std::string>{"OUT0", "OUT1"}));
    EXPECT_EQ(Compute_ADCMaxValue(&s), 65520u);
    s.SetOption("ADCMaxValue", "4095");
    EXPECT_EQ(Compute_ADCMaxValue(&s), 4095u);
}

}  // namespace
