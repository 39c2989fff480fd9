#pragma once
// The module's base of every test dialog: the motion error check, the completion
// rule of a running drive program, reading drive variables and writing identified
// values, and the close-time question about identified values.

#include <cstdint>
#include <string>
#include <vector>

#include "host/ui/drive_test_dlg.h"
#include "identification/result_texts.h"

class CMC_Variable;
class QAbstractSlider;

class CMyTestDlg : public CMC_TestDlg {
    Q_OBJECT

  public:
    /// Every test but the two loop tuning tests (`loop_tuning` true) sets
    /// "ABSTART_MINMOVE" to 0 when the setup has it, so that the drive's start-up
    /// move does not disturb the test; nothing restores it.
    CMyTestDlg(CMC_Setup* setup, QWidget* layout, int flag, QWidget* parent,
               bool loop_tuning = false);
    ~CMyTestDlg() override;

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
    /// Binds a slider for trimming a controller gain or passband, when the setup has
    /// it: the slider spans half to one and a half times the value at opening, within
    /// the parameter's limits (`axis::SpanAroundValue`), so that a drag moves it in
    /// steps fine enough to tune by.
    bool AddTuningSlider(const char* name, QAbstractSlider* slider);

    /// Where a running drive program stands, by the completion rule.
    enum class ProgramState { kWaiting, kFinished, kFailed };
    /// The completion rule, run by a waiting step on its tick: "STARTED" 0 (not yet
    /// started) or the power stage still on (running) re-arms the 20 ms timer, with
    /// the motion error check on `mask` first (while the power stage is on only when
    /// `check_while_on`); "STARTED" nonzero with the power stage off is kFinished.
    /// Every failure has ended the test when kFailed comes back.
    ProgramState PollProgram(CMC_CoffFormat& program, std::uint16_t mask, bool check_while_on);

    /// Reads a result variable of `program`: a failed read ends the test with the
    /// host's reason, the no-value marker with the internal error text.
    bool ReadResultVariable(CMC_CoffFormat& program, const char* name, double& value);

    /// Reads the drive variable `name`: not found, the test fails with the internal
    /// error text; not readable, with the communication error text. Null then.
    CMC_Variable* ReadDriveVariable(const char* name);

    /// Writes an identified value (base unit) and keeps what the setup accepted
    /// (clamped to the limits) in `accepted`; redraws its controls. A parameter the
    /// setup lacks fails the test with the failure text as it is.
    bool WriteResult(const char* name, double value, double& accepted);

    /// The answer to the close-time question.
    enum class CloseAnswer { kNothingChanged, kYes, kNo, kCancel };
    /// Asks about the result parameters that print differently now than at opening
    /// (only after a successful test). On No, each parameter listed gets back its
    /// value at opening: the user declined the new values.
    CloseAnswer AskCloseConfirmation(const std::vector<orvex::ResultParameter>& results);
};
