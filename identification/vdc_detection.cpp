#include "identification/vdc_detection.h"

#include "compute/supply_voltage.h"
#include "host/setup/setup.h"
#include "identification/result_texts.h"
#include "ui_vdc_detection.h"

namespace {

constexpr const char* kProgram = "VDC_Detection_Test";

// Status texts by step index; the step count is the number of rows.
constexpr const char* kSteps[] = {"Launching test", "Running test"};
constexpr std::uint16_t kStepCount = 2;

// Only a short circuit stops this test: the power stage stays off, so a disabled
// ENABLE input does not matter.
constexpr std::uint16_t kMotionMask = orvex::kMotionMaskWithoutCurrent;

}  // namespace

CTestVdcDetection::CTestVdcDetection(CMC_Setup* setup, int flag, QWidget* parent)
    : CMyTestDlg(setup, new QWidget, flag, parent), ui_(std::make_unique<Ui::TestVdcDetection>()) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    SetStepTable(kSteps, kStepCount);
    {
        axis::ScopedSilentLookup silent;
        if (const CMC_Parameter* vdc = setup->FindParameter("Vdc"))
            vdc_at_open_V_ = vdc->GetValueInBaseUnit();
    }
    AddParameterControls("Vdc", ui_->vdcEdit, ui_->vdcUnit);
}

CTestVdcDetection::~CTestVdcDetection() = default;

bool CTestVdcDetection::OnInitDialog() {
    const bool ok = CMyTestDlg::OnInitDialog();
    program_.SetFileName(GetOutPathName(kProgram));
    program_.ReadCoff();  // a descriptor that fails to read makes Start fail with its reason
    return ok;
}

void CTestVdcDetection::BeginTest() {
    // The field stays empty until the measurement is in: the redraw of the controls
    // comes first so that it does not bring the old value back.
    UpdateData(false);
    ui_->vdcEdit->clear();
    ui_->vdcUnit->setCurrentIndex(-1);
    measured_ = false;
    StartRun();
    // A failed start leaves "Vdc" as it was: show it again in the cleared field.
    if (!LaunchProgram(kProgram, &program_, {})) RefreshParameterControls("Vdc");
}

void CTestVdcDetection::OnTestTick() {
    Measure();
    // A failed test leaves "Vdc" as it was: show it again in the cleared field.
    if (!running_ && outcome_ == Outcome::kFailed) RefreshParameterControls("Vdc");
}

void CTestVdcDetection::Measure() {
    if (step_index_ != kStepCount) {
        TestFailed(1);
        return;
    }
    if (!ProgramFinished(program_, kMotionMask, false)) return;
    const CMC_Variable* bus = ReadDriveVariable("var_u2");
    if (!bus) return;
    const auto vdc_V = orvex::SupplyVoltageFromCounts(GetSetup(), bus->GetValueInBaseUnit());
    if (!vdc_V) {
        Fail(msc_pszErrInternal);
        return;
    }
    double accepted_V = 0.0;
    if (!WriteResult("Vdc", *vdc_V, accepted_V)) return;
    measured_V_ = *vdc_V;
    measured_ = true;
    TestSucceeded(1);
}

void CTestVdcDetection::OnCancel() {
    double vdc_now_V = vdc_at_open_V_;
    {
        axis::ScopedSilentLookup silent;
        if (const CMC_Parameter* vdc = GetSetup()->FindParameter("Vdc"))
            vdc_now_V = vdc->GetValueInBaseUnit();
    }
    switch (AskCloseConfirmation(
        {{"Vdc", "Power supply", orvex::ResultFormat::kShortUpper, vdc_at_open_V_, vdc_now_V}})) {
        case CloseAnswer::kYes:
            EndDialog(1);
            return;
        case CloseAnswer::kCancel:
            return;
        case CloseAnswer::kNo:
        case CloseAnswer::kNothingChanged:
            CMyTestDlg::OnCancel();
            return;
    }
}

std::vector<CMyTestDlg::IdentifiedValue> CTestVdcDetection::IdentifiedValues() const {
    if (!measured_) return {};
    return {{"Vdc", measured_V_, "V"}};
}
