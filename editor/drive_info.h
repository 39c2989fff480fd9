#pragma once
// "Drive info": identity and electrical characteristics of the drive the setup is
// made for, and the drive's own protections. The drive data are locked; a hidden key
// chord (Ctrl+Alt+Shift+E) unlocks them for editing. OK writes the identity back to
// the setup and recomputes the options.

#include <memory>

#include "editor/my_setup_dlg.h"

namespace Ui {
class DriveInfo;
}

class CDriveInfo : public CMySetupDlg {
    Q_OBJECT

  public:
    /// The chord that flips the editing flag: all three modifiers held while the
    /// letter goes down.
    static constexpr Qt::KeyboardModifiers kChordModifiers =
        Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
    static constexpr Qt::Key kChordKey = Qt::Key_E;
    /// Help context of the dialog's page (F1).
    static constexpr int kHelpContext = 262420;
    /// The longest application ID the setup keeps.
    static constexpr int kAppIdMaxLength = 40;

    CDriveInfo(CMC_Setup* setup, QWidget* parent);
    ~CDriveInfo() override;

    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnOK() override;

    /// Whether the drive data are unlocked for editing.
    bool IsEditing() const { return editing_; }
    Ui::DriveInfo& Form() { return *ui_; }

  protected:
    /// Sees every key before the dialog's controls do, for the chord.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnProtectionCheckClicked();
    void ApplyLoadRules();

    std::unique_ptr<Ui::DriveInfo> ui_;
    bool editing_ = false;
};
