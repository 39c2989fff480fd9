#include "identification/total_inertia.h"

#include <cmath>

#include "compute/identification.h"
#include "compute/scales.h"
#include "host/setup/setup.h"
#include "host/setup/variable.h"
#include "host/ui/modal_seam.h"
#include "ui_total_inertia.h"

namespace {

constexpr const char* kInertiaProgram = "Total_Inertia_Identification_Test";
constexpr const char* kPreliminaryProgram = "Initial_Positioning_Test";

// Status texts by step index; the step count is the number of rows. The verdict
// failure texts follow in the class.
constexpr const char* kSteps[] = {
    "Launching code for preliminary test",
    "Waiting preliminary test to be finished",
    "Launching code for J test",
    "Waiting J test to be finished",
};
constexpr std::uint16_t kStepCount = 4;
enum Step : std::uint16_t { kWaitPreliminary = 2, kLaunchInertia = 3, kWaitInertia = 4 };

// The preliminary run drives current: short circuit and ENABLE input. While the
// inertia run is awaited every motion error the drive knows ends the test: the shaft
// turns freely and a limit switch or a control error must stop it.
constexpr std::uint16_t kPreliminaryMask = orvex::kMotionMaskWithCurrent;
constexpr std::uint16_t kInertiaMask = orvex::kMotionMaskAll;

constexpr const char* kNoTorqueConstant =
    "The setup has no motor torque constant (K): no inertia can be computed. Enter the motor's "
    "torque constant and repeat the test.";
constexpr const char* kNoInertia =
    "The inertia test reported no usable speed gain or time: no inertia can be computed. Check "
    "the motor torque constant (K), the encoder and the test current, and repeat the test.";

}  // namespace

const char* const CTotalInertiaTest::kSpeedNegativeText =
    "When a POSITIVE torque level is applied to the motor, the measured speed is NEGATIVE.\n"
    "Possible causes of failure:\n\t\tThe current controller is not tuned;\n\t\tThe encoder "
    "signals are reversed;\n\t\tCheck the current controller tuning;\n\t\tUse the test <<Detect "
    "number of lines>> to verify the encoder counting direction;\n\t\tCheck if the motor "
    "nominal current was correctly set";
const char* const CTotalInertiaTest::kSpeedNegativeTimeText =
    "When a POSITIVE torque level is applied to the motor, the measured speed is NEGATIVE.\n"
    "Possible causes of failure:\n\t\tThe current controller is not tuned;\n\t\tThe encoder "
    "signals are reversed;\n\t\tCheck the current controller tuning;\n\t\tUse the test <<Detect "
    "number of lines>> to verify the encoder counting direction;\n\t\tCheck if the motor "
    "nominal current was correctly set.";
const char* const CTotalInertiaTest::kNoSpeedText =
    "When trying to apply POSITIVE torque to the motor, the measured speed is ZERO, or the "
    "reference torque cannot be reached!\nPossible causes of failure:\n\t\tThe current "
    "controller is not tuned;\n\t\tThe encoder signals are missing;\n\t\tThe DC voltage level "
    "is not high enough;\n\t\tCheck the current controller tuning;\n\t\tUse the encoder <<Test "
    "connections>> to verify presence of the encoder signals\n\t\tCheck if the motor nominal "
    "current was correctly set.\n\t\tTry to decrease the test current.";
const char* const CTotalInertiaTest::kSpeedNotReachedText =
    "The motor does not reach the programmed speed level!\nYou may have a problem with the "
    "encoder or the initial positioning is not performed correctly. Check the encoder and motor "
    "connections. If these are OK, try to increase the test current.";

CTotalInertiaTest::CTotalInertiaTest(CMC_Setup* setup, int flag, QWidget* parent)
    : CMyTestDlg(setup, new QWidget, flag, parent), ui_(std::make_unique<Ui::TotalInertiaTest>()) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    SetStepTable(kSteps, kStepCount);
    AddParameterControls("Jt", ui_->jtEdit, ui_->jtUnit);
    AddParameterControls("TestCurrent", ui_->testCurrentEdit, ui_->testCurrentUnit);
    AddParameterControls("TestProtectionCurrent", ui_->protectionCurrentEdit,
                         ui_->protectionCurrentUnit);
    AddParameterControls("TestMaxSpeed", ui_->maxSpeedEdit, ui_->maxSpeedUnit);
}

CTotalInertiaTest::~CTotalInertiaTest() = default;

bool CTotalInertiaTest::OnInitDialog() {
    const bool ok = CMyTestDlg::OnInitDialog();
    ClearResultField();
    inertia_program_.SetFileName(GetOutPathName(kInertiaProgram));
    inertia_program_.ReadCoff();  // a descriptor that fails to read makes the launch fail
    preliminary_program_.SetFileName(GetOutPathName(kPreliminaryProgram));
    preliminary_program_.ReadCoff();
    return ok;
}

void CTotalInertiaTest::ClearResultField() {
    ui_->jtEdit->clear();
    ui_->jtUnit->setCurrentIndex(-1);
}

void CTotalInertiaTest::OnBtnStartStop() {
    if (!running_) {
        const CMC_Setup* setup = GetSetup();
        if (setup->GetParameterValueInBaseUnit("TestCurrent") >
            setup->GetParameterValueInBaseUnit("TestProtectionCurrent")) {
            axis::ShowMessage(this,
                              QStringLiteral("I protection must be greater or equal to "
                                             "Test current."),
                              axis::MessageButtons::Ok, axis::MessageIcon::Warning, windowTitle());
            return;
        }
    }
    CMyTestDlg::OnBtnStartStop();
}

void CTotalInertiaTest::BeginTest() {
    ClearResultField();
    test_current_ = static_cast<std::int32_t>(
        std::trunc(GetSetup()->GetParameterValueInInternalUnit("TestCurrent")));
    identified_ = false;
    StartRun();
    {
        // Without the torque constant no run can give an inertia: say so before the
        // motor is made to turn for nothing.
        axis::ScopedSilentLookup silent;
        if (!GetSetup()->FindParameter("K")) {
            Fail(kNoTorqueConstant);
            RefreshParameterControls("Jt");
            return;
        }
    }
    LaunchProgram(kPreliminaryProgram, &preliminary_program_,
                  {{"In1", static_cast<double>(test_current_)}});
}

void CTotalInertiaTest::OnTestTick() {
    RunStep();
    if (!running_ && outcome_ == Outcome::kFailed) RefreshParameterControls("Jt");
}

void CTotalInertiaTest::RunStep() {
    switch (step_index_) {
        case kWaitPreliminary:
            WaitPreliminary();
            return;
        case kLaunchInertia:
            LaunchInertiaRun();
            return;
        case kWaitInertia:
            WaitInertiaRun();
            return;
        default:
            return;  // a tick outside the test's steps is ignored
    }
}

void CTotalInertiaTest::WaitPreliminary() {
    if (!ProgramFinished(preliminary_program_, kPreliminaryMask)) return;
    if (!ReadPreliminaryResult(preliminary_program_, reference_voltage_)) return;
    ShowStep();
    LaunchInertiaRun();
}

void CTotalInertiaTest::LaunchInertiaRun() {
    const CMC_Setup* setup = GetSetup();
    speed_limit_ = static_cast<std::int32_t>(
        std::trunc(setup->GetParameterValueInInternalUnit("TestMaxSpeed")));
    protection_current_ = static_cast<std::int32_t>(
        std::trunc(setup->GetParameterValueInInternalUnit("TestProtectionCurrent")));
    LaunchProgram(kInertiaProgram, &inertia_program_,
                  {{"RefTest", reference_voltage_},
                   {"In1", static_cast<double>(test_current_)},
                   {"LimitSpeedMax", static_cast<double>(speed_limit_)},
                   {"Imax_Prot_Test", static_cast<double>(protection_current_)}});
}

void CTotalInertiaTest::WaitInertiaRun() {
    if (!ProgramFinished(inertia_program_, kInertiaMask, false)) return;
    double test_flag = 0.0, delta_time = 0.0, delta_speed = 0.0;
    if (!ReadResultVariable(inertia_program_, "test_flag", test_flag) ||
        !ReadResultVariable(inertia_program_, "delta_time", delta_time) ||
        !ReadResultVariable(inertia_program_, "delta_speed", delta_speed))
        return;
    switch (orvex::InertiaVerdictFor(test_flag, delta_time)) {
        case orvex::InertiaVerdict::kFlagFailed:
            Fail(kSpeedNegativeText);
            return;
        case orvex::InertiaVerdict::kSpeedNegative:
            Fail(kSpeedNegativeTimeText);
            return;
        case orvex::InertiaVerdict::kNoSpeed:
            Fail(kNoSpeedText);
            return;
        case orvex::InertiaVerdict::kSpeedNotReached:
            Fail(kSpeedNotReachedText);
            return;
        case orvex::InertiaVerdict::kOk:
            break;
    }
    CMC_Setup* setup = GetSetup();
    double torque_constant = 0.0;
    {
        axis::ScopedSilentLookup silent;
        const CMC_Parameter* k = setup->FindParameter("K");
        if (!k) {
            Fail(kNoTorqueConstant);
            return;
        }
        torque_constant = k->GetValueInBaseUnit();
    }
    const auto j = orvex::TotalInertia(
        orvex::GetMotorSpeedScale(setup), orvex::GetCurrentScale(setup), delta_time,
        orvex::GetSpeedLoopPeriod(setup), torque_constant, delta_speed, test_current_);
    if (!j) {
        Fail(kNoInertia);
        return;
    }
    {
        axis::ScopedSilentLookup silent;
        if (const CMC_Parameter* jt = setup->FindParameter("Jt"))
            j_old_kgm2_ = jt->GetValueInBaseUnit();
    }
    if (!WriteResult("Jt", *j, j_kgm2_)) return;
    identified_ = true;
    RefreshAllParameters();
    TestSucceeded(1);
}

void CTotalInertiaTest::OnOK() {
    CMyTestDlg::OnOK();
    if (result() != QDialog::Accepted) return;  // a refused value keeps the dialog open
    CMC_Setup* setup = GetSetup();
    setup->SetParameterValueInBaseUnit("Imax_Prot",
                                       setup->GetParameterValueInBaseUnit("TestProtectionCurrent"));
}

void CTotalInertiaTest::OnCancel() {
    switch (AskCloseConfirmation(
        {{"Jt", "Total inertia", orvex::ResultFormat::kShortLower, j_old_kgm2_, j_kgm2_}})) {
        case CloseAnswer::kYes:
            EndDialog(1);
            return;
        case CloseAnswer::kNo:  // "Jt" is back at its value before the test
            EndDialog(0);
            return;
        case CloseAnswer::kCancel:
        case CloseAnswer::kNothingChanged:
            CMyTestDlg::OnCancel();
            return;
    }
}

std::vector<CMyTestDlg::IdentifiedValue> CTotalInertiaTest::IdentifiedValues() const {
    if (!identified_) return {};
    return {{"Jt", j_kgm2_, "kg*m^2"}};
}
