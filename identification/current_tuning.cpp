#include "identification/current_tuning.h"

#include <QTabWidget>
#include <cmath>
#include <cstdint>

#include "compute/control_loop_options.h"
#include "compute/gain_design.h"
#include "editor/pictures.h"
#include "host/drive/program_run.h"
#include "host/plot/graph_window.h"
#include "host/setup/setup.h"
#include "host/ui/modal_seam.h"
#include "identification/gain_writes.h"
#include "ui_current_tuning.h"

namespace {

constexpr const char* kPreliminaryProgram = "Initial_Positioning_Test";
constexpr const char* kTuningProgram = "Current_Controller_Tuning_Test";

constexpr const char* kSteps[] = {
    "Launching the application for preliminary test",
    "Waiting preliminary test to be finished",
    "Launching the application for test",
    "Running test",
    "Uploading results",
};
constexpr std::uint16_t kStepCount = 5;

constexpr std::uint16_t kMotionMask = orvex::kMotionMaskWithCurrent;

// The logged channels, in point order after the time.
enum Channel { kCurrentReference = 1, kMotorCurrent = 2, kVoltageReference = 3 };

const char* const kProcedure =
    "1. Check/setup the test parameters below\r\n"
    "2. Go to the \"Test\" tab and press the \"Tune\" button\r\n"
    "3. In the \"Test\" tab, press the \"Start\" button\r\n"
    "4. Wait until the test ends and displays the results\r\n"
    "5. If needed, change the controller parameters during the test, until you get "
    "satisfactory results";

// The drive takes these inputs as signed 16-bit words.
double AsInt16(double value) {
    return static_cast<double>(static_cast<int16_t>(static_cast<int32_t>(std::trunc(value))));
}

}  // namespace

const char* const CTestCurrent::kProtectionTrippedText =
    "Test failed!\nCurrent protection triggered during test!";
const char* const CTestCurrent::kProtectionBelowTestCurrentText =
    "Over current protection must be greater or equal to Test current.";

CTestCurrent::CTestCurrent(CMC_Setup* setup, int flag, QWidget* parent)
    : CMyTestDlg(setup, new QWidget, flag, parent), ui_(std::make_unique<Ui::TestCurrent>()) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    SetStepTable(kSteps, kStepCount);
    AddParameterControls("TestCurrent", ui_->testCurrentEdit, ui_->testCurrentUnit);
    AddParameterControls("TestProtectionCurrent", ui_->protectionCurrentEdit,
                         ui_->protectionCurrentUnit);
    AddParameterControls("Kp_C_scl", ui_->kpEdit);
    AddTuningSlider("Kp_C_scl", ui_->kpSlider, {ui_->kpSpinUp, ui_->kpSpinDown});
    AddParameterControls("Ki_C_scl", ui_->kiEdit);
    AddTuningSlider("Ki_C_scl", ui_->kiSlider, {ui_->kiSpinUp, ui_->kiSpinDown});
    AddParameterControls("PB_C", ui_->passbandEdit, ui_->passbandUnit);
    AddTuningSlider("PB_C", ui_->passbandSlider);
    AddCheckParameterControls("isUseFilterOnCrtCtrlOutput", ui_->filterCheck);
    AddParameterControls("FilterOnCurrentControllerOutput", ui_->filterEdit, ui_->filterUnit);
    AddCheckParameterControls("isCompensateGravitationalLoads", ui_->offsetCheck);
    AddParameterControls("OffsetCurrent", ui_->offsetEdit, ui_->offsetUnit);
    connect(ui_->tuneButton, &QAbstractButton::clicked, this, [this] { OnTune(); });
    connect(ui_->savePlotsButton, &QAbstractButton::clicked, this, [this] {
        if (logger_ && !running_) logger_->SaveGraph("CurrentTuning", this);
    });
    UseTestPages(ui_->pageTabs, ui_->detailsButton,
                 [this] { return ProtectionCoversTestCurrent(); });
}

CTestCurrent::~CTestCurrent() = default;

bool CTestCurrent::OnInitDialog() {
    ui_->procedureLabel->setText(QString::fromUtf8(kProcedure));
    orvex::ShowPicture(ui_->picture, GetSetup(), QStringLiteral("3015"));
    preliminary_program_.SetFileName(GetOutPathName(kPreliminaryProgram));
    preliminary_program_.ReadCoff();
    tuning_program_.SetFileName(GetOutPathName(kTuningProgram));
    tuning_program_.ReadCoff();
    // The plot joins the dialog once the host has laid the form out.
    const bool ok = CMyTestDlg::OnInitDialog();
    if (!logger_) {
        logger_ = std::make_unique<CMC_SingleAxisLogger>(GetSetup(), &tuning_program_);
        // 100 points of every fast-loop sample: the whole step response of a loop
        // that settles within a few dozen samples.
        logger_->ChangeSettings(100, 2, 1);
        logger_->AddVariable("Current_Reference", 1);
        logger_->AddVariable("Motor_Current", 1);
        logger_->AddVariable("Voltage_Reference", 1);
        logger_->CorrectPointsNo();
        logger_->LocateItems();
        graph_ = PlaceGraph(ui_->graphFrame);
        graph_->SetXLabel(QStringLiteral("Time [s]"));
        graph_->SetYLabel(CGraphWindow::kLeftAxis, QStringLiteral("Current [counts]"));
        graph_->SetYLabel(CGraphWindow::kRightAxis, QStringLiteral("Voltage [counts]"));
        graph_->AddCurve(QStringLiteral("Current_Reference"), 2, CGraphWindow::kLeftAxis);
        graph_->AddCurve(QStringLiteral("Voltage_Reference"), 8, CGraphWindow::kRightAxis);
        graph_->AddCurve(QStringLiteral("Motor_Current"), 5, CGraphWindow::kLeftAxis);
        graph_->Redraw();
    }
    return ok;
}

void CTestCurrent::DoDataExchange(bool save) {
    CMyTestDlg::DoDataExchange(save);
    if (save) return;
    const bool idle = !running_;
    EnableChildren({ui_->okButton, ui_->kpEdit, ui_->kpSlider, ui_->kpSpinUp, ui_->kpSpinDown,
                    ui_->kiEdit, ui_->kiSlider, ui_->kiSpinUp, ui_->kiSpinDown},
                   idle);
    ui_->savePlotsButton->setEnabled(true);
    const CMC_Setup* setup = GetSetup();
    axis::ScopedSilentLookup silent;
    const bool filter_on =
        setup->FindParameter("isUseFilterOnCrtCtrlOutput") &&
        static_cast<int>(setup->GetParameterValueInBaseUnit("isUseFilterOnCrtCtrlOutput")) != 0;
    const bool offset_on =
        setup->FindParameter("isCompensateGravitationalLoads") &&
        static_cast<int>(setup->GetParameterValueInBaseUnit("isCompensateGravitationalLoads")) != 0;
    ShowChildren({ui_->filterEdit, ui_->filterUnit, ui_->filterLabel}, filter_on);
    ShowChildren({ui_->offsetEdit, ui_->offsetUnit, ui_->offsetLabel}, offset_on);
}

void CTestCurrent::OnChangedParameterValue(const char* name) {
    CMC_Setup* setup = GetSetup();
    const std::string_view n = name;
    if (n == "Kp_C_scl") {
        orvex::ComputeOption_SFTKPI(setup);
        orvex::ComputeOption_KPI(setup);
    } else if (n == "Ki_C_scl") {
        orvex::ComputeOption_SFTKII(setup);
        orvex::ComputeOption_KII(setup);
    } else if (n == "OffsetCurrent") {
        orvex::ComputeOption_FFL(setup);
    } else if (n == "FilterOnCurrentControllerOutput") {
        orvex::ComputeOption_FILTERQ(setup);
    } else if (n == "isUseFilterOnCrtCtrlOutput" || n == "isCompensateGravitationalLoads") {
        OnFilterOrOffsetSwitched();
    }
    CMyTestDlg::OnChangedParameterValue(name);
}

void CTestCurrent::OnFilterOrOffsetSwitched() {
    CMC_Setup* setup = GetSetup();
    orvex::ComputeOption_FILTERQ(setup);
    orvex::ComputeOption_FFL(setup);
    orvex::ReadBack_OffsetCurrent(setup);
    UpdateData(false);
    RefreshAllParameters();
}

void CTestCurrent::OnRefreshParameterValue(const char* name) {
    if (running_) {
        const std::string_view n = name;
        if (n == "Kp_C_scl") orvex::WriteOptionsToDrive(GetSetup(), {"SFTKPI", "KPI"});
        if (n == "Ki_C_scl") orvex::WriteOptionsToDrive(GetSetup(), {"SFTKII", "KII"});
    }
    CMyTestDlg::OnRefreshParameterValue(name);
}

void CTestCurrent::OnTune() {
    CMC_Setup* setup = GetSetup();
    orvex::DesignCurrentControllerGains(setup);
    orvex::ComputeOption_KPI(setup);
    orvex::ComputeOption_KII(setup);
    orvex::ComputeOption_SFTKPI(setup);
    orvex::ComputeOption_SFTKII(setup);
    orvex::ReadBack_Ki_C_scl(setup);
    orvex::ReadBack_Kp_C_scl(setup);
    if (running_) orvex::WriteOptionsToDrive(setup, {"SFTKPI", "KPI", "SFTKII", "KII"});
    RefreshAllParameters();
}

bool CTestCurrent::ProtectionCoversTestCurrent() {
    if (GetSetup()->GetParameterValueInBaseUnit("TestCurrent") <=
        GetSetup()->GetParameterValueInBaseUnit("TestProtectionCurrent"))
        return true;
    axis::ShowMessage(this, QString::fromUtf8(kProtectionBelowTestCurrentText),
                      axis::MessageButtons::Ok, axis::MessageIcon::Warning, windowTitle());
    return false;
}

void CTestCurrent::OnOK() {
    if (!UpdateData(true)) return;
    {
        // Both are needed for the copy; a setup lacking either keeps what it has.
        axis::ScopedSilentLookup silent;
        CMC_Parameter* protection = GetSetup()->FindParameter("Imax_Prot");
        const CMC_Parameter* entered = GetSetup()->FindParameter("TestProtectionCurrent");
        if (protection && entered) protection->SetValueInBaseUnit(entered->GetValueInBaseUnit());
    }
    EndDialog(1);
}

void CTestCurrent::OnBtnStartStop() {
    CMyTestDlg::OnBtnStartStop();
    UpdateData(false);  // gains and OK follow the running state
}

void CTestCurrent::BeginTest() {
    CMC_Setup* setup = GetSetup();
    orvex::ComputeOption_FILTERQ(setup);
    orvex::ComputeOption_FFL(setup);
    orvex::ReadBack_OffsetCurrent(setup);
    test_current_ =
        static_cast<int32_t>(std::trunc(setup->GetParameterValueInInternalUnit("TestCurrent")));
    StartRun();
    LaunchProgram(kPreliminaryProgram, &preliminary_program_,
                  {{"In1", static_cast<double>(test_current_)}});
}

void CTestCurrent::OnTestTick() {
    Step();
    if (!running_) UpdateData(false);  // the test ended: gains editable again
}

void CTestCurrent::Step() {
    switch (step_index_) {
        case 2:
            WaitPreliminary();
            return;
        case 3:
            LaunchTuningProgram();
            return;
        case 4:
            WaitTuning();
            return;
        case 5:
            PlotResponse();
            return;
        default:
            Fail(msc_pszErrInternal);
            return;
    }
}

void CTestCurrent::WaitPreliminary() {
    if (!ProgramFinished(preliminary_program_, kMotionMask)) return;
    if (!ReadPreliminaryResult(preliminary_program_, reference_voltage_)) return;
    ShowStep();
    LaunchTuningProgram();
}

void CTestCurrent::LaunchTuningProgram() {
    const CMC_Setup* setup = GetSetup();
    // The setup's over-current protection guards the step; the value entered on the
    // parameters page becomes the setup's only with OK.
    const double step_current = AsInt16(setup->GetParameterValueInInternalUnit("TestCurrent"));
    const double protection = AsInt16(setup->GetParameterValueInInternalUnit("Imax_Prot"));
    if (!LaunchProgram(kTuningProgram, &tuning_program_,
                       {{"RefTest", reference_voltage_},
                        {"In1", step_current},
                        {"Imax_Prot_Test", protection}},
                       logger_.get()))
        return;
    // The run is looked at at once; waiting on arms the timer again.
    KillTimer(1);
    WaitTuning();
}

void CTestCurrent::WaitTuning() {
    // The loop's own protection is the verdict here: the power stage may go off
    // before the run is seen, so the motion errors are looked at once it is off.
    if (!ProgramFinished(tuning_program_, kMotionMask, false)) return;
    double flag = 0.0;
    if (!ReadResultVariable(tuning_program_, "test_flag", flag)) return;
    if (flag <= 0.0) {
        Fail(kProtectionTrippedText);
        return;
    }
    if (!BeginUpload(logger_.get())) return;
    ShowStep();
    PlotResponse();
}

void CTestCurrent::PlotResponse() {
    if (PlotLoggedPoints(*logger_, *graph_, {kCurrentReference, kVoltageReference, kMotorCurrent}))
        TestSucceeded(1);
}
