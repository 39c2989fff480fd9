#pragma once
// The module's base of every test dialog, and the steps all of them take: starting a
// run, launching a drive program with its inputs, waiting for it by the completion
// rule with the motion error check, reading what it measured, uploading and plotting
// what it logged, writing identified values, the two-page layout of the tuning tests
// and the close-time question about identified values.
//
// A test runs on timer 1: every tick kills it and hands the running test to
// `OnTestTick`, which dispatches on the step index and re-arms the timer only when it
// decides to wait on, so that at most one tick is ever pending.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "host/ui/drive_test_dlg.h"
#include "identification/result_texts.h"

class CGraphWindow;
class CMC_CoffFormat;
class CMC_Logger;
class CMC_SingleAxisLogger;
class CMC_Variable;
class QAbstractSlider;
class QTabWidget;

class CMyTestDlg : public CMC_TestDlg {
    Q_OBJECT

  public:
    /// Every test but the two loop tuning tests (`loop_tuning` true) sets
    /// "ABSTART_MINMOVE" to 0 when the setup has it, so that the drive's start-up
    /// move does not disturb the test; nothing restores it.
    CMyTestDlg(CMC_Setup* setup, QWidget* layout, int flag, QWidget* parent,
               bool loop_tuning = false);
    ~CMyTestDlg() override;

    /// Opens a dialog with pages on its test parameters page, "Details" hidden.
    bool OnInitDialog() override;
    /// Timer 1 ticks the running test (`OnTestTick`); any other tick, or one while no
    /// test runs, goes to the base.
    void OnTimer(int id) override;

    /// True when the drive reports no motion error within `mask` (register "MER").
    /// Otherwise the failure text names the first error (or is the internal error
    /// text when "MER" cannot be found or read), the test fails when `fail_test` is
    /// set, and the result is false.
    bool CheckMotionErrors(bool fail_test, std::uint16_t mask);

    // --- what a run left, for reports (the headless test runner) -------------------
    /// A value the last test identified, in its physical unit.
    struct IdentifiedValue {
        std::string name;  ///< the parameter or quantity ("R", "IA")
        double value;
        std::string unit;  ///< "Ohm", "A" ...
    };
    /// The values the last successful test identified; empty when none.
    virtual std::vector<IdentifiedValue> IdentifiedValues() const { return {}; }
    /// The setup parameters the test writes into when it succeeds.
    virtual std::vector<std::string> ResultParameterNames() const { return {}; }
    bool IsRunning() const { return running_; }
    /// Undecided until a run ends.
    Outcome TestOutcome() const { return outcome_; }
    const std::string& FailureText() const { return failure_text_; }

  protected:
    // --- the step table -------------------------------------------------------------
    /// The dialog's status texts by step index, given once in the constructor: the
    /// first `count` rows are the steps (the step count); rows after them may hold
    /// the dialog's failure texts.
    void SetStepTable(const char* const* texts, std::uint16_t count);
    /// Row `row` of the step table.
    const char* StepText(std::uint16_t row) const { return steps_[row]; }
    /// Shows the status text at the step index; the index advances by one.
    void ShowStep();

    // --- running a test -------------------------------------------------------------
    /// The start of a run: running, outcome undecided, no failure text, step index 0,
    /// and the first status text (a launching text) shown.
    void StartRun();
    /// One tick of timer 1 while the test runs: the step at the step index.
    virtual void OnTestTick() {}
    /// Ends the test with `text` as the reason.
    void Fail(const char* text);

    /// An input variable of a drive program and its value (drive units).
    struct ProgramInput {
        const char* name;
        double value;
    };
    /// Writes `inputs` into `program`; a failed write ends the test with the host's
    /// reason. False when the test ended.
    bool WriteInputs(CMC_CoffFormat& program, std::initializer_list<ProgramInput> inputs);
    /// Writes `inputs`, starts the drive program `name` (with `program` and `logger`,
    /// each may be null), shows the next status text (a waiting text) and arms the
    /// timer. A program that does not start ends the test with the internal error.
    /// False when the test ended.
    bool LaunchProgram(const char* name, CMC_CoffFormat* program,
                       std::initializer_list<ProgramInput> inputs, CMC_Logger* logger = nullptr);

    /// Where a running drive program stands, by the completion rule.
    enum class ProgramState { kWaiting, kFinished, kFailed };
    /// The completion rule, run by a waiting step on its tick: "STARTED" 0 (not yet
    /// started) or the power stage still on (running) re-arms the 20 ms timer, with
    /// the motion error check on `mask` first (while the power stage is on only when
    /// `check_while_on`); "STARTED" nonzero with the power stage off is kFinished.
    /// Every failure has ended the test when kFailed comes back.
    ProgramState PollProgram(CMC_CoffFormat& program, std::uint16_t mask, bool check_while_on);
    /// A waiting step's tick: the completion rule, and once the program finished the
    /// motion error check once more. A protection that trips within the first tick
    /// leaves the power stage off before the drive was ever seen running; the run's
    /// empty results must not be blamed for it. True when the program finished
    /// cleanly and the step goes on to evaluate.
    bool ProgramFinished(CMC_CoffFormat& program, std::uint16_t mask, bool check_while_on = true);

    /// Reads a result variable of `program`: a failed read ends the test with the
    /// host's reason, the no-value marker with the internal error text.
    bool ReadResultVariable(CMC_CoffFormat& program, const char* name, double& value);
    /// What the preliminary program found: "In1" read back (the no-value marker is an
    /// internal error; 0 or less -- only exactly 0 with `only_zero_fails` -- means the
    /// test current was not reached) and the reference voltage "REFTST_V" (drive
    /// units). False when the test ended.
    bool ReadPreliminaryResult(CMC_CoffFormat& preliminary, double& reference_voltage,
                               bool only_zero_fails = false);

    /// Reads the drive variable `name`: not found, the test fails with the internal
    /// error text; not readable, with the communication error text. Null then.
    CMC_Variable* ReadDriveVariable(const char* name);
    /// The same, giving the value in drive units. False when the test ended.
    bool ReadDriveValue(const char* name, double& value);

    /// Begins reading back what a run logged: no logger, or an upload that does not
    /// begin, ends the test with the internal error. False then.
    bool BeginUpload(CMC_Logger* logger);
    /// Plots the points `logger` uploads into `graph`, which is cleared first: curve
    /// i takes point element `elements[i]` against the time, the axes following the
    /// data. The window stays live meanwhile (messages are pumped between points);
    /// false when the user stopped the test meanwhile, which then ends without a
    /// verdict.
    bool PlotLoggedPoints(CMC_Logger& logger, CGraphWindow& graph,
                          std::initializer_list<int> elements);
    /// A graph window filling `frame`.
    static CGraphWindow* PlaceGraph(QWidget* frame);

    /// Writes an identified value (base unit) and keeps what the setup accepted
    /// (clamped to the limits) in `accepted`; redraws its controls. A parameter the
    /// setup lacks fails the test with the failure text as it is.
    bool WriteResult(const char* name, double value, double& accepted);

    // --- controls -------------------------------------------------------------------
    /// Binds a slider for trimming a controller gain or passband, when the setup has
    /// it: the slider spans half to one and a half times the value at opening, within
    /// the parameter's limits (`axis::SpanAroundValue`), so that a drag moves it in
    /// steps fine enough to tune by. A press of a spin button in `spin` moves the
    /// value by one such step.
    bool AddTuningSlider(const char* name, QAbstractSlider* slider, axis::SpinButtons spin = {});

    /// Makes `tabs` the dialog's two pages, test parameters (0) and test (1). Page 0
    /// cannot be chosen while a test runs; leaving a page saves its controls first
    /// and stays when a value is refused; entering page 1 takes `may_enter_test`'s
    /// consent when given, and shows the last result again. "Details" (`details`)
    /// shows on page 1 only.
    void UseTestPages(QTabWidget* tabs, QWidget* details,
                      std::function<bool()> may_enter_test = nullptr);
    static constexpr int kParametersPage = 0;
    static constexpr int kTestPage = 1;

    /// The answer to the close-time question.
    enum class CloseAnswer { kNothingChanged, kYes, kNo, kCancel };
    /// Asks about the result parameters that print differently now than at opening
    /// (only after a successful test). On No, each parameter listed gets back its
    /// value at opening: the user declined the new values.
    CloseAnswer AskCloseConfirmation(const std::vector<orvex::ResultParameter>& results);

  private:
    void OnPageChanged(int page);
    void ShowPage(int page);

    const char* const* steps_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QWidget* details_ = nullptr;
    std::function<bool()> may_enter_test_;
    int shown_page_ = kParametersPage;
    bool switching_page_ = false;
};
