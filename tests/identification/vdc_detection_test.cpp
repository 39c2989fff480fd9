// "VDC Detection Test" end to end on the simulated drive: the dialog is run through
// the modal seam, its buttons are pressed, and simulated time advances by hand
// between the timer ticks.

#include "identification/vdc_detection.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "host/ui/help_viewer.h"
#include "host/ui/modal_seam.h"
#include "identification_bench.h"
#include "tests/drive/drive_fixture.h"

using drive_test::SimBench;
using identification_test::Button;
using identification_test::Field;
using identification_test::ProgramRunning;
using identification_test::Show;
using identification_test::Tick;

namespace {

// Presses Start and ticks the dialog every 20 ms of drive time until a result shows.
void RunTest(SimBench& bench, CTestVdcDetection& dlg) {
    Button(dlg, "startStopButton")->click();
    Tick(bench, dlg, 50, [&] { return dlg.ResultText().isEmpty(); });
}

double Vdc(SimBench& bench) {
    return bench.setup->GetParameterValueInBaseUnit("Vdc");
}

}  // namespace

TEST(VdcDetection, MeasuresTheBusAndTheCloseAnswersDecideWhatStays) {
    struct Case {
        const char* what;
        double bus_V;
        bool enable_inactive;  // the power stage stays off: this test ignores the input
        std::vector<int> answers;
        int result;
        double vdc_after_V;
    };
    const Case cases[] = {
        {"Yes keeps it", 36.7, false, {axis::kIdYes}, 1, 36.7},
        {"Cancel stays open, No puts the old one back",
         24.3,
         false,
         {axis::kIdCancel, axis::kIdNo},
         0,
         48},
        {"printed like the old one: no question", 48.0, false, {}, 0, 48},
        {"ENABLE input inactive", 30.0, true, {axis::kIdYes}, 1, 30.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        orvex::sim::Scenario scenario = drive_test::ScenarioWithBus(c.bus_V);
        scenario.faults.enable_inactive = c.enable_inactive;
        SimBench bench(scenario);
        axis::ScriptedModalSeam seam;
        CTestVdcDetection dlg(bench.setup.get(), 1, nullptr);
        double measured_V = 0.0;
        seam.AnswerDialog([&](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), "VDC Detection Test");
            Button(d, "startStopButton")->click();
            EXPECT_EQ(dlg.StatusText(), "Running test");
            EXPECT_TRUE(Field(d, "vdcEdit").isEmpty());  // measuring
            EXPECT_EQ(Button(d, "startStopButton")->text(), "S&top");
            Tick(bench, dlg, 50, [&] { return dlg.ResultText().isEmpty(); });
            ASSERT_EQ(dlg.ResultText(), "Test successfully completed.");
            measured_V = Vdc(bench);
            EXPECT_NEAR(measured_V, c.bus_V, 0.05);
            EXPECT_EQ(Vdc(bench), std::round(Vdc(bench) * 100) / 100);  // hundredths of a volt
            EXPECT_FALSE(Field(d, "vdcEdit").isEmpty());
            for (size_t i = 0; i < std::max<size_t>(1, c.answers.size()); ++i)
                Button(d, "cancelButton")->click();
        });
        for (int a : c.answers) seam.AnswerMessage(a);
        EXPECT_EQ(dlg.DoModal(), c.result);
        EXPECT_NEAR(Vdc(bench), c.vdc_after_V, 0.05);
        ASSERT_EQ(seam.MessageTexts().size(), c.answers.size());
        if (!c.answers.empty()) {
            char line[64];
            std::snprintf(line, sizeof line, "Power supply:\tOld = 48\tNew = %G", measured_V);
            EXPECT_TRUE(seam.MessageTexts()[0].contains(QString::fromLatin1(line)))
                << seam.MessageTexts()[0].toStdString();
        }
        EXPECT_TRUE(seam.Problems().isEmpty()) << seam.Problems().join("; ").toStdString();
    }
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
            EXPECT_EQ(Field(d, "vdcEdit"), "48") << c.what;  // shown again
            Button(d, "cancelButton")->click();
        });
        EXPECT_EQ(dlg.DoModal(), 0) << c.what;
        EXPECT_EQ(Vdc(bench), 48) << c.what;
        EXPECT_TRUE(seam.MessageTexts().isEmpty()) << c.what;
    }
}

TEST(VdcDetection, StopOrCloseDuringTheRunEndsTheDriveProgram) {
    for (const char* button : {"startStopButton", "cancelButton"}) {
        SCOPED_TRACE(button);
        SimBench bench;
        axis::ScriptedModalSeam seam;
        CTestVdcDetection dlg(bench.setup.get(), 1, nullptr);
        const int result = Show(dlg, seam, [&](QDialog& d) {
            Button(d, "startStopButton")->click();
            Button(d, button)->click();  // before the measurement is in: no question
            if (!d.isVisible()) return;
            EXPECT_EQ(Button(d, "startStopButton")->text(), "&Start");
            bench.clock.Advance(0.1);
            dlg.OnTimer(1);  // a late tick does nothing
            EXPECT_TRUE(dlg.ResultText().isEmpty());
        });
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(ProgramRunning(bench));
        EXPECT_EQ(Vdc(bench), 48);
        EXPECT_TRUE(seam.MessageTexts().isEmpty());
    }
}

TEST(VdcDetection, DetailsNameTheDriveReasonAndHelpOpensTheTestPage) {
    axis::RegisterHelpFolder(QStringLiteral(ORVEX_RESOURCE_DIR "/help"));
    SimBench bench;
    bench.faults.FailNextExecute("Program memory full.");
    axis::ScriptedModalSeam seam;
    CTestVdcDetection dlg(bench.setup.get(), 1, nullptr);
    Show(dlg, seam, [&](QDialog& d) {
        EXPECT_FALSE(Button(d, "detailsButton")->isEnabled());  // nothing to detail yet
        RunTest(bench, dlg);
        ASSERT_TRUE(Button(d, "detailsButton")->isEnabled());
        Button(d, "detailsButton")->click();
        Button(d, "helpButton")->click();
    });
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
