// "External Reference Setup": what the control mode, the reference type and the
// drive's analogue input allow, the limit field in its place, the minimum following
// its maximum's unit, and the end values and dead band bounding each other.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <numbers>

#include "editor/analog_reference_dlg.h"
#include "editor_fixture.h"
#include "ui_analog_reference.h"

namespace {

class AnalogReferenceTest : public EditorTest {
  protected:
    int Run(const std::function<void(CAnalogReferenceDlg&, Ui::AnalogReference&)>& script,
            bool ok = true) {
        return RunDialog<CAnalogReferenceDlg>(script, ok);
    }

    static std::vector<QWidget*> DigitalBranch(Ui::AnalogReference& f) {
        return {f.pulseDirectionRadio, f.encoderRadio, f.gearLabel, f.slaveLabel, f.slaveNote,
                f.masterLabel,         f.masterNote,   f.slaveEdit, f.masterEdit};
    }
    static std::vector<QWidget*> AnalogueBranch(Ui::AnalogReference& f) {
        return {f.maxLabel,   f.maxEdit,           f.maxUnit,           f.minLabel,
                f.minEdit,    f.deadBandPointEdit, f.deadBandRangeEdit, f.useFilterCheck,
                f.filterEdit, f.scaleMinLabel,     f.scaleMaxLabel};
    }
};

TEST_F(AnalogReferenceTest, RowsAndPictureFollowTheControlMode) {
    struct Case {
        int mode;
        const char* max_label;
        const char* min_label;
        const char* limit_caption;  // null: no limit in this mode
        const char* max_text;       // the end value shown, in the demo's units
    };
    const Case cases[] = {
        {0, "Maximum Position", "Minimum Position", "Limit maximum acceleration at", "5"},
        {1, "Maximum Speed", "Minimum Speed", "Limit maximum acceleration at", "1500"},
        {2, "Maximum Current", "Minimum Current", nullptr, "4.884"},
    };
    for (const Case& c : cases) {
        Set("ControlMode", c.mode);
        Run([&](CAnalogReferenceDlg&, Ui::AnalogReference& f) {
            EXPECT_EQ(f.maxLabel->text(), c.max_label);
            EXPECT_EQ(f.minLabel->text(), c.min_label);
            EXPECT_TRUE(f.maxEdit->text().startsWith(c.max_text))
                << f.maxEdit->text().toStdString();
            EXPECT_EQ(f.minUnitLabel->text(), f.maxUnit->currentText());
            EXPECT_FALSE(f.diagramPicture->pixmap().isNull());
            if (c.limit_caption) {
                EXPECT_EQ(f.limitCheck->text(), c.limit_caption);
                EXPECT_FALSE(f.limitCheck->isHidden());
            } else {
                EXPECT_TRUE(f.limitCheck->isHidden());
                EXPECT_TRUE(f.limitSpeedEdit->isHidden());
            }
            // Digital references exist in position mode only.
            EXPECT_EQ(f.digitalRadio->isEnabled(), c.mode == 0) << c.mode;
            for (QWidget* w : DigitalBranch(f))
                EXPECT_EQ(w->isEnabled(), c.mode == 0) << w->objectName().toStdString();
        });
    }
}

TEST_F(AnalogReferenceTest, LimitFieldFollowsTheReferenceTypeInPositionMode) {
    Set("isLimitMaximum", 1);
    ASSERT_EQ(Value("isAnalogueReference"), 0);
    Run([&](CAnalogReferenceDlg&, Ui::AnalogReference& f) {
        EXPECT_FALSE(f.limitAccelerationEdit->isHidden());
        EXPECT_TRUE(f.limitSpeedEdit->isHidden());
        EXPECT_EQ(f.limitCheck->text(), "Limit maximum acceleration at");
        for (QWidget* w : AnalogueBranch(f)) EXPECT_FALSE(w->isEnabled());

        f.analogueRadio->click();
        EXPECT_TRUE(f.limitAccelerationEdit->isHidden());
        EXPECT_FALSE(f.limitSpeedEdit->isHidden());
        EXPECT_EQ(f.limitCheck->text(), "Limit maximum speed at");
        for (QWidget* w : AnalogueBranch(f)) EXPECT_TRUE(w->isEnabled());
        for (QWidget* w : DigitalBranch(f)) EXPECT_FALSE(w->isEnabled());

        f.limitCheck->click();  // off: neither field
        EXPECT_TRUE(f.limitSpeedEdit->isHidden());
        EXPECT_TRUE(f.limitAccelerationEdit->isHidden());
    });
    EXPECT_EQ(Value("isAnalogueReference"), 1);
    EXPECT_EQ(Value("isLimitMaximum"), 0);
}

TEST_F(AnalogReferenceTest, SpeedModeLimitsTheAccelerationInTheFirstPlace) {
    Set("ControlMode", 1);
    Set("isAnalogueReference", 1);
    Set("isLimitMaximum", 1);
    Run([&](CAnalogReferenceDlg&, Ui::AnalogReference& f) {
        EXPECT_FALSE(f.limitSpeedEdit->isHidden());
        EXPECT_TRUE(f.limitAccelerationEdit->isHidden());
        TypeInto(f.limitSpeedEdit, "123");
    });
    const CMC_Parameter* acc = setup->FindParameter("ErefMaxAcceleration");
    EXPECT_NEAR(acc->GetValue(), 123, 1e-9);
}

TEST_F(AnalogReferenceTest, InputScaleLabelsFollowTheInputRange) {
    struct Case {
        double range;
        const char* low;
        const char* high;
    };
    for (const Case& c : {Case{20, "-10", "10"}, Case{5, "0", "5"}, Case{10, "0", "3.3"}}) {
        Set("AnalogueInputsRange", c.range);
        Set("isAnalogueReference", 1);
        Run([&](CAnalogReferenceDlg&, Ui::AnalogReference& f) {
            EXPECT_EQ(f.scaleMinLabel->text(), c.low) << c.range;
            EXPECT_EQ(f.scaleMaxLabel->text(), c.high) << c.range;
            EXPECT_TRUE(f.scaleMinLabel->isEnabled());  // part of the analogue branch
        });
    }
}

TEST_F(AnalogReferenceTest, DriveWithoutAnalogueInputOffersNoAnalogueReference) {
    setup = Load("minimal.json");
    Run([&](CAnalogReferenceDlg& dlg, Ui::AnalogReference& f) {
        EXPECT_FALSE(dlg.HasAnalogueInput());
        EXPECT_FALSE(f.analogueRadio->isEnabled());
        EXPECT_TRUE(f.maxEdit->text().isEmpty());
        EXPECT_TRUE(f.deadBandPointEdit->text().isEmpty());
        EXPECT_TRUE(f.filterEdit->isHidden());
        EXPECT_TRUE(f.digitalRadio->isEnabled());
    });
    EXPECT_TRUE(seam.Problems().isEmpty());
}

TEST_F(AnalogReferenceTest, DigitalReferenceCanBeSwitchedOffByTheDrive) {
    setup->SetOption("DisableExternalDigitalReference", "1");
    Run([&](CAnalogReferenceDlg&, Ui::AnalogReference& f) {
        EXPECT_FALSE(f.digitalRadio->isEnabled());
    });
}

TEST_F(AnalogReferenceTest, FilterRowFollowsItsSwitch) {
    Set("isAnalogueReference", 1);
    Set("UseFilter", 1);
    Run([&](CAnalogReferenceDlg&, Ui::AnalogReference& f) {
        EXPECT_FALSE(f.filterEdit->isHidden());
        f.useFilterCheck->click();
        EXPECT_TRUE(f.filterEdit->isHidden());
        EXPECT_TRUE(f.filterUnit->isHidden());
        f.useFilterCheck->click();
        EXPECT_FALSE(f.filterLabel->isHidden());
    });
}

TEST_F(AnalogReferenceTest, MinimumTakesTheUnitChosenForItsMaximum) {
    Set("ControlMode", 1);
    Set("isAnalogueReference", 1);
    EXPECT_EQ(setup->GetParameterUnit("SPD_min"), "rpm");
    Run([&](CAnalogReferenceDlg&, Ui::AnalogReference& f) {
        const int rps = f.maxUnit->findText("rad/s");
        ASSERT_NE(rps, -1);
        f.maxUnit->setCurrentIndex(rps);
        emit f.maxUnit->activated(rps);
        EXPECT_EQ(f.minUnitLabel->text(), "rad/s");
        EXPECT_TRUE(f.minEdit->text().startsWith("-157.07")) << f.minEdit->text().toStdString();
    });
    EXPECT_EQ(setup->GetParameterUnit("SPD_min"), "rad/s");
}

TEST_F(AnalogReferenceTest, EndValuesBoundEachOther) {
    Set("isAnalogueReference", 1);
    Run([&](CAnalogReferenceDlg&, Ui::AnalogReference& f) {
        TypeInto(f.maxEdit, "2");  // rot
        TypeInto(f.minEdit, "3");  // above the new maximum: refused
    });
    EXPECT_NEAR(setup->FindParameter("POS_min")->GetMaxInBaseUnit(), 2 * 2 * std::numbers::pi,
                1e-9);
    EXPECT_NEAR(Value("POS_min"), -10 * std::numbers::pi, 1e-9);
    EXPECT_EQ(seam.MessageTexts().size(), 1);
}

TEST_F(AnalogReferenceTest, DeadBandRangeFollowsItsPoint) {
    // Without the new dead band the range is limited by the nearer end of the point's
    // range (-10 ... 10 V).
    setup->SetOption("NewDeadBand", "0");
    Set("isAnalogueReference", 1);
    Run([&](CAnalogReferenceDlg&, Ui::AnalogReference& f) {
        TypeInto(f.deadBandPointEdit, "9");
        TypeInto(f.deadBandRangeEdit, "2");  // beyond 10 V: refused
        TypeInto(f.deadBandRangeEdit, "0.5");
    });
    EXPECT_DOUBLE_EQ(setup->FindParameter("DeadBand_Range")->GetMaxInBaseUnit(), 1.0);
    EXPECT_DOUBLE_EQ(Value("DeadBand_Range"), 0.5);
    EXPECT_EQ(seam.MessageTexts().size(), 1);
}

class DialogWithTest : public CAnalogReferenceDlg {
  public:
    using CAnalogReferenceDlg::CAnalogReferenceDlg;
    int runs = 0;

  protected:
    bool HasTest() const override { return true; }
    int RunTest() override {
        ++runs;
        // The test leaves a new end value in the setup and is cancelled.
        GetSetup()->SetParameterValueInBaseUnit("POS_max", 2 * std::numbers::pi);
        return 0;
    }
};

TEST_F(AnalogReferenceTest, TestIsForTheAnalogueReferenceAndItsEndIsShownWhateverTheResult) {
    DialogWithTest dlg(setup.get(), nullptr);
    RunScripted(dlg, [&] {
        Ui::AnalogReference& f = dlg.Form();
        EXPECT_FALSE(f.testButton->isEnabled());  // a digital reference
        f.analogueRadio->click();
        ASSERT_TRUE(f.testButton->isEnabled());
        f.testButton->click();
        EXPECT_EQ(dlg.runs, 1);
        EXPECT_EQ(f.maxEdit->text(), "1");
    });
}

}  // namespace
