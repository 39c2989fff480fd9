// A setup that cannot be scaled says which setting or parameter is to blame.

#include "compute/scale_inputs.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/shipped_setup.h"

namespace {

std::unique_ptr<CMC_Setup> Demo() {
    return orvex_test::LoadShippedSetup("demo.json");
}

void SetStored(CMC_Setup& s, const char* name, double value) {
    CMC_Parameter* p = s.FindParameter(name);
    p->RestoreStored(value, std::min(value, p->GetMinInBaseUnit()), p->GetMaxInBaseUnit());
}

TEST(ScaleInputs, NameEachSettingOrParameterThatBreaksAScale) {
    EXPECT_TRUE(orvex::ScaleInputProblems(Demo().get()).empty());
    const struct {
        const char* setting;  // or null
        const char* text;
        const char* parameter;  // or null
        double value;
        const char* named;
    } cases[] = {
        {"ADCMaxValue", "abc", nullptr, 0, "setting \"ADCMaxValue\" is \"abc\""},
        {"ADCMaxValue", "0", nullptr, 0, "setting \"ADCMaxValue\" is \"0\""},
        {"ADCMaxValue", "4096x", nullptr, 0, "(read as 4096)"},
        {"ADCMaxValue", "99999999999", nullptr, 0, "\"ADCMaxValue\""},
        {nullptr, nullptr, "PWMPER", 0, "parameter \"PWMPER\" is 0"},
        {nullptr, nullptr, "DSP_freq", 0, "parameter \"DSP_freq\""},
        {nullptr, nullptr, "ImaxPS", 0, "parameter \"ImaxPS\""},
        {nullptr, nullptr, "Load_transmission", 0, "parameter \"Load_transmission\""},
        {nullptr, nullptr, "MECRESL", 3, "parameter \"MECRESL\" is 3"},
    };
    for (const auto& c : cases) {
        auto s = Demo();
        if (c.setting) s->SetOption(c.setting, c.text);
        if (c.parameter) SetStored(*s, c.parameter, c.value);
        const auto problems = orvex::ScaleInputProblems(s.get());
        ASSERT_EQ(problems.size(), 1u) << c.named;
        EXPECT_NE(problems[0].find(c.named), std::string::npos) << problems[0];
    }
    // An empty setting is the usual full scale, not a problem.
    auto s = Demo();
    s->SetOption("ADCMaxValue", "");
    EXPECT_TRUE(orvex::ScaleInputProblems(s.get()).empty());
}

}  // namespace
