#include "editor/inertia_question.h"

#include "editor/editor_helpers.h"
#include "ui_inertia_question.h"

CInertiaQuestion::CInertiaQuestion(CMC_Setup* setup, QWidget* parent)
    : CMySetupDlg(setup, new QWidget, 1, nullptr, parent),
      ui_(std::make_unique<Ui::InertiaQuestion>()) {
    ui_->setupUi(Layout());
    Ui::InertiaQuestion& f = *ui_;
    connect(f.increaseRadio, &QAbstractButton::clicked, this, [this] {
        choice_ = kIncreaseTotalInertia;
        UpdateData(false);
    });
    connect(f.disregardRadio, &QAbstractButton::clicked, this, [this] {
        choice_ = kDisregardMotorInertia;
        UpdateData(false);
    });
}

CInertiaQuestion::~CInertiaQuestion() = default;

bool CInertiaQuestion::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    ui_->okButton->setDefault(true);
    return true;
}

void CInertiaQuestion::DoDataExchange(bool save) {
    CMySetupDlg::DoDataExchange(save);
    if (save) return;
    ui_->increaseRadio->setChecked(choice_ == kIncreaseTotalInertia);
    ui_->disregardRadio->setChecked(choice_ == kDisregardMotorInertia);
}

void CInertiaQuestion::OnOK() {
    CMC_Setup* setup = GetSetup();
    if (choice_ == kIncreaseTotalInertia) {
        // A hair above the motor's own, so the load's share stays positive.
        setup->SetParameterValueInBaseUnit("Jt", setup->GetParameterValueInBaseUnit("Jm") * 1.01);
    } else {
        setup->SetParameterValueInBaseUnit("isMotorInertiaUnknown", 1.0);
    }
    EndDialog(1);
}
