#include "identification/encoder_resolution.h"

#include <cmath>
#include <cstdio>

#include "compute/config_registers.h"
#include "compute/drive_test_readings.h"
#include "host/drive/program_run.h"
#include "host/plot/encoder_diagram.h"
#include "host/setup/names.h"
#include "host/setup/setup.h"
#include "ui_encoder_resolution.h"

namespace {

constexpr const char* kPreliminaryProgram = "Initial_Positioning_Test";
constexpr const char* kResolutionProgram = "Encoder_Resolution_And_Direction_Test";

constexpr const char* kSteps[] = {
    "Launching code for the preliminary test",
    "Running preliminary test",
    "Launching code for the encoder resolution and direction test",
    "Waiting for the test to complete",
    "Processing test results",
};
constexpr std::uint16_t kStepCount = 5;

// The motor carries current: a short circuit or a disabled ENABLE input stops the test.
constexpr std::uint16_t kMotionMask = orvex::kMotionMaskWithCurrent;

QString PrintInteger(long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld", value);
    return QString::fromLatin1(text);
}

}  // namespace

const char* const CDetectEncoderResolution::kNoMovementText =
    "Check if during test the motor shaft is turning. If YES, check the encoder connections "
    "and power supply, otherwise, check the motor phases connection, if these are OK, try also "
    "to increase the test current.";
const char* const CDetectEncoderResolution::kReversedText =
    "Check if during test the motor shaft is turning. If YES, the encoder connections or, motor "
    "phases are wrongly connected. Change the Reverse encoder counting checkbox or switch any "
    "two of the motor phase connections to the drive, or the A and B encoder channels. "
    "Otherwise, check the motor phase connections. If these are OK, try also to increase the "
    "test current.";

CDetectEncoderResolution::CDetectEncoderResolution(CMC_Setup* setup, int flag, QWidget* parent)
    : CMyTestDlg(setup, new QWidget, flag, parent),
      ui_(std::make_unique<Ui::DetectEncoderResolution>()) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    SetStepTable(kSteps, kStepCount);
    AddParameterControls("TestCurrent", ui_->testCurrentEdit, ui_->testCurrentUnit);
    AddParameterControls("NoMotorSteps", ui_->motorStepsEdit, nullptr);
    if (HasReverseCounting())
        AddCheckParameterControls("ReverseCounting", ui_->reverseCountingCheck);
}

CDetectEncoderResolution::~CDetectEncoderResolution() = default;

bool CDetectEncoderResolution::HasReverseCounting() const {
    axis::ScopedSilentLookup silent;
    return GetSetup()->FindParameter("ReverseCounting") != nullptr;
}

bool CDetectEncoderResolution::OnInitDialog() {
    preliminary_program_.SetFileName(GetOutPathName(kPreliminaryProgram));
    preliminary_program_.ReadCoff();  // a descriptor that fails makes Start fail with its reason
    resolution_program_.SetFileName(GetOutPathName(kResolutionProgram));
    resolution_program_.ReadCoff();
    const bool ok = CMyTestDlg::OnInitDialog();
    ui_->reverseCountingCheck->setEnabled(HasReverseCounting());
    // The diagram joins the dialog once the host has laid the form out.
    if (!diagram_) {
        diagram_ = new CEncoderDiagram;
        diagram_->Attach(ui_->diagramFrame);
        diagram_->Enable(true);
    }
    return ok;
}

void CDetectEncoderResolution::OnChangedParameterValue(const char* name) {
    if (!axis::NamesEqual(name, "ReverseCounting") || !HasReverseCounting()) return;
    last_reverse_counting_ =
        static_cast<int32_t>(GetSetup()->GetParameterValueInInternalUnit("ReverseCounting"));
}

void CDetectEncoderResolution::BeginTest() {
    diagram_->SetAngle(0.0);
    double test_current = axis::kNoValueMarker;
    {
        axis::ScopedSilentLookup silent;
        if (GetSetup()->FindParameter("TestCurrent"))
            test_current = GetSetup()->GetParameterValueInInternalUnit("TestCurrent");
    }
    if (test_current == axis::kNoValueMarker) return;
    movement_seen_ = false;
    evaluated_ = false;
    ui_->positionCounterEdit->clear();
    ui_->estimatedLinesEdit->clear();
    StartRun();
    LaunchProgram(kPreliminaryProgram, &preliminary_program_, {{"In1", std::trunc(test_current)}});
}

void CDetectEncoderResolution::OnTestTick() {
    // The direction check box may change while the test runs: the next program
    // download carries the counting direction it says.
    if (HasReverseCounting()) orvex::ComputeOption_COUNTINGDIR(GetSetup());
    switch (step_index_) {
        case 2:
            WaitPreliminary();
            return;
        case 3:
            LaunchResolutionProgram();
            return;
        case 4:
            WatchRevolution();
            return;
        case 5:
            Evaluate();
            return;
        default:
            TestFailed(1);
            return;
    }
}

void CDetectEncoderResolution::WaitPreliminary() {
    if (!ProgramFinished(preliminary_program_, kMotionMask)) return;
    // Only exactly 0 means the current was not reached here.
    if (!ReadPreliminaryResult(preliminary_program_, reference_voltage_, true)) return;
    ShowStep();
    LaunchResolutionProgram();
}

void CDetectEncoderResolution::LaunchResolutionProgram() {
    // One revolution of the field is a pole pair per four full steps.
    const double pole_pairs =
        std::trunc(0.25 * GetSetup()->GetParameterValueInBaseUnit("NoMotorSteps"));
    LaunchProgram(kResolutionProgram, &resolution_program_,
                  {{"RefTest", reference_voltage_}, {"PolesPairs", pole_pairs}});
}

void CDetectEncoderResolution::WatchRevolution() {
    switch (PollProgram(resolution_program_, kMotionMask, false)) {
        case ProgramState::kFailed:
            return;
        case ProgramState::kFinished:
            ShowStep();
            Evaluate();
            return;
        case ProgramState::kWaiting:
            break;
    }
    // One reading per tick while the field turns: the handler returns to the event
    // loop in between, so the window redraws and Stop or Close end the run there
    // (they clear the running flag and kill the timer, which the wait re-armed).
    double counts = 0.0;
    if (!ReadDriveValue("var_lf_long", counts)) return;
    if (counts != 0) movement_seen_ = true;
    const double lines = GetSetup()->GetParameterValueInBaseUnit("No_encoder_lines");
    diagram_->SetAngle(orvex::EncoderAngleFromCounts(counts, lines));
    ui_->positionCounterEdit->setText(PrintInteger(static_cast<long long>(counts)));
}

void CDetectEncoderResolution::Evaluate() {
    if (!CheckMotionErrors(true, kMotionMask)) return;
    double counts = 0.0;
    if (!ReadDriveValue("var_lf_long", counts)) return;
    ui_->positionCounterEdit->setText(PrintInteger(static_cast<long long>(counts)));
    estimated_lines_ = resolutions_.FindBestResolution(orvex::LinesFromRevolutionCounts(counts));
    revolution_counts_ = counts;
    evaluated_ = true;
    switch (orvex::JudgeResolutionRun(counts, estimated_lines_, resolutions_.GetResolution(0),
                                      movement_seen_)) {
        case orvex::ResolutionVerdict::kNoMovement:
            failure_text_ = kNoMovementText;
            TestFailed(1);
            return;
        case orvex::ResolutionVerdict::kReversed:
            failure_text_ = kReversedText;
            TestFailed(1);
            return;
        case orvex::ResolutionVerdict::kFound:
            ui_->estimatedLinesEdit->setText(PrintInteger(estimated_lines_));
            TestSucceeded(1);
            return;
    }
}

std::vector<CMyTestDlg::IdentifiedValue> CDetectEncoderResolution::IdentifiedValues() const {
    if (!evaluated_) return {};
    // The counts say what went wrong when the verdict is a failure (none, or backwards).
    std::vector<IdentifiedValue> values = {{"counts per revolution", revolution_counts_, ""}};
    if (outcome_ == Outcome::kSucceeded)
        values.push_back({"No_encoder_lines", static_cast<double>(estimated_lines_), ""});
    return values;
}

void CDetectEncoderResolution::OnCancel() {
    const double lines_now =
        std::trunc(GetSetup()->GetParameterValueInBaseUnit("No_encoder_lines"));
    switch (AskCloseConfirmation(
        {{"No_encoder_lines", "Encoder resolution", orvex::ResultFormat::kInteger, lines_now,
          static_cast<double>(estimated_lines_)}})) {
        case CloseAnswer::kYes:
            if (CMC_Parameter* lines = GetSetup()->FindParameter("No_encoder_lines"))
                lines->SetValueInBaseUnit(estimated_lines_);
            EndDialog(1);
            return;
        case CloseAnswer::kNo:
            EndDialog(1);
            return;
        case CloseAnswer::kCancel:
            return;
        case CloseAnswer::kNothingChanged:
            if (outcome_ == Outcome::kSucceeded)
                EndDialog(1);
            else
                CMyTestDlg::OnCancel();
            return;
    }
}
