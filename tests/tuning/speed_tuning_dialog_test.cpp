// The speed controller tuning test on the simulated drive: the run's step machine in
// each display mode, gains reaching the running drive, "Tune", the page rules and the
// headless report.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <cmath>
#include <functional>
#include <nlohmann/json.hpp>
#include <vector>

#include "host/drive/scope_logger.h"
#include "host/plot/graph_document.h"
#include "host/plot/graph_window.h"
#include "host/plot/oscilloscope.h"
#include "host/ui/modal_seam.h"
#include "tests/support/axishost_process.h"
#include "tests/tuning/tuning_dialog_fixture.h"
#include "tuning/passband_limits.h"
#include "tuning/position_tuning.h"
#include "tuning/reference_segments.h"
#include "tuning/scope_feed.h"
#include "tuning/speed_tuning.h"

namespace {

using identification_test::Button;
using identification_test::DemoBench;
using tuning_test::Option;
using tuning_test::Register;
using tuning_test::Tick;

bool PowerOn(DemoBench& bench) {
    bool on = false;
    EXPECT_TRUE(bench.drive.GetAxisOn(on));
    return on;
}

// The speed dialog, opened on its "Test" page.
void WithDialog(DemoBench& bench, const std::function<void(CTestSpeedTuning&, QDialog&)>& script) {
    tuning_test::WithDialog<CTestSpeedTuning>(bench, script);
}

// The scope and on-line oscilloscope loops run inside one tick: a zero timer moves the
// drive's clock 1 ms on every pass of their message pump, and acts after `passes`.
struct LoopDriver {
    LoopDriver(DemoBench& bench, int passes, std::function<void()> act) {
        QObject::connect(&timer, &QTimer::timeout, [&bench, passes, act, this] {
            bench.clock.Advance(0.001);
            if (++count == passes && act) act();
        });
        timer.start(0);
    }
    QTimer timer;
    int count = 0;
};

TEST(SpeedTuningRun, DataLoggerStepMachineEndsWithTheRightVerdict) {
    enum class Action { kNone, kStopAfter1s, kLowerProtection, kLongPause };
    struct Case {
        const char* name;
        bool multi_cycle;
        Action action;
        CMC_TestDlg::Outcome outcome;
        std::string failure;
        size_t min_points;  // logged before the run ended
    };
    const std::string tripped = CTuningTestDlg::kProtectionTrippedText;
    const Case cases[] = {
        {"one run", false, Action::kNone, CMC_TestDlg::Outcome::kSucceeded, "", 1000},
        {"repeated runs until Stop", true, Action::kStopAfter1s, CMC_TestDlg::Outcome::kSucceeded,
         "", 1000},
        // The failure is only noted while the runs repeat: the data come first.
        {"repeated runs, protection trips", true, Action::kLowerProtection,
         CMC_TestDlg::Outcome::kFailed, tripped, 1},
        {"one run, protection trips", false, Action::kLowerProtection,
         CMC_TestDlg::Outcome::kFailed, tripped, 1},
        {"pause beyond 32767 samples", false, Action::kLongPause, CMC_TestDlg::Outcome::kFailed,
         orvex::tuning::kErrSegmentLength, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DemoBench bench;
        bench.Set("MultiCycleS", c.multi_cycle ? 1 : 0);
        WithDialog(bench, [&](CTestSpeedTuning& dlg, QDialog& d) {
            // Past the page check: the run takes what the setup holds at Start.
            if (c.action == Action::kLowerProtection) bench.Set("TestProtectionCurrent", 0.2);
            if (c.action == Action::kLongPause) bench.Set("TNS", 30.0);
            Button(d, "startStopButton")->click();
            double t = 0;
            Tick(bench, dlg, [&] {
                t += 0.02;
                if (c.action == Action::kStopAfter1s && t > 1.0 && t < 1.03)
                    Button(d, "startStopButton")->click();
                return false;
            });
            EXPECT_FALSE(dlg.IsRunning());
            EXPECT_EQ(dlg.TestOutcome(), c.outcome) << dlg.FailureText();
            EXPECT_EQ(dlg.FailureText(), c.failure);
            // Uploaded and drawn, a failed run too.
            EXPECT_GE(dlg.LastLoggedRun().time_s.size(), c.min_points);
            EXPECT_EQ(dlg.LoggerGraph()->CurveY(0).size(), dlg.LastLoggedRun().time_s.size());
            EXPECT_FALSE(PowerOn(bench)) << "the motor is left running";
        });
    }
}

TEST(SpeedTuningRun, OneRunFollowsTheSpeedReference) {
    DemoBench bench;
    WithDialog(bench, [&](CTestSpeedTuning& dlg, QDialog& d) {
        Button(d, "startStopButton")->click();
        Tick(bench, dlg, [] { return false; });
        ASSERT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kSucceeded) << dlg.FailureText();
        const auto run = dlg.LastLoggedRun();
        ASSERT_EQ(run.columns.size(), 4u);
        // The reference holds the quantised final speed (counts per sample); the load
        // speed reaches it.
        const double peak_reference =
            *std::max_element(run.columns[0].begin(), run.columns[0].end());
        const double peak_response =
            *std::max_element(run.columns[1].begin(), run.columns[1].end());
        EXPECT_EQ(peak_reference, std::round(peak_reference));
        EXPECT_NEAR(peak_response, peak_reference, 0.25 * peak_reference);
    });
}

TEST(SpeedTuningRun, StopDuringTheUploadEndsWithoutAVerdict) {
    DemoBench bench;
    WithDialog(bench, [&](CTestSpeedTuning& dlg, QDialog& d) {
        Button(d, "startStopButton")->click();
        Tick(bench, dlg, [&] { return dlg.StatusText() == "Uploading results"; });
        ASSERT_TRUE(dlg.IsRunning());
        QTimer::singleShot(0, [&] { Button(d, "startStopButton")->click(); });
        bench.clock.Advance(0.020);
        dlg.OnTimer(1);
        EXPECT_FALSE(dlg.IsRunning());
        EXPECT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kUndecided);
        EXPECT_LT(dlg.LoggerGraph()->CurveY(0).size(), dlg.LastLoggedRun().time_s.size());
    });
}

TEST(SpeedTuningRun, ScopeDrawsTheStreamedFramesUntilTheCaptureIsComplete) {
    DemoBench bench;
    bench.Set("OnlinePlotS", 1);
    WithDialog(bench, [&](CTestSpeedTuning& dlg, QDialog& d) {
        ASSERT_EQ(dlg.Mode(), CTuningTestDlg::DisplayMode::kScope);
        EXPECT_EQ(Button(d, "onlinePlotRadio")->text(), "Scope");
        LoopDriver driver(bench, 5000, [&] { Button(d, "startStopButton")->click(); });
        Button(d, "startStopButton")->click();
        Tick(bench, dlg, [] { return false; });
        EXPECT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kSucceeded) << dlg.FailureText();
        EXPECT_LT(driver.count, 5000) << "the single capture never completed";
        EXPECT_GT(dlg.Feed()->PointsDrawn(), 500u);
        EXPECT_EQ(dlg.ScopeLogger()->GetDroppedFrames(), 0u);
        EXPECT_EQ(dlg.ScopeLogger()->GetLostFrames(), 0u);
        EXPECT_FALSE(PowerOn(bench));
    });
}

TEST(SpeedTuningRun, OnlineOscilloscopeSamplesUntilStopAndPausesOnRequest) {
    DemoBench bench;
    bench.setup->SetOption("hasOscilloscope", "0");
    bench.Set("MultiCycleS", 1);
    bench.Set("OnlinePlotS", 1);
    WithDialog(bench, [&](CTestSpeedTuning& dlg, QDialog& d) {
        ASSERT_EQ(dlg.Mode(), CTuningTestDlg::DisplayMode::kOnlineOscilloscope);
        int samples_at_pause = -1;
        LoopDriver driver(bench, 300, [&] {
            Button(d, "pauseButton")->click();
            samples_at_pause = dlg.Oscilloscope()->GetSampleCount();
        });
        LoopDriver stopper(bench, 400, [&] {
            EXPECT_EQ(dlg.Oscilloscope()->GetSampleCount(), samples_at_pause);
            Button(d, "startStopButton")->click();
        });
        Button(d, "startStopButton")->click();
        Tick(bench, dlg, [] { return false; });
        EXPECT_EQ(dlg.TestOutcome(), CMC_TestDlg::Outcome::kSucceeded) << dlg.FailureText();
        EXPECT_GT(samples_at_pause, 0);
        EXPECT_TRUE(d.findChild<QLabel*>("referenceValue")->text().endsWith(" rpm"));
        EXPECT_FALSE(PowerOn(bench));
    });
}

TEST(SpeedTuningLive, ChangedGainsReachTheRunningDrive) {
    struct Case {
        const char* parameter;
        double value;
        std::vector<const char*> options;
    };
    const Case cases[] = {
        {"Kp_S_scl", 700.0, {"SFTKPS", "KPS"}},
        {"Ki_S_scl", 20.0, {"SFTKIS", "KIS"}},
        {"IPSatS", 40.0, {"IMAXS"}},
        {"KFFS_scl", 0.8, {"SFTSFFW", "KFFS", "KFFA"}},
        {"KFFA_scl", 100.0, {"SFTAFFW", "SFTKFF", "KFFA"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.parameter);
        DemoBench bench;
        WithDialog(bench, [&](CTestSpeedTuning& dlg, QDialog& d) {
            Button(d, "startStopButton")->click();
            Tick(bench, dlg, [&] { return dlg.StatusText() == "Running test"; });
            ASSERT_TRUE(dlg.IsRunning());
            dlg.ChangeParameterValue(c.parameter, c.value);
            for (const char* option : c.options)
                EXPECT_EQ(Register(bench, option), Option(bench, option)) << option;
            Button(d, "startStopButton")->click();
        });
    }
}

TEST(SpeedTuningLive, TuneWritesTheDesignedGainsOnlyWhileTheTestRuns) {
    for (const bool running : {true, false}) {
        SCOPED_TRACE(running ? "running" : "idle");
        DemoBench bench;
        WithDialog(bench, [&](CTestSpeedTuning& dlg, QDialog& d) {
            if (running) {
                Button(d, "startStopButton")->click();
                Tick(bench, dlg, [&] { return dlg.StatusText() == "Running test"; });
                ASSERT_TRUE(dlg.IsRunning());
            }
            // Before any run the drive holds no gains at all.
            double kps_before = NAN, kps_after = NAN;
            const bool had = bench.drive.ReadRegister("KPS", kps_before);
            const double kps_option = Option(bench, "KPS");
            bench.Set("PB_S", 0.5 * bench.Value("PB_S"));
            Button(d, "tuneButton")->click();
            EXPECT_NE(Option(bench, "KPS"), kps_option);
            if (running) {
                for (const char* option : {"KPS", "SFTKPS", "KIS", "SFTKIS"})
                    EXPECT_EQ(Register(bench, option), Option(bench, option)) << option;
                Button(d, "startStopButton")->click();
            } else {
                EXPECT_EQ(bench.drive.ReadRegister("KPS", kps_after), had);
                if (had) {
                    EXPECT_EQ(kps_after, kps_before);
                }
            }
        });
    }
}

TEST(SpeedTuningLive, SpinButtonsStepTheGainAndReachTheRunningDrive) {
    DemoBench bench;
    bench.Set("OnlinePlotS", 1);  // with the scope the gains stay live while it runs
    const double kp = bench.Value("Kp_S_scl");
    WithDialog(bench, [&](CTestSpeedTuning& dlg, QDialog& d) {
        bool pressed = false;
        LoopDriver spin(bench, 200, [&] {
            ASSERT_TRUE(dlg.IsRunning());
            for (const char* b : {"kpSpinUp", "kpSpinUp", "kpSpinDown"}) Button(d, b)->click();
            // A press is one step of the slider, which spans half to one and a half
            // times the gain at opening in a hundred steps.
            EXPECT_NEAR(bench.Value("Kp_S_scl"), 1.01 * kp, 1e-9 * kp);
            for (const char* option : {"SFTKPS", "KPS"})
                EXPECT_EQ(Register(bench, option), Option(bench, option)) << option;
            pressed = true;
        });
        LoopDriver stop(bench, 5000, [&] { Button(d, "startStopButton")->click(); });
        Button(d, "startStopButton")->click();
        Tick(bench, dlg, [] { return false; });
        EXPECT_TRUE(pressed);
    });
}

TEST(SpeedTuningLive, InertiaRatioSpinsWorkOnlyWithAKnownMotorInertia) {
    for (const bool known : {true, false}) {
        SCOPED_TRACE(known ? "known" : "unknown");
        DemoBench bench;
        bench.Set("isMotorInertiaUnknown", known ? 0.0 : 1.0);
        // The slider's span is fixed from the ratio as the dialog is built; its start
        // then rounds the ratio to three decimals.
        const double step = bench.Value("Jload_over_J") / 100.0;
        WithDialog(bench, [&](CTestSpeedTuning&, QDialog& d) {
            for (const char* spin : {"inertiaRatioSpinUp", "inertiaRatioSpinDown"})
                EXPECT_EQ(Button(d, spin)->isEnabled(), known) << spin;
            if (!known) return;
            const double stepped = bench.Value("Jload_over_J") + step;
            Button(d, "inertiaRatioSpinUp")->click();
            EXPECT_NEAR(bench.Value("Jload_over_J"), stepped, 1e-9);
            // The total follows the ratio, to three decimals of kg*cm^2.
            EXPECT_NEAR(bench.Value("Jt"), (stepped + 1.0) * bench.Value("Jm"), 0.5e-7);
        });
    }
}

TEST(SpeedTuningPages, TestPageNeedsTheLimitNotAboveTheProtection) {
    struct Case {
        double limit_A, protection_A;
        int page_after;
    };
    for (const Case& c : {Case{2.0, 4.0, 1}, Case{4.0, 4.0, 1}, Case{4.5, 4.0, 0}}) {
        DemoBench bench;
        bench.Set("TestLimitCurrent", c.limit_A);
        bench.Set("TestProtectionCurrent", c.protection_A);
        axis::ScriptedModalSeam seam;
        CTestSpeedTuning dlg(bench.setup.get(), 1, nullptr);
        seam.AnswerDialog([&](QDialog& d) {
            auto* pages = d.findChild<QTabWidget*>("pageTabs");
            pages->setCurrentIndex(1);
            EXPECT_EQ(pages->currentIndex(), c.page_after) << c.limit_A;
            d.reject();
        });
        dlg.DoModal();
        const QStringList expected = c.page_after == 0
                                         ? QStringList{CTuningTestDlg::kLimitAboveProtectionText}
                                         : QStringList{};
        EXPECT_EQ(seam.MessageTexts(), expected);
    }
}

// axishost test on a copy of the demo setup: its JSON report, once it passed.
class TuningHeadless : public orvex_test::AxishostProcessTest {
  protected:
    nlohmann::json Report(const QStringList& args) {
        const Outcome run = Axishost(args);
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        const auto report = nlohmann::json::parse(run.out.toStdString(), nullptr, false);
        EXPECT_EQ(report["outcome"], "passed") << report["failure"];
        return report;
    }
    double SavedValue(const std::string& name) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) return NAN;
        const auto saved = nlohmann::json::parse(f.readAll().toStdString());
        for (const auto& p : saved["parameters"])
            if (p["name"] == name) return p["value"].get<double>();
        return NAN;
    }
};

TEST_F(TuningHeadless, ReportCarriesTheLoggedSignalsAndTheStepFigures) {
    struct Case {
        const char* test;
        std::vector<const char*> logged;
    };
    // The demo setup runs its position loop over the speed loop.
    const Case cases[] = {
        {"speed", {"Speed_Reference", "Load_Speed", "Current_Reference", "Motor_Current"}},
        {"position", {"Target_Position", "Load_Position", "Speed_Reference", "Load_Speed"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.test);
        const auto report = Report({"test", c.test, file});
        const auto& logged = report["logged"];
        const size_t n = logged["time_s"].size();
        EXPECT_GT(n, 1000u);
        for (const char* signal : c.logged)
            EXPECT_EQ(logged["signals"][signal].size(), n) << signal;
        const auto& step = report["step_response"];
        EXPECT_GT(step["rise_time_s"].get<double>(), 0.0);
        EXPECT_GE(step["overshoot_percent"].get<double>(), 0.0);
        EXPECT_TRUE(step["steady_state_error"].is_number());
    }
}

// A position loop that "Tune" refuses to design (seven times the demo's rated current
// makes a detent its speed loop cannot hold) runs on the gains the setup held, and the
// report says it was not tuned, with the refusal among the messages.
TEST_F(TuningHeadless, RefusedTuneIsReportedAsNotTuned) {
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        auto setup = nlohmann::json::parse(f.readAll().toStdString());
        f.close();
        for (auto& p : setup["parameters"])
            if (p["name"] == "In") p["value"] = p["value"].get<double>() * 7;
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray::fromStdString(setup.dump()));
    }
    const auto report = Report({"test", "position", file, "--tune"});
    EXPECT_EQ(report["tuning"]["tuned"], false);
    for (const auto& g : report["tuning"]["gains"]) EXPECT_EQ(g["before"], g["used"]) << g["name"];
    ASSERT_EQ(report["messages"].size(), 1u);
    EXPECT_NE(report["messages"][0]["text"].get<std::string>().find("No bandwidth suits"),
              std::string::npos);
}

// "Tune" pressed on a dialog opened on `bench`, as a user does before Start.
template <class Dialog>
void PressTune(DemoBench& bench) {
    tuning_test::WithDialog<Dialog>(bench,
                                    [](Dialog&, QDialog& d) { Button(d, "tuneButton")->click(); });
}

TEST_F(TuningHeadless, TuneDesignsTheGainsTheRunUses) {
    struct Case {
        const char* test;
        void (*press_tune)(DemoBench&);
        const char* bandwidth;  // kept in 1/s
        double bandwidth_hz;
        const char* damping;
        double damping_value;
        std::vector<const char*> gains;
        const char* answer;  // with --save: yes keeps the run's gains in the file
    };
    // Both away from the demo's own 25 Hz / 0.8 and 8 Hz / 1.
    const Case cases[] = {
        {"position",
         PressTune<CTestPositionTuning>,
         "PB_P",
         6.0,
         "Dump_P",
         0.9,
         {"Kp_P_scl", "Ki_P_scl", "Kd_P_scl"},
         "no"},
        {"speed",
         PressTune<CTestSpeedTuning>,
         "PB_S",
         40.0,
         "Dump_S",
         1.0,
         {"Kp_S_scl", "Ki_S_scl"},
         "yes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.test);
        DemoBench bench;
        std::vector<double> before, designed;
        for (const char* g : c.gains) before.push_back(bench.Value(g));
        bench.Set(c.bandwidth, 2.0 * M_PI * c.bandwidth_hz);
        bench.Set(c.damping, c.damping_value);
        c.press_tune(bench);
        for (const char* g : c.gains) designed.push_back(bench.Value(g));
        ASSERT_NE(designed[0], before[0]);

        const QByteArray file_before = orvex_test::Digest(file);
        const auto report =
            Report({"test", c.test, file, "--tune", "--bandwidth", QString::number(c.bandwidth_hz),
                    "--damping", QString::number(c.damping_value), "--answer", c.answer, "--save"});
        const bool kept = std::string(c.answer) == "yes";
        EXPECT_EQ(report["saved"], kept);
        EXPECT_EQ(orvex_test::Digest(file) == file_before, !kept);
        const auto& tuning = report["tuning"];
        EXPECT_EQ(tuning["tuned"], true);
        EXPECT_NEAR(tuning["bandwidth_Hz"].get<double>(), c.bandwidth_hz, 1e-9);
        EXPECT_EQ(tuning["damping"].get<double>(), c.damping_value);
        ASSERT_EQ(tuning["gains"].size(), c.gains.size());
        for (size_t k = 0; k < c.gains.size(); ++k) {
            const auto& g = tuning["gains"][k];
            EXPECT_EQ(g["name"], c.gains[k]);
            EXPECT_EQ(g["before"].get<double>(), before[k]) << c.gains[k];
            EXPECT_NEAR(g["used"].get<double>(), designed[k], 1e-9 * std::fabs(designed[k]))
                << c.gains[k];
            if (kept) {
                EXPECT_NEAR(SavedValue(c.gains[k]), designed[k], 1e-9 * std::fabs(designed[k]))
                    << c.gains[k];
            }
        }
    }
}

}  // namespace

namespace {

double SpeedDivision(CTuningTestDlg& dlg) {
    for (const auto& s : dlg.ScopeLogger()->GetChannelScales())
        if (s.variable == "Speed_Reference") return s.division;
    return NAN;
}

// Opens the dialog, runs `script`, and closes it with OK or Cancel.
void Session(DemoBench& bench, bool ok, const std::function<void(CTestSpeedTuning&)>& script) {
    axis::ScriptedModalSeam seam;
    CTestSpeedTuning dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        script(dlg);
        Button(d, ok ? "okButton" : "cancelButton")->click();
    });
    dlg.DoModal();
}

}  // namespace

TEST(SpeedTuningScope, UserScalesAreKeptOverProfileChangesAndAcrossOpenings) {
    DemoBench bench;
    double saved_division = NAN;
    Session(bench, true, [&](CTestSpeedTuning& dlg) {
        // Unchanged settings follow the profile: a quarter of 1000 rpm is 250, shown at
        // 500 rpm a division (the quantised 990 rpm too).
        dlg.ChangeParameterValue("TestSpeed", 1000.0 * M_PI / 30.0);
        EXPECT_FALSE(dlg.ScopeSettingsCustomised());
        EXPECT_DOUBLE_EQ(SpeedDivision(dlg), 500.0);
        dlg.OnChannelScaleRequest(dlg.ScopeGraph(), 0u | (1u << 16));  // channel 0, coarser
        EXPECT_TRUE(dlg.ScopeSettingsCustomised());
        saved_division = SpeedDivision(dlg);
        EXPECT_DOUBLE_EQ(saved_division, 1000.0);
    });
    EXPECT_FALSE(bench.setup->GetOptionNoError("SpeedTuningOscSettings").empty());
    Session(bench, false, [&](CTestSpeedTuning& dlg) {
        EXPECT_TRUE(dlg.ScopeSettingsCustomised());
        // The kept settings bring the scope's curves and legend place back with them.
        EXPECT_EQ(dlg.ScopeGraph()->GetCurveCount(), 4);
        EXPECT_EQ(dlg.ScopeGraph()->GetFilter()->GetFloatList(),
                  (std::vector<float>{-4.2f, -3.5f}));
        const double window = dlg.ScopeLogger()->GetWindow();
        dlg.ChangeParameterValue("TestSpeed", 300.0 * M_PI / 30.0);
        dlg.ChangeParameterValue("TPS", 1.0);
        EXPECT_DOUBLE_EQ(SpeedDivision(dlg), saved_division);
        EXPECT_DOUBLE_EQ(dlg.ScopeLogger()->GetWindow(), window);
        dlg.OnGraphCommand(CTuningTestDlg::GraphCommand::kDefaultSettings);
        EXPECT_FALSE(dlg.ScopeSettingsCustomised());
        EXPECT_DOUBLE_EQ(SpeedDivision(dlg), 100.0);  // a quarter of 300 rpm is 75
    });
    // OK with the default settings forgets the saved ones.
    Session(bench, true, [&](CTestSpeedTuning& dlg) {
        dlg.OnGraphCommand(CTuningTestDlg::GraphCommand::kDefaultSettings);
    });
    EXPECT_TRUE(bench.setup->GetOptionNoError("SpeedTuningOscSettings").empty());
}

namespace {

// A passband set beyond the stable bound is moved onto it when the dialog opens; one
// typed beyond it is refused with the accepted range, and the bound stays.
template <class Dialog>
void ExpectPassbandBounded(const char* name) {
    SCOPED_TRACE(name);
    DemoBench bench;
    bench.Set("PositionControlType", 1);
    const auto range = orvex::tuning::AcceptedPassband(bench.setup.get(), name);
    ASSERT_TRUE(range && range->limited);
    bench.setup->FindParameter(name)->SetMaxInBaseUnit(1e6);
    bench.Set(name, 2 * range->max_rad_s);
    axis::ScriptedModalSeam seam;
    Dialog dlg(bench.setup.get(), 1, nullptr);
    EXPECT_DOUBLE_EQ(bench.Value(name), range->max_rad_s);
    dlg.RefreshAllParameters();
    auto* edit = dlg.template findChild<QLineEdit*>("passbandEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText(QString::number(2 * range->max_rad_s / (2 * M_PI)));  // shown in Hz
    emit edit->editingFinished();
    EXPECT_DOUBLE_EQ(bench.Value(name), range->max_rad_s);
    ASSERT_EQ(seam.MessageTexts().size(), 1);
    EXPECT_TRUE(seam.MessageTexts().front().startsWith("Enter a value between"));
}

}  // namespace

TEST(TuningPassband, DialogsRefuseAPassbandBeyondTheStableBound) {
    ExpectPassbandBounded<CTestSpeedTuning>("PB_S");
    ExpectPassbandBounded<CTestPositionTuning>("PB_P");
}
