// The current and electric angle controller tuning tests end to end on the
// simulated drive: the step response and the angle run are logged and plotted,
// gains changed during a run reach the drive's registers at once, and the page
// rules hold.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <cmath>

#include "host/plot/graph_window.h"
#include "host/ui/modal_seam.h"
#include "identification/angle_tuning.h"
#include "identification/current_tuning.h"
#include "identification_bench.h"

using identification_test::Button;
using identification_test::DemoBench;
using identification_test::Show;

namespace {

QTabWidget* Pages(QWidget& d) {
    auto* tabs = d.findChild<QTabWidget*>("pageTabs");
    EXPECT_NE(tabs, nullptr);
    return tabs;
}

// An option as the drive holds it: the register takes the whole part of the value.
double Option(DemoBench& bench, const char* name) {
    return std::trunc(bench.Value(name));
}

double Register(DemoBench& bench, const char* name) {
    double value = NAN;
    EXPECT_TRUE(bench.drive.ReadRegister(name, value)) << name;
    return value;
}

// Ticks until the status line shows `status` (or the test ended).
void TickUntilStatus(DemoBench& bench, CMyTestDlg& dlg, const QString& status) {
    identification_test::Tick(bench, dlg, 500,
                              [&] { return dlg.IsRunning() && dlg.StatusText() != status; });
}

}  // namespace

TEST(LoopTuning, SlidersSpanHalfToOneAndAHalfTimesTheValueAtOpening) {
    struct Case {
        bool angle_test;
        const char* parameter;
        const char* slider;
    };
    const Case cases[] = {
        {false, "Kp_C_scl", "kpSlider"},   {false, "Ki_C_scl", "kiSlider"},
        {false, "PB_C", "passbandSlider"}, {true, "Kp_T_scl", "kpSlider"},
        {true, "Ki_T_scl", "kiSlider"},
    };
    for (const Case& c : cases) {
        DemoBench bench;
        const double at_open = bench.Value(c.parameter);
        std::unique_ptr<CMyTestDlg> dlg;
        if (c.angle_test)
            dlg = std::make_unique<CTestAngle>(bench.setup.get(), 1, nullptr);
        else
            dlg = std::make_unique<CTestCurrent>(bench.setup.get(), 1, nullptr);
        auto* slider = dlg->findChild<QSlider*>(c.slider);
        ASSERT_NE(slider, nullptr) << c.parameter;
        const CMC_Parameter* p = bench.setup->FindParameter(c.parameter);
        const double low = std::max(0.5 * at_open, p->GetMinInBaseUnit());
        const double high = std::min(1.5 * at_open, p->GetMaxInBaseUnit());
        ASSERT_LT(low, high) << c.parameter;
        EXPECT_EQ(slider->value(), 50) << c.parameter;  // the value sits in the middle
        slider->setValue(slider->maximum());
        EXPECT_NEAR(bench.Value(c.parameter), high, 1e-9 * high) << c.parameter;
        slider->setValue(slider->minimum());
        EXPECT_NEAR(bench.Value(c.parameter), low, 1e-9 * high) << c.parameter;
    }
}

TEST(LoopTuning, TheParametersPageShowsTheTestsPicture) {
    DemoBench bench;
    CTestCurrent current(bench.setup.get(), 1, nullptr);
    CTestAngle angle(bench.setup.get(), 1, nullptr);
    for (CMyTestDlg* dlg : std::initializer_list<CMyTestDlg*>{&current, &angle}) {
        axis::ScriptedModalSeam seam;
        seam.AnswerDialog([&](QDialog& d) {
            auto* picture = d.findChild<QLabel*>("picture");
            ASSERT_NE(picture, nullptr) << d.windowTitle().toStdString();
            EXPECT_FALSE(picture->pixmap().isNull()) << d.windowTitle().toStdString();
            d.reject();
        });
        dlg->DoModal();
    }
}

TEST(CurrentTuning, StepResponseIsLoggedAndPlotted) {
    DemoBench bench;
    axis::ScriptedModalSeam seam;
    CTestCurrent dlg(bench.setup.get(), 1, nullptr);
    const int result = Show(dlg, seam, [&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Current Controller Tuning Test");
        Pages(d)->setCurrentIndex(1);
        ASSERT_EQ(Pages(d)->currentIndex(), 1);
        bench.Run(dlg, 20.0);
        EXPECT_EQ(dlg.ResultText(), "Test successfully completed.") << dlg.FailureText();
        CGraphWindow* graph = dlg.Graph();
        ASSERT_EQ(graph->GetCurveCount(), 3);
        ASSERT_EQ(graph->CurveY(0).size(), 100u);
        // The measured current (counts) reaches the step's reference.
        const double reference = graph->CurveY(0).back();
        EXPECT_GT(reference, 0);
        EXPECT_NEAR(graph->CurveY(2).back(), reference, 0.1 * reference);
    });
    EXPECT_EQ(result, 0);
}

TEST(CurrentTuning, FailuresNameTheirCause) {
    struct Case {
        const char* bench;
        double protection_A;  // the setup's over-current protection
        std::string expected;
    };
    const Case cases[] = {
        {"default", 1.0, CTestCurrent::kProtectionTrippedText},
        {"short_circuit", 5.6, "Drive / Motor shortcircuit protection triggered."},
        {"enable_inactive", 5.6, "Drive / Motor ENABLE input is in DISABLED state."},
        {"phase_b_open", 5.6, ""},  // the aligned axis needs both phases: any clear failure
    };
    for (const Case& c : cases) {
        DemoBench bench(c.bench);
        bench.Set("Imax_Prot", c.protection_A);
        axis::ScriptedModalSeam seam;
        CTestCurrent dlg(bench.setup.get(), 1, nullptr);
        Show(dlg, seam, [&](QDialog& d) {
            Pages(d)->setCurrentIndex(1);
            bench.Run(dlg, 20.0);
            if (c.expected.empty()) {
                EXPECT_NE(dlg.TestOutcome(), CMC_TestDlg::Outcome::kUndecided) << c.bench;
            } else {
                EXPECT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kFailed) << c.bench;
                EXPECT_EQ(dlg.FailureText(), c.expected) << c.bench;
            }
        });
    }
}

TEST(CurrentTuning, TuneWritesTheNewGainsToTheDriveOnlyWhileATestRuns) {
    for (const bool during_run : {true, false}) {
        SCOPED_TRACE(during_run ? "during a run" : "after a run");
        DemoBench bench;
        axis::ScriptedModalSeam seam;
        CTestCurrent dlg(bench.setup.get(), 1, nullptr);
        Show(dlg, seam, [&](QDialog& d) {
            Pages(d)->setCurrentIndex(1);
            if (during_run) {
                Button(d, "startStopButton")->click();
                TickUntilStatus(bench, dlg, "Running test");
                ASSERT_TRUE(dlg.IsRunning());
            } else {
                bench.Run(dlg, 20.0);  // the drive's registers now hold the setup's gains
            }
            const double kpi_on_drive = Register(bench, "KPI");
            bench.Set("PB_C", 0.5 * bench.Value("PB_C"));
            Button(d, "tuneButton")->click();
            EXPECT_NE(Option(bench, "KPI"), kpi_on_drive);
            for (const char* option : {"KPI", "SFTKPI", "KII", "SFTKII"}) {
                if (during_run) {
                    EXPECT_EQ(Register(bench, option), Option(bench, option)) << option;
                }
            }
            if (!during_run) {
                EXPECT_EQ(Register(bench, "KPI"), kpi_on_drive);
            }
            // A hand change goes the same way.
            dlg.ChangeParameterValue("Ki_C_scl", 0.8 * bench.Value("Ki_C_scl"));
            EXPECT_EQ(Register(bench, "KII") == Option(bench, "KII"), during_run);
        });
    }
}

TEST(CurrentTuning, TestPageNeedsAProtectionAtLeastTheTestCurrent) {
    struct Case {
        double test_A, protection_A;
        int page_after;
    };
    const Case cases[] = {{2.8, 5.6, 1}, {2.8, 2.8, 1}, {3.0, 2.8, 0}};
    for (const Case& c : cases) {
        DemoBench bench;
        bench.Set("TestCurrent", c.test_A);
        bench.Set("TestProtectionCurrent", c.protection_A);
        axis::ScriptedModalSeam seam;
        CTestCurrent dlg(bench.setup.get(), 1, nullptr);
        Show(dlg, seam, [&](QDialog& d) {
            Pages(d)->setCurrentIndex(1);
            EXPECT_EQ(Pages(d)->currentIndex(), c.page_after) << c.test_A << " " << c.protection_A;
        });
        EXPECT_EQ(seam.MessageTexts().size(), c.page_after == 0 ? 1u : 0u);
        if (c.page_after == 0) {
            EXPECT_EQ(seam.MessageTexts()[0].toStdString(),
                      CTestCurrent::kProtectionBelowTestCurrentText);
        }
    }
}

// While the test runs its page stays and the gains and OK are locked; Stop while it
// waits ends it without a verdict and frees the gains.
TEST(CurrentTuning, RunningTestLocksItsPageAndStopEndsItWithoutAVerdict) {
    DemoBench bench;
    axis::ScriptedModalSeam seam;
    CTestCurrent dlg(bench.setup.get(), 1, nullptr);
    Show(dlg, seam, [&](QDialog& d) {
        Pages(d)->setCurrentIndex(1);
        Button(d, "startStopButton")->click();
        EXPECT_FALSE(d.findChild<QLineEdit*>("kpEdit")->isEnabled());
        EXPECT_FALSE(Button(d, "okButton")->isEnabled());
        Pages(d)->setCurrentIndex(0);
        EXPECT_EQ(Pages(d)->currentIndex(), 1);
        TickUntilStatus(bench, dlg, "Running test");
        Button(d, "startStopButton")->click();
        EXPECT_FALSE(dlg.IsRunning());
        EXPECT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kUndecided);
        EXPECT_TRUE(d.findChild<QLineEdit*>("kpEdit")->isEnabled());
    });
}

TEST(CurrentTuning, OkMakesTheEnteredProtectionTheSetups) {
    DemoBench bench;
    bench.Set("TestProtectionCurrent", 4.2);
    axis::ScriptedModalSeam seam;
    CTestCurrent dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) { Button(d, "okButton")->click(); });
    EXPECT_EQ(dlg.DoModal(), 1);
    EXPECT_EQ(bench.Value("Imax_Prot"), 4.2);
}

TEST(AngleTuning, TunedControllerSettlesAndTheRunIsPlotted) {
    DemoBench bench;
    bench.Set("AquisitionsNo", 200);  // enough to see the angle settle
    axis::ScriptedModalSeam seam;
    CTestAngle dlg(bench.setup.get(), 1, nullptr);
    Show(dlg, seam, [&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Electric Angle Controller Tuning Test");
        Pages(d)->setCurrentIndex(1);
        bench.Run(dlg, 30.0);
        EXPECT_EQ(dlg.ResultText(), "Test successfully completed.") << dlg.FailureText();
        ASSERT_EQ(dlg.Graph()->GetCurveCount(), 2);
        EXPECT_GT(dlg.Graph()->CurveY(1).size(), 10u);
        // The angle ends a quarter electrical turn back, within 25 degrees.
        EXPECT_NEAR(dlg.Graph()->CurveY(1).back(), -16384, 4550);
    });
}

TEST(AngleTuning, ShortCircuitStopsTheRunAndDetailsShowTheReason) {
    // The simulated motor settles with any gains and currents the benches allow, so
    // the angle verdicts are reached here only through the protections.
    DemoBench bench("short_circuit");
    axis::ScriptedModalSeam seam;
    CTestAngle dlg(bench.setup.get(), 1, nullptr);
    Show(dlg, seam, [&](QDialog& d) {
        Pages(d)->setCurrentIndex(1);
        bench.Run(dlg, 30.0);
        EXPECT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kFailed);
        EXPECT_EQ(dlg.FailureText(), "Drive / Motor shortcircuit protection triggered.");
        Button(d, "detailsButton")->click();
    });
    EXPECT_EQ(seam.MessageTexts().size(), 1u);  // "Details" shows the reason
}

TEST(AngleTuning, GainChangesDuringARunReachTheDrive) {
    DemoBench bench;
    axis::ScriptedModalSeam seam;
    CTestAngle dlg(bench.setup.get(), 1, nullptr);
    Show(dlg, seam, [&](QDialog& d) {
        Pages(d)->setCurrentIndex(1);
        Button(d, "startStopButton")->click();
        ASSERT_TRUE(dlg.IsRunning());
        dlg.ChangeParameterValue("Kp_T_scl", 1.25 * bench.Value("Kp_T_scl"));
        EXPECT_EQ(Register(bench, "KPTHT"), Option(bench, "KPTHT"));
        EXPECT_EQ(Register(bench, "SFTKPTHT"), Option(bench, "SFTKPTHT"));
        dlg.ChangeParameterValue("Ki_T_scl", 0.75 * bench.Value("Ki_T_scl"));
        EXPECT_EQ(Register(bench, "KITHT"), Option(bench, "KITHT"));
        EXPECT_EQ(Register(bench, "SFTKITHT"), Option(bench, "SFTKITHT"));
    });
}

TEST(AngleTuning, LoggerSettingsComeFromTheSetupOrTheDialog) {
    {
        DemoBench bench;
        bench.Set("AquisitionsNo", 1500);
        bench.Set("SamplingRate", 3);
        CTestAngle dlg(bench.setup.get(), 1, nullptr);
        EXPECT_EQ(dlg.Acquisitions(), 1500u);
        EXPECT_EQ(dlg.SamplingRate(), 3u);
    }
    DemoBench bench;
    bench.UseSetupWithout("AquisitionsNo");
    axis::ScriptedModalSeam seam;
    CTestAngle dlg(bench.setup.get(), 1, nullptr);
    Show(dlg, seam, [&](QDialog& d) {
        auto* acquisitions = d.findChild<QLineEdit*>("acquisitionsEdit");
        auto* sampling = d.findChild<QLineEdit*>("samplingRateEdit");
        EXPECT_EQ(acquisitions->text(), "2000");
        EXPECT_EQ(sampling->text(), "2");
        acquisitions->setText("6000");  // above 5000: refused, the old value comes back
        emit acquisitions->editingFinished();
        EXPECT_EQ(acquisitions->text(), "2000");
        acquisitions->setText("800");
        emit acquisitions->editingFinished();
    });
    EXPECT_EQ(dlg.Acquisitions(), 800u);
    EXPECT_EQ(dlg.SamplingRate(), 2u);  // the setup's own is not used without both
    EXPECT_EQ(seam.MessageTexts().size(), 1);
}
