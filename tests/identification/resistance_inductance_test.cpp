// "Total Resistance and Inductance Identification Test" end to end on the simulated
// drive: five programs in a row, the bus voltage measured on the way and put back at
// Close, the question about the identified values and its answers.

#include "identification/resistance_inductance.h"

#include <gtest/gtest.h>

#include "host/ui/modal_seam.h"
#include "identification_bench.h"

using identification_test::Bench;
using identification_test::Button;
using identification_test::DemoBench;
using identification_test::Field;
using identification_test::ProgramRunning;

namespace {

// The default bench's motor: 1.12 Ohm, 2.95 mH, on a 47.6 V bus; the demo setup
// says 1.0 Ohm, 2.8 mH and 48 V.
constexpr double kTrueR_ohm = 1.12;
constexpr double kTrueL_H = 2.95e-3;
constexpr double kTrueBus_V = 47.6;

// How close the dialog's values must come to the bench's truth here: resistance is
// measured exactly by the drive; the inductance's accuracy is the drive program's
// business and is measured on the motor zoo, so this only catches a wrong formula.
constexpr double kRTolerance = 0.02;
constexpr double kLTolerance = 0.25;

orvex::sim::Scenario WithMotor(double r_ohm, double l_H) {
    orvex::sim::Scenario s = Bench("default");
    s.motor.phase_resistance_ohm = r_ohm;
    s.motor.phase_inductance_H = l_H;
    return s;
}

TEST(ResistanceInductance, IdentifiesTheBenchMotorAndTheCloseAnswersDecideWhatStays) {
    struct Case {
        const char* what;
        std::vector<int> answers;
        int result;
        bool keeps_values;
    };
    const Case cases[] = {
        {"Yes keeps R and L", {axis::kIdYes}, 1, true},
        {"No puts R and L back and cancels", {axis::kIdNo}, 0, false},
        {"Cancel keeps the dialog open, then Yes", {axis::kIdCancel, axis::kIdYes}, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DemoBench bench;
        axis::ScriptedModalSeam seam;
        CTestRL dlg(bench.setup.get(), nullptr);
        seam.AnswerDialog([&](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), "Total Resistance and Inductance Identification Test");
            EXPECT_TRUE(Field(d, "rEdit").isEmpty());  // cleared
            const double drive_time_s = bench.Run(dlg);
            EXPECT_LT(drive_time_s, 3.0);  // R and L together, as a production line waits
            ASSERT_EQ(dlg.ResultText(), "Test successfully completed.") << dlg.FailureText();
            EXPECT_NEAR(bench.Value("R"), kTrueR_ohm, kRTolerance * kTrueR_ohm);
            EXPECT_NEAR(bench.Value("L"), kTrueL_H, kLTolerance * kTrueL_H);
            // The measured bus is in force while the dialog is open.
            EXPECT_NEAR(bench.Value("Vdc"), kTrueBus_V, 0.05);
            EXPECT_FALSE(Field(d, "rEdit").isEmpty());
            for (size_t i = 0; i < c.answers.size(); ++i) {
                Button(d, "cancelButton")->click();
                EXPECT_EQ(d.isVisible(), i + 1 < c.answers.size());
                EXPECT_EQ(bench.Value("Vdc"), 48.0);  // put back at every Close
            }
        });
        for (int a : c.answers) seam.AnswerMessage(a);
        EXPECT_EQ(dlg.DoModal(), c.result);
        if (c.keeps_values) {
            EXPECT_NEAR(bench.Value("R"), kTrueR_ohm, kRTolerance * kTrueR_ohm);
        } else {
            EXPECT_EQ(bench.Value("R"), 1.0);
            EXPECT_EQ(bench.Value("L"), 0.0028);
        }
        ASSERT_EQ(seam.MessageTexts().size(), c.answers.size());
        const std::string question = seam.MessageTexts()[0].toStdString();
        EXPECT_NE(question.find("Phase resistance:\tOld = 1.000000\tNew = "), std::string::npos)
            << question;
        EXPECT_NE(question.find("Phase inductance:\tOld = 0.002800\tNew = "), std::string::npos)
            << question;
        EXPECT_TRUE(seam.Problems().isEmpty()) << seam.Problems().join("; ").toStdString();
    }
}

TEST(ResistanceInductance, FailuresNameTheirCauseAndWriteNeitherRNorL) {
    struct Case {
        const char* what;
        orvex::sim::Scenario scenario;
        std::function<void(DemoBench&)> prepare;
        std::function<void(DemoBench&, CTestRL&)> on_tick;
        std::string failure;
    };
    const Case cases[] = {
        {"short circuit", Bench("short_circuit"), nullptr, nullptr,
         "Drive / Motor shortcircuit protection triggered."},
        {"ENABLE inactive", Bench("enable_inactive"), nullptr, nullptr,
         "Drive / Motor ENABLE input is in DISABLED state."},
        {"test current out of reach", WithMotor(30.0, 2.95e-3), nullptr, nullptr,
         CMC_TestDlg::msc_pszErrInZero},
        {"second preliminary input refused", Bench("default"), nullptr,
         [](DemoBench& b, CTestRL& dlg) {
             // The next "In1" written after the first resistance run is the second
             // preliminary run's.
             if (dlg.StatusText() == "Waiting R test to be finished (1)")
                 b.faults.FailNextWrite("In1", "Write refused.");
         },
         "Error while setting the test parameters."},
        // The other way round: a setup clock 5 times faster than the drive's makes a
        // 0.2 mH motor look like 40 uH (a real 20 uH motor trips the drive's
        // short-circuit comparator before anything is measured).
        {"inductance below 50 uH", WithMotor(1.12, 0.2e-3),
         [](DemoBench& b) { b.Set("DSP_freq", 2e8); }, nullptr,
         "The computed inductivity is less than the possible minimum value of 50 \xC2\xB5H."},
        // A setup whose processor clock is 40 times slower than the drive's makes every
        // period 40 times longer, and a 50 mH motor look like 2 H.
        {"inductance above 1 H", WithMotor(8.0, 50e-3),
         [](DemoBench& b) { b.Set("DSP_freq", 1e6); }, nullptr,
         "The computed inductivity is greater than the possible maximum value of 1 H."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DemoBench bench(c.scenario);
        if (c.prepare) c.prepare(bench);
        axis::ScriptedModalSeam seam;
        CTestRL dlg(bench.setup.get(), nullptr);
        seam.AnswerDialog([&](QDialog& d) {
            bench.Run(dlg, 120.0, [&] {
                if (c.on_tick) c.on_tick(bench, dlg);
            });
            EXPECT_EQ(dlg.ResultText().toStdString(), "Test failed: " + c.failure);
            EXPECT_EQ(bench.Value("R"), 1.0);
            EXPECT_EQ(bench.Value("L"), 0.0028);
            Button(d, "cancelButton")->click();  // a failed test asks nothing
        });
        EXPECT_EQ(dlg.DoModal(), 0);
        EXPECT_EQ(bench.Value("Vdc"), 48.0);
        EXPECT_TRUE(seam.MessageTexts().isEmpty());
    }
}

TEST(ResistanceInductance, FailureAfterTheBusMeasurementPutsVdcBackAtClose) {
    DemoBench bench;
    bench.faults.FailNextRead("TINCTST", "Timeout on the serial line.");
    axis::ScriptedModalSeam seam;
    CTestRL dlg(bench.setup.get(), nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        bench.Run(dlg);
        EXPECT_EQ(dlg.ResultText(), "Test failed: Timeout on the serial line.");
        EXPECT_NEAR(bench.Value("Vdc"), kTrueBus_V, 0.05);  // measured, still in force
        d.close();                                          // the window's close box
    });
    EXPECT_EQ(dlg.DoModal(), 0);
    EXPECT_EQ(bench.Value("Vdc"), 48.0);
    EXPECT_EQ(bench.Value("R"), 1.0);
}

}  // namespace

namespace {

TEST(ResistanceInductance, SetupWithoutTestCurrentMakesStartDoNothing) {
    DemoBench bench;
    bench.UseSetupWithout("TestCurrent");
    axis::ScriptedModalSeam seam;
    CTestRL dlg(bench.setup.get(), nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        Button(d, "startStopButton")->click();
        EXPECT_FALSE(dlg.IsRunning());
        EXPECT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kUndecided);
        EXPECT_TRUE(dlg.StatusText().isEmpty());
        d.done(0);
    });
    dlg.DoModal();
    EXPECT_FALSE(ProgramRunning(bench));
}

}  // namespace
