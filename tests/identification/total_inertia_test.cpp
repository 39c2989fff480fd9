// "Total inertia test" end to end on the simulated drive: the start refusal, the
// verdicts of the inertia program, the inertia written into "Jt", the answers at
// Close and OK's protection current.

#include "identification/total_inertia.h"

#include <gtest/gtest.h>

#include "host/ui/modal_seam.h"
#include "identification_bench.h"

using identification_test::Bench;
using identification_test::Button;
using identification_test::DemoBench;
using identification_test::Field;
using identification_test::ProgramRunning;

namespace {

// The default bench: rotor 3.4e-5 and load 3.6e-4 kg*m^2, K = 0.42 N*m/A; the demo
// setup says K = 0.45, and the inertia is computed with the setup's K.
constexpr double kTrueJ_kgm2 = 3.4e-5 + 3.6e-4;
constexpr double kSetupKOverTrueK = 0.45 / 0.42;
// The inertia's accuracy is the drive program's business (measured on the motor
// zoo); this bound catches a wrong formula or scale.
constexpr double kJTolerance = 0.25;

TEST(TotalInertia, IdentifiesTheBenchInertiaAndTheWayOutDecidesWhatStays) {
    struct Case {
        const char* what;
        const char* button;
        int answer;  // to the question at Close; 0: none asked
        int result;
        bool keeps_jt;
    };
    const Case cases[] = {
        {"Close, No puts the old inertia back", "cancelButton", axis::kIdNo, 0, false},
        {"Close, Yes keeps it", "cancelButton", axis::kIdYes, 1, true},
        {"OK keeps it and sets the protection current", "okButton", 0, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DemoBench bench;
        bench.Set("TestProtectionCurrent", 4.5);
        axis::ScriptedModalSeam seam;
        CTotalInertiaTest dlg(bench.setup.get(), 1, nullptr);
        double identified = 0.0;
        seam.AnswerDialog([&](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), "Total inertia test");
            EXPECT_TRUE(Field(d, "jtEdit").isEmpty());
            bench.Run(dlg);
            ASSERT_EQ(dlg.ResultText(), "Test successfully completed.") << dlg.FailureText();
            identified = bench.Value("Jt");
            EXPECT_NEAR(identified, kTrueJ_kgm2 * kSetupKOverTrueK, kJTolerance * kTrueJ_kgm2);
            EXPECT_FALSE(Field(d, "jtEdit").isEmpty());
            Button(d, c.button)->click();
        });
        if (c.answer) seam.AnswerMessage(c.answer);
        EXPECT_EQ(dlg.DoModal(), c.result);
        EXPECT_EQ(bench.Value("Jt"), c.keeps_jt ? identified : 0.00013);
        // Only OK hands the test's protection current to the drive setup.
        EXPECT_EQ(bench.Value("Imax_Prot"), c.answer ? 5.6 : 4.5);
        ASSERT_EQ(seam.MessageTexts().size(), c.answer ? 1u : 0u);
        if (c.answer) {
            EXPECT_TRUE(seam.MessageTexts()[0].contains("Total inertia:\tOld = 0.00013\tNew = "))
                << seam.MessageTexts()[0].toStdString();
        }
        EXPECT_TRUE(seam.Problems().isEmpty()) << seam.Problems().join("; ").toStdString();
    }
}

TEST(TotalInertia, StartIsRefusedWhileTheProtectionIsBelowTheTestCurrent) {
    struct Case {
        double test_A, protection_A;
        bool starts;
    };
    for (const Case& c : {Case{2.8, 2.0, false}, Case{2.8, 2.8, true}, Case{2.0, 2.8, true}}) {
        DemoBench bench;
        bench.Set("TestCurrent", c.test_A);
        bench.Set("TestProtectionCurrent", c.protection_A);
        axis::ScriptedModalSeam seam;
        CTotalInertiaTest dlg(bench.setup.get(), 1, nullptr);
        seam.AnswerDialog([&](QDialog& d) {
            Button(d, "startStopButton")->click();
            EXPECT_EQ(dlg.IsRunning(), c.starts) << c.test_A << " " << c.protection_A;
            d.done(0);
        });
        dlg.DoModal();
        EXPECT_EQ(seam.MessageTexts().size(), c.starts ? 0 : 1);
        if (!c.starts) {
            EXPECT_EQ(seam.MessageTexts()[0],
                      "I protection must be greater or equal to Test current.");
        }
    }
}

TEST(TotalInertia, FailuresNameTheirCauseAndLeaveJtAlone) {
    struct Case {
        const char* what;
        orvex::sim::Scenario scenario;
        std::string failure;
    };
    orvex::sim::Scenario braked = Bench("default");
    braked.faults.brake_locked = true;
    const Case cases[] = {
        {"encoder disconnected", Bench("encoder_disconnected"), CTotalInertiaTest::kNoSpeedText},
        {"brake locked", braked, CTotalInertiaTest::kNoSpeedText},
        {"short circuit", Bench("short_circuit"),
         "Drive / Motor shortcircuit protection triggered."},
        {"ENABLE inactive", Bench("enable_inactive"),
         "Drive / Motor ENABLE input is in DISABLED state."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DemoBench bench(c.scenario);
        axis::ScriptedModalSeam seam;
        CTotalInertiaTest dlg(bench.setup.get(), 1, nullptr);
        seam.AnswerDialog([&](QDialog& d) {
            bench.Run(dlg);
            EXPECT_EQ(dlg.ResultText().toStdString(), "Test failed: " + c.failure);
            EXPECT_EQ(Field(d, "jtEdit").isEmpty(), false);  // shown again
            Button(d, "cancelButton")->click();
        });
        EXPECT_EQ(dlg.DoModal(), 0);
        EXPECT_EQ(bench.Value("Jt"), 0.00013);
        EXPECT_TRUE(seam.MessageTexts().isEmpty());
    }
}

TEST(TotalInertia, SetupWithoutTorqueConstantFailsWithoutTurningTheMotor) {
    DemoBench bench;
    bench.UseSetupWithout("K");
    axis::ScriptedModalSeam seam;
    CTotalInertiaTest dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        Button(d, "startStopButton")->click();
        EXPECT_FALSE(dlg.IsRunning());
        EXPECT_TRUE(dlg.FailureText().find("torque constant (K)") != std::string::npos)
            << dlg.FailureText();
        d.done(0);
    });
    dlg.DoModal();
    EXPECT_FALSE(ProgramRunning(bench));
    EXPECT_EQ(bench.Value("Jt"), 0.00013);
}

}  // namespace
