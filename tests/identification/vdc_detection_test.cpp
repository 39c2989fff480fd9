// "VDC Detection Test" end to end on the simulated drive: the dialog is run through
// the modal seam, its buttons are pressed, and simulated time advances by hand
// between the timer ticks.

#include "identification/vdc_detection.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "host/ui/help_viewer.h"
#include "host/ui/modal_seam.h"
#include "tests/drive/drive_fixture.h"

using drive_test::SimBench;

namespace {

QPushButton* Button(QDialog& d, const char* name) {
    auto* b = d.findChild<QPushButton*>(name);
    EXPECT_NE(b, nullptr) << name;
    return b;
}

// Presses Start and ticks the dialog every 20 ms of drive time until a result shows.
void RunTest(SimBench& bench, CTestVdcDetection& dlg) {
    Button(dlg, "startStopButton")->click();
    for (int tick = 0; tick < 50 && dlg.ResultText().isEmpty(); ++tick) {
        bench.clock.Advance(0.020);
        dlg.OnTimer(1);
    }
}

double Vdc(SimBench& bench) {
    return bench.setup->GetParameterValueInBaseUnit("Vdc");
}

}  // namespace

TEST(VdcDetection, MeasuresTheScenarioBusAndYesKeepsIt) {
    SimBench bench(drive_test::ScenarioWithBus(36.7));
    axis::ScriptedModalSeam seam;
    CTestVdcDetection dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "VDC Detection Test");
        EXPECT_EQ(Button(d, "startStopButton")->text(), "&Start");
        Button(d, "startStopButton")->click();
        EXPECT_EQ(dlg.StatusText(), "Running test");
        EXPECT_TRUE(
            d.findChild<QLineEdit*>("vdcEdit")->text().isEmpty());  // cleared while measuring
        EXPECT_EQ(Button(d, "startStopButton")->text(), "S&top");
        for (int tick = 0; tick < 50 && dlg.ResultText().isEmpty(); ++tick) {
            bench.clock.Advance(0.020);
            dlg.OnTimer(1);
        }
        EXPECT_EQ(dlg.ResultText(), "Test successfully completed.");
        EXPECT_NEAR(Vdc(bench), 36.7, 0.05);
        EXPECT_EQ(Vdc(bench), std::round(Vdc(bench) * 100) / 100);  // hundredths of a volt
        EXPECT_FALSE(d.findChild<QLineEdit*>("vdcEdit")->text().isEmpty());
        Button(d, "cancelButton")->click();  // Close: asks, Yes ends with confirm
    });
    seam.AnswerMessage(axis::kIdYes);
    EXPECT_EQ(dlg.DoModal(), 1);
    EXPECT_NEAR(Vdc(bench), 36.7, 0.05);
    ASSERT_EQ(seam.MessageTexts().size(), 1);
    EXPECT_TRUE(seam.MessageTexts()[0].contains("Power supply:\tOld = 48\tNew = 36.7"))
        << seam.MessageTexts()[0].toStdString();
    EXPECT_TRUE(seam.Problems().isEmpty()) << seam.Problems().join("; ").toStdString();
}

TEST(VdcDetection, CancelKeepsTheDialogOpenAndNoPutsTheOldVoltageBack) {
    SimBench bench(drive_test::ScenarioWithBus(24.3));
    axis::ScriptedModalSeam seam;
    CTestVdcDetection dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        RunTest(bench, dlg);
        EXPECT_NEAR(Vdc(bench), 24.3, 0.05);
        Button(d, "cancelButton")->click();  // Cancel: still open
        EXPECT_TRUE(d.isVisible());
        Button(d, "cancelButton")->click();  // No: ordinary cancel
        EXPECT_FALSE(d.isVisible());
    });
    seam.AnswerMessage(axis::kIdCancel);
    seam.AnswerMessage(axis::kIdNo);
    EXPECT_EQ(dlg.DoModal(), 0);
    EXPECT_EQ(Vdc(bench), 48);
    EXPECT_EQ(seam.MessageTexts().size(), 2);
    EXPECT_TRUE(seam.Problems().isEmpty()) << seam.Problems().join("; ").toStdString();
}

TEST(VdcDetection, VoltageThatPrintsLikeTheOldOneClosesWithoutAQuestion) {
    SimBench bench(drive_test::ScenarioWithBus(48.0));
    axis::ScriptedModalSeam seam;
    CTestVdcDetection dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        RunTest(bench, dlg);
        ASSERT_EQ(dlg.ResultText(), "Test successfully completed.");
        Button(d, "cancelButton")->click();
    });
    EXPECT_EQ(dlg.DoModal(), 0);
    EXPECT_EQ(Vdc(bench), 48);
    EXPECT_TRUE(seam.MessageTexts().isEmpty());
}

TEST(VdcDetection, FailedProgramLeavesVdcUntouchedAndClosingAsksNothing) {
    struct Case {
        const char* what;
        std::function<void(SimBench&)> break_it;
        std::string expected_failure;
    };
    const Case cases[] = {
        {"program does not start",
         [](SimBench& b) { b.faults.FailNextExecute("Program memory full."); },
         CMC_TestDlg::msc_pszErrInternal},
        {"bus reading lost",
         [](SimBench& b) { b.faults.FailNextRead("var_u2", "Timeout on the serial line."); },
         "Timeout on the serial line."},
        {"STARTED unreadable",
         [](SimBench& b) { b.faults.FailNextRead("STARTED", "Checksum error."); },
         "Checksum error."},
    };
    for (const auto& c : cases) {
        SimBench bench(drive_test::ScenarioWithBus(30.0));
        c.break_it(bench);
        axis::ScriptedModalSeam seam;
        CTestVdcDetection dlg(bench.setup.get(), 1, nullptr);
        seam.AnswerDialog([&](QDialog& d) {
            RunTest(bench, dlg);
            EXPECT_EQ(dlg.ResultText().toStdString(), "Test failed: " + c.expected_failure)
                << c.what;
            EXPECT_EQ(d.findChild<QLineEdit*>("vdcEdit")->text(), "48") << c.what;  // shown again
            Button(d, "cancelButton")->click();
        });
        EXPECT_EQ(dlg.DoModal(), 0) << c.what;
        EXPECT_EQ(Vdc(bench), 48) << c.what;
        EXPECT_TRUE(seam.MessageTexts().isEmpty()) << c.what;
    }
}

TEST(VdcDetection, DisabledEnableInputDoesNotFailTheTest) {
    {
        // Only the short-circuit bit is watched: the power stage stays off here.
        orvex::sim::Scenario s = drive_test::ScenarioWithBus(30.0);
        s.faults.enable_inactive = true;
        SimBench bench(s);
        axis::ScriptedModalSeam seam;
        CTestVdcDetection dlg(bench.setup.get(), 1, nullptr);
        seam.AnswerDialog([&](QDialog& d) {
            RunTest(bench, dlg);
            EXPECT_EQ(dlg.ResultText(), "Test successfully completed.");
            d.reject();
        });
        seam.AnswerMessage(axis::kIdYes);
        dlg.DoModal();
        EXPECT_NEAR(Vdc(bench), 30.0, 0.05);
    }
}

TEST(VdcDetection, StopEndsTheRunAndTheDriveProgram) {
    SimBench bench;
    axis::ScriptedModalSeam seam;
    CTestVdcDetection dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        Button(d, "startStopButton")->click();
        Button(d, "startStopButton")->click();  // Stop before the measurement is in
        EXPECT_EQ(Button(d, "startStopButton")->text(), "&Start");
        bool running = true;
        ASSERT_TRUE(bench.comm.IsProgramRunning(running));
        EXPECT_FALSE(running);
        bench.clock.Advance(0.1);
        dlg.OnTimer(1);  // a late tick does nothing
        EXPECT_TRUE(dlg.ResultText().isEmpty());
        d.reject();
    });
    EXPECT_EQ(dlg.DoModal(), 0);
    EXPECT_EQ(Vdc(bench), 48);
}

TEST(VdcDetection, DetailsNameTheDriveReasonAndHelpOpensTheTestPage) {
    axis::RegisterHelpFolder(QStringLiteral(ORVEX_RESOURCE_DIR "/help"));
    SimBench bench;
    bench.faults.FailNextExecute("Program memory full.");
    axis::ScriptedModalSeam seam;
    CTestVdcDetection dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        EXPECT_FALSE(Button(d, "detailsButton")->isEnabled());  // nothing to detail yet
        RunTest(bench, dlg);
        ASSERT_TRUE(Button(d, "detailsButton")->isEnabled());
        Button(d, "detailsButton")->click();
        Button(d, "helpButton")->click();
        d.reject();
    });
    dlg.DoModal();
    ASSERT_EQ(seam.MessageTexts().size(), 1);
    EXPECT_EQ(seam.MessageTexts()[0].toStdString(), std::string("Test failed: ") +
                                                        CMC_TestDlg::msc_pszErrInternal +
                                                        "\n\nDrive: Program memory full.");
    EXPECT_TRUE(axis::FindHelpPage(CTestVdcDetection::kHelpContext).endsWith("262405.html"));
    ASSERT_NE(axis::HelpViewerWindow(), nullptr);
    EXPECT_TRUE(axis::HelpViewerWindow()->isVisible());
    axis::HelpViewerWindow()->close();
    axis::UnregisterHelpFolder(QStringLiteral(ORVEX_RESOURCE_DIR "/help"));
}

TEST(VdcDetection, ClosingWhileTheTestRunsStopsTheDriveProgram) {
    SimBench bench;
    axis::ScriptedModalSeam seam;
    CTestVdcDetection dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        Button(d, "startStopButton")->click();
        Button(d, "cancelButton")->click();  // nothing identified yet: no question
    });
    EXPECT_EQ(dlg.DoModal(), 0);
    bool running = true;
    ASSERT_TRUE(bench.comm.IsProgramRunning(running));
    EXPECT_FALSE(running);
    EXPECT_TRUE(seam.MessageTexts().isEmpty());
}
