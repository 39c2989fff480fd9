// The setup dialog base with real widgets, off screen: what a user change commits,
// what it refuses, in which order the hooks run, and what programmatic redraws do
// not do.
#include "host/ui/edit_setup_dlg.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QVBoxLayout>

#include "host/setup/setup.h"
#include "host/ui/modal_seam.h"
#include "tests/support/type_into.h"

namespace {

using orvex_test::TypeInto;

// A dialog with one control of each kind, recording every hook call with what the
// current field showed at that moment.
class ProbeDialog : public CMC_EditSetupDlg {
  public:
    explicit ProbeDialog(CMC_Setup* setup, const char* const* guidelines = nullptr)
        : CMC_EditSetupDlg(setup, new QWidget, 1, guidelines, nullptr) {
        auto* column = new QVBoxLayout(Layout());
        current = new QLineEdit(Layout());
        current_unit = new QComboBox(Layout());
        other = new QLineEdit(Layout());
        brake = new QCheckBox("Brake", Layout());
        auto* radios = new QWidget(Layout());
        auto* radio_column = new QVBoxLayout(radios);
        for (const char* text : {"Position", "Speed", "Current"}) {
            auto* r = new QRadioButton(text, radios);
            radio_column->addWidget(r);
            mode.push_back(r);
        }
        filter = new QComboBox(Layout());
        for (int i = 0; i < 4; ++i) filter->addItem(QString("1/%1").arg(3 * (i + 1)), i * 10);
        slider = new QSlider(Qt::Horizontal, Layout());
        buttons = new QDialogButtonBox(
            QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, Layout());
        buttons->button(QDialogButtonBox::Ok)->setDefault(true);
        for (QWidget* w : std::initializer_list<QWidget*>{current, current_unit, other, brake,
                                                          radios, filter, slider, buttons})
            column->addWidget(w);
        AddParameterControls("In", current, current_unit);
        AddParameterControls("Steps", other);
        AddCheckParameterControls("isBrake", brake);
        AddSwitchParameterControls("ControlMode", mode.front(), mode.back());
        AddListParameterControls("FilterEnc", filter);
        AddSliderParameterControls("Damping", slider, 10);
    }

    void OnChangedParameterValue(const char* name) override {
        log.push_back(std::string("changed ") + name + " [" + current->text().toStdString() + "]");
        if (double_on_change)
            GetSetup()->SetParameterValueInBaseUnit(
                name, 2 * GetSetup()->GetParameterValueInBaseUnit(name));
    }
    void OnChangedParameterUnit(const char* name) override {
        log.push_back(std::string("unit ") + name);
    }
    void OnRefreshParameterValue(const char* name) override {
        log.push_back(std::string("refreshed ") + name + " [" + current->text().toStdString() +
                      "]");
    }
    void DoDataExchange(bool save) override {
        CMC_EditSetupDlg::DoDataExchange(save);
        if (!save) ++loads;
    }
    void OnTimer(int id) override {
        ticks.push_back(id);
        if (id == 1 && nest_on_tick) {
            KillTimer(1);
            // Waits inside the handler as the long tests do; timer 2 fires nested.
            QElapsedTimer clock;
            clock.start();
            SetTimer(2, 1);
            while (std::count(ticks.begin(), ticks.end(), 2) < 3 && clock.elapsed() < 2000)
                PumpMessages();
            KillTimer(2);
            ticks.push_back(-1);
        }
    }

    QLineEdit* current;
    QComboBox* current_unit;
    QLineEdit* other;
    QCheckBox* brake;
    std::vector<QAbstractButton*> mode;
    QComboBox* filter;
    QSlider* slider;
    QDialogButtonBox* buttons;
    std::vector<std::string> log;
    std::vector<int> ticks;
    int loads = 0;
    bool double_on_change = false;
    bool nest_on_tick = false;
};

class EditSetupDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setup.AddParameter("In", kTypeReal, "A", "A", 2.0, 0.1, 10.0);
        setup.AddParameter("Steps", kTypeInteger, "", "", 200, 4, 100000);
        setup.AddParameter("isBrake", kTypeSwitch, "", "", 0, 0, 1);
        setup.AddParameter("ControlMode", kTypeSwitch, "", "", 1, 0, 2);
        setup.AddParameter("FilterEnc", kTypeChoice, "", "", 20, 0, 30);
        setup.AddParameter("Damping", kTypeReal, "", "", 0.5, 0, 1);
    }

    CMC_Setup setup;
    axis::ScriptedModalSeam seam;
};

TEST_F(EditSetupDlgTest, EnterCommitsThenHooksRunInOrderAroundTheRedraw) {
    ProbeDialog dlg(&setup);
    dlg.double_on_change = true;
    TypeInto(dlg.current, "3");
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("In"), 6.0);
    // The change hook sees the typed text, the refresh hook the redrawn value.
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"changed In [3]", "refreshed In [6]"}));
    EXPECT_EQ(dlg.current->text(), "6");
    EXPECT_TRUE(seam.MessageTexts().isEmpty());
}

TEST_F(EditSetupDlgTest, FocusLossCommitsAndAnUnchangedFieldCommitsNothing) {
    ProbeDialog dlg(&setup);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    dlg.current->setFocus();
    dlg.other->setFocus();  // focus passes through without a change
    EXPECT_TRUE(dlg.log.empty());
    dlg.current->setFocus();
    dlg.current->selectAll();
    QTest::keyClicks(dlg.current, "2.5");
    dlg.other->setFocus();
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("In"), 2.5);
    EXPECT_EQ(dlg.log.size(), 2u);
    dlg.hide();
}

TEST_F(EditSetupDlgTest, OutOfRangeIsRefusedNamingTheRangeInTheShownUnit) {
    setup.ChangeParameterUnit("In", "mA");
    ProbeDialog dlg(&setup);
    EXPECT_EQ(dlg.current->text(), "2000");
    TypeInto(dlg.current, "20000");
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("In"), 2.0);
    EXPECT_EQ(dlg.current->text(), "2000");
    EXPECT_TRUE(dlg.log.empty());
    ASSERT_EQ(seam.MessageTexts().size(), 1);
    EXPECT_EQ(seam.MessageTexts()[0], "Enter a value between 100 and 10000 mA.");

    TypeInto(dlg.current, "abc");
    EXPECT_EQ(dlg.current->text(), "2000");
    EXPECT_EQ(seam.MessageTexts().size(), 2);

    // The limits themselves are accepted.
    TypeInto(dlg.current, "10000");
    TypeInto(dlg.current, "100");
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("In"), 0.1);
    EXPECT_EQ(seam.MessageTexts().size(), 2);
}

TEST_F(EditSetupDlgTest, ProgrammaticRedrawsShowNewValuesWithoutHooks) {
    ProbeDialog dlg(&setup);
    setup.SetParameterValueInBaseUnit("In", 4.25);
    setup.SetParameterValueInBaseUnit("isBrake", 1);
    setup.SetParameterValueInBaseUnit("ControlMode", 2);
    setup.SetParameterValueInBaseUnit("FilterEnc", 30);
    setup.SetParameterValueInBaseUnit("Damping", 0.8);
    dlg.RefreshParameterControls("in");  // names match without regard to case
    EXPECT_EQ(dlg.current->text(), "4.25");
    EXPECT_FALSE(dlg.brake->isChecked());
    dlg.RefreshAllParameters();
    EXPECT_TRUE(dlg.brake->isChecked());
    EXPECT_TRUE(dlg.mode[2]->isChecked());
    EXPECT_EQ(dlg.filter->currentText(), "1/12");
    EXPECT_EQ(dlg.slider->value(), 8);
    dlg.UpdateData(false);
    EXPECT_EQ(dlg.loads, 1);
    EXPECT_TRUE(dlg.log.empty());
}

TEST_F(EditSetupDlgTest, UnitChangeRedrawsInTheNewUnitAndCallsTheUnitHook) {
    ProbeDialog dlg(&setup);
    const int ma = dlg.current_unit->findText("mA");
    ASSERT_GE(ma, 0);
    dlg.current_unit->setCurrentIndex(ma);
    emit dlg.current_unit->activated(ma);
    EXPECT_EQ(dlg.current->text(), "2000");
    EXPECT_EQ(setup.GetParameterUnit("In"), "mA");
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("In"), 2.0);
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"unit In"}));
    TypeInto(dlg.current, "1500");
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("In"), 1.5);
    // A unit merged later is offered after the next redraw.
    ASSERT_TRUE(setup.MergeDerivedUnit("kA", "A", 0.001, 0));
    dlg.RefreshAllParameters();
    EXPECT_GE(dlg.current_unit->findText("kA"), 0);
    EXPECT_EQ(dlg.current_unit->currentText(), "mA");
}

TEST_F(EditSetupDlgTest, ClicksSelectionsAndSliderReleaseCommit) {
    ProbeDialog dlg(&setup);
    dlg.brake->click();
    EXPECT_EQ(setup.GetParameterValueInBaseUnit("isBrake"), 1);
    dlg.mode[2]->click();
    EXPECT_EQ(setup.GetParameterValueInBaseUnit("ControlMode"), 2);
    dlg.filter->setCurrentIndex(0);
    emit dlg.filter->activated(0);
    EXPECT_EQ(setup.GetParameterValueInBaseUnit("FilterEnc"), 0);
    // While dragging nothing is committed; the release commits.
    dlg.slider->setSliderDown(true);
    dlg.slider->setValue(3);
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("Damping"), 0.5);
    dlg.slider->setSliderDown(false);
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("Damping"), 0.3);
    EXPECT_EQ(dlg.log.size(), 8u);
}

TEST_F(EditSetupDlgTest, ASwitchRunGoesFromFirstToLastInLayoutOrder) {
    ProbeDialog dlg(&setup);
    EXPECT_TRUE(dlg.mode[1]->isChecked());
    setup.SetParameterValueInBaseUnit("ControlMode", 0);
    dlg.RefreshAllParameters();
    EXPECT_TRUE(dlg.mode[0]->isChecked());
    EXPECT_FALSE(dlg.mode[1]->isChecked());
    EXPECT_FALSE(dlg.AddSwitchParameterControls("ControlMode", dlg.mode[0], dlg.brake));
    EXPECT_FALSE(dlg.AddParameterControls("NoSuchParameter", dlg.other));
}

TEST_F(EditSetupDlgTest, OkCommitsPendingInputAndRefusalKeepsTheDialogOpen) {
    ProbeDialog dlg(&setup);
    seam.AnswerDialog([&](QDialog&) {
        dlg.current->setText("50");  // typed, not yet committed
        dlg.buttons->button(QDialogButtonBox::Ok)->click();
        EXPECT_TRUE(dlg.isVisible());
        dlg.current->setText("7");
        dlg.buttons->button(QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(dlg.DoModal(), 1);
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("In"), 7.0);
    EXPECT_EQ(seam.MessageTexts().size(), 1);
    EXPECT_TRUE(seam.Problems().isEmpty());
}

TEST_F(EditSetupDlgTest, EnterInAFieldDoesNotCloseTheDialog) {
    ProbeDialog dlg(&setup);
    seam.AnswerDialog([&](QDialog&) {
        TypeInto(dlg.current, "3");
        EXPECT_TRUE(dlg.isVisible());
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    EXPECT_EQ(dlg.DoModal(), 0);
    EXPECT_DOUBLE_EQ(setup.GetParameterValueInBaseUnit("In"), 3.0);
}

TEST_F(EditSetupDlgTest, TimersTickUntilKilledAndNestedPumpingRunsOtherTimers) {
    ProbeDialog dlg(&setup);
    dlg.SetTimer(3, 1);
    QElapsedTimer clock;
    clock.start();
    while (dlg.ticks.size() < 3 && clock.elapsed() < 2000) CMC_EditSetupDlg::PumpMessages();
    dlg.KillTimer(3);
    EXPECT_EQ(dlg.ticks, (std::vector<int>{3, 3, 3}));
    EXPECT_FALSE(dlg.IsTimerRunning(3));

    dlg.ticks.clear();
    dlg.nest_on_tick = true;
    dlg.SetTimer(1, 1);
    clock.restart();
    while (std::find(dlg.ticks.begin(), dlg.ticks.end(), -1) == dlg.ticks.end() &&
           clock.elapsed() < 2000)
        CMC_EditSetupDlg::PumpMessages();
    // Timer 2 ran three times inside the handler of timer 1, which then returned.
    EXPECT_EQ(dlg.ticks, (std::vector<int>{1, 2, 2, 2, -1}));
}

TEST_F(EditSetupDlgTest, GuidelineAssistantStepsWithPreviousAndNext) {
    const char* texts[] = {"1 First", "2 Second", "3 Third", nullptr};
    ProbeDialog dlg(&setup, texts);
    seam.AnswerDialog([&](QDialog& shown) {
        auto* text = shown.findChild<QLabel*>("guidelineText");
        auto* previous = shown.findChild<QPushButton*>("guidelinePreviousButton");
        auto* next = shown.findChild<QPushButton*>("guidelineNextButton");
        ASSERT_TRUE(text && previous && next);
        EXPECT_EQ(text->text(), "1 First");
        EXPECT_FALSE(previous->isEnabled());
        next->click();
        next->click();
        EXPECT_EQ(text->text(), "3 Third");
        EXPECT_FALSE(next->isEnabled());
        previous->click();
        EXPECT_EQ(text->text(), "2 Second");
        shown.reject();
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.GetGuidelineCount(), 3);
    EXPECT_EQ(dlg.GetGuidelineStep(), 1);
}

TEST_F(EditSetupDlgTest, CanBaudRateFollowsTheSetupSetting) {
    setup.SetOption("CANBaudRate", "250000");
    ProbeDialog dlg(&setup);
    auto* baud = new QComboBox(dlg.Layout());
    dlg.EnableCANSettings(baud);
    EXPECT_EQ(baud->currentText(), "250 kbit/s");
    const int index = baud->findText("1 Mbit/s");
    baud->setCurrentIndex(index);
    emit baud->activated(index);
    EXPECT_EQ(setup.GetOptionNoError("CANBaudRate"), "1000000");
}

}  // namespace
