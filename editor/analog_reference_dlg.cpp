#include "editor/analog_reference_dlg.h"

#include "ui_analog_reference.h"

CAnalogReferenceDlg::CAnalogReferenceDlg(CMC_Setup* setup, QWidget* parent)
    : CMySetupDlg(setup, new QWidget, 1, nullptr, parent),
      ui_(std::make_unique<Ui::AnalogReference>()) {
    ui_->setupUi(Layout());
    SetHelpContext(kHelpContext);
}

CAnalogReferenceDlg::~CAnalogReferenceDlg() = default;

bool CAnalogReferenceDlg::OnInitDialog() {
    return CMySetupDlg::OnInitDialog();
}

void CAnalogReferenceDlg::DoDataExchange(bool save) {
    CMySetupDlg::DoDataExchange(save);
}

void CAnalogReferenceDlg::OnChangedParameterValue(const char* name) {
    CMySetupDlg::OnChangedParameterValue(name);
}

void CAnalogReferenceDlg::OnChangedParameterUnit(const char* name) {
    CMySetupDlg::OnChangedParameterUnit(name);
}

void CAnalogReferenceDlg::OnRefreshParameterValue(const char* name) {
    CMySetupDlg::OnRefreshParameterValue(name);
}
