#include "identification/resistance_inductance.h"

#include <cmath>

#include "compute/identification.h"
#include "compute/scales.h"
#include "host/drive/logger.h"
#include "host/drive/program_run.h"
#include "host/setup/setup.h"
#include "host/setup/variable.h"
#include "ui_resistance_inductance.h"

namespace {

constexpr const char* kResistanceProgram = "Ident_R_or_Rs";
constexpr const char* kInductanceProgram = "Ident_L_or_Tau_el";
constexpr const char* kPreliminaryProgram = "Initial_Positioning_Test";

// Status texts by step index (rows 0 to 9), then the inductance range failures
// (rows 11 and 12; row 10 is never shown).
constexpr const char* kSteps[] = {
    "Launching code for preliminary test (1)",
    "Waiting preliminary test to be finished (1)",
    "Launching code for R test (1)",
    "Waiting R test to be finished (1)",
    "Launching code for preliminary test (2)",
    "Waiting preliminary test to be finished (2)",
    "Launching code for R test (2)",
    "Waiting R test to be finished (2)",
    "Launching code for L test",
    "Waiting L test to be finished",
    "",
    "The computed inductivity is less than the possible minimum value of 50 \xC2\xB5H.",
    "The computed inductivity is greater than the possible maximum value of 1 H.",
};
constexpr std::uint16_t kStepCount = 10;
enum Step : std::uint16_t {
    kWaitPreliminary1 = 2,
    kLaunchR1 = 3,
    kWaitR1 = 4,
    kLaunchPreliminary2 = 5,
    kWaitPreliminary2 = 6,
    kLaunchR2 = 7,
    kWaitR2 = 8,
    kLaunchL = 9,
    kWaitL = 10,
};
constexpr std::uint16_t kInductanceTooSmall = 11;
constexpr std::uint16_t kInductanceTooLarge = 12;

// The test drives motor current: a short circuit or a disabled ENABLE input ends it.
constexpr std::uint16_t kMotionMask = orvex::kMotionMaskWithCurrent;
constexpr unsigned kLogPoints = 400;

// What no measurement can give; the test says why instead of writing it.
constexpr const char* kNoResistancePoints =
    "The resistance test logged no current: no resistance can be computed. Repeat the test.";
constexpr const char* kEqualCurrents =
    "Both resistance measurements gave the same mean current: no resistance can be computed. "
    "Check the motor phase connections and the test current.";
constexpr const char* kResistanceNotPositive =
    "The computed resistance is not positive: the phase voltage did not rise with the current. "
    "Check the motor phase connections and the test current.";
constexpr const char* kNoInductancePoints =
    "The inductance test logged no current: no inductance can be computed. Repeat the test.";
constexpr const char* kNoInductanceCurrent =
    "The inductance test measured no alternating current: no inductance can be computed. "
    "Check the motor phase connections.";
constexpr const char* kNotFinite =
    "The measured values give no finite result: check the drive's peak current (ImaxPS), the "
    "measurable supply voltage (VdcMaxMeasurable) and the current loop period.";

}  // namespace

CTestRL::CTestRL(CMC_Setup* setup, QWidget* parent) : CTestRL(setup, 1, parent) {}

CTestRL::CTestRL(CMC_Setup* setup, int flag, QWidget* parent)
    : CMyTestDlg(setup, new QWidget, flag, parent),
      ui_(std::make_unique<Ui::TestRL>()),
      logger_(std::make_unique<CMC_SingleAxisLogger>(setup, nullptr)) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    SetStepTable(kSteps, kStepCount);
    AddParameterControls("R", ui_->rEdit, ui_->rUnit);
    AddParameterControls("L", ui_->lEdit, ui_->lUnit);
    AddParameterControls("TestCurrent", ui_->testCurrentEdit, ui_->testCurrentUnit);
}

CTestRL::~CTestRL() = default;

bool CTestRL::OnInitDialog() {
    const bool ok = CMyTestDlg::OnInitDialog();
    ClearResultFields();
    {
        axis::ScopedSilentLookup silent;
        CMC_Setup* setup = GetSetup();
        if (const CMC_Parameter* vdc = setup->FindParameter("Vdc")) {
            vdc_at_open_V_ = vdc->GetValueInBaseUnit();
            has_vdc_ = true;
        }
        if (const CMC_Parameter* r = setup->FindParameter("R"))
            r_at_open_ohm_ = r->GetValueInBaseUnit();
        if (const CMC_Parameter* l = setup->FindParameter("L"))
            l_at_open_H_ = l->GetValueInBaseUnit();
    }
    // A descriptor that fails to read makes the launch of its program fail with the
    // reason.
    resistance_program_.SetFileName(GetOutPathName(kResistanceProgram));
    resistance_program_.ReadCoff();
    inductance_program_.SetFileName(GetOutPathName(kInductanceProgram));
    inductance_program_.ReadCoff();
    preliminary_program_.SetFileName(GetOutPathName(kPreliminaryProgram));
    preliminary_program_.ReadCoff();
    return ok;
}

void CTestRL::ClearResultFields() {
    for (QLineEdit* edit : {ui_->rEdit, ui_->lEdit}) edit->clear();
    for (QComboBox* unit : {ui_->rUnit, ui_->lUnit}) unit->setCurrentIndex(-1);
}

void CTestRL::BeginTest() {
    RefreshAllParameters();
    ClearResultFields();
    // A setup without a test current (no value) has nothing to test with.
    const CMC_Parameter* test_current_parameter = nullptr;
    {
        axis::ScopedSilentLookup silent;
        test_current_parameter = GetSetup()->FindParameter("TestCurrent");
    }
    if (!test_current_parameter) return;
    const double test_current = test_current_parameter->GetValueInInternalUnit();
    if (test_current == axis::kNoValueMarker) return;
    test_current_ = static_cast<std::int32_t>(std::trunc(test_current));
    identified_ = false;
    StartRun();
    LaunchProgram(kPreliminaryProgram, &preliminary_program_,
                  {{"In1", static_cast<double>(test_current_)}});
}

void CTestRL::OnTestTick() {
    RunStep();
    // A failed test leaves "R" and "L" as they were: show them again.
    if (!running_ && outcome_ == Outcome::kFailed) {
        RefreshParameterControls("R");
        RefreshParameterControls("L");
    }
}

void CTestRL::RunStep() {
    switch (step_index_) {
        case kWaitPreliminary1:
            WaitPreliminary(u_ref1_, kLaunchR1);
            return;
        case kLaunchR1:
            LaunchResistanceRun(test_current_, u_ref1_, 1);
            return;
        case kWaitR1:
            WaitFirstResistanceRun();
            return;
        case kLaunchPreliminary2:
            LaunchSecondPreliminary();
            return;
        case kWaitPreliminary2:
            WaitPreliminary(u_ref2_, kLaunchR2);
            return;
        case kLaunchR2:
            LaunchResistanceRun(test_current_ / 2, std::trunc(u_ref2_), 2);
            return;
        case kWaitR2:
            WaitSecondResistanceRun();
            return;
        case kLaunchL:
            LaunchInductanceRun();
            return;
        case kWaitL:
            WaitInductanceRun();
            return;
        default:
            TestFailed(1);
            return;
    }
}

bool CTestRL::ConfigureLogger(int log_type, std::initializer_list<const char*> variables) {
    if (!logger_) {
        Fail("The logger could not be instantiated");
        return false;
    }
    // New settings discard the variables of the run before: "IQ" is element 1 and
    // "ID" element 2 of every point.
    logger_->ChangeSettings(kLogPoints, log_type, 1);
    for (const char* v : variables) logger_->AddVariable(v);
    return true;
}

void CTestRL::WaitPreliminary(double& reference_voltage, std::uint16_t next_launch) {
    if (!ProgramFinished(preliminary_program_, kMotionMask)) return;
    if (!ReadPreliminaryResult(preliminary_program_, reference_voltage)) return;
    ShowStep();
    if (next_launch == kLaunchR1)
        LaunchResistanceRun(test_current_, u_ref1_, 1);
    else
        LaunchResistanceRun(test_current_ / 2, std::trunc(u_ref2_), 2);
}

void CTestRL::LaunchResistanceRun(double current, double reference_voltage, int log_type) {
    if (!ConfigureLogger(log_type, {"IQ"})) return;
    LaunchProgram(kResistanceProgram, &resistance_program_,
                  {{"In1", current}, {"RefTest", reference_voltage}}, logger_.get());
}

bool CTestRL::MeanLoggedCurrent(double& mean_current) {
    if (!BeginUpload(logger_.get())) return false;
    orvex::RunningMean current;
    while (const double* point = logger_->ReadPoint()) current.Add(point[1]);
    if (current.Count() == 0) {
        Fail(kNoResistancePoints);
        return false;
    }
    mean_current = current.Value();
    return true;
}

void CTestRL::WaitFirstResistanceRun() {
    if (!ProgramFinished(resistance_program_, kMotionMask)) return;
    if (!ReadDriveValue("var_i1", u1_) || !MeanLoggedCurrent(i1_)) return;
    ShowStep();
    LaunchSecondPreliminary();
}

void CTestRL::LaunchSecondPreliminary() {
    if (!SetUserVariableValue(&preliminary_program_, "In1", test_current_ / 2, failure_text_)) {
        Fail("Error while setting the test parameters.");
        return;
    }
    LaunchProgram(kPreliminaryProgram, &preliminary_program_, {});
}

void CTestRL::WaitSecondResistanceRun() {
    if (!ProgramFinished(resistance_program_, kMotionMask)) return;
    double bus_counts = 0.0;
    if (!ReadDriveValue("var_i1", u2_) || !ReadDriveValue("var_u2", bus_counts) ||
        !MeanLoggedCurrent(i2_))
        return;

    CMC_Setup* setup = GetSetup();
    measured_vdc_V_ = orvex::BusVoltageFromCounts(
        bus_counts, setup->GetParameterValueInBaseUnit("VdcMaxMeasurable"),
        static_cast<double>(Compute_ADCMaxValue(setup)));
    setup->SetParameterValueInBaseUnit("Vdc", measured_vdc_V_);
    const auto r = orvex::ResistanceFromRuns(u1_, i1_, u2_, i2_, orvex::GetPwmVoltageScale(setup),
                                             orvex::GetCurrentScale(setup));
    switch (r.status) {
        case orvex::RlStatus::kOk:
            break;
        case orvex::RlStatus::kEqualCurrents:
            Fail(kEqualCurrents);
            return;
        default:
            Fail(kNotFinite);
            return;
    }
    // A resistance of zero or below is no motor: a measurement gone wrong must not
    // reach the current loop design.
    if (r.value <= 0.0) {
        Fail(kResistanceNotPositive);
        return;
    }
    r_ohm_ = r.value;
    ShowStep();
    LaunchInductanceRun();
}

void CTestRL::LaunchInductanceRun() {
    if (!ConfigureLogger(2, {"IQ", "ID"})) return;
    LaunchProgram(kInductanceProgram, &inductance_program_,
                  {{"In1", static_cast<double>(test_current_)}, {"RefTest", std::trunc(u_ref1_)}},
                  logger_.get());
}

void CTestRL::WaitInductanceRun() {
    if (!ProgramFinished(inductance_program_, kMotionMask)) return;
    double theta_inc = 0.0;
    if (!ReadDriveValue("TINCTST", theta_inc) || !ReadDriveValue("var_i1", u3_) ||
        !BeginUpload(logger_.get()))
        return;
    orvex::InductanceMeans means;
    while (const double* point = logger_->ReadPoint()) means.Add(point[1], point[2]);

    CMC_Setup* setup = GetSetup();
    const auto l =
        orvex::InductanceFromRun(means, theta_inc, u3_, orvex::GetCurrentLoopPeriod(setup),
                                 orvex::GetPwmVoltageScale(setup), orvex::GetCurrentScale(setup));
    switch (l.status) {
        case orvex::RlStatus::kOk:
            break;
        case orvex::RlStatus::kInductanceTooSmall:
            Fail(StepText(kInductanceTooSmall));
            return;
        case orvex::RlStatus::kInductanceTooLarge:
            Fail(StepText(kInductanceTooLarge));
            return;
        case orvex::RlStatus::kNoPoints:
            Fail(kNoInductancePoints);
            return;
        case orvex::RlStatus::kNoCurrent:
            Fail(kNoInductanceCurrent);
            return;
        default:
            Fail(kNotFinite);
            return;
    }
    if (!WriteResult("L", l.value, l_H_)) return;
    if (!WriteResult("R", r_ohm_, r_ohm_)) return;
    identified_ = true;
    TestSucceeded(1);
}

void CTestRL::RestoreVdc() {
    if (has_vdc_) GetSetup()->SetParameterValueInBaseUnit("Vdc", vdc_at_open_V_);
}

void CTestRL::OnCancel() {
    RestoreVdc();
    switch (AskCloseConfirmation(
        {{"R", "Phase resistance", orvex::ResultFormat::kFixed, r_at_open_ohm_, r_ohm_},
         {"L", "Phase inductance", orvex::ResultFormat::kFixed, l_at_open_H_, l_H_}})) {
        case CloseAnswer::kYes:
            EndDialog(1);
            return;
        case CloseAnswer::kNo:
            EndDialog(0);
            return;
        case CloseAnswer::kCancel:
            return;
        case CloseAnswer::kNothingChanged:
            CMyTestDlg::OnCancel();
            return;
    }
}

void CTestRL::done(int result) {
    RestoreVdc();
    CMyTestDlg::done(result);
}

std::vector<CMyTestDlg::IdentifiedValue> CTestRL::IdentifiedValues() const {
    if (!identified_) return {};
    return {{"R", r_ohm_, "Ohm"}, {"L", l_H_, "H"}, {"Vdc", measured_vdc_V_, "V"}};
}
