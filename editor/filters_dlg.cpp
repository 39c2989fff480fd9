#include "editor/filters_dlg.h"

#include "ui_filters.h"

CFiltersDialog::CFiltersDialog(CMC_Setup* setup, int running, QWidget* parent)
    : CMySetupDlg(setup, new QWidget, 1, nullptr, parent),
      ui_(std::make_unique<Ui::Filters>()),
      running_(running) {
    ui_->setupUi(Layout());
}

CFiltersDialog::~CFiltersDialog() = default;

bool CFiltersDialog::OnInitDialog() {
    return CMySetupDlg::OnInitDialog();
}

void CFiltersDialog::DoDataExchange(bool save) {
    CMySetupDlg::DoDataExchange(save);
}
