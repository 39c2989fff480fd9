#include "editor/motor_setup_dlg.h"

#include "ui_motor_setup.h"

CMotorSetupDialog::CMotorSetupDialog(CMC_Setup* setup, QWidget* parent)
    : CMySetupDlg(setup, new QWidget, 1, nullptr, parent), ui_(std::make_unique<Ui::MotorSetup>()) {
    ui_->setupUi(Layout());
    SetHelpContext(kHelpContext);
}

CMotorSetupDialog::~CMotorSetupDialog() = default;

bool CMotorSetupDialog::OnInitDialog() {
    return CMySetupDlg::OnInitDialog();
}

void CMotorSetupDialog::DoDataExchange(bool save) {
    CMySetupDlg::DoDataExchange(save);
}

void CMotorSetupDialog::OnOK() {
    CMySetupDlg::OnOK();
}

void CMotorSetupDialog::OnChangedParameterValue(const char* name) {
    CMySetupDlg::OnChangedParameterValue(name);
}

void CMotorSetupDialog::OnRefreshParameterValue(const char* name) {
    CMySetupDlg::OnRefreshParameterValue(name);
}
