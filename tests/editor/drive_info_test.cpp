// "Drive info": locked drive data, the chord that unlocks them, the load rules, the
// protection checks and what OK writes.
#include "editor/drive_info.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "editor_fixture.h"
#include "ui_drive_info.h"

namespace {

class DriveInfoTest : public EditorTest {
  protected:
    int Run(const std::function<void(CDriveInfo&, Ui::DriveInfo&)>& script, bool ok = true) {
        return RunDialog<CDriveInfo>(script, ok);
    }
    static void Press(Ui::DriveInfo& f, QDialogButtonBox::StandardButton which) {
        f.buttonBox->button(which)->click();
    }

    static void Chord(QWidget* target) {
        QTest::keyClick(target, CDriveInfo::kChordKey, CDriveInfo::kChordModifiers);
    }

    static std::vector<QWidget*> DriveData(Ui::DriveInfo& f) {
        return {f.vmotMinEdit,        f.vmotMaxEdit,      f.vlogMinEdit,       f.vlogMaxEdit,
                f.nominalCurrentEdit, f.peakCurrentEdit,  f.vdcMaxEdit,        f.analogueRangeEdit,
                f.tempSensorCheck,    f.overVoltageCheck, f.underVoltageCheck, f.i2tCheck,
                f.driveNameEdit,      f.productIdEdit,    f.e2romSizeEdit,     f.firmwareIdEdit,
                f.sensorGainEdit,     f.sensorOutputEdit, f.overTempCheck,     f.overVoltageEdit,
                f.underVoltageEdit,   f.i2tCurrentEdit,   f.i2tTimeEdit,       f.overTempEdit};
    }
};

TEST_F(DriveInfoTest, LockedUntilTheChordAndLockedAgainByIt) {
    Run([&](CDriveInfo& dlg, Ui::DriveInfo& f) {
        for (QWidget* w : DriveData(f))
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_TRUE(f.appIdEdit->isEnabled());
        for (QWidget* w : {f.vmotMinUnit, f.nominalCurrentUnit, f.vdcMaxUnit, f.analogueRangeUnit})
            EXPECT_TRUE(w->isEnabled());

        Chord(f.appIdEdit);
        EXPECT_TRUE(dlg.IsEditing());
        // Every feature is on in the demo setup: everything opens.
        for (QWidget* w : DriveData(f))
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        // The chord types nothing.
        EXPECT_EQ(f.appIdEdit->text(), "");

        Chord(f.vmotMinEdit);
        EXPECT_FALSE(dlg.IsEditing());
        for (QWidget* w : DriveData(f)) EXPECT_FALSE(w->isEnabled());

        // Not the chord: two modifiers only, or another letter.
        QTest::keyClick(f.appIdEdit, Qt::Key_E, Qt::ControlModifier | Qt::AltModifier);
        QTest::keyClick(f.appIdEdit, Qt::Key_R, CDriveInfo::kChordModifiers);
        EXPECT_FALSE(dlg.IsEditing());
    });
}

TEST_F(DriveInfoTest, FeatureRowsFollowTheirSwitchesLabelsEvenWhileLocked) {
    Set("isDriveTemperatureSensor", 0);
    Set("isDriveOverTemp", 0);
    Set("isUnderVoltage", 0);
    Run([&](CDriveInfo&, Ui::DriveInfo& f) {
        EXPECT_FALSE(f.sensorGainLabel->isEnabled());
        EXPECT_FALSE(f.sensorGainUnit->isEnabled());
        EXPECT_FALSE(f.underVoltageLabel->isEnabled());
        EXPECT_TRUE(f.overVoltageLabel->isEnabled());  // locked, but on
        EXPECT_TRUE(f.overVoltageUnit->isEnabled());
        EXPECT_FALSE(f.overVoltageEdit->isEnabled());
        Chord(f.appIdEdit);
        EXPECT_TRUE(f.overVoltageEdit->isEnabled());
        EXPECT_FALSE(f.underVoltageEdit->isEnabled());
        EXPECT_FALSE(f.sensorGainEdit->isEnabled());
        EXPECT_FALSE(f.overTempCheck->isEnabled());
        EXPECT_FALSE(f.overTempEdit->isEnabled());
        f.underVoltageCheck->click();
        EXPECT_TRUE(f.underVoltageEdit->isEnabled());
        EXPECT_TRUE(f.underVoltageLabel->isEnabled());
    });
}

TEST_F(DriveInfoTest, NoOverTemperatureProtectionWithoutASensor) {
    Run([&](CDriveInfo&, Ui::DriveInfo& f) {
        Chord(f.appIdEdit);
        ASSERT_TRUE(f.overTempCheck->isChecked());
        f.tempSensorCheck->click();
        EXPECT_FALSE(f.overTempCheck->isChecked());
        EXPECT_FALSE(f.overTempCheck->isEnabled());
        EXPECT_FALSE(f.overTempEdit->isEnabled());
    });
    EXPECT_EQ(Value("isDriveTemperatureSensor"), 0);
    EXPECT_EQ(Value("isDriveOverTemp"), 0);
}

TEST_F(DriveInfoTest, OkWritesTheIdentityAndRecomputesTheOptions) {
    const double pwm_period = Value("PWMPER");
    Set("PWMPER", 1);  // stale until the options are recomputed
    const int result = Run([&](CDriveInfo&, Ui::DriveInfo& f) {
        EXPECT_EQ(f.e2romSizeEdit->text(), "8");
        EXPECT_EQ(f.productIdEdit->text(), "ORVX-4808");
        EXPECT_EQ(f.firmwareIdEdit->text(), "F900A");
        Chord(f.appIdEdit);
        f.e2romSizeEdit->setText("16");
        f.driveNameEdit->setText("Bench drive");
        f.productIdEdit->setText("ORVX-4810");
        f.firmwareIdEdit->setText("F901B");
        QTest::keyClicks(f.appIdEdit, QString(45, QLatin1Char('x')));
        EXPECT_EQ(f.appIdEdit->text().size(), CDriveInfo::kAppIdMaxLength);
        Press(f, QDialogButtonBox::Ok);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(setup->GetE2ROMSize(), 16384);
    EXPECT_EQ(setup->GetDescription(), "Bench drive");
    EXPECT_EQ(setup->GetProductID(), "ORVX-4810");
    EXPECT_EQ(setup->GetFirmwareID(), "F901B");
    EXPECT_EQ(setup->GetUserAppID(), std::string(40, 'x'));
    EXPECT_EQ(Value("PWMPER"), pwm_period);
    EXPECT_TRUE(seam.MessageTexts().isEmpty());
}

TEST_F(DriveInfoTest, RefusedFirmwareIdIsReportedAndOkGoesOn) {
    const int result = Run([&](CDriveInfo&, Ui::DriveInfo& f) {
        Chord(f.appIdEdit);
        f.firmwareIdEdit->clear();  // the setup takes no empty firmware ID
        f.e2romSizeEdit->setText("");
        f.appIdEdit->setText("Axis 3");
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seam.MessageTexts(), QStringList{"Error setting the firmware ID!"});
    EXPECT_EQ(setup->GetFirmwareID(), "F900A");
    EXPECT_EQ(setup->GetE2ROMSize(), 0);  // a size that is no number reads as 0
    EXPECT_EQ(setup->GetUserAppID(), "Axis 3");
}

TEST_F(DriveInfoTest, CancelWritesNoIdentityAndTheNextOpeningStartsLocked) {
    const int result = Run([&](CDriveInfo&, Ui::DriveInfo& f) {
        Chord(f.appIdEdit);
        f.productIdEdit->setText("changed");
        f.appIdEdit->setText("changed");
        Press(f, QDialogButtonBox::Cancel);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(setup->GetProductID(), "ORVX-4808");
    EXPECT_EQ(setup->GetUserAppID(), "");
    Run([&](CDriveInfo& dlg, Ui::DriveInfo& f) {
        EXPECT_FALSE(dlg.IsEditing());
        EXPECT_FALSE(f.productIdEdit->isEnabled());
    });
}

}  // namespace
