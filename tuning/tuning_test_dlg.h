#pragma once
// The run shared by the speed and the position controller tuning dialogs: a
// preliminary program aligns the motor and finds the reference voltage, then the
// tuning program moves it along a six-segment reference profile, once or until Stop,
// while the reference and the response are recorded and shown in one of three ways:
// the data logger (uploaded after the run), a polled on-line oscilloscope, or the
// drive's own scope, whose frames arrive as unsolicited messages.
//
// A dialog is this base plus a table of names (TuningNames) and what really differs:
// its controls, its parameter hooks, its gains, its capture settings and channel
// scales, and the limit inputs of its test program.
//
// Nested work: the on-line oscilloscope, scope and upload loops run inside one timer
// tick and pump messages on every pass, so Stop, pause, continue, page changes and
// live gain writes are handled from inside them; each loop re-reads the flags after
// pumping.

#include <QAbstractButton>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "host/drive/coff_format.h"
#include "identification/my_test_dlg.h"
#include "tuning/reference_segments.h"

class CGraphWindow;
class CMC_Oscilloscope;
class CMC_ScopeLogger;
class CMC_SingleAxisLogger;
class QAbstractSlider;
class QComboBox;
class QLineEdit;
class QLabel;
class QTabWidget;

namespace orvex::tuning {

class ScopeFeed;
struct CaptureSettings;

/// The names that tell the speed dialog's run from the position dialog's.
struct TuningNames {
    const char* final_value;           ///< "TestSpeed": the profile's final value
    const char* ramp_up;               ///< "TaPS"
    const char* hold;                  ///< "TPS"
    const char* ramp_down;             ///< "TaNS"
    const char* pause;                 ///< "TNS"
    const char* multi_cycle;           ///< "MultiCycleS"
    const char* online_plot;           ///< "OnlinePlotS"
    const char* reference_type;        ///< "SpeedTestReferenceType": the value read
    const char* reference_type_probe;  ///< the parameter whose presence enables it
    const char* osc_settings;          ///< "SpeedTuningOscSettings": saved scope settings
    const char* file_preset;           ///< "SpeedTuning": offered file name
    const char* procedure;             ///< the "Test procedure" text
    ReferenceKind kind;
    /// Drive counts per base unit of the final value (per speed-loop sample for a speed).
    double (*counts_per_unit)(const CMC_Setup* setup);
    /// What the on-line oscilloscope shows: channel 1 and channel 2.
    const char* oscilloscope_reference;  ///< "Speed_Reference"
    const char* oscilloscope_response;   ///< "Load_Speed"
};

/// The controls of a tuning dialog's form that the run drives. Any may be null.
struct TuningControls {
    QTabWidget* pages = nullptr;  ///< page 0 "Test Parameters", page 1 "Test"
    QWidget* graph_frame = nullptr;
    QWidget* oscilloscope_frame = nullptr;
    QAbstractButton* pause = nullptr;
    QAbstractButton* resume = nullptr;  ///< "continue"
    QAbstractButton* data_logger = nullptr;
    QAbstractButton* online_plot = nullptr;
    QAbstractButton* save_plots = nullptr;
    QAbstractButton* ok = nullptr;
    QAbstractButton* identify = nullptr;
    QAbstractButton* details = nullptr;
    QLabel* procedure = nullptr;
    /// The on-line read-outs: captions, values and colour swatches.
    QLabel* reference_caption = nullptr;
    QLabel* reference_value = nullptr;
    QLabel* response_caption = nullptr;
    QLabel* response_value = nullptr;
    QWidget* reference_swatch = nullptr;
    QWidget* response_swatch = nullptr;
};

}  // namespace orvex::tuning

class CTuningTestDlg : public CMyTestDlg {
    Q_OBJECT

  public:
    /// The pages of the tabs.
    static constexpr int kParametersPage = 0;
    static constexpr int kTestPage = 1;
    /// The host graph's private message asking for another channel scale.
    static constexpr unsigned kChannelScaleMessage = 0x467;

    /// The status texts (rows 0-5) and the protection failure text (row 6).
    static const char* const kSteps[7];
    static const char* const kProtectionTrippedText;
    static const char* const kLimitAboveProtectionText;

    /// How the run shows its signals.
    enum class DisplayMode { kDataLogger, kOnlineOscilloscope, kScope };

    ~CTuningTestDlg() override;

    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    /// Start: the preliminary program first (see SkipPreliminary).
    void BeginTest() override;
    /// Stop while the scope streams ends the streaming first.
    void OnBtnStartStop() override;
    void OnTimer(int id) override;

    // --- commands ---------------------------------------------------------------------
    void OnPause();
    void OnContinue();
    /// "S&ave Plots": the shown graph as PNG or SVG, or its points as CSV, by the
    /// suffix chosen; the recorded run itself as JSON.
    void OnSavePlots();
    /// The scope graph's context menu.
    enum class GraphCommand {
        kScopeSettings,
        kAutoscale,
        kDefaultSettings,
        kLoad,
        kSave,
        kSavePlots,
        kPictureFile,
        kTextExport
    };
    void OnGraphCommand(GraphCommand command);
    /// The channel scale request: `control` the graph that asks, `packed` the channel
    /// in the low 16 bits and the signed step in the high 16 bits. Always 0.
    int OnChannelScaleRequest(QWidget* control, std::uint32_t packed);

    /// OK: the test's current limits become the setup's; customised scope settings are
    /// kept for the next opening, others forgotten.
    void OnOK() override;
    /// "Identify": the total inertia test on the same setup; the ratio follows.
    void OnIdentify();
    /// "Filters": the filters dialog on options in step with the parameters, written
    /// to the running drive on OK.
    void OnFilters();
    static const char* const kInertiaBelowMotorText;

    // --- what the run shows, for reports and tests --------------------------------------
    const orvex::tuning::TuningNames& Names() const { return names_; }
    DisplayMode Mode() const;
    CMC_SingleAxisLogger* DataLogger() const { return data_logger_.get(); }
    CMC_ScopeLogger* ScopeLogger() const { return scope_logger_.get(); }
    CGraphWindow* LoggerGraph() const { return logger_graph_; }
    CGraphWindow* ScopeGraph() const { return scope_graph_; }
    CMC_Oscilloscope* Oscilloscope() const { return oscilloscope_; }
    orvex::tuning::ScopeFeed* Feed() const { return feed_.get(); }
    bool ScopeSettingsCustomised() const { return customised_; }
    bool Paused() const { return paused_; }
    const std::string& ProgramName() const { return program_name_; }
    const std::vector<std::string>& LoggedVariables() const { return logged_; }
    /// The signals the data logger recorded in the last run, one column per logged
    /// variable after the time (drive units); empty before an upload.
    struct LoggedRun {
        std::vector<double> time_s;
        std::vector<std::vector<double>> columns;  ///< in LoggedVariables() order
    };
    LoggedRun LastLoggedRun() const;

  protected:
    /// `active` is the dialog class's own module-wide slot for the one dialog whose
    /// scope receives frames. `program_name` the tuning program, `logged` the four
    /// logged variables (reference, response, then the inner loop's pair).
    CTuningTestDlg(CMC_Setup* setup, QWidget* layout, int flag, QWidget* parent,
                   const orvex::tuning::TuningNames& names, CTuningTestDlg*& active,
                   std::string program_name, std::vector<std::string> logged);

    /// Call once the form is set up, before OnInitDialog.
    void AttachControls(const orvex::tuning::TuningControls& controls);
    /// A controller gain's field, unit (or none), slider and spin buttons (or none);
    /// bound only when the setup has the gain, the slider over the tuning span around
    /// its value at opening.
    struct GainControls {
        const char* name;
        QLineEdit* edit;
        QAbstractSlider* slider;
        QComboBox* unit;
        axis::SpinButtons spin = {};
    };
    void BindGains(std::initializer_list<GainControls> gains);
    /// The same for a form whose controls carry the names both tuning forms share;
    /// "Tune" runs `on_tune`, "Identify" and "Filters" the common commands.
    template <class Form, class Tune>
    void AttachForm(Form& f, Tune on_tune) {
        orvex::tuning::TuningControls c;
        c.pages = f.pageTabs;
        c.graph_frame = f.graphFrame;
        c.oscilloscope_frame = f.oscilloscopeFrame;
        c.pause = f.pauseButton;
        c.resume = f.continueButton;
        c.data_logger = f.dataLoggerRadio;
        c.online_plot = f.onlinePlotRadio;
        c.save_plots = f.savePlotsButton;
        c.ok = f.okButton;
        c.identify = f.identifyButton;
        c.details = f.detailsButton;
        c.procedure = f.procedureLabel;
        c.reference_caption = f.referenceCaption;
        c.reference_value = f.referenceValue;
        c.response_caption = f.responseCaption;
        c.response_value = f.responseValue;
        c.reference_swatch = f.referenceSwatch;
        c.response_swatch = f.responseSwatch;
        AttachControls(c);
        connect(f.tuneButton, &QAbstractButton::clicked, this, on_tune);
        connect(f.identifyButton, &QAbstractButton::clicked, this, [this] { OnIdentify(); });
        connect(f.filtersButton, &QAbstractButton::clicked, this, [this] { OnFilters(); });
    }
    const orvex::tuning::TuningControls& Controls() const { return controls_; }

    /// The parameter `name` silently looked up: whether the setup has it.
    bool Has(const char* name) const;
    /// The setup's value of `name` truncated; 0 when it has no such parameter.
    int IntOf(const char* name) const;
    /// Moves the final value onto a whole number of counts and writes it back.
    void QuantiseFinalValue();
    /// The reference type (0 when the setup has none).
    int ReferenceType() const;
    /// Page change by the user; refusals put the tab back.
    void OnPageChanged(int page);
    int ShownPage() const { return shown_page_; }
    /// Whether the scope logger exists (the setup's "hasOscilloscope").
    bool HasScope() const { return scope_logger_ != nullptr; }

    // --- what a dialog supplies ---------------------------------------------------------
    /// Writes the test program's inputs that come before the segment table ("RefTest"
    /// and the limits). False has ended the test.
    virtual bool WriteLeadingInputs(CMC_CoffFormat& program) = 0;
    /// Inputs after "MultiC"; false has ended the test.
    virtual bool WriteTrailingInputs(CMC_CoffFormat& program) {
        (void)program;
        return true;
    }
    /// True when Start may go straight to the test program (the position dialog after
    /// a success on the same page).
    virtual bool SkipPreliminary() { return false; }
    /// A run ended well in `mode`.
    virtual void OnRunSucceeded(DisplayMode mode) { (void)mode; }
    /// The scope's capture window and trigger, and its channel scales, from the setup;
    /// called only while the scope settings are not customised.
    virtual void ApplyCaptureSettings() = 0;
    virtual void ApplyChannelScales() = 0;
    /// After the common page handling: the dialog shows its own controls for `page`.
    virtual void OnPageShown(int page) { (void)page; }

    // --- what both dialogs do alike (tuning_dialog_commands.cpp) ------------------------
    /// "isMotorInertiaUnknown" is 0: the total inertia and "Jload_over_J" follow each
    /// other.
    bool InertiaKnown() const;
    /// At dialog start: a motor inertia above the total makes the user say which to
    /// believe (CInertiaQuestion); then the ratio follows the total as it stands.
    void CheckInertiaAtStart();
    /// "Jload_over_J" from "Jt" and "Jm" (`from_total`), or "Jt" from the ratio; to
    /// three decimals.
    void FollowInertia(bool from_total);
    /// After the user set "Jt": a total below the motor's own inertia means the motor
    /// inertia is not known after all; the user is told.
    void WarnIfInertiaBelowMotor();
    /// Shows the profile picture of the reference type (positive, negative,
    /// bidirectional; any other type is positive) in `control`.
    void ShowProfilePicture(QLabel* control, const char* const (&pictures)[3]);
    /// The current channels of the scope: a third of the test's current limit per
    /// division.
    void CurrentChannelScale();

    /// Writes `value` into program variable `name`; false has ended the test.
    bool WriteInput(CMC_CoffFormat& program, const char* name, double value);
    /// Capture settings by the rules of the dialog, applied to the scope.
    void ApplyCapture(const orvex::tuning::CaptureSettings& settings);
    /// Gives `variables` the division and offset, in the unit chosen for `unit_of`.
    void RescaleChannels(std::initializer_list<const char*> variables, const char* unit_of,
                         double division, double offset);

    CMC_CoffFormat preliminary_program_;
    CMC_CoffFormat test_program_;
    double reference_test_value_ = 0.0;  ///< "REFTST_V" after the preliminary program

  private:
    void Step();
    void WaitPreliminary();
    void LaunchTestProgram();
    bool WriteSegmentTable(std::int32_t final_counts);
    void StepRunning();
    void StepRunningOnce();
    void StepRunningRepeated();
    void RunOscilloscope();
    void RunScope();
    void StepUpload();
    /// The test-flag check: "test_flag" above 0 passes; `fail` ends the test otherwise.
    bool CheckTestFlag(bool fail);
    void StopDriveProgram();
    void SetUpDataLogger();
    void SetUpScopeOrOscilloscope();
    void DefaultScopeSetup();
    /// The scope graph's curves, background and legend place.
    void DefaultScopeGraph();
    void SubclassScopeGraph();
    void AfterScopeChange();
    void ShowScopeMenu(const QPoint& global);
    void ShowPage(int page);
    bool PromptFile(bool open, const QString& filter, QString& path);
    int OnlinePlot() const { return IntOf(names_.online_plot); }
    int MultiCycle() const { return IntOf(names_.multi_cycle); }

    const orvex::tuning::TuningNames& names_;
    CTuningTestDlg*& active_;
    std::string program_name_;
    std::vector<std::string> logged_;
    orvex::tuning::TuningControls controls_;

    std::unique_ptr<CMC_SingleAxisLogger> data_logger_;
    std::unique_ptr<CMC_ScopeLogger> scope_logger_;
    CGraphWindow* logger_graph_ = nullptr;  ///< owned by its frame (or this dialog)
    CGraphWindow* scope_graph_ = nullptr;   ///< owned by its frame (or this dialog)
    CMC_Oscilloscope* oscilloscope_ = nullptr;
    std::unique_ptr<orvex::tuning::ScopeFeed> feed_;
    bool customised_ = false;
    bool paused_ = false;
    int shown_page_ = kParametersPage;
    bool switching_page_ = false;
};
