#pragma once
// The base of every test dialog: a setup dialog that runs drive programs. It holds
// the test state that the module's test dialogs read and write directly, the
// Start/Stop button, the status line, the result and its "Details", and reaches the
// drive through the setup's connection (ExecuteCode, program variables, power stage).
//
// The form of a test dialog provides, by object name: "startStopButton",
// "statusLabel", "resultLabel" and "detailsButton" (each optional).

#include <cstdint>
#include <string>

#include "host/ui/edit_setup_dlg.h"

class CMC_CoffFormat;
class CMC_Logger;
class QAbstractButton;
class QLabel;

class CMC_TestDlg : public CMC_EditSetupDlg {
    Q_OBJECT

  public:
    /// The host's text for a failure the user cannot act on (a program that did not
    /// start, a variable missing, a failed upload ...).
    static const char* const msc_pszErrInternal;
    /// The text for a preliminary program that found no usable test input.
    static const char* const msc_pszErrInZero;

    /// How the last test ended: undecided while none has ended since Start (or ever).
    enum class Outcome : int32_t { kUndecided = -1, kFailed = 0, kSucceeded = 1 };

    CMC_TestDlg(CMC_Setup* setup, QWidget* layout, int flag, QWidget* parent);
    /// A program still running when the dialog goes is stopped.
    ~CMC_TestDlg() override;

    /// The descriptor path of the drive program `name` (empty for a name that is not
    /// a plain program name).
    static std::string GetOutPathName(const char* name);

    /// Runs when the user presses Start. The base does nothing.
    virtual void BeginTest();
    /// Start/Stop: Start runs BeginTest. Stop of a test that runs until stopped sets
    /// the stop request for the dialog to act on; Stop of any other test clears the
    /// running flag and stops the drive program.
    virtual void OnBtnStartStop();

    /// Writes every option of the setup to the drive, sets up `logger` (or switches
    /// the logger off) and starts the drive program `name`; `program`, when given,
    /// is that program's descriptor, read first when it has not been. Nonzero when
    /// the program started.
    int ExecuteCode(const char* name, CMC_CoffFormat* program, CMC_Logger* logger,
                    void* reserved1 = nullptr, void* reserved2 = nullptr);
    /// Reads a variable of `program` (drive units); nonzero on success, else `error`
    /// holds the reason. A value that is not a number reads as the no-value marker.
    int GetUserVariableValue(CMC_CoffFormat* program, const char* name, double& value,
                             std::string& error);
    /// Writes a variable of `program` (drive units); nonzero on success, else `error`
    /// holds the reason.
    int SetUserVariableValue(CMC_CoffFormat* program, const char* name, double value,
                             std::string& error);
    /// Whether the power stage is on; nonzero on success.
    int GetAxisOn(int& on);

    /// Shows `text` in the status line and advances the step index by one.
    void SetInfoText(const char* text);
    /// `end` 1: the test ends successfully (no longer running, outcome succeeded). 0:
    /// the last result is shown again.
    void TestSucceeded(int end);
    /// `end` 1: the test ends with the failure text shown (no longer running, outcome
    /// failed). 0: the last result is shown again.
    void TestFailed(int end);

    // What the dialog shows, for the host and for tests.
    QString StatusText() const;
    QString ResultText() const;
    /// The failure text and what the drive said about it.
    QString DetailsText() const;

    bool OnInitDialog() override;
    /// Closing while a test runs stops the drive program first.
    void done(int result) override;

  protected:
    // --- test state, read and written by the test dialogs ---------------------------
    bool running_ = false;                   ///< while a test runs; the timer does nothing else
    Outcome outcome_ = Outcome::kUndecided;  ///< set undecided by BeginTest
    uint16_t step_index_ = 0;                ///< advanced by SetInfoText
    uint16_t step_count_ = 0;                ///< rows of the dialog's step table
    std::string failure_text_;               ///< the reason, set before TestFailed
    bool continuous_ = false;                ///< the test runs until the user stops it
    bool stop_request_ = false;              ///< set by Stop in a continuous test

  private:
    void ShowResult();
    void UpdateStartStop();
    void StopProgramQuietly();

    QAbstractButton* start_stop_button_ = nullptr;
    QLabel* status_label_ = nullptr;
    QLabel* result_label_ = nullptr;
    QAbstractButton* details_button_ = nullptr;
    QString status_;
    /// What the drive layer said about the last failed drive access, for "Details".
    std::string drive_detail_;
};
