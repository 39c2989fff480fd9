// "Step Motor and Load Setup" and the "Motor inertia" question: the enable rules on
// the demo setup and on a drive without the optional features, the brake output's
// wiring text, the transmission terms, the limit switch advice and what OK writes.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "editor/inertia_question.h"
#include "editor/motor_setup_dlg.h"
#include "editor_fixture.h"
#include "ui_inertia_question.h"
#include "ui_motor_setup.h"

namespace {

class MotorSetupTest : public EditorTest {
  protected:
    int Run(const std::function<void(CMotorSetupDialog&, Ui::MotorSetup&)>& script,
            bool ok = true) {
        return RunDialog<CMotorSetupDialog>(script, ok);
    }
};

TEST_F(MotorSetupTest, SwitchesEnableWhatTheyGovern) {
    Set("isMotorInertiaUnknown", 0);
    Set("isMotorTemperatureSensor", 0);
    Set("isFilterEnc", 0);
    Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) {
        for (QWidget* w : {static_cast<QWidget*>(f.jmLabel), static_cast<QWidget*>(f.jmEdit),
                           static_cast<QWidget*>(f.jmUnit)})
            EXPECT_TRUE(w->isEnabled());
        EXPECT_FALSE(f.sensorTypeBox->isEnabled());
        EXPECT_FALSE(f.ntcRadio->isEnabled());
        EXPECT_FALSE(f.filterEncList->isEnabled());
        EXPECT_TRUE(f.filterEncCheck->isEnabled());
        EXPECT_TRUE(f.reverseCountingCheck->isEnabled());

        f.inertiaUnknownCheck->click();
        EXPECT_FALSE(f.jmEdit->isEnabled());
        EXPECT_FALSE(f.jmLabel->isEnabled());
        f.tempSensorCheck->click();
        EXPECT_TRUE(f.ptcRadio->isEnabled());
        f.ptcRadio->click();
        f.filterEncCheck->click();
        EXPECT_TRUE(f.filterEncList->isEnabled());
    });
    EXPECT_EQ(Value("isMotorInertiaUnknown"), 1);
    EXPECT_EQ(Value("Motor_TempSensor_Type"), 1);
    EXPECT_EQ(Value("isFilterEnc"), 1);
}

TEST_F(MotorSetupTest, EncoderFilterListOffersThirteenShares) {
    Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) {
        ASSERT_EQ(f.filterEncList->count(), 13);
        EXPECT_EQ(f.filterEncList->itemText(0), "1/3");
        EXPECT_EQ(f.filterEncList->itemText(12), "1/72");
        EXPECT_EQ(f.filterEncList->itemData(12).toInt(), 12);
        EXPECT_EQ(f.filterEncList->currentText(), "1/12");  // the demo's value 2
        f.filterEncList->setCurrentIndex(5);
        emit f.filterEncList->activated(5);
    });
    EXPECT_EQ(Value("FilterEncValue"), 5);
}

TEST_F(MotorSetupTest, DriveWithoutOptionalFeaturesHasThemDisabledAndUnbound) {
    setup = Load("minimal.json");
    Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) {
        for (QWidget* w : std::initializer_list<QWidget*>{
                 f.filterEncCheck, f.filterEncList, f.filterEncLabel, f.reverseCountingCheck,
                 f.motorBrakeBox, f.brakeCheck, f.brakeOutputList, f.releaseEdit, f.applyEdit})
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_EQ(f.filterEncList->count(), 0);
        EXPECT_EQ(f.brakeOutputList->count(), 0);  // the drive has no brake outputs
        EXPECT_TRUE(f.releaseEdit->text().isEmpty());
        EXPECT_TRUE(f.inEdit->isEnabled());
    });
    EXPECT_TRUE(seam.Problems().isEmpty());
}

TEST_F(MotorSetupTest, BrakeTextFollowsTheOutputsKindAndInversion) {
    // The demo's outputs: port 2 NPN bits inverted, port 3 PNP bits, port 4 NPN bits.
    struct Case {
        int port;
        const char* text;
    };
    const Case cases[] = {
        {2, "Motor brake is applied when NPN (sink) output is connected to GND."},
        {3, "Motor brake is applied when NPN (sink) output is connected to GND."},
        {4, "Motor brake is applied when PNP (source) output is connected to +Vlog."},
    };
    Set("isMotorBrake", 1);
    for (const Case& c : cases) {
        Set("MotorBrake_output", c.port);
        Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) {
            EXPECT_EQ(f.brakeText->text(), c.text) << c.port;
            EXPECT_EQ(f.brakeOutputList->currentData().toInt(), c.port);
        });
    }
}

TEST_F(MotorSetupTest, BrakeSetFollowsItsSwitchAndChoosingAnOutputRewritesTheText) {
    ASSERT_EQ(Value("isMotorBrake"), 0);
    Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) {
        EXPECT_TRUE(f.motorBrakeBox->isEnabled());
        EXPECT_TRUE(f.brakeCheck->isEnabled());
        ASSERT_EQ(f.brakeOutputList->count(), 3);
        EXPECT_FALSE(f.brakeOutputList->isEnabled());
        EXPECT_FALSE(f.releaseEdit->isEnabled());
        f.brakeCheck->click();
        EXPECT_TRUE(f.brakeOutputList->isEnabled());
        EXPECT_TRUE(f.applyUnit->isEnabled());
        const int port2 = f.brakeOutputList->findData(2);
        f.brakeOutputList->setCurrentIndex(port2);
        emit f.brakeOutputList->activated(port2);
        EXPECT_TRUE(f.brakeText->text().contains("NPN"));
    });
    EXPECT_EQ(Value("isMotorBrake"), 1);
    EXPECT_EQ(Value("MotorBrake_output"), 2);
}

TEST_F(MotorSetupTest, ZeroTransmissionTermBecomesOneTurn) {
    for (const char* term : {"Motor_transmission", "Load_transmission"}) {
        Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) {
            QLineEdit* edit = std::string(term) == "Motor_transmission" ? f.motorTransmissionEdit
                                                                        : f.loadTransmissionEdit;
            TypeInto(edit, "0");
            EXPECT_EQ(edit->text(), "1") << term;  // shown in rot
        });
        EXPECT_EQ(Value(term), CMotorSetupDialog::kOneTurn) << term;
    }
    EXPECT_TRUE(seam.MessageTexts().isEmpty());
}

TEST_F(MotorSetupTest, NegativeTransmissionShowsTheLimitSwitchAdviceUnlessTheDriveHandlesIt) {
    setup->SetOption("hasNegTransmission", "0");
    Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) {
        EXPECT_TRUE(f.limitSwitchButton->isHidden());
        TypeInto(f.loadTransmissionEdit, "-2");
        ASSERT_FALSE(f.limitSwitchButton->isHidden());
        f.limitSwitchButton->click();
        TypeInto(f.motorTransmissionEdit, "-3");  // both negative: a positive ratio
        EXPECT_TRUE(f.limitSwitchButton->isHidden());
    });
    EXPECT_EQ(seam.MessageTexts(), QStringList{CMotorSetupDialog::kLimitSwitchAdvice});

    setup->SetOption("hasNegTransmission", "1");
    Set("Motor_transmission", 6.0);
    Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) {
        EXPECT_TRUE(f.limitSwitchButton->isHidden());
    });
}

TEST_F(MotorSetupTest, LinearTransmissionShowsTheLoadInLengthUnits) {
    Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) {
        EXPECT_EQ(f.loadTransmissionUnit->currentText(), "rot");
        f.linearRadio->click();
        EXPECT_NE(f.loadTransmissionUnit->findText("mm"), -1);
        EXPECT_EQ(f.loadTransmissionUnit->findText("rot"), -1);
    });
    EXPECT_EQ(Value("TransmissionType"), 1);
    EXPECT_EQ(setup->FindParameter("Load_transmission")->GetBaseUnitName(), "m");
}

TEST_F(MotorSetupTest, OkWithoutTemperatureSensorSwitchesTheMotorOverTemperatureOff) {
    Set("isMotorTemperatureSensor", 1);
    Set("isMotorOverTemp", 1);
    // Cancel leaves it.
    EXPECT_EQ(
        Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) { f.tempSensorCheck->click(); }, false), 0);
    EXPECT_EQ(Value("isMotorOverTemp"), 1);
    Set("isMotorTemperatureSensor", 0);
    EXPECT_EQ(Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) {
                  // A value typed but not yet entered is kept on OK.
                  f.inEdit->setText("2.5");
              }),
              1);
    EXPECT_EQ(Value("isMotorOverTemp"), 0);
    EXPECT_DOUBLE_EQ(Value("In"), 2.5);
}

TEST_F(MotorSetupTest, EveryTestButtonOpensItsTestAndTheDialogHasItsTexts) {
    Run([&](CMotorSetupDialog& dlg, Ui::MotorSetup& f) {
        for (QPushButton* b :
             {f.phaseTestButton, f.rlTestButton, f.encoderTestButton, f.linesTestButton}) {
            EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
            EXPECT_TRUE(b->toolTip().isEmpty());
        }
        EXPECT_EQ(dlg.GetGuidelineCount(), 10);
        EXPECT_EQ(dlg.windowTitle(), "Step Motor and Load Setup");
        EXPECT_EQ(dlg.GetHelpContext(), 262407);
    });
}

TEST_F(MotorSetupTest, PicturesAreShownOnTheBrakeBoxAndTheButtons) {
    setup->SetOption("hasNegTransmission", "0");
    Set("Load_transmission", -1);
    Run([&](CMotorSetupDialog&, Ui::MotorSetup& f) {
        EXPECT_FALSE(f.brakePicture->pixmap().isNull());
        EXPECT_FALSE(f.okButton->icon().isNull());
        EXPECT_FALSE(f.limitSwitchButton->icon().isNull());
        EXPECT_FALSE(f.limitSwitchButton->isHidden());
    });
}

// The dialog with stand-in tests: each "test" is a script that works on the setup as
// the real test would and ends with OK or Cancel.
class DialogWithTests : public CMotorSetupDialog {
  public:
    using CMotorSetupDialog::CMotorSetupDialog;
    std::function<int(Test)> test;

  protected:
    bool HasTest(Test) const override { return true; }
    int RunTest(Test which) override { return test(which); }
};

TEST_F(MotorSetupTest, TestResultsAreShownAfterOkOnly) {
    DialogWithTests dlg(setup.get(), nullptr);
    std::vector<CMotorSetupDialog::Test> ran;
    int answer = 1;
    dlg.test = [&](CMotorSetupDialog::Test which) {
        ran.push_back(which);
        Set("R", answer ? 2.5 : 3.5);
        Set("No_encoder_lines", answer ? 500 : 2000);
        Set("ReverseCounting", 1);
        return answer;
    };
    RunScripted(dlg, [&] {
        Ui::MotorSetup& f = dlg.Form();
        EXPECT_TRUE(f.rlTestButton->isEnabled());
        EXPECT_TRUE(f.rlTestButton->toolTip().isEmpty());
        f.rlTestButton->click();
        EXPECT_EQ(f.rEdit->text(), "2.5");
        f.linesTestButton->click();
        EXPECT_EQ(f.linesEdit->text(), "500");
        EXPECT_TRUE(f.reverseCountingCheck->isChecked());

        Set("ReverseCounting", 0);
        dlg.RefreshParameterControls("ReverseCounting");
        answer = 0;
        f.linesTestButton->click();
        // Cancelled: the count stays as shown, but the direction chosen in the test is kept.
        EXPECT_EQ(f.linesEdit->text(), "500");
        EXPECT_TRUE(f.reverseCountingCheck->isChecked());
        f.phaseTestButton->click();
        EXPECT_EQ(f.rEdit->text(), "2.5");
    });
    using T = CMotorSetupDialog::Test;
    EXPECT_EQ(ran, (std::vector<T>{T::kResistanceInductance, T::kLineCount, T::kLineCount,
                                   T::kPhaseConnections}));
}

using InertiaQuestionTest = EditorTest;

// The motor's inertia (2e-4) above the demo's total (1.3e-4): raising the total is
// offered first; disregarding keeps it and marks the motor inertia unknown.
TEST_F(InertiaQuestionTest, RaisesTheTotalAboveTheMotorsOrDisregardsIt) {
    struct Case {
        const char* what;
        bool disregard, ok;
        double jt, unknown;
    } const cases[] = {
        {"default raises", false, true, 2e-4 * 1.01, 0},
        {"disregarded", true, true, 1.3e-4, 1},
        {"closed without OK", true, false, 1.3e-4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setup = Load("demo.json");
        Set("Jm", 2e-4);
        const int result = RunDialog<CInertiaQuestion>(
            [&](CInertiaQuestion&, Ui::InertiaQuestion& f) {
                EXPECT_TRUE(f.increaseRadio->isChecked());
                EXPECT_FALSE(f.disregardRadio->isChecked());
                if (!c.disregard) return;
                f.disregardRadio->click();
                f.increaseRadio->click();
                f.disregardRadio->click();
                EXPECT_FALSE(f.increaseRadio->isChecked());
            },
            c.ok);
        EXPECT_EQ(result, c.ok ? 1 : 0);
        EXPECT_DOUBLE_EQ(Value("Jt"), c.jt);
        EXPECT_EQ(Value("isMotorInertiaUnknown"), c.unknown);
    }
}

}  // namespace
