#include "plugin/test_runner.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "host/setup/names.h"
#include "host/setup/setup.h"
#include "host/setup/units.h"
#include "host/setup/value_rules.h"
#include "host/setup/variable.h"
#include "host/ui/modal_seam.h"
#include "identification/analogue_reference_monitor.h"
#include "identification/angle_tuning.h"
#include "identification/current_tuning.h"
#include "identification/encoder_connections.h"
#include "identification/encoder_resolution.h"
#include "identification/phase_connections.h"
#include "identification/resistance_inductance.h"
#include "identification/total_inertia.h"
#include "identification/vdc_detection.h"
#include "tuning/passband_limits.h"
#include "tuning/position_tuning.h"
#include "tuning/speed_tuning.h"
#include "tuning/step_response.h"

namespace orvex {
namespace {

// The window timer period of every test dialog: the drive's clock advances by as
// much between two ticks.
constexpr double kTickPeriod_s = 0.020;
// A test that runs until stopped may act on Stop at its next tick (a monitor gives
// its verdict there): this much more drive time is left to it.
constexpr double kStopGrace_s = 0.5;

template <class Dialog>
std::unique_ptr<CMyTestDlg> Make(CMC_Setup* setup) {
    return std::make_unique<Dialog>(setup, 1, nullptr);
}

// What a tuning dialog's "Tune" designs from (bandwidth, damping) and the gains it
// designs.
struct TuningDesign {
    const char* bandwidth;
    const char* damping;
    std::array<const char*, 3> gains;  ///< null-padded
};
constexpr TuningDesign kSpeedDesign{"PB_S", "Dump_S", {"Kp_S_scl", "Ki_S_scl", nullptr}};
constexpr TuningDesign kPositionDesign{"PB_P", "Dump_P", {"Kp_P_scl", "Ki_P_scl", "Kd_P_scl"}};

struct TestEntry {
    const char* name;
    /// Null while the module has no such dialog yet.
    std::unique_ptr<CMyTestDlg> (*make)(CMC_Setup* setup);
    /// A continuous test runs until the user stops it: the runner presses Stop after
    /// this much drive time and takes the dialog's verdict. 0 for a test that ends itself.
    double stop_after_s = 0.0;
    /// A loop tuning test: what its "Tune" works with.
    const TuningDesign* design = nullptr;
};

// One row per test a production line can run; a test dialog added to the module is
// one `make` filled in here.
constexpr TestEntry kTests[] = {
    {"phase", Make<CTestPhaseConnections>},
    // The operator's hand turns the shaft of the simulated bench meanwhile.
    {"encoder", Make<CTestEncoderConnections>, 4.0},
    {"resolution", Make<CDetectEncoderResolution>},
    {"rl", Make<CTestRL>},
    {"current", Make<CTestCurrent>},
    {"angle", Make<CTestAngle>},
    {"inertia", Make<CTotalInertiaTest>},
    // A second of readings (fifty ticks) of whatever reference the line applies.
    {"analogue", Make<CTestAnalogueRef>, 1.0},
    {"vdc", Make<CTestVdcDetection>},
    // Tuning tests: one run with the data logger, as the setup asks for it.
    {"speed", Make<CTestSpeedTuning>, 0.0, &kSpeedDesign},
    {"position", Make<CTestPositionTuning>, 0.0, &kPositionDesign},
};

const TestEntry* Find(const char* name) {
    for (const TestEntry& e : kTests)
        if (name && axis::NamesEqual(name, e.name)) return &e;
    return nullptr;
}

// Runs the one test dialog: Start, the ticks until the verdict, Close with the
// answer given; every message box is recorded and answered.
class HeadlessSeam : public axis::ModalSeam {
  public:
    HeadlessSeam(CMyTestDlg& dialog, const TestRunOptions& options, double stop_after_s)
        : dialog_(dialog),
          options_(options),
          stop_after_s_(stop_after_s),
          previous_(axis::InstallModalSeam(this)) {
        if (stop_after_s_ > 0.0)
            options_.time_limit_s = std::min(options_.time_limit_s, stop_after_s_);
    }
    ~HeadlessSeam() override { axis::InstallModalSeam(previous_); }
    HeadlessSeam(const HeadlessSeam&) = delete;
    HeadlessSeam& operator=(const HeadlessSeam&) = delete;

    int RunDialog(QDialog& dialog) override {
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        QCoreApplication::sendPostedEvents();
        if (&dialog == &dialog_) RunTheTest();
        if (dialog.isVisible()) dialog.done(QDialog::Rejected);  // never left open
        return dialog.result();
    }

    int RunMessage(QWidget*, const QString& text, const QString&, axis::MessageButtons buttons,
                   axis::MessageIcon) override {
        int answer = axis::kIdOk;
        switch (buttons) {
            case axis::MessageButtons::Ok:
                answer = axis::kIdOk;
                break;
            case axis::MessageButtons::OkCancel:
                answer = options_.answer_yes ? axis::kIdOk : axis::kIdCancel;
                break;
            case axis::MessageButtons::YesNo:
            case axis::MessageButtons::YesNoCancel:
                answer = options_.answer_yes ? axis::kIdYes : axis::kIdNo;
                break;
        }
        messages_.push_back({text.toStdString(), answer});
        return answer;
    }

    QString RunFilePrompt(QWidget*, const axis::FilePrompt&) override { return {}; }

    struct Message {
        std::string text;
        int answer;
    };
    const std::vector<Message>& Messages() const { return messages_; }
    double Duration_s() const { return duration_s_; }
    bool TimedOut() const { return timed_out_; }
    bool Stalled() const { return stalled_; }
    /// The verdict as it was before Close (Close may ask, and answering changes nothing
    /// of it, but the values it reports are those of the test).
    CMC_TestDlg::Outcome outcome = CMC_TestDlg::Outcome::kUndecided;
    std::string failure;
    std::vector<CMyTestDlg::IdentifiedValue> identified;
    std::string status;
    bool tuned = false;  ///< "Tune" was pressed before Start

  private:
    void RunTheTest() {
        // A tuning test starts from its "Test" page, which refuses a current limit above
        // the protection: then it does not start at all.
        auto* pages = dialog_.findChild<QTabWidget*>(QStringLiteral("pageTabs"));
        if (pages && qobject_cast<CTuningTestDlg*>(&dialog_))
            pages->setCurrentIndex(CTuningTestDlg::kTestPage);
        // "Tune" as the user presses it before Start: the run uses the designed gains.
        auto* tune = dialog_.findChild<QAbstractButton*>(QStringLiteral("tuneButton"));
        if (options_.tune && tune && pages && pages->currentIndex() == CTuningTestDlg::kTestPage) {
            // "Tune" speaks only to refuse (no bandwidth is sound on this motor): then it
            // designed nothing, and the run uses the gains the setup held.
            const std::size_t said = messages_.size();
            tune->click();
            tuned = messages_.size() == said;
        }
        auto* start = dialog_.findChild<QAbstractButton*>(QStringLiteral("startStopButton"));
        if (start && (!pages || !qobject_cast<CTuningTestDlg*>(&dialog_) ||
                      pages->currentIndex() == CTuningTestDlg::kTestPage))
            start->click();
        RunUntil(options_.time_limit_s);
        if (dialog_.IsRunning()) {
            // Still running at the limit: Stop, so that the drive is left at rest. For a
            // continuous test that is the user's Stop, which gives the verdict.
            timed_out_ = !stalled_ && stop_after_s_ <= 0.0;
            dialog_.OnBtnStartStop();
            RunUntil(duration_s_ + kStopGrace_s);
            if (dialog_.IsRunning()) stalled_ = true;  // Stop was not acted on
        }
        outcome = dialog_.TestOutcome();
        failure = dialog_.FailureText();
        identified = dialog_.IdentifiedValues();
        status = dialog_.StatusText().toStdString();
        // A tuning dialog asks nothing: its OK is how the user keeps the gains the run
        // has shown to work (and the test's current limits). Kept on a passed run when
        // the answer is yes; otherwise, or if OK is refused, the dialog is cancelled.
        if (qobject_cast<CTuningTestDlg*>(&dialog_) && options_.answer_yes &&
            outcome == CMC_TestDlg::Outcome::kSucceeded)
            if (auto* ok = dialog_.findChild<QAbstractButton*>(QStringLiteral("okButton")))
                ok->click();
        if (dialog_.isVisible())
            if (auto* close = dialog_.findChild<QAbstractButton*>(QStringLiteral("cancelButton")))
                close->click();
    }

    void RunUntil(double limit_s) {
        if (options_.advance)
            RunOnDriveClock(limit_s);
        else
            RunInRealTime(limit_s);
    }

    // The drive moves only when its clock is advanced: one tick of the dialog per
    // 20 ms of drive time, as fast as the machine goes.
    void RunOnDriveClock(double limit_s) {
        while (dialog_.IsRunning() && duration_s_ < limit_s) {
            options_.advance(options_.advance_context, kTickPeriod_s);
            duration_s_ += kTickPeriod_s;
            if (!dialog_.IsTimerRunning(1)) {  // running, yet waiting for no tick
                stalled_ = true;
                break;
            }
            dialog_.OnTimer(1);
        }
    }

    // A drive with its own time: the dialog's timers run as they would on screen.
    void RunInRealTime(double limit_s) {
        const double started_s = duration_s_;
        QElapsedTimer elapsed;
        elapsed.start();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!dialog_.IsRunning() || started_s + elapsed.elapsed() / 1000.0 >= limit_s)
                loop.quit();
        });
        poll.start(static_cast<int>(kTickPeriod_s * 1000));
        if (dialog_.IsRunning()) loop.exec();
        duration_s_ = started_s + elapsed.elapsed() / 1000.0;
    }

    CMyTestDlg& dialog_;
    TestRunOptions options_;
    double stop_after_s_;
    axis::ModalSeam* previous_;
    std::vector<Message> messages_;
    double duration_s_ = 0.0;
    bool timed_out_ = false;
    bool stalled_ = false;
};

std::string UnitOf(const CMC_Setup* setup, const std::string& name) {
    axis::ScopedSilentLookup silent;
    const CMC_Parameter* p = setup->FindParameter(name);
    return p ? p->GetBaseUnitName() : std::string();
}

// A number for the report: JSON has no infinity or NaN.
nlohmann::json Number(double value) {
    return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

CMC_Parameter* Silently(CMC_Setup* setup, const char* name) {
    axis::ScopedSilentLookup silent;
    return setup->FindParameter(name);
}

// A bandwidth in Hz, and back: the parameter keeps it in its base unit.
const CMC_Unit* Hertz(const CMC_Parameter& bandwidth) {
    const CMC_UnitType* type = bandwidth.GetUnitType();
    return type ? type->FindUnit("Hz") : nullptr;
}

// One design input asked for, checked against the parameter's range before anything
// is written: the value to write (base unit), or why it cannot be.
struct DesignInput {
    CMC_Parameter* parameter = nullptr;
    double base_value = 0.0;
    std::string error;
};

// `accepted`, when given, is the range the dialog accepts (a bandwidth bounded for
// stability), else the parameter's own limits hold.
DesignInput CheckDesignInput(CMC_Setup* setup, const char* what, const char* name, double value,
                             bool in_hertz,
                             const std::optional<tuning::PassbandRange>& accepted = {}) {
    DesignInput in;
    in.parameter = Silently(setup, name);
    if (!in.parameter) {
        in.error = std::string("the setup has no \"") + name + "\" for the " + what;
        return in;
    }
    const CMC_Unit* hz = in_hertz ? Hertz(*in.parameter) : nullptr;
    if (in_hertz && !hz) {
        in.error = std::string("\"") + name + "\" cannot be given in Hz";
        return in;
    }
    const double base = hz ? hz->ToBase(value) : value;
    const double low = accepted ? accepted->min_rad_s : in.parameter->GetMinInBaseUnit();
    const double high = accepted ? accepted->max_rad_s : in.parameter->GetMaxInBaseUnit();
    // A value typed back from the range as shown may lie a hair outside it: pulled in.
    const double slack = 1e-9 * std::max(std::fabs(low), std::fabs(high));
    const axis::UserValue checked = axis::CheckUserValue(*in.parameter, base);
    if (checked.accepted() && base >= low - slack && base <= high + slack) {
        in.base_value = std::clamp(*checked.value, low, high);
        return in;
    }
    const auto shown = [&](double b) { return axis::FormatValue(hz ? hz->FromBase(b) : b); };
    const std::string unit = hz ? " Hz" : "";
    if (accepted && accepted->Empty()) {
        in.error = std::string("no ") + what + " of \"" + name + "\" is sound on this setup: " +
                   "the motor's detent asks for " + shown(low) + unit + " or more, the loop " +
                   "allows at most " + shown(high) + unit;
        return in;
    }
    in.error = std::string("the ") + what + " " + axis::FormatValue(value) + unit +
               " is outside the range of \"" + name + "\", " + shown(low) + " to " + shown(high) +
               unit;
    if (accepted && accepted->limited) in.error += " (the stable bound at this damping)";
    return in;
}

// Sets the bandwidth and damping asked for, both or neither: the reason when one
// cannot be set.
std::string SetDesignInputs(CMC_Setup* setup, const TestEntry& entry,
                            const TestRunOptions& options) {
    const bool asked = options.bandwidth_hz || options.damping;
    if (!options.tune && !asked) return {};
    if (!entry.design) return std::string("\"") + entry.name + "\" is no loop tuning test";
    if (!options.tune) return "a bandwidth or damping is given only with Tune";
    std::vector<DesignInput> inputs;
    if (options.damping) {
        inputs.push_back(
            CheckDesignInput(setup, "damping", entry.design->damping, *options.damping, false));
        if (!inputs.back().error.empty()) return inputs.back().error;
    }
    if (options.bandwidth_hz) {
        // The dialog bounds the bandwidth for stability, and the bound follows the
        // damping: the one asked for counts.
        std::optional<tuning::PassbandRange> accepted;
        {
            CMC_Parameter* damping = options.damping ? inputs.back().parameter : nullptr;
            const double kept = damping ? damping->GetValueInBaseUnit() : 0.0;
            if (damping) damping->SetValueInBaseUnit(inputs.back().base_value);
            accepted = tuning::AcceptedPassband(setup, entry.design->bandwidth);
            if (damping) damping->SetValueInBaseUnit(kept);
        }
        inputs.push_back(CheckDesignInput(setup, "bandwidth", entry.design->bandwidth,
                                          *options.bandwidth_hz, true, accepted));
        if (!inputs.back().error.empty()) return inputs.back().error;
    }
    for (const DesignInput& in : inputs) in.parameter->SetValueInBaseUnit(in.base_value);
    return {};
}

// The gains a tuning run used, against what the setup held before, and what "Tune"
// designed them from when it was pressed.
nlohmann::json TuningReport(CMC_Setup* setup, const TuningDesign& design, bool tuned,
                            const std::vector<std::pair<std::string, double>>& gains_before) {
    nlohmann::json gains = nlohmann::json::array();
    for (const auto& [name, before] : gains_before)
        gains.push_back({{"name", name},
                         {"before", Number(before)},
                         {"used", Number(setup->GetParameterValueInBaseUnit(name))}});
    nlohmann::json j = {{"tuned", tuned}, {"gains", gains}};
    if (!tuned) return j;
    const CMC_Parameter* bandwidth = Silently(setup, design.bandwidth);
    const CMC_Unit* hz = bandwidth ? Hertz(*bandwidth) : nullptr;
    j["bandwidth_Hz"] =
        hz ? Number(hz->FromBase(bandwidth->GetValueInBaseUnit())) : nlohmann::json(nullptr);
    const CMC_Parameter* damping = Silently(setup, design.damping);
    j["damping"] = damping ? Number(damping->GetValueInBaseUnit()) : nlohmann::json(nullptr);
    return j;
}

// What a tuning test recorded (drive units) and how its loop followed the reference:
// the first logged variable is the reference, the second the response.
void AddTuningRun(const CTuningTestDlg& dialog, nlohmann::json& j) {
    const CTuningTestDlg::LoggedRun run = dialog.LastLoggedRun();
    nlohmann::json logged = {{"time_s", run.time_s}, {"signals", nlohmann::json::object()}};
    for (size_t k = 0; k < run.columns.size(); ++k)
        logged["signals"][dialog.LoggedVariables()[k]] = run.columns[k];
    j["logged"] = logged;
    if (run.columns.size() < 2) {
        j["step_response"] = nullptr;
        return;
    }
    // The signals are in drive units: whole counts.
    const auto result = orvex::tuning::MeasureStepResponse(run.time_s, run.columns[0],
                                                           run.columns[1], {.resolution = 1.0});
    if (!result.figures) {
        j["step_response"] = {{"error", result.error}};
        return;
    }
    const auto& f = *result.figures;
    const auto optional = [](const std::optional<double>& v) {
        return v ? Number(*v) : nlohmann::json(nullptr);
    };
    j["step_response"] = {{"rise_time_s", optional(f.rise_time_s)},
                          {"overshoot_percent", Number(f.overshoot_percent)},
                          {"settling_time_s", optional(f.settling_time_s)},
                          {"steady_state_error", Number(f.steady_state_error)}};
}

}  // namespace

TestLookup LookUpTest(const char* name) {
    const TestEntry* e = Find(name);
    if (!e) return TestLookup::kUnknown;
    return e->make ? TestLookup::kReady : TestLookup::kNotYetAvailable;
}

const char* const* TestNames() {
    static const char* names[std::size(kTests) + 1] = {};
    for (size_t i = 0; i < std::size(kTests); ++i) names[i] = kTests[i].name;
    return names;
}

TestRunReport RunTest(CMC_Setup* setup, const char* name, const TestRunOptions& options) {
    TestRunReport report;
    const TestEntry* entry = Find(name);
    if (!setup || !entry || !entry->make) return report;
    if (const std::string refused = SetDesignInputs(setup, *entry, options); !refused.empty()) {
        report.outcome = TestRunReport::Outcome::kRefused;
        report.json = nlohmann::json{{"error", refused}}.dump(2);
        return report;
    }
    std::vector<std::pair<std::string, double>> gains_before;
    if (entry->design)
        for (const char* gain : entry->design->gains)
            if (gain && Silently(setup, gain))
                gains_before.emplace_back(gain, setup->GetParameterValueInBaseUnit(gain));
    std::unique_ptr<CMyTestDlg> dialog = entry->make(setup);

    struct Watched {
        std::string name;
        double before;
    };
    std::vector<Watched> watched;
    for (const std::string& p : dialog->ResultParameterNames()) {
        axis::ScopedSilentLookup silent;
        if (const CMC_Parameter* parameter = setup->FindParameter(p))
            watched.push_back({p, parameter->GetValueInBaseUnit()});
    }

    // A tuning test runs headless as one run recorded by the data logger; the setup's
    // own choice of display comes back afterwards.
    std::vector<std::pair<std::string, double>> display_choices;
    if (const auto* tuning = dynamic_cast<const CTuningTestDlg*>(dialog.get())) {
        for (const char* name : {tuning->Names().online_plot, tuning->Names().multi_cycle}) {
            axis::ScopedSilentLookup silent;
            if (CMC_Parameter* p = setup->FindParameter(name)) {
                display_choices.emplace_back(name, p->GetValueInBaseUnit());
                p->SetValueInBaseUnit(0.0);
            }
        }
    }

    HeadlessSeam seam(*dialog, options, entry->stop_after_s);
    const int result = dialog->DoModal();
    for (const auto& [name, value] : display_choices)
        setup->SetParameterValueInBaseUnit(name, value);
    report.confirmed = result == 1;
    switch (seam.outcome) {
        case CMC_TestDlg::Outcome::kSucceeded:
            report.outcome = TestRunReport::Outcome::kPassed;
            break;
        case CMC_TestDlg::Outcome::kFailed:
            report.outcome = TestRunReport::Outcome::kFailed;
            break;
        case CMC_TestDlg::Outcome::kUndecided:
            report.outcome = TestRunReport::Outcome::kNotStarted;
            break;
    }

    nlohmann::json j;
    j["test"] = entry->name;
    j["dialog"] = dialog->windowTitle().toStdString();
    j["outcome"] = report.outcome == TestRunReport::Outcome::kPassed   ? "passed"
                   : report.outcome == TestRunReport::Outcome::kFailed ? "failed"
                                                                       : "not started";
    std::string failure = seam.failure;
    if (seam.TimedOut())
        failure = "The test did not end within " + std::to_string(int(options.time_limit_s)) +
                  " s of drive time and was stopped.";
    else if (seam.Stalled())
        failure = "The test stopped waiting for the drive before it ended, and was stopped.";
    else if (report.outcome == TestRunReport::Outcome::kNotStarted && !seam.Messages().empty())
        failure = seam.Messages().front().text;  // Start was refused with this message
    else if (report.outcome == TestRunReport::Outcome::kNotStarted)
        failure = "The test did not start.";
    if ((seam.TimedOut() || seam.Stalled()) && report.outcome != TestRunReport::Outcome::kPassed) {
        report.outcome = TestRunReport::Outcome::kFailed;
        j["outcome"] = "failed";
    }
    j["failure"] = report.outcome == TestRunReport::Outcome::kPassed ? nlohmann::json(nullptr)
                                                                     : nlohmann::json(failure);
    j["status"] = seam.status;
    nlohmann::json identified = nlohmann::json::array();
    for (const auto& v : seam.identified)
        identified.push_back({{"name", v.name}, {"value", Number(v.value)}, {"unit", v.unit}});
    j["identified"] = identified;
    nlohmann::json parameters = nlohmann::json::array();
    for (const Watched& w : watched) {
        const double after = setup->GetParameterValueInBaseUnit(w.name);
        parameters.push_back({{"name", w.name},
                              {"old", Number(w.before)},
                              {"new", Number(after)},
                              {"unit", UnitOf(setup, w.name)}});
    }
    j["parameters"] = parameters;
    j["duration_s"] = std::round(seam.Duration_s() * 1000.0) / 1000.0;
    j["drive_time"] = options.advance ? "simulated" : "real";
    {
        // The drive's motion error register as the test left it.
        axis::ScopedSilentLookup silent;
        CMC_Variable* mer = setup->FindVariable("MER", 0);
        if (mer && mer->ReadFromChip())
            j["MER"] = static_cast<int>(mer->GetValueInBaseUnit());
        else
            j["MER"] = nullptr;
    }
    nlohmann::json messages = nlohmann::json::array();
    for (const auto& m : seam.Messages())
        messages.push_back({{"text", m.text},
                            {"answer", m.answer == axis::kIdYes  ? "yes"
                                       : m.answer == axis::kIdNo ? "no"
                                       : m.answer == axis::kIdOk ? "ok"
                                                                 : "cancel"}});
    j["messages"] = messages;
    j["closed_with"] = report.confirmed ? "confirm" : "cancel";
    if (const auto* tuning = dynamic_cast<const CTuningTestDlg*>(dialog.get()))
        AddTuningRun(*tuning, j);
    if (entry->design) j["tuning"] = TuningReport(setup, *entry->design, seam.tuned, gains_before);
    report.json = j.dump(2);
    return report;
}

}  // namespace orvex
