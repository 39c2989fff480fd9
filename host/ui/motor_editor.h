#pragma once
// The host's motor database editor in a motor setup dialog: a "Database" list (the
// shipped generic motors, read-only, and the user's own), a "Motor" list, "Save to
// User Database" and "Delete". Choosing a motor writes its values into the setup as
// if the user had typed them, so the dialog's hooks recompute what depends on them.

#include <QObject>
#include <QString>
#include <vector>

#include "host/ui/motor_database.h"

class CMC_EditSetupDlg;
class QAbstractButton;
class QComboBox;

namespace axis {

class MotorEditor : public QObject {
  public:
    enum Database { kShipped = 0, kUser = 1 };

    MotorEditor(CMC_EditSetupDlg& dialog, QComboBox* database, QComboBox* motor,
                QAbstractButton* save, QAbstractButton* remove);

    void SelectDatabase(int database);
    /// Fills the setup from motor `index` of the selected database.
    void ChooseMotor(int index);
    /// Asks for a name and stores the setup's motor values in the user database.
    bool SaveToUserDatabase();
    /// Asks, then deletes the chosen motor from the user database.
    bool DeleteChosenMotor();

    const MotorDatabase& GetDatabase(int database) const { return databases_[database]; }

  private:
    void FillMotorList();
    void UpdateButtons();
    MotorDatabase& Selected() { return databases_[selected_]; }

    CMC_EditSetupDlg& dialog_;
    QComboBox* database_;
    QComboBox* motor_;
    QAbstractButton* save_;
    QAbstractButton* remove_;
    MotorDatabase databases_[2];
    int selected_ = kShipped;
};

}  // namespace axis
