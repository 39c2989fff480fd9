#include "editor/inertia_question.h"

#include "ui_inertia_question.h"

CInertiaQuestion::CInertiaQuestion(CMC_Setup* setup, QWidget* parent)
    : CMySetupDlg(setup, new QWidget, 1, nullptr, parent),
      ui_(std::make_unique<Ui::InertiaQuestion>()) {
    ui_->setupUi(Layout());
}

CInertiaQuestion::~CInertiaQuestion() = default;

bool CInertiaQuestion::OnInitDialog() {
    return CMySetupDlg::OnInitDialog();
}

void CInertiaQuestion::DoDataExchange(bool save) {
    CMySetupDlg::DoDataExchange(save);
}

void CInertiaQuestion::OnOK() {
    CMySetupDlg::OnOK();
}
