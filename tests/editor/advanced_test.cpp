// "Advanced": the timing base, what a change of the slow loop period does to the
// values held per sample, the minimum periods, and the control scheme shown.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cmath>

#include "compute/loop_periods.h"
#include "editor/advanced_dlg.h"
#include "editor_fixture.h"
#include "ui_advanced.h"

namespace {

using Script = std::function<void(CAdvancedDialog&, Ui::Advanced&)>;

class AdvancedTest : public EditorTest {
  protected:
    int Run(const Script& script, bool ok = true) { return RunDialog<CAdvancedDialog>(script, ok); }
    double Internal(const char* name) const { return setup->GetParameterValueInInternalUnit(name); }
};

// Halving the slow loop period: the drive counts twice the samples for a time, half
// the counts per sample for a speed or a current slope, a quarter for an acceleration;
// the physical values stay.
TEST_F(AdvancedTest, HalvingTheSlowLoopPeriodKeepsEveryPhysicalValue) {
    struct Case {
        const char* name;
        orvex::PeriodDependence kind;
        double internal_ratio;
    } const cases[] = {
        {"time_ERR_pos", orvex::PeriodDependence::kTime, 2.0},
        {"time_Imax_Prot", orvex::PeriodDependence::kTime, 2.0},
        {"FreezeControl_time", orvex::PeriodDependence::kTime, 2.0},
        {"MotorBrake_applytime", orvex::PeriodDependence::kTime, 2.0},
        {"Limit_Speed", orvex::PeriodDependence::kSpeed, 0.5},
        {"ERR_speed", orvex::PeriodDependence::kSpeed, 0.5},
        {"ErefMaxAcceleration", orvex::PeriodDependence::kAcceleration, 0.25},
    };
    ASSERT_EQ(Value("SLPER"), 10);
    std::vector<double> internal_before, base_before;
    for (const Case& c : cases) {
        EXPECT_EQ(orvex::PeriodDependenceOf(*setup, *setup->FindParameter(c.name)), c.kind)
            << c.name;
        internal_before.push_back(Internal(c.name));
        base_before.push_back(Value(c.name));
    }
    Run([&](CAdvancedDialog&, Ui::Advanced& f) { TypeInto(f.slperEdit, "5"); });
    EXPECT_DOUBLE_EQ(Value("Ts_S"), 250e-6);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        // Registers hold whole counts: the read-back may move a value by one count.
        EXPECT_NEAR(Internal(cases[i].name), internal_before[i] * cases[i].internal_ratio,
                    1.0 + 1e-9 * std::abs(internal_before[i]));
        EXPECT_NEAR(Value(cases[i].name), base_before[i], 1e-3 * std::abs(base_before[i]) + 1e-9);
    }
    // Registers are never rescaled as values.
    EXPECT_EQ(orvex::PeriodDependenceOf(*setup, *setup->FindParameter("TERRMAX")),
              orvex::PeriodDependence::kNone);
}

TEST_F(AdvancedTest, LimitedI2tTimeRaisesTheCurrentToKeepCurrentSquaredTimesTime) {
    // 30000 s fits the range at 500 us (2^26 samples = 33554 s), not at 250 us.
    Set("t_I2t_M", 30000);
    Set("I_I2t_M", 3.2);  // room above for the raised current (up to ImaxM)
    const double current_A = Value("I_I2t_M");
    Run([&](CAdvancedDialog&, Ui::Advanced& f) { TypeInto(f.slperEdit, "5"); });
    const double time_s = Value("t_I2t_M");
    EXPECT_LT(time_s, 30000 * 0.6);
    EXPECT_NEAR(Value("I_I2t_M") * Value("I_I2t_M") * time_s, current_A * current_A * 30000,
                1e-3 * current_A * current_A * 30000);
}

TEST_F(AdvancedTest, FastDividerAboveTheSlowOneRaisesTheSlowOne) {
    Run([&](CAdvancedDialog&, Ui::Advanced& f) {
        TypeInto(f.clperEdit, "12");
        EXPECT_EQ(f.slperEdit->text(), "12");
    });
    EXPECT_EQ(Value("CLPER"), 12);
    EXPECT_EQ(Value("SLPER"), 12);
    EXPECT_DOUBLE_EQ(Value("Ts_C"), 600e-6);
    EXPECT_DOUBLE_EQ(Value("Ts_S"), 600e-6);
}

TEST_F(AdvancedTest, NewPwmFrequencyKeepsTheLoopPeriods) {
    Run([&](CAdvancedDialog& dlg, Ui::Advanced& f) {
        TypeInto(f.clperEdit, "2");  // fast loop 0.1 ms kept from now on
        EXPECT_DOUBLE_EQ(Value("Ts_C"), 100e-6);
        dlg.ChangeParameterValue("PWM_freq", 10000);
    });
    EXPECT_EQ(Value("PWM_freq"), 10000);
    EXPECT_EQ(Value("PWMPER"), 2000);
    EXPECT_EQ(Value("CLPER"), 1);
    EXPECT_EQ(Value("SLPER"), 5);
    EXPECT_DOUBLE_EQ(Value("Ts_C"), 100e-6);
    EXPECT_DOUBLE_EQ(Value("Ts_S"), 500e-6);
    EXPECT_DOUBLE_EQ(Value("PWMperiod"), 100e-6);
}

TEST_F(AdvancedTest, PeriodsBelowTheMinimumAreMarkedAndRefuseOkUntilBackAbove) {
    Set("Ts_C_min", 100e-6);
    Set("Ts_S_min", 1e-3);
    const int result = Run([&](CAdvancedDialog& dlg, Ui::Advanced& f) {
        EXPECT_FALSE(Shown(f.fastOutsideLabel));  // not marked before a change
        TypeInto(f.clperEdit, "2");
        EXPECT_FALSE(Shown(f.fastOutsideLabel));
        TypeInto(f.clperEdit, "1");
        EXPECT_TRUE(Shown(f.fastOutsideLabel));
        EXPECT_EQ(dlg.FastLoopColour(), QColor(255, 0, 0));
        EXPECT_EQ(f.fastDividerLabel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        TypeInto(f.slperEdit, "8");
        EXPECT_TRUE(Shown(f.slowOutsideLabel));
        f.okButton->click();
        EXPECT_TRUE(dlg.isVisible());
        // Back above both minimums: the marks go and OK closes.
        TypeInto(f.clperEdit, "2");
        TypeInto(f.slperEdit, "20");
        EXPECT_FALSE(Shown(f.fastOutsideLabel));
        EXPECT_FALSE(Shown(f.slowOutsideLabel));
        EXPECT_EQ(dlg.FastLoopColour(), QColor(Qt::black));
        f.okButton->click();
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seam.MessageTexts(),
              (QStringList{"The minimum value for Fast loop sampling period is 0.100 ms!\nPlease "
                           "adjust the PWM frequency and/or the Fast loop sampling frequency "
                           "divider until this condition is fulfilled!",
                           "The minimum value for Slow loop sampling period is 1.000 ms!\nPlease "
                           "adjust the PWM frequency and/or the Slow loop sampling frequency "
                           "divider until this condition is fulfilled!"}));
}

TEST_F(AdvancedTest, MinimalSetupHasNoMinimumsAndNoFastLoopChoice) {
    setup = Load("minimal.json");
    const int result = Run([&](CAdvancedDialog&, Ui::Advanced& f) {
        EXPECT_FALSE(Shown(f.executeInBox));
        TypeInto(f.clperEdit, "2");
        EXPECT_FALSE(f.speedComputationBox->isEnabled());
        EXPECT_FALSE(f.phaseAdvanceBox->isEnabled());
        EXPECT_FALSE(f.speedForwardBox->isEnabled());
        EXPECT_FALSE(f.freezeControlBox->isEnabled());
        TypeInto(f.clperEdit, "1");
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(seam.MessageTexts().isEmpty());
}

TEST_F(AdvancedTest, SchemePictureFollowsModeAndLoops) {
    struct Case {
        int mode, position_type, scheme;
        bool radios_shown, speed_forward_speed_loop;
    } const cases[] = {
        {0, 1, CAdvancedDialog::kSchemePositionSpeed, true, true},
        {0, 0, CAdvancedDialog::kSchemePositionOnly, true, false},
        {1, 1, CAdvancedDialog::kSchemeSpeed, false, false},
        {2, 1, CAdvancedDialog::kSchemeTorque, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scheme);
        Set("ControlMode", c.mode);
        Set("PositionControlType", c.position_type);
        Run(
            [&](CAdvancedDialog& dlg, Ui::Advanced& f) {
                EXPECT_EQ(dlg.SchemeShown(), c.scheme);
                EXPECT_FALSE(f.schemePicture->pixmap().isNull());
                EXPECT_EQ(Shown(f.positionSpeedRadio), c.radios_shown);
                EXPECT_EQ(f.speedForwardSpeedLoopRadio->isEnabled(), c.speed_forward_speed_loop);
                EXPECT_EQ(f.speedForwardCurrentLoopRadio->isEnabled(), c.mode != 2);
                EXPECT_EQ(f.freezeControlBox->isEnabled(), c.mode == 0);
            },
            false);
    }
    Set("ControlMode", 0);
    Set("PositionControlType", 1);
    Run([&](CAdvancedDialog& dlg, Ui::Advanced& f) {
        // The freeze window's hint names three quarters of the demo motor's 1/200 rev step.
        EXPECT_TRUE(f.freezeErrorBandEdit->toolTip().endsWith("On this motor: 0.00375 rot."))
            << f.freezeErrorBandEdit->toolTip().toStdString();
        f.positionOnlyRadio->click();
        EXPECT_EQ(dlg.SchemeShown(), CAdvancedDialog::kSchemePositionOnly);
        EXPECT_FALSE(f.speedForwardSpeedLoopRadio->isEnabled());
    });
    EXPECT_EQ(Value("PositionControlType"), 0);
}

}  // namespace
