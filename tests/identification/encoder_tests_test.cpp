// The encoder connection and encoder resolution tests end to end on the simulated
// drive: the operator's hand turns the free shaft in the connection test; the
// resolution test turns the motor one revolution.

#include <gtest/gtest.h>

#include <cmath>

#include "host/plot/encoder_diagram.h"
#include "host/ui/modal_seam.h"
#include "identification/encoder_connections.h"
#include "identification/encoder_resolution.h"
#include "identification_bench.h"

using identification_test::Button;
using identification_test::DemoBench;
using identification_test::Field;
using identification_test::ProgramRunning;
using identification_test::Show;
using identification_test::Tick;

namespace {

// Starts the connection test, lets the operator turn the shaft for `turning_s`, then
// presses Stop.
void TurnByHandAndStop(DemoBench& bench, CTestEncoderConnections& dlg, double turning_s) {
    Button(dlg, "startStopButton")->click();
    Tick(bench, dlg, std::lround(turning_s / 0.020), [&] { return dlg.IsRunning(); });
    Button(dlg, "startStopButton")->click();
}

}  // namespace

TEST(EncoderConnections, TurningTheShaftShowsCountsAndStopPasses) {
    DemoBench bench;
    axis::ScriptedModalSeam seam;
    CTestEncoderConnections dlg(bench.setup.get(), 1, nullptr);
    const int result = Show(dlg, seam, [&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Encoder Connections Test");
        TurnByHandAndStop(bench, dlg, 3.0);
        EXPECT_EQ(dlg.ResultText(), "Test successfully completed.");
        EXPECT_EQ(dlg.StatusText(), "Test finished");
        EXPECT_FALSE(Field(d, "positionCounterEdit").isEmpty());
        // The hand swings half a revolution each way across the index mark.
        EXPECT_NE(Field(d, "indexPositionEdit"), "not detected");
        EXPECT_NE(dlg.Diagram()->GetAngle(), 0.0);
    });
    EXPECT_EQ(result, 0);
    bench.clock.Advance(0.01);
    EXPECT_FALSE(ProgramRunning(bench));  // var_i2 = 1 ended the drive program
    EXPECT_TRUE(seam.MessageTexts().isEmpty());
}

TEST(EncoderConnections, StopWithoutPulsesFails) {
    struct Case {
        const char* bench;
        double turning_s;
    };
    // A disconnected encoder; and a Stop before the hand moved the shaft a count.
    for (const Case& c : {Case{"encoder_disconnected", 3.0}, Case{"default", 0.0}}) {
        DemoBench bench(c.bench);
        axis::ScriptedModalSeam seam;
        CTestEncoderConnections dlg(bench.setup.get(), 1, nullptr);
        Show(dlg, seam, [&](QDialog& d) {
            TurnByHandAndStop(bench, dlg, c.turning_s);
            EXPECT_EQ(dlg.FailureText(), CTestEncoderConnections::kNoPulsesText) << c.bench;
            EXPECT_FALSE(ProgramRunning(bench)) << c.bench;
        });
    }
}

TEST(EncoderConnections, LostDriveReadingEndsTheTestWithTheLinkReason) {
    DemoBench bench;
    bench.faults.FailNextRead("APOS", "Timeout on the serial line.");
    axis::ScriptedModalSeam seam;
    CTestEncoderConnections dlg(bench.setup.get(), 1, nullptr);
    Show(dlg, seam, [&](QDialog& d) {
        Button(d, "startStopButton")->click();
        Tick(bench, dlg, 20, [&] { return dlg.IsRunning(); });
        EXPECT_EQ(dlg.FailureText(), "Timeout on the serial line.");
        EXPECT_FALSE(ProgramRunning(bench));
    });
}

// The user guessed 500 lines; the revolution finds 1000 and Close asks about them.
TEST(EncoderResolution, OneRevolutionFindsTheEncoderAndTheCloseAnswerDecidesWhatIsKept) {
    struct Case {
        int answer, result;
        double lines;
    } const cases[] = {
        {axis::kIdYes, 1, 1000},    // Yes takes the estimate over
        {axis::kIdNo, 1, 500},      // No confirms without writing
        {axis::kIdCancel, 0, 500},  // Cancel keeps the dialog open
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        DemoBench bench;
        bench.Set("No_encoder_lines", 500);
        axis::ScriptedModalSeam seam;
        CDetectEncoderResolution dlg(bench.setup.get(), 1, nullptr);
        seam.AnswerDialog([&](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), "Encoder Resolution And Direction Test");
            bench.Run(dlg, 30.0);
            EXPECT_EQ(dlg.ResultText(), "Test successfully completed.") << dlg.FailureText();
            EXPECT_EQ(dlg.EstimatedLines(), 1000);
            EXPECT_EQ(Field(d, "estimatedLinesEdit"), "1000");
            EXPECT_NEAR(Field(d, "positionCounterEdit").toDouble(), 4000, 4);
            Button(d, "cancelButton")->click();
            if (c.answer == axis::kIdCancel) {
                EXPECT_TRUE(d.isVisible());
                d.done(0);  // the window's close box without a question
            }
        });
        seam.AnswerMessage(c.answer);
        EXPECT_EQ(dlg.DoModal(), c.result);
        EXPECT_EQ(bench.Value("No_encoder_lines"), c.lines);
        ASSERT_EQ(seam.MessageTexts().size(), 1);
        EXPECT_TRUE(seam.MessageTexts()[0].contains("Encoder resolution:\tOld = 500\tNew = 1000"))
            << seam.MessageTexts()[0].toStdString();
    }
}

// The revolution is watched one reading per tick: Stop between two readings ends it
// at once and leaves the drive at rest, with nothing estimated.
TEST(EncoderResolution, StopWhileTheMotorTurnsEndsTheRevolution) {
    DemoBench bench;
    axis::ScriptedModalSeam seam;
    CDetectEncoderResolution dlg(bench.setup.get(), 1, nullptr);
    Show(dlg, seam, [&](QDialog& d) {
        Button(d, "startStopButton")->click();
        Tick(bench, dlg, 500, [&] { return Field(d, "positionCounterEdit").isEmpty(); });
        ASSERT_TRUE(dlg.IsRunning()) << dlg.FailureText();
        EXPECT_TRUE(ProgramRunning(bench));
        Button(d, "startStopButton")->click();
        EXPECT_FALSE(dlg.IsRunning());
        EXPECT_FALSE(dlg.IsTimerRunning(1));
        EXPECT_FALSE(ProgramRunning(bench));
        EXPECT_EQ(dlg.EstimatedLines(), 0);
        EXPECT_TRUE(dlg.IdentifiedValues().empty());
    });
}

TEST(EncoderResolution, WithNothingToAskCloseConfirmsOnlyAfterSuccess) {
    DemoBench bench;  // the setup already says 1000 lines
    axis::ScriptedModalSeam seam;
    CDetectEncoderResolution dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        bench.Run(dlg, 30.0);
        ASSERT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kSucceeded) << dlg.FailureText();
        Button(d, "cancelButton")->click();
    });
    EXPECT_EQ(dlg.DoModal(), 1);
    EXPECT_TRUE(seam.MessageTexts().isEmpty());

    CDetectEncoderResolution untested(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) { Button(d, "cancelButton")->click(); });
    EXPECT_EQ(untested.DoModal(), 0);
}

TEST(EncoderResolution, FaultBenchesFailWithTheirAdvice) {
    struct Case {
        const char* bench;
        std::string expected;
    };
    const Case cases[] = {
        {"encoder_reversed", CDetectEncoderResolution::kReversedText},
        {"encoder_disconnected", CDetectEncoderResolution::kNoMovementText},
        {"enable_inactive", "Drive / Motor ENABLE input is in DISABLED state."},
        {"short_circuit", "Drive / Motor shortcircuit protection triggered."},
    };
    for (const Case& c : cases) {
        DemoBench bench(c.bench);
        axis::ScriptedModalSeam seam;
        CDetectEncoderResolution dlg(bench.setup.get(), 1, nullptr);
        seam.AnswerDialog([&](QDialog& d) {
            bench.Run(dlg, 30.0);
            EXPECT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kFailed) << c.bench;
            EXPECT_EQ(dlg.FailureText(), c.expected) << c.bench;
            Button(d, "cancelButton")->click();  // a failed test asks nothing
        });
        EXPECT_EQ(dlg.DoModal(), 0) << c.bench;
        EXPECT_EQ(bench.Value("No_encoder_lines"), 1000) << c.bench;
        EXPECT_TRUE(seam.MessageTexts().isEmpty()) << c.bench;
    }
}

TEST(EncoderResolution, ReverseCountingSetInTheDialogCorrectsAReversedEncoder) {
    DemoBench bench("encoder_reversed");
    axis::ScriptedModalSeam seam;
    CDetectEncoderResolution dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        EXPECT_EQ(dlg.LastReverseCounting(), -1);
        Button(d, "reverseCountingCheck")->click();
        EXPECT_EQ(dlg.LastReverseCounting(), 1);
        bench.Run(dlg, 30.0);
        EXPECT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kSucceeded) << dlg.FailureText();
        EXPECT_EQ(dlg.EstimatedLines(), 1000);
        d.done(0);
    });
    dlg.DoModal();
}
