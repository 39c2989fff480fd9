// The position controller tuning test on the simulated drive: the loop structure the
// setup states decides the program, the logged signals and the speed limit; gains
// reach the running drive; Start skips the preliminary program only right after a
// success on the test page.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTabWidget>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "host/ui/modal_seam.h"
#include "tests/tuning/tuning_dialog_fixture.h"
#include "tuning/position_tuning.h"

namespace {

using identification_test::Button;
using identification_test::DemoBench;
using tuning_test::Option;
using tuning_test::Register;
using tuning_test::Tick;
using tuning_test::WithDialog;

QTabWidget* Pages(QWidget& d) {
    return d.findChild<QTabWidget*>("pageTabs");
}

}  // namespace

TEST(PositionTuning, SpeedLimitIsBoundOnlyInPositionModeOverTheSpeedLoop) {
    struct Case {
        int control_mode;
        int position_control_type;
        bool bound;
    };
    const Case cases[] = {{0, 1, true}, {0, 0, false}, {1, 1, false}, {2, 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "ControlMode " << c.control_mode
                                        << ", PositionControlType " << c.position_control_type);
        DemoBench bench;
        bench.Set("ControlMode", c.control_mode);
        bench.Set("PositionControlType", c.position_control_type);
        CTestPositionTuning dlg(bench.setup.get(), 1, nullptr);
        dlg.RefreshAllParameters();
        auto* edit = dlg.findChild<QLineEdit*>("speedLimitEdit");
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(!edit->text().isEmpty(), c.bound);
        // A bound field changes the setup; an unbound one never does.
        const double before = bench.Value("Limit_Speed");
        edit->setText("12");
        emit edit->editingFinished();
        EXPECT_EQ(bench.Value("Limit_Speed") != before, c.bound);
    }
}

TEST(PositionTuning, OneRunFollowsTheProfileWithAndWithoutTheSpeedLoop) {
    struct Case {
        int position_control_type;
        const char* program;
        const char* inner_reference;
    };
    const Case cases[] = {
        {1, "Position_Controller_Tuning_Test_with_SpdCtrl", "Speed_Reference"},
        {0, "Position_Controller_Tuning_Test_without_SpdCtrl", "Current_Reference"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        DemoBench bench;
        bench.Set("PositionControlType", c.position_control_type);
        // The direct loop is designed only where it is sound, from about 8.6 Hz.
        if (c.position_control_type == 0) bench.Set("PB_P", 2 * std::numbers::pi * 9);
        bench.Set("OnlinePlotP", 0);
        bench.Set("MultiCycleP", 0);
        WithDialog<CTestPositionTuning>(bench, [&](CTestPositionTuning& dlg, QDialog& d) {
            EXPECT_EQ(dlg.ProgramName(), c.program);
            // A derivative of whole encoder counts needs its filter, or the current chatters.
            dlg.ChangeParameterValue("filter_D", 0.9);
            // Gains designed for this loop structure, as the user would start.
            Button(d, "tuneButton")->click();
            bench.Run(dlg, 30.0);
            ASSERT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kSucceeded) << dlg.FailureText();
            EXPECT_EQ(dlg.LoggedVariables()[2], c.inner_reference);
            const auto run = dlg.LastLoggedRun();
            ASSERT_EQ(run.columns.size(), 4u);
            // The load follows the target out to the final position, in whole counts.
            const auto& target = run.columns[0];
            const auto& load = run.columns[1];
            const auto top = std::max_element(target.begin(), target.end()) - target.begin();
            EXPECT_GT(target[top], 100.0);
            EXPECT_NEAR(load[top], target[top], 0.02 * target[top]);
        });
    }
}

TEST(PositionTuning, TuneOverTheSpeedLoopWritesAZeroDerivativeGainToTheRunningDrive) {
    struct Case {
        int position_control_type;
        bool derivative;  // the designed Kd is nonzero
    };
    for (const Case c : {Case{1, false}, Case{0, true}}) {
        SCOPED_TRACE(testing::Message() << "PositionControlType " << c.position_control_type);
        DemoBench bench;
        bench.Set("PositionControlType", c.position_control_type);
        bench.Set("PB_P", 2 * std::numbers::pi * 20);  // sound for the direct loop too
        bench.Set("MultiCycleP", 1);                   // runs until Stop: time to tune
        WithDialog<CTestPositionTuning>(bench, [&](CTestPositionTuning& dlg, QDialog& d) {
            dlg.ChangeParameterValue("Kd_P_scl", 0.5);  // a derivative gain to replace
            Button(d, "startStopButton")->click();
            Tick(bench, dlg, [&] { return dlg.StatusText() == CTuningTestDlg::kSteps[5]; });
            ASSERT_TRUE(dlg.IsRunning());
            EXPECT_NE(Register(bench, "KDP"), 0.0);
            Button(d, "tuneButton")->click();
            EXPECT_EQ(bench.Value("Kd_P_scl") != 0.0, c.derivative);
            EXPECT_EQ(Register(bench, "KDP") != 0.0, c.derivative);
            for (const char* option : {"SFTKPP", "KPP", "SFTKIP", "KIP", "SFTKDP", "KDP"})
                EXPECT_EQ(Register(bench, option), Option(bench, option)) << option;
            Button(d, "startStopButton")->click();
        });
    }
}

TEST(PositionTuning, DirectLoopIsDesignedOnlyWhereSomeBandwidthIsSound) {
    // The demo motor's direct loop is sound from about 8.6 Hz (its detent) to 26.5 Hz
    // (its 2 kHz sampling and 800 Hz current loop): the dialog moves "PB_P" into that
    // range. Sixteen times the torque constant makes the detent ask for four times the
    // bandwidth, beyond what the sampling allows: "Tune" then says so and designs nothing.
    // On the speed loop, the demo's speed gains hold its detent at any passband; with
    // seven times the rated current (and so the detent) against the same gains they
    // hold it at none.
    struct Case {
        int position_control_type;
        double bandwidth_Hz, torque_factor, current_factor;
        double designed_Hz;  // 0: not designed
    } cases[] = {{0, 5, 1, 1, 8.58}, {0, 20, 1, 1, 20}, {0, 40, 1, 1, 26.53},
                 {0, 20, 16, 1, 0},  {1, 5, 1, 1, 5},   {1, 5, 1, 7, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.position_control_type << " at "
                                        << c.bandwidth_Hz << " Hz, K x" << c.torque_factor);
        DemoBench bench;
        bench.Set("PositionControlType", c.position_control_type);
        bench.Set("PB_P", 2 * std::numbers::pi * c.bandwidth_Hz);
        bench.Set("K", bench.Value("K") * c.torque_factor);
        bench.Set("In", bench.Value("In") * c.current_factor);
        WithDialog<CTestPositionTuning>(bench, [&](CTestPositionTuning& dlg, QDialog& d) {
            dlg.ChangeParameterValue("Kp_P_scl", 0.5);
            axis::ScriptedModalSeam messages;
            Button(d, "tuneButton")->click();
            EXPECT_EQ(bench.Value("Kp_P_scl") != 0.5, c.designed_Hz > 0);
            EXPECT_EQ(messages.MessageTexts().size(), c.designed_Hz > 0 ? 0 : 1);
            if (c.designed_Hz > 0) {
                EXPECT_NEAR(bench.Value("PB_P") / (2 * std::numbers::pi), c.designed_Hz, 0.01);
            }
        });
    }
}

TEST(PositionTuning, ChangedGainsReachTheRunningDrive) {
    struct Case {
        const char* parameter;
        double value;  // times the setup's, or as it stands when that is 0
        std::vector<const char*> options;
    };
    const Case cases[] = {
        {"Kp_P_scl", 1.3, {"SFTKPP", "KPP"}},
        {"Ki_P_scl", 0.7, {"SFTKIP", "KIP"}},
        {"Kd_P_scl", 0.25, {"SFTKDP", "KDP"}},
        {"filter_D", 0.5, {"KDFP"}},
        {"IPSatP", 0.5, {"IMAXP"}},
        {"KFFS_scl", 0.8, {"SFTSFFW", "KFFS", "KFFA"}},
        {"KFFA_scl", 0.6, {"SFTAFFW", "SFTKFF", "KFFA"}},
    };
    DemoBench bench;
    bench.Set("MultiCycleP", 1);
    bench.Set("isMotorInertiaUnknown", 1);  // the acceleration feed-forward goes all the same
    WithDialog<CTestPositionTuning>(bench, [&](CTestPositionTuning& dlg, QDialog& d) {
        Button(d, "startStopButton")->click();
        Tick(bench, dlg, [&] { return dlg.StatusText() == CTuningTestDlg::kSteps[5]; });
        ASSERT_TRUE(dlg.IsRunning());
        for (const Case& c : cases) {
            const double now = bench.Value(c.parameter);
            ASSERT_TRUE(dlg.ChangeParameterValue(c.parameter, now != 0.0 ? c.value * now : c.value))
                << c.parameter;
            for (const char* option : c.options)
                EXPECT_EQ(Register(bench, option), Option(bench, option))
                    << c.parameter << " -> " << option;
        }
        Button(d, "startStopButton")->click();
    });
}

TEST(PositionTuning, StartSkipsThePreliminaryOnlyRightAfterASuccessOnTheTestPage) {
    DemoBench bench;
    bench.Set("MultiCycleP", 0);
    bench.Set("OnlinePlotP", 0);
    WithDialog<CTestPositionTuning>(bench, [&](CTestPositionTuning& dlg, QDialog& d) {
        bench.Run(dlg, 30.0);
        ASSERT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kSucceeded) << dlg.FailureText();
        // Again at once: straight to the test program.
        bench.Run(dlg, 30.0, [&] {
            EXPECT_NE(dlg.StatusText(), CTuningTestDlg::kSteps[1]) << "preliminary ran";
        });
        EXPECT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kSucceeded) << dlg.FailureText();
        // By way of the parameters page the motor may have been moved: align it again.
        Pages(d)->setCurrentIndex(CTuningTestDlg::kParametersPage);
        Pages(d)->setCurrentIndex(CTuningTestDlg::kTestPage);
        Button(d, "startStopButton")->click();
        EXPECT_EQ(dlg.StatusText(), CTuningTestDlg::kSteps[1]);
        Button(d, "startStopButton")->click();
    });
}
