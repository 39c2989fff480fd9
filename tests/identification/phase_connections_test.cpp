// "Motor Phase Connection Test" end to end on the simulated drive.

#include "identification/phase_connections.h"

#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QLineEdit>

#include "host/plot/bar_graph.h"
#include "host/ui/modal_seam.h"
#include "identification_bench.h"

using identification_test::Button;
using identification_test::DemoBench;
using identification_test::Field;
using identification_test::Show;

namespace {

TEST(PhaseConnections, HealthyMotorPassesWithBothCurrentsNearTheTestCurrent) {
    // The setup's test current, and one typed into the dialog before Start: the bars'
    // scale (+-1.5 x the test current) follows it.
    for (const char* typed : {"", "2"}) {
        SCOPED_TRACE(typed);
        DemoBench bench;
        axis::ScriptedModalSeam seam;
        CTestPhaseConnections dlg(bench.setup.get(), 1, nullptr);
        const double r_before = bench.Value("R");
        seam.AnswerDialog([&](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), "Motor Phase Connection Test");
            if (*typed) {
                auto* edit = d.findChild<QLineEdit*>("testCurrentEdit");
                edit->setText(typed);
                edit->editingFinished();
            }
            const double it = bench.Value("TestCurrent");
            bench.Run(dlg);
            EXPECT_EQ(dlg.ResultText(), "Test successfully completed.") << dlg.FailureText();
            const double ia = Field(d, "iaEdit").toDouble();
            const double ib = Field(d, "ibEdit").toDouble();
            EXPECT_NEAR(ia, it, 0.1 * it);
            EXPECT_NEAR(ib, it, 0.1 * it);
            EXPECT_NEAR(d.findChild<CBarGraph*>("iaBar")->GetValue(), ia, 0.01);
            for (const char* name : {"iaBar", "ibBar"}) {
                const QCPRange range = d.findChild<CBarGraph*>(name)->Plot()->yAxis->range();
                EXPECT_DOUBLE_EQ(range.lower, -1.5 * it) << name;
                EXPECT_DOUBLE_EQ(range.upper, 1.5 * it) << name;
            }
            Button(d, "cancelButton")->click();  // nothing identified: no question
        });
        EXPECT_EQ(dlg.DoModal(), 0);
        EXPECT_TRUE(seam.MessageTexts().isEmpty());
        EXPECT_EQ(bench.Value("R"), r_before);  // writes nothing
    }
}

TEST(PhaseConnections, FaultBenchesFailWithTheirText) {
    struct Case {
        const char* bench;
        std::string failure;
    };
    const Case cases[] = {
        {"phase_b_open", CTestPhaseConnections::kConnectionFailureText},
        {"short_circuit", "Drive / Motor shortcircuit protection triggered."},
        {"enable_inactive", "Drive / Motor ENABLE input is in DISABLED state."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bench);
        DemoBench bench(c.bench);
        axis::ScriptedModalSeam seam;
        CTestPhaseConnections dlg(bench.setup.get(), 1, nullptr);
        Show(dlg, seam, [&](QDialog& d) {
            bench.Run(dlg);
            EXPECT_EQ(dlg.ResultText().toStdString(), "Test failed: " + c.failure);
            // The bars stay at 0 after a failed evaluation.
            EXPECT_EQ(d.findChild<CBarGraph*>("ibBar")->GetValue(), 0.0);
        });
    }
}

TEST(PhaseConnections, UnreadablePreliminaryProgramFailsTheStart) {
    DemoBench bench;
    axis::SetProgramDirectory("/nonexistent");
    axis::ScriptedModalSeam seam;
    CTestPhaseConnections dlg(bench.setup.get(), 1, nullptr);
    Show(dlg, seam, [&](QDialog& d) {
        Button(d, "startStopButton")->click();
        EXPECT_EQ(dlg.ResultText(), "Test failed: Error reading the test file.");
    });
    axis::SetProgramDirectory(std::string(ORVEX_RESOURCE_DIR) + "/programs");
}

}  // namespace
