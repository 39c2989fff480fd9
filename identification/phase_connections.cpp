#include "identification/phase_connections.h"

#include <cmath>
#include <cstdio>

#include "compute/identification.h"
#include "host/setup/setup.h"
#include "host/setup/variable.h"
#include "ui_phase_connections.h"

namespace {

constexpr const char* kPhaseProgram = "Motor_Phase_Connection_Test";
constexpr const char* kPreliminaryProgram = "Initial_Positioning_Test";

// Status texts by step index; the step count is the number of rows.
constexpr const char* kSteps[] = {
    "Launching the application for preliminary test",
    "Waiting preliminary test to be finished",
    "Launching the application for test",
    "Running test",
    "Finished test",
};
constexpr std::uint16_t kStepCount = 5;
enum Step : std::uint16_t { kWaitPreliminary = 2, kLaunchPhase = 3, kWaitPhase = 4 };

// The test drives motor current: a short circuit or a disabled ENABLE input ends it.
constexpr std::uint16_t kMotionMask = orvex::kMotionMaskWithCurrent;

QString ShortNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3G", value);
    return QString::fromLatin1(text);
}

}  // namespace

const char* const CTestPhaseConnections::kConnectionFailureText =
    "Possible causes of failure:\n\t- one of the motor phases is disconnected\n\t- the motor "
    "phases are unbalanced (they do not have the same resistance)\n\t- the test current isn't "
    "high enough.\nPlease check the motor phase connections to the drive and repeat the test. "
    "If the test fails and the connections are OK, increase the test current value.";

CTestPhaseConnections::CTestPhaseConnections(CMC_Setup* setup, int flag, QWidget* parent)
    : CMyTestDlg(setup, new QWidget, flag, parent),
      ui_(std::make_unique<Ui::TestPhaseConnections>()) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    SetStepTable(kSteps, kStepCount);
    {
        axis::ScopedSilentLookup silent;
        if (const CMC_Parameter* current = setup->FindParameter("TestCurrent"))
            test_current_A_ = current->GetValueInBaseUnit();
    }
    AddParameterControls("TestCurrent", ui_->testCurrentEdit, ui_->testCurrentUnit);
}

CTestPhaseConnections::~CTestPhaseConnections() = default;

bool CTestPhaseConnections::OnInitDialog() {
    ui_->iaBar->SetLabel(QStringLiteral("IA [A]"));
    ui_->ibBar->SetLabel(QStringLiteral("IB [A]"));
    ShowBars(0.0, 0.0);
    phase_program_.SetFileName(GetOutPathName(kPhaseProgram));
    phase_program_.ReadCoff();  // a descriptor that fails to read makes Start fail with its reason
    return CMyTestDlg::OnInitDialog();
}

void CTestPhaseConnections::OnChangedParameterValue(const char* name) {
    // The test current is named exactly so by the host; another spelling is another name.
    if (std::string_view(name ? name : "") == "TestCurrent")
        test_current_A_ = GetSetup()->GetParameterValueInBaseUnit("TestCurrent");
    UpdateData(false);
    CMyTestDlg::OnChangedParameterValue(name);
}

void CTestPhaseConnections::ShowBars(double ia_A, double ib_A) {
    for (CBarGraph* bar : {ui_->iaBar, ui_->ibBar})
        bar->SetRange(-1.5 * test_current_A_, 1.5 * test_current_A_);
    ui_->iaBar->SetValue(ia_A);
    ui_->ibBar->SetValue(ib_A);
    ui_->iaBar->update();
    ui_->ibBar->update();
}

void CTestPhaseConnections::BeginTest() {
    ui_->iaEdit->clear();
    ui_->ibEdit->clear();
    ia_A_ = ib_A_ = 0.0;
    ShowBars(0.0, 0.0);
    const double test_current = GetSetup()->GetParameterValueInInternalUnit("TestCurrent");
    StartRun();
    // The preliminary program is read at every Start, so that a descriptor replaced
    // while the dialog is open is the one that runs.
    preliminary_program_.SetFileName(GetOutPathName(kPreliminaryProgram));
    if (!preliminary_program_.ReadCoff()) {
        Fail("Error reading the test file.");
        return;
    }
    LaunchProgram(kPreliminaryProgram, &preliminary_program_, {{"In1", std::trunc(test_current)}});
}

void CTestPhaseConnections::OnTestTick() {
    switch (step_index_) {
        case kWaitPreliminary:
            WaitPreliminary();
            return;
        case kLaunchPhase:
            LaunchPhaseProgram();
            return;
        case kWaitPhase:
            if (ProgramFinished(phase_program_, kMotionMask)) Evaluate();
            return;
        default:
            TestFailed(1);
            return;
    }
}

void CTestPhaseConnections::WaitPreliminary() {
    if (!ProgramFinished(preliminary_program_, kMotionMask)) return;
    if (!ReadPreliminaryResult(preliminary_program_, reference_voltage_)) return;
    ShowStep();
    LaunchPhaseProgram();
}

void CTestPhaseConnections::LaunchPhaseProgram() {
    LaunchProgram(kPhaseProgram, &phase_program_, {{"RefTest", reference_voltage_}});
}

void CTestPhaseConnections::Evaluate() {
    double counts_a = 0.0, counts_b = 0.0;
    if (!ReadDriveValue("var_i1", counts_a) || !ReadDriveValue("var_i2", counts_b)) return;
    const double imaxps_A = GetSetup()->GetParameterValueInBaseUnit("ImaxPS");
    const double adc_max = static_cast<double>(Compute_ADCMaxValue(GetSetup()));
    ia_A_ = orvex::PhaseCurrentFromCounts(counts_a, imaxps_A, adc_max);
    ib_A_ = orvex::PhaseCurrentFromCounts(counts_b, imaxps_A, adc_max);
    ui_->iaEdit->setText(ShortNumber(ia_A_));
    ui_->ibEdit->setText(ShortNumber(ib_A_));
    if (!orvex::PhaseConnectionGood(ia_A_, ib_A_, test_current_A_)) {
        Fail(kConnectionFailureText);
        return;
    }
    ShowBars(ia_A_, ib_A_);
    TestSucceeded(1);
}

std::vector<CMyTestDlg::IdentifiedValue> CTestPhaseConnections::IdentifiedValues() const {
    if (outcome_ == Outcome::kUndecided) return {};
    // The two currents are shown after a failed evaluation too: they say which
    // phase is at fault.
    if (ui_->iaEdit->text().isEmpty()) return {};
    return {{"IA", ia_A_, "A"}, {"IB", ib_A_, "A"}};
}
