#pragma once
// "Drive Setup": the main editor of a drive setup and the hub that opens every other
// editor dialog and the drive tests. It shows control mode, external reference,
// supply and current limit, the three controller gain sets, axis ID, protections,
// input polarities, software limits and start mode. At its first showing it opens
// the motor and load setup, so the user always meets the motor data first. OK
// recomputes every drive option from the parameters.

#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "editor/my_setup_dlg.h"

namespace Ui {
class DriveSetup;
}

class CDriveSetupDlg : public CMySetupDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262406;
    /// The one-shot timer that opens the motor setup once the dialog is shown.
    static constexpr int kMotorSetupTimerId = 2;
    static constexpr int kMotorSetupDelay_ms = 1;
    /// Axis IDs above the CANopen range (list positions 127 to 254: IDs 128 to 255).
    static constexpr int kFirstNonCanOpenIdIndex = 127;
    static constexpr int kLastNonCanOpenIdIndex = 254;
    static const char* const kCanOpenAxisIdWarning;

    /// What to do after a dialog opened from a button ended with OK (the options and
    /// parameters are always brought in step first).
    enum class AfterOk { RedrawAndReload, Reload, Redraw };

    /// A button that opens another dialog modally on the same setup. `open` is null
    /// while that dialog does not exist yet: the button then stays disabled and says so.
    struct SubDialog {
        QAbstractButton* button;
        int (*open)(CMC_Setup* setup, QWidget* parent);
        AfterOk after;
        bool ranges_before;  ///< the dependent ranges are brought up to date before it opens
        QString missing;     ///< the tooltip while it does not exist
    };

    CDriveSetupDlg(CMC_Setup* setup, QWidget* parent);
    ~CDriveSetupDlg() override;

    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnOK() override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    void OnTimer(int id) override;

    Ui::DriveSetup& Form() { return *ui_; }
    /// The buttons that open other dialogs, in the order of the form.
    const std::vector<SubDialog>& SubDialogs() const { return sub_dialogs_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Bind();
    void BuildSubDialogTable();
    void OpenSubDialog(const SubDialog& entry);
    void OpenMotorSetupAtFirstShowing();
    void AfterSubDialogOk(AfterOk after);
    void FillAxisIdList();
    void OnAxisIdChosen(int index);
    void SetInputsTypeAtOpening();
    void SetPolarityTexts(bool supply_referenced);
    void ShowDigitalReferenceType();
    void ApplyLoadRules();
    /// Enables a button that opens a dialog when `rule` allows it and the dialog exists.
    void EnableOpener(QAbstractButton* button, bool rule);

    std::unique_ptr<Ui::DriveSetup> ui_;
    std::vector<SubDialog> sub_dialogs_;
    /// The input type shown when the drive cannot be told (no programmable input
    /// type): it stays checked whatever the bound parameter says.
    std::optional<bool> fixed_sink_type_;
    /// The input type the polarity rows were last inverted for, so that clicking the
    /// type already chosen does not invert the wiring.
    std::optional<double> inputs_type_shown_;
};
