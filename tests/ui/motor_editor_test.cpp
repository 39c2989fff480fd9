// The motor database editor: choosing a motor fills the motor parameters as user
// changes; the user's database is written safely and never over a file it could not
// read.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "host/setup/setup.h"
#include "host/ui/edit_setup_dlg.h"
#include "host/ui/modal_seam.h"
#include "host/ui/motor_editor.h"

namespace {

class MotorDialog : public CMC_EditSetupDlg {
  public:
    explicit MotorDialog(CMC_Setup* setup)
        : CMC_EditSetupDlg(setup, new QWidget, 1, nullptr, nullptr) {
        database = new QComboBox(Layout());
        motor = new QComboBox(Layout());
        save = new QPushButton("Save to User Database", Layout());
        remove = new QPushButton("Delete", Layout());
        InitializeMotorEditor(database, motor, save, remove);
    }
    void OnChangedParameterValue(const char* name) override { changed.push_back(name); }
    axis::MotorEditor& Editor() { return *GetMotorEditor(); }
    QComboBox* database;
    QComboBox* motor;
    QPushButton* save;
    QPushButton* remove;
    std::vector<std::string> changed;
};

class MotorEditorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        saved_config = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        setup.AddParameter("In", kTypeReal, "A", "A", 1, 0.01, 20);
        setup.AddParameter("ImaxM", kTypeReal, "A", "A", 2, 0.01, 40);
        setup.AddParameter("K", kTypeReal, "Nm/A", "Nm/A", 0.1, 0.001, 20);
        setup.AddParameter("R", kTypeReal, "Ohm", "Ohm", 1, 0.001, 100);
        setup.AddParameter("NoMotorSteps", kTypeInteger, "", "", 200, 4, 1000);
        // No "L" and no "Jm": this setup lacks them.
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", saved_config); }

    int IndexOf(MotorDialog& dlg, const QString& prefix) {
        for (int i = 0; i < dlg.motor->count(); ++i)
            if (dlg.motor->itemText(i).startsWith(prefix)) return i;
        return -1;
    }
    static void NameIt(axis::ScriptedModalSeam& seam, const QString& name) {
        seam.AnswerDialog([name](QDialog& d) {
            d.findChild<QLineEdit*>("motorNameEdit")->setText(name);
            d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
    }

    QTemporaryDir config;
    QByteArray saved_config;
    CMC_Setup setup;
    axis::ScriptedModalSeam seam;
};

TEST_F(MotorEditorTest, ChoosingAShippedMotorFillsTheParametersTheSetupHas) {
    MotorDialog dlg(&setup);
    EXPECT_GE(dlg.motor->count(), 8);
    EXPECT_FALSE(dlg.remove->isEnabled());  // the shipped database is read-only
    const int index = IndexOf(dlg, "Generic NEMA 23, 56 mm");
    ASSERT_GE(index, 0);
    dlg.motor->setCurrentIndex(index);
    emit dlg.motor->activated(index);
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("In"), 2.8);
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("K"), 0.43);
    EXPECT_EQ(dlg.changed, (std::vector<std::string>{"In", "ImaxM", "K", "R", "NoMotorSteps"}));
    EXPECT_TRUE(seam.MessageTexts().isEmpty());
}

TEST_F(MotorEditorTest, ValuesOutsideTheSetupsRangeAreLimitedAndSaid) {
    setup.FindParameter("In")->SetMaxInBaseUnit(2.0);
    MotorDialog dlg(&setup);
    dlg.Editor().ChooseMotor(IndexOf(dlg, "Generic NEMA 23, 56 mm"));
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("In"), 2.0);
    ASSERT_EQ(seam.MessageTexts().size(), 1);
    EXPECT_TRUE(seam.MessageTexts()[0].contains("the values of In lie outside"));
}

TEST_F(MotorEditorTest, SavesReplacesAndDeletesInTheUserDatabase) {
    setup.SetParameterValueInBaseUnit("In", 3.3);
    {
        MotorDialog dlg(&setup);
        NameIt(seam, "Axis 2 motor");
        EXPECT_TRUE(dlg.Editor().SaveToUserDatabase());
        EXPECT_EQ(dlg.database->currentIndex(), axis::MotorEditor::kUser);
        EXPECT_EQ(dlg.motor->currentText(), "Axis 2 motor");
        EXPECT_TRUE(dlg.remove->isEnabled());

        // The same name again: asked, and No keeps the old record.
        setup.SetParameterValueInBaseUnit("In", 4.4);
        NameIt(seam, "Axis 2 motor");
        seam.AnswerMessage(axis::kIdNo);
        EXPECT_FALSE(dlg.Editor().SaveToUserDatabase());
    }
    // A new dialog reads what was written.
    MotorDialog dlg(&setup);
    dlg.Editor().SelectDatabase(axis::MotorEditor::kUser);
    ASSERT_EQ(dlg.motor->count(), 1);
    dlg.Editor().ChooseMotor(0);
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("In"), 3.3);

    seam.AnswerMessage(axis::kIdYes);
    dlg.motor->setCurrentIndex(0);
    EXPECT_TRUE(dlg.Editor().DeleteChosenMotor());
    EXPECT_EQ(dlg.motor->count(), 0);
    EXPECT_TRUE(dlg.Editor().GetDatabase(axis::MotorEditor::kUser).motors.empty());
    EXPECT_TRUE(seam.Problems().isEmpty());
}

TEST_F(MotorEditorTest, AnUnreadableUserDatabaseIsReportedAndNeverOverwritten) {
    const QString path = axis::UserMotorDatabasePath();
    ASSERT_TRUE(path.startsWith(config.path()));
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{ not json");
    file.close();
    MotorDialog dlg(&setup);
    ASSERT_EQ(seam.MessageTexts().size(), 1);
    EXPECT_TRUE(seam.MessageTexts()[0].contains("could not be read"));
    EXPECT_FALSE(dlg.save->isEnabled());
    EXPECT_FALSE(dlg.Editor().SaveToUserDatabase());
    QFile again(path);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), "{ not json");
}

}  // namespace
