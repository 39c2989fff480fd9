#pragma once
// The base of every setup editor and test dialog: a modal dialog on a setup whose
// controls are bound to parameters by name. The host keeps bound controls and
// parameters in step, calls the module's hooks after user changes, runs window
// timers, the guideline assistant and the help viewer.
//
// A user change is committed on Enter or focus loss (edit field), click (check box,
// radio button), selection (list) or release (slider). A value outside the
// parameter's range is refused with a message naming the range in the shown unit and
// the old value comes back. An accepted change writes the value, then calls
// OnChangedParameterValue, then redraws the parameter's controls, then calls
// OnRefreshParameterValue, once; a spin button press is such a change. Redraws made
// by the program (RefreshParameterControls, RefreshAllParameters, UpdateData(false))
// never call the hooks.

#include <QDialog>
#include <QPointer>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/ui/parameter_binding.h"

class CMC_Setup;
class QAbstractButton;
class QAbstractSlider;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace axis {
class ParameterBinding;
struct SliderSpan;
class GuidelineAssistant;
class CanSettings;
class MotorEditor;
}  // namespace axis

class CMC_EditSetupDlg : public QDialog {
    Q_OBJECT

  public:
    /// `layout` is the dialog's form: a widget the dialog takes over as its body; the
    /// caller fills it from its Designer form (`ui->setupUi(Layout())`) before or after
    /// this constructor. Its window title becomes the dialog's. `flag` is kept as given
    /// (the module always passes 1). `guidelines` is a null-ended list of texts for
    /// the guideline assistant, or null.
    CMC_EditSetupDlg(CMC_Setup* setup, QWidget* layout, int flag, const char* const* guidelines,
                     QWidget* parent);
    ~CMC_EditSetupDlg() override;

    CMC_Setup* GetSetup() const { return setup_; }
    QWidget* Layout() const { return layout_; }
    int GetFlag() const { return flag_; }

    // --- bindings -------------------------------------------------------------------
    // Each returns false (and binds nothing) when the setup has no such parameter or a
    // control is missing.

    /// An edit field showing the value in the display unit; `unit` (may be null) lists
    /// the units of the parameter's type and selects the display unit.
    bool AddParameterControls(const char* name, QLineEdit* edit, QComboBox* unit = nullptr);
    /// A check box: 0 or 1.
    bool AddCheckParameterControls(const char* name, QAbstractButton* check);
    /// A run of radio buttons from `first` to `last` in the order their common parent
    /// holds them (Designer order); the value is the index of the chosen button.
    bool AddSwitchParameterControls(const char* name, QAbstractButton* first,
                                    QAbstractButton* last);
    /// The same with the buttons given one by one.
    bool AddSwitchParameterControls(const char* name, std::vector<QAbstractButton*> buttons);
    /// A slider spanning the parameter's range in `steps` equal steps.
    bool AddSliderParameterControls(const char* name, QAbstractSlider* slider, int steps = 100);
    /// A slider spanning the fixed `span` (base unit) in `steps` equal steps, with the
    /// group's spin buttons when given: each press moves the value by one slider step.
    bool AddSliderParameterControls(const char* name, QAbstractSlider* slider,
                                    const axis::SliderSpan& span, int steps = 100,
                                    axis::SpinButtons spin = {});
    /// A drop-down list whose entries carry parameter values as item data; the value
    /// is the chosen entry's data.
    bool AddListParameterControls(const char* name, QComboBox* list);

    // --- hooks ----------------------------------------------------------------------
    /// After a user changed the value of a bound parameter.
    virtual void OnChangedParameterValue(const char* name);
    /// After a user chose another display unit for a bound parameter.
    virtual void OnChangedParameterUnit(const char* name);
    /// After the controls of a user-changed parameter were redrawn.
    virtual void OnRefreshParameterValue(const char* name);

    // --- redraws and data exchange --------------------------------------------------
    /// Redraws the controls bound to `name` from the parameter.
    void RefreshParameterControls(const char* name);
    /// Redraws every bound control.
    void RefreshAllParameters();
    /// Redraws the controls of every parameter whose unit type is that of `unit`.
    void RefreshAllParametersWithCompatibleUnits(const char* unit);
    /// save false: DoDataExchange(false) (redraws, then the dialog's enable and
    /// visibility rules). save true: commits every edit field that holds an uncommitted
    /// text, then DoDataExchange(true); false when a value was refused.
    bool UpdateData(bool save = true);
    /// Load direction: redraws every bound control. Dialogs override it to apply their
    /// rules after calling this one.
    virtual void DoDataExchange(bool save);

    // --- controls -------------------------------------------------------------------
    void EnableChild(QWidget* child, bool enable = true);
    void ShowChild(QWidget* child, bool show = true);
    void EnableChildren(std::initializer_list<QWidget*> children, bool enable = true);
    void ShowChildren(std::initializer_list<QWidget*> children, bool show = true);
    /// Sets the text of a label, button, group box, edit field or list.
    void SetChildText(QWidget* child, const QString& text);

    // --- window timers --------------------------------------------------------------
    /// Starts (or restarts) the repeating timer `id`; OnTimer(id) runs at each tick
    /// until KillTimer(id).
    void SetTimer(int id, int period_ms);
    void KillTimer(int id);
    bool IsTimerRunning(int id) const;
    virtual void OnTimer(int id);
    /// Dispatches everything pending (user input, timers, repaints) and returns. Code
    /// that waits inside a handler calls it in its loop; anything, including this
    /// dialog's own handlers, may run nested inside.
    static void PumpMessages();

    // --- modal run ------------------------------------------------------------------
    /// Initialises the dialog and runs it through the modal seam. 1 when the user
    /// confirmed (OK), else 0.
    int DoModal();
    /// Ends the modal run with `result` (1 confirm, 0 cancel).
    void EndDialog(int result);
    /// Runs at the start of DoModal: loads the controls. Overrides call it first.
    virtual bool OnInitDialog();
    /// OK: commits pending input; ends with 1 unless a value was refused.
    virtual void OnOK();
    /// Cancel (button, Escape, window close): ends with 0.
    virtual void OnCancel();
    /// Help (button, F1): the help page for the dialog's context number.
    virtual void OnHelp();
    void SetHelpContext(int context) { help_context_ = context; }
    int GetHelpContext() const { return help_context_; }

    // --- guideline assistant --------------------------------------------------------
    int GetGuidelineCount() const;
    int GetGuidelineStep() const;
    void SetGuidelineStep(int step);

    // --- host editors ---------------------------------------------------------------
    /// Gives the host's motor database editor the "Database" and "Motor" lists and the
    /// "Save to User Database" and "Delete" buttons. Choosing a motor fills the motor
    /// parameters ("In", "ImaxM", "K", "R", "L", "Jm", "NoMotorSteps") as user changes
    /// and reloads the controls.
    void InitializeMotorEditor(QComboBox* database, QComboBox* motor, QAbstractButton* save,
                               QAbstractButton* remove);
    axis::MotorEditor* GetMotorEditor() const { return motor_editor_.get(); }
    /// Binds the baud-rate list to the setup setting "CANBaudRate" (bit/s).
    void EnableCANSettings(QComboBox* baud_rate, QAbstractButton* canopen_settings = nullptr);

    /// Writes `base_value` as a change the user made: the value (limited to the
    /// range), then the hooks and the redraw as for a typed value. False when the
    /// setup has no such parameter.
    bool ChangeParameterValue(const char* name, double base_value);

    /// Whether a hook call is in progress (the hooks must not be re-entered by the
    /// redraws they cause).
    bool InUserChange() const { return user_change_depth_ > 0; }

    /// OK and Cancel as Qt names them, routed to OnOK and OnCancel.
    void accept() override;
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    friend class axis::ParameterBinding;
    // Called by the bindings with a value the user entered, in base unit.
    bool CommitUserValue(axis::ParameterBinding& binding, double base_value);
    void CommitUserUnit(axis::ParameterBinding& binding, const std::string& unit);
    void Refuse(axis::ParameterBinding& binding, const QString& message);
    void ConnectStandardButtons();

    CMC_Setup* setup_;
    QWidget* layout_;
    int flag_;
    int help_context_ = 0;
    std::vector<std::unique_ptr<axis::ParameterBinding>> bindings_;
    std::map<int, QTimer*> timers_;
    std::unique_ptr<axis::GuidelineAssistant> guidelines_;
    std::unique_ptr<axis::CanSettings> can_settings_;
    std::unique_ptr<axis::MotorEditor> motor_editor_;
    int user_change_depth_ = 0;
    std::vector<std::string> guideline_texts_;
    bool standard_buttons_connected_ = false;
};
