// "Drive Setup": which controls apply in each control mode and with each optional
// feature, the reactions that change other parameters, the axis ID warning, the
// dialogs opened from its buttons, and what OK writes.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "compute/sequences.h"
#include "editor/drive_setup_dlg.h"
#include "editor_fixture.h"
#include "host/ui/help_viewer.h"
#include "ui_drive_setup.h"

namespace {

using Script = std::function<void(CDriveSetupDlg&, Ui::DriveSetup&)>;

class DriveSetupTest : public EditorTest {
  protected:
    // The dialog reads its parameters back from the drive's registers when it is
    // built: the registers are computed from the parameters the test has set first.
    int Run(const Script& script, bool ok = true) {
        orvex::ComputeOptionsFromParameters(setup.get());
        return RunDialog<CDriveSetupDlg>(script, ok);
    }
};

// --- enable and visibility rules --------------------------------------------------------

struct ModeCase {
    const char* what;
    int mode;
    int position_type;
    int fast_loop;  // PosSpd_in_FastLoop
    bool speed_box, position_box, kffs_p_enabled, load_speed_limit_shown;
    bool speed_ff_set_shown, position_ff_set_shown;
    bool position_error_check, speed_error_check;
};

const ModeCase kModeCases[] = {
    {"position, cascaded", 0, 1, 0, true, true, true, true, false, true, true, false},
    // With the feed-forward selection, the position set is offered without a speed loop too.
    {"position, direct", 0, 0, 0, false, true, true, false, false, true, true, false},
    {"position in fast loop", 0, 1, 1, true, true, true, true, false, false, true, false},
    {"speed", 1, 1, 0, true, false, false, false, true, false, false, true},
    {"speed in fast loop", 1, 0, 1, true, false, false, false, false, false, false, true},
    {"torque", 2, 1, 0, false, false, false, false, false, false, false, false},
};

TEST_F(DriveSetupTest, ControllerBoxesAndFeedForwardsFollowTheControlMode) {
    for (const ModeCase& c : kModeCases) {
        SCOPED_TRACE(c.what);
        Set("ControlMode", c.mode);
        Set("PositionControlType", c.position_type);
        Set("PosSpd_in_FastLoop", c.fast_loop);
        Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
            EXPECT_TRUE(f.currentBox->isEnabled());
            EXPECT_TRUE(f.kpCEdit->isEnabled());
            EXPECT_EQ(f.speedBox->isEnabled(), c.speed_box);
            EXPECT_EQ(f.kpSEdit->isEnabled(), c.speed_box);
            EXPECT_EQ(f.positionBox->isEnabled(), c.position_box);
            EXPECT_EQ(f.kdFilterEdit->isEnabled(), c.position_box);
            EXPECT_EQ(f.kffsPEdit->isEnabled(), c.kffs_p_enabled);
            EXPECT_EQ(Shown(f.limitSpeedEdit), c.load_speed_limit_shown);
            EXPECT_EQ(Shown(f.loadSpeedLimitLabel), c.load_speed_limit_shown);
            for (QWidget* w :
                 {static_cast<QWidget*>(f.kffaSEdit), static_cast<QWidget*>(f.kffsSEdit),
                  static_cast<QWidget*>(f.speedSLabel)})
                EXPECT_EQ(Shown(w), c.speed_ff_set_shown) << w->objectName().toStdString();
            for (QWidget* w :
                 {static_cast<QWidget*>(f.kffaPEdit), static_cast<QWidget*>(f.kffsPEdit),
                  static_cast<QWidget*>(f.feedforwardPLabel)})
                EXPECT_EQ(Shown(w), c.position_ff_set_shown) << w->objectName().toStdString();
            EXPECT_EQ(f.positionErrorCheck->isEnabled(), c.position_error_check);
            EXPECT_EQ(f.speedErrorCheck->isEnabled(), c.speed_error_check);
        });
    }
}

TEST_F(DriveSetupTest, WithoutSpeedFeedForwardSelectionTheSpeedBoxHasNoSpeedFeedForward) {
    setup = Load("minimal.json");
    Set("ControlMode", 1);
    Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
        EXPECT_TRUE(Shown(f.kffaSEdit));
        EXPECT_FALSE(Shown(f.kffsSEdit));
        EXPECT_FALSE(Shown(f.speedSLabel));
        EXPECT_FALSE(Shown(f.kffaPEdit));
    });
    Set("ControlMode", 0);
    Set("PositionControlType", 0);
    Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
        EXPECT_TRUE(Shown(f.kffsPEdit));
        EXPECT_FALSE(f.kffsPEdit->isEnabled());
    });
}

// The minimal setup lacks the start mode (aligning on the phases is the only start),
// the software limits, the save switches, the input type and the analogue input.
TEST_F(DriveSetupTest, WhatTheDriveLacksIsDisabledWhatItHasOffered) {
    for (const bool demo : {true, false}) {
        SCOPED_TRACE(demo ? "demo" : "minimal");
        if (demo) Set("StartMode", 1);
        if (!demo) setup = Load("minimal.json");
        Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
            EXPECT_EQ(f.motionlessStartRadio->isChecked(), demo);
            EXPECT_EQ(f.timeAbEdit->isEnabled(), !demo);
            EXPECT_EQ(f.swlsBox->isEnabled(), demo);
            EXPECT_EQ(f.negativeSwlsEdit->text().isEmpty(), !demo);
            EXPECT_EQ(Shown(f.saveAxisIdCheck), demo);
            EXPECT_EQ(f.sinkTypeRadio->isEnabled(), demo);
            EXPECT_EQ(f.analogueRefLabel->isEnabled(), demo);
            if (demo) return;
            EXPECT_TRUE(f.alignStartRadio->isChecked());
            for (QWidget* w :
                 std::initializer_list<QWidget*>{f.motionlessStartRadio, f.startTuneButton,
                                                 f.negativeSwlsEdit, f.sourceTypeRadio})
                EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
            EXPECT_FALSE(Shown(f.saveCanBaudRateCheck));
        });
    }
}

TEST_F(DriveSetupTest, ProtectionRowsFollowTheirChecks) {
    Set("isOverCurrent", 0);
    Set("isMotorI2t", 1);
    Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
        EXPECT_FALSE(f.imaxProtEdit->isEnabled());
        EXPECT_TRUE(f.i2tCurrentEdit->isEnabled());
        f.overCurrentCheck->click();
        EXPECT_TRUE(f.imaxProtEdit->isEnabled());
        EXPECT_TRUE(f.motorCurrentLabel->isEnabled());
        f.i2tCheck->click();
        EXPECT_FALSE(f.i2tTimeEdit->isEnabled());
    });
    EXPECT_EQ(Value("isOverCurrent"), 1);
    EXPECT_EQ(Value("isMotorI2t"), 0);
}

TEST_F(DriveSetupTest, HiddenEnablePolarityIsNeitherShownNorBound) {
    setup->SetOption("hideEnablePolarity", "1");
    Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
        EXPECT_FALSE(Shown(f.enablePolarityLabel));
        EXPECT_FALSE(Shown(f.enableHighRadio));
        EXPECT_TRUE(Shown(f.lspHighRadio));
    });
}

// --- input type ---------------------------------------------------------------------------

TEST_F(DriveSetupTest, UnreportedInputTypeComesFromTheDriveName) {
    struct Case {
        const char* description;
        bool sink;
        const char* high_text;
    } const cases[] = {
        {"Orvex BX 48 V drive", true, "Active high (Connected to +Vlog)"},
        {"Orvex 48 V drive", false, "Active high (Open/No connection)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        setup = Load("demo.json");
        setup->ClearOption("IsInputsTypeProgrammable");
        setup->SetDescription(c.description);
        Set("InputsPolarityType", c.sink ? 0 : 1);  // says the opposite: not used
        Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
            EXPECT_EQ(f.sinkTypeRadio->isChecked(), c.sink);
            EXPECT_EQ(f.sourceTypeRadio->isChecked(), !c.sink);
            EXPECT_EQ(f.activeHighLabel->text(), c.high_text);
            EXPECT_FALSE(f.sinkTypeRadio->isEnabled());
            // Reloading the controls keeps the type the drive name gave.
            f.speedModeRadio->click();
            EXPECT_EQ(f.sinkTypeRadio->isChecked(), c.sink);
        });
    }
}

TEST_F(DriveSetupTest, ChangingTheInputTypeKeepsTheWiringMeaning) {
    Set("InputsPolarityType", 0);
    Set("EnablePolarity", 1);
    Set("LSPPolarity", 0);
    Set("LSNPolarity", 1);
    Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
        EXPECT_EQ(f.activeLowLabel->text(), "Active low (Connected to GND)");
        f.sinkTypeRadio->click();
        EXPECT_EQ(Value("InputsPolarityType"), 1);
        EXPECT_EQ(Value("EnablePolarity"), 0);
        EXPECT_EQ(Value("LSPPolarity"), 1);
        EXPECT_EQ(Value("LSNPolarity"), 0);
        EXPECT_EQ(f.activeHighLabel->text(), "Active high (Connected to +Vlog)");
        EXPECT_TRUE(f.lspLowRadio->isChecked());
        // Clicking the type already chosen changes no wiring.
        f.sinkTypeRadio->click();
        EXPECT_EQ(Value("LSPPolarity"), 1);
        f.sourceTypeRadio->click();
        EXPECT_EQ(Value("EnablePolarity"), 1);
        EXPECT_EQ(Value("LSPPolarity"), 0);
        EXPECT_EQ(f.activeHighLabel->text(), "Active high (Open/No connection)");
    });
}

// --- reactions ----------------------------------------------------------------------------

TEST_F(DriveSetupTest, LeavingPositionModeMakesTheReferenceAnalogueOneToOne) {
    struct Case {
        const char* what;
        int from, to;
        bool reset;
    } const cases[] = {
        {"to speed", 0, 1, true},
        {"to torque", 0, 2, true},
        {"to position", 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setup = Load("demo.json");
        Set("ControlMode", c.from);
        Set("GEARMASTER", 3);
        Set("GEARSLAVE", 2);
        Set("isAnalogueReference", 0);
        Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
            QRadioButton* radios[] = {f.positionModeRadio, f.speedModeRadio, f.torqueModeRadio};
            radios[c.to]->click();
            EXPECT_EQ(f.analogueRefRadio->isChecked(), c.reset);
        });
        EXPECT_EQ(Value("ControlMode"), c.to);
        EXPECT_EQ(Value("GEARMASTER"), c.reset ? 1 : 3);
        EXPECT_EQ(Value("GEARSLAVE"), c.reset ? 1 : 2);
        EXPECT_EQ(Value("isAnalogueReference"), c.reset ? 1 : 0);
    }
}

TEST_F(DriveSetupTest, NoExternalReferenceIsNeverActivatedAtPowerOn) {
    Set("ExternalReference", 1);
    Set("isAutoActivatedAfterPowerOn", 1);
    Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
        EXPECT_TRUE(f.autoActivatedCheck->isEnabled());
        f.extRefYesRadio->click();
        EXPECT_EQ(Value("isAutoActivatedAfterPowerOn"), 1);
        f.extRefNoRadio->click();
        EXPECT_EQ(Value("isAutoActivatedAfterPowerOn"), 0);
        EXPECT_FALSE(f.autoActivatedCheck->isChecked());
        EXPECT_FALSE(f.autoActivatedCheck->isEnabled());
        f.extRefYesRadio->click();
        EXPECT_EQ(Value("isAutoActivatedAfterPowerOn"), 0);
    });
}

TEST_F(DriveSetupTest, SoftwareLimitsStayOrdered) {
    Set("Negative_SWLS", -10);
    Set("Positive_SWLS", 10);
    Run([&](CDriveSetupDlg& dlg, Ui::DriveSetup& f) {
        dlg.ChangeParameterValue("Negative_SWLS", 12);
        EXPECT_EQ(Value("Negative_SWLS"), 10);
        dlg.ChangeParameterValue("Negative_SWLS", -4);
        dlg.ChangeParameterValue("Positive_SWLS", -6);
        EXPECT_EQ(Value("Positive_SWLS"), -4);
        EXPECT_EQ(f.positiveSwlsEdit->text(), f.negativeSwlsEdit->text());
        dlg.ChangeParameterValue("Positive_SWLS", 3);
        EXPECT_EQ(Value("Positive_SWLS"), 3);
        EXPECT_EQ(Value("Negative_SWLS"), -4);
    });
}

// --- axis ID --------------------------------------------------------------------------------

TEST_F(DriveSetupTest, AxisIdsOutsideTheCanOpenRangeAreWarnedAboutOnce) {
    Set("Axis_ID_list", 5);
    struct Case {
        int index;
        const char* text;
        bool warned;
    } const cases[] = {
        {126, "127", false}, {127, "128", true}, {254, "255", true},
        {255, "H/W", false}, {0, "1", false},
    };
    const int result = Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
        ASSERT_EQ(f.axisIdList->count(), 256);
        EXPECT_EQ(f.axisIdList->currentText(), "5");
        for (const Case& c : cases) {
            SCOPED_TRACE(c.text);
            const auto before = seam.MessageTexts().size();
            f.axisIdList->setCurrentIndex(c.index);
            emit f.axisIdList->activated(c.index);
            EXPECT_EQ(f.axisIdList->currentText(), c.text);
            EXPECT_EQ(seam.MessageTexts().size() - before, c.warned ? 1 : 0);
        }
        EXPECT_EQ(seam.MessageTexts().front(), CDriveSetupDlg::kCanOpenAxisIdWarning);
        f.axisIdList->setCurrentIndex(255);  // "H/W"
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Value("Axis_ID_list"), 0);
}

TEST_F(DriveSetupTest, HardwareAxisIdIsSelectedForZero) {
    Set("Axis_ID_list", 0);
    const int result = Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
        EXPECT_EQ(f.axisIdList->currentText(), "H/W");
        f.axisIdList->setCurrentIndex(41);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Value("Axis_ID_list"), 42);
}

// --- buttons, OK and Cancel --------------------------------------------------------------------

TEST_F(DriveSetupTest, TestsNotBuiltYetAreDisabledAndSaySo) {
    Set("ControlMode", 1);
    Run([&](CDriveSetupDlg& dlg, Ui::DriveSetup& f) {
        for (const auto& entry : dlg.SubDialogs()) {
            SCOPED_TRACE(entry.button->objectName().toStdString());
            if (entry.open) continue;
            EXPECT_FALSE(entry.button->isEnabled());
            EXPECT_TRUE(entry.button->toolTip().contains("not available yet"));
        }
        // Speed mode closes the speed loop: its tuning test opens.
        f.speedModeRadio->click();
        EXPECT_TRUE(f.speedBox->isEnabled());
        EXPECT_TRUE(f.speedTuneButton->isEnabled());
        EXPECT_TRUE(f.detectButton->isEnabled());
        EXPECT_TRUE(f.advancedButton->isEnabled());
        EXPECT_TRUE(f.driveInfoButton->isEnabled());
    });
}

TEST_F(DriveSetupTest, SubDialogsOpenOnOptionsInStepAndReloadAfterOk) {
    const double pwm_period = Value("PWMPER");
    Set("ExternalReference", 1);
    struct Case {
        const char* button;
        bool confirm;
        bool redrawn, reloaded;
    } const cases[] = {
        {"driveInfoButton", true, true, false},  {"advancedButton", true, false, true},
        {"motorSetupButton", true, false, true}, {"extRefSetupButton", true, true, true},
        {"advancedButton", false, false, false}, {"detectButton", false, false, false},
    };
    Run([&](CDriveSetupDlg& dlg, Ui::DriveSetup& f) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.button);
            const double vdc = Value("Vdc");
            const int mode = static_cast<int>(Value("ControlMode"));
            Set("PWMPER", 1);  // stale: the round trip before the dialog computes it again
            seam.AnswerDialog([&](QDialog& sub) {
                EXPECT_EQ(Value("PWMPER"), pwm_period);
                // Changed behind the editor's back: shown after OK as the row says.
                Set("Vdc", vdc + 1);
                Set("ControlMode", mode == 0 ? 1 : 0);
                c.confirm ? sub.accept() : sub.reject();
            });
            const QString vdc_shown = f.vdcEdit->text();
            const bool position_box = f.positionBox->isEnabled();
            dlg.findChild<QAbstractButton*>(c.button)->click();
            EXPECT_EQ(f.vdcEdit->text() != vdc_shown, c.redrawn || c.reloaded);
            EXPECT_EQ(f.positionBox->isEnabled(),
                      c.reloaded ? Value("ControlMode") == 0 : position_box);
        }
    });
    EXPECT_TRUE(seam.Problems().isEmpty()) << seam.Problems().join("; ").toStdString();
}

TEST_F(DriveSetupTest, MotorSetupOpensAtFirstShowingWithoutARoundTripBefore) {
    const double pwm_period = Value("PWMPER");
    Run([&](CDriveSetupDlg& dlg, Ui::DriveSetup& f) {
        EXPECT_TRUE(dlg.IsTimerRunning(CDriveSetupDlg::kMotorSetupTimerId));
        Set("PWMPER", 1);
        bool opened = false;
        seam.AnswerDialog([&](QDialog& motor) {
            opened = true;
            EXPECT_EQ(Value("PWMPER"), 1);
            Set("ControlMode", 2);
            motor.accept();
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return opened; }, 5000));
        EXPECT_FALSE(dlg.IsTimerRunning(CDriveSetupDlg::kMotorSetupTimerId));
        // After its OK: options and parameters in step, controls reloaded.
        EXPECT_EQ(Value("PWMPER"), pwm_period);
        EXPECT_TRUE(f.torqueModeRadio->isChecked());
        EXPECT_FALSE(f.positionBox->isEnabled());
        // Once per showing.
        QTest::qWait(10);
    });
    EXPECT_TRUE(seam.Problems().isEmpty()) << seam.Problems().join("; ").toStdString();
}

TEST_F(DriveSetupTest, OkComputesEveryOptionAndTheClosedLoopsCancelNothing) {
    const double pwm_period = Value("PWMPER");
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        const int result = Run([&](CDriveSetupDlg&, Ui::DriveSetup& f) {
            f.torqueModeRadio->click();
            Set("PWMPER", 1);
            (ok ? f.okButton : f.cancelButton)->click();
        });
        EXPECT_EQ(result, ok ? 1 : 0);
        EXPECT_EQ(Value("PWMPER"), ok ? pwm_period : 1);
        EXPECT_EQ(setup->GetOptionNoError("IsClosedPosition"), ok ? "0" : "1");
        EXPECT_EQ(setup->GetOptionNoError("IsClosedSpeed"), ok ? "0" : "1");
    }
    EXPECT_EQ(setup->GetOptionNoError("IsClosedCurrent"), "1");
}

TEST_F(DriveSetupTest, GuidelinesWalkTheTenSteps) {
    Run([&](CDriveSetupDlg& dlg, Ui::DriveSetup& f) {
        EXPECT_EQ(dlg.GetGuidelineCount(), 10);
        EXPECT_TRUE(f.guidelineText->text().startsWith("Step 1.\tIn the <<Control mode>>"));
        for (int i = 0; i < 7; ++i) f.guidelineNextButton->click();
        EXPECT_TRUE(f.guidelineText->text().startsWith("Step 8. In the <<Protections>>"));
        EXPECT_EQ(dlg.windowTitle(), "Drive Setup");
    });
}

TEST_F(DriveSetupTest, HelpHasAPageAndTheMotorSetupButtonItsPicture) {
    axis::RegisterHelpFolder(":/orvex/help");
    EXPECT_FALSE(axis::FindHelpPage(CDriveSetupDlg::kHelpContext).isEmpty());
    CDriveSetupDlg dlg(setup.get(), nullptr);
    dlg.OnInitDialog();
    EXPECT_FALSE(dlg.Form().motorSetupButton->icon().isNull());
}

}  // namespace
