#pragma once
// "Motor inertia": asked by the speed and position tuning tests when the motor's
// inertia exceeds the total inertia (motor + load) set so far. The user either raises
// the total inertia to the motor's or tells the tests to disregard the motor inertia.

#include <memory>

#include "editor/my_setup_dlg.h"

namespace Ui {
class InertiaQuestion;
}

class CInertiaQuestion : public CMySetupDlg {
    Q_OBJECT

  public:
    /// The user's choice.
    enum Choice { kIncreaseTotalInertia = 1, kDisregardMotorInertia = 2 };

    CInertiaQuestion(CMC_Setup* setup, QWidget* parent);
    ~CInertiaQuestion() override;

    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnOK() override;

    int GetChoice() const { return choice_; }
    Ui::InertiaQuestion& Form() { return *ui_; }

  private:
    std::unique_ptr<Ui::InertiaQuestion> ui_;
    int choice_ = kIncreaseTotalInertia;
};
