// "Analogue Reference Test" end to end on the simulated drive: the analogue input
// of the bench sweeps its span while the dialog shows voltage and command.

#include <gtest/gtest.h>

#include <QLabel>

#include "host/plot/bar_graph.h"
#include "host/ui/modal_seam.h"
#include "identification/analogue_reference_monitor.h"
#include "identification_bench.h"

using identification_test::Button;
using identification_test::DemoBench;
using identification_test::Field;
using identification_test::ProgramRunning;
using identification_test::Show;
using identification_test::Tick;

namespace {

double Shown(QWidget& d, const char* name) {
    bool ok = false;
    const double value = Field(d, name).toDouble(&ok);
    EXPECT_TRUE(ok) << name << ": " << Field(d, name).toStdString();
    return value;
}

}  // namespace

TEST(AnalogueReference, ShowsVoltageAndTheCommandItMeansUntilStop) {
    struct Case {
        int control_mode;
        const char* label;
        double command_per_volt;  // command span over the voltage span
        double command_at_zero_V;
    };
    // Demo limits: position +-5 rot, speed +-1500 rpm, current +-4.884 A over +-10 V.
    const Case cases[] = {
        {0, "Position command", 0.5, 0.0},
        {1, "Speed command", 150.0, 0.0},
        {2, "Current command", 4.884004884004884 / 10, 0.0},
    };
    for (const Case& c : cases) {
        DemoBench bench;
        bench.Set("ControlMode", c.control_mode);
        axis::ScriptedModalSeam seam;
        CTestAnalogueRef dlg(bench.setup.get(), 1, nullptr);
        const int result = Show(dlg, seam, [&](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), "Analogue Reference Test");
            EXPECT_EQ(d.findChild<QLabel*>("commandLabel")->text().toStdString(), c.label);
            EXPECT_EQ(dlg.VoltageRange().min, -10);
            EXPECT_EQ(dlg.VoltageRange().max, 10);
            Button(d, "startStopButton")->click();
            double lowest = 1e9, highest = -1e9;
            for (int tick = 0; tick < 250; ++tick) {  // five seconds: a whole sweep
                bench.clock.Advance(0.020);
                dlg.OnTimer(1);
                ASSERT_TRUE(dlg.IsRunning()) << dlg.FailureText();
                const double volts = Shown(d, "voltageEdit");
                const double command = Shown(d, "commandEdit");
                EXPECT_NEAR(command, c.command_at_zero_V + c.command_per_volt * volts,
                            0.011 + 0.006 * c.command_per_volt)
                    << c.label;
                EXPECT_EQ(dlg.VoltageBar()->GetValue(), volts);
                EXPECT_EQ(dlg.CommandBar()->GetValue(), command);
                lowest = std::min(lowest, volts);
                highest = std::max(highest, volts);
            }
            EXPECT_LT(lowest, -9.0);
            EXPECT_GT(highest, 9.0);
            Button(d, "startStopButton")->click();  // Stop: the next tick ends the test
            Tick(bench, dlg, 1);
            EXPECT_EQ(dlg.ResultText(), "Test successfully completed.");
            EXPECT_FALSE(ProgramRunning(bench));
        });
        EXPECT_EQ(result, 0);
    }
}

// The span each input range setting gives is read in drive_test_readings_test; here
// that the dialog takes its scale from the setting.
TEST(AnalogueReference, InputRangeSettingSetsTheVoltageScale) {
    DemoBench bench;
    bench.Set("AnalogueInputsRange", 5);
    axis::ScriptedModalSeam seam;
    CTestAnalogueRef dlg(bench.setup.get(), 1, nullptr);
    Show(dlg, seam, [](QDialog&) {});
    EXPECT_EQ(dlg.VoltageRange().min, 0);
    EXPECT_EQ(dlg.VoltageRange().max, 5);
}

TEST(AnalogueReference, DisabledEnableInputDoesNotStopItButALostReadingDoes) {
    for (const bool lose_reading : {false, true}) {
        DemoBench bench("enable_inactive");
        axis::ScriptedModalSeam seam;
        CTestAnalogueRef dlg(bench.setup.get(), 1, nullptr);
        Show(dlg, seam, [&](QDialog& d) {
            Button(d, "startStopButton")->click();
            for (int tick = 0; tick < 10 && dlg.IsRunning(); ++tick) {
                if (lose_reading && tick == 5)
                    bench.faults.FailNextRead("AD5", "Timeout on the serial line.");
                bench.clock.Advance(0.020);
                dlg.OnTimer(1);
            }
            if (lose_reading)
                EXPECT_EQ(dlg.FailureText(), "Timeout on the serial line.");
            else
                EXPECT_TRUE(dlg.IsRunning()) << dlg.FailureText();
        });
    }
}

// Stop is the end of this test; it passes only when something was read before it.
TEST(AnalogueReference, StopPassesOnlyAfterTheReferenceWasRead) {
    struct Case {
        int ticks_before_stop;
        CMC_TestDlg::Outcome outcome;
        std::size_t values;  // voltage, lowest, highest, count, command
    };
    const Case cases[] = {{0, CMC_TestDlg::Outcome::kFailed, 0},
                          {3, CMC_TestDlg::Outcome::kSucceeded, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ticks_before_stop);
        DemoBench bench;
        axis::ScriptedModalSeam seam;
        CTestAnalogueRef dlg(bench.setup.get(), 1, nullptr);
        Show(dlg, seam, [&](QDialog& d) {
            Button(d, "startStopButton")->click();
            Tick(bench, dlg, c.ticks_before_stop);
            Button(d, "startStopButton")->click();
            Tick(bench, dlg, 1);
            EXPECT_FALSE(dlg.IsRunning());
            EXPECT_EQ(dlg.TestOutcome(), c.outcome);
            if (c.outcome == CMC_TestDlg::Outcome::kFailed) {
                EXPECT_EQ(dlg.FailureText(), CTestAnalogueRef::kNoReadingText);
            }
            const auto values = dlg.IdentifiedValues();
            ASSERT_EQ(values.size(), c.values);
            if (!values.empty()) {
                EXPECT_LE(values[1].value, values[0].value);  // lowest <= last <= highest
                EXPECT_GE(values[2].value, values[0].value);
                EXPECT_EQ(values[3].value, c.ticks_before_stop);
            }
        });
    }
}
