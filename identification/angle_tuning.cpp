#include "identification/angle_tuning.h"

#include <QLineEdit>
#include <cmath>
#include <cstdio>

#include "compute/control_loop_options.h"
#include "host/drive/program_run.h"
#include "host/plot/graph_window.h"
#include "host/setup/setup.h"
#include "host/ui/modal_seam.h"
#include "identification/gain_writes.h"
#include "ui_angle_tuning.h"

namespace {

constexpr const char* kProgram = "Angle_Controller_Tuning_Test";

constexpr const char* kSteps[] = {
    "Launching the application for test",
    "Running test",
    "Uploading results",
};
constexpr std::uint16_t kStepCount = 3;

constexpr std::uint16_t kMotionMask = orvex::kMotionMaskWithCurrent;

// The program's result codes ("test_flag"); any other value is a success.
constexpr double kFlagOverCurrent = -1;
constexpr double kFlagAngleNotSettled = -2;
constexpr double kFlagCurrentTooLow = -3;

const char* const kProcedure =
    "1. Check/setup the test parameters below\r\n"
    "2. Go to the \"Test\" tab and tune the angle controller\r\n"
    "3. Press the \"Start\" button\r\n"
    "4. Wait until the test ends and displays the results\r\n"
    "5. The test is successful it at the end of the Stabilize time, the Electric_Angle graph "
    "is smooth and reaches final values with a tolerance of +/- 4550 (25 electrical degrees)\r\n"
    "6. If needed, change the controller parameters until you get results that satisfy point 5 "
    "above";

bool HasParameter(const CMC_Setup* setup, const char* name) {
    axis::ScopedSilentLookup silent;
    return setup->FindParameter(name) != nullptr;
}

}  // namespace

const char* const CTestAngle::kProtectionTrippedText =
    "Test failed!\nCurrent protection triggered during test!";
const char* const CTestAngle::kAngleNotSettledText =
    "Test failed!\nAngle not stabilized.\nIf the Electric_Angle graph is a flat line, please "
    "increase Kp and/or Ki parameters.\n\nIf the Electric_Angle graph oscillates too much, please "
    "decrease Kp and/or Ki parameters.\n\nIf the Electric_Angle graph does not oscillate, but it "
    "does not stabilize to a value between\n-18204 and -14564 (that means -16384 with a "
    "tolerance of +/- 4550, equivalent to\n+/- 25 electrical degrees), you have to fine tune the "
    "Kp and/or Ki parameters until it does.";
const char* const CTestAngle::kAngleNotSettledAtFormat =
    "Test failed!\n\nIf the Test current doesn\u2019t decreases to zero, increase/decrease Kp "
    "and/or Ki parameters.\nIf the Test current decreases to zero but the Electric_Angle graph "
    "does not stabilize to a value close to %s with a tolerance of +/- 4550 (equivalent to +/- 25 "
    "electrical degrees), you have to fine tune the Kp and/or Ki parameters until it does.\nSee "
    "Electric Angle Controller Tuning Help for details";
const char* const CTestAngle::kCurrentTooLowText =
    "Test failed!\nTest current may not be enough. Please increase test current.";

CTestAngle::CTestAngle(CMC_Setup* setup, int flag, QWidget* parent)
    : CMyTestDlg(setup, new QWidget, flag, parent), ui_(std::make_unique<Ui::TestAngle>()) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    SetStepTable(kSteps, kStepCount);
    AddParameterControls("MAX_CURRENT", ui_->maxCurrentEdit, ui_->maxCurrentUnit);
    AddParameterControls("REF_INC", ui_->currentIncrementEdit, ui_->currentIncrementUnit);
    AddParameterControls("TIME_LIMIT", ui_->stabilizeTimeEdit, ui_->stabilizeTimeUnit);
    AddParameterControls("Kp_T_scl", ui_->kpEdit);
    AddTuningSlider("Kp_T_scl", ui_->kpSlider);
    AddParameterControls("Ki_T_scl", ui_->kiEdit);
    AddTuningSlider("Ki_T_scl", ui_->kiSlider);
    own_acquisitions_field_ = !HasParameter(setup, "AquisitionsNo");
    own_sampling_field_ = !HasParameter(setup, "SamplingRate");
    if (own_acquisitions_field_) {
        ui_->acquisitionsEdit->setText(QString::number(own_acquisitions_));
        connect(ui_->acquisitionsEdit, &QLineEdit::editingFinished, this, [this] {
            CommitOwnSetting(ui_->acquisitionsEdit, own_acquisitions_, kMinAcquisitions,
                             kMaxAcquisitions);
        });
    } else {
        AddParameterControls("AquisitionsNo", ui_->acquisitionsEdit);
    }
    if (own_sampling_field_) {
        ui_->samplingRateEdit->setText(QString::number(own_sampling_rate_));
        connect(ui_->samplingRateEdit, &QLineEdit::editingFinished, this, [this] {
            CommitOwnSetting(ui_->samplingRateEdit, own_sampling_rate_, kMinSamplingRate,
                             kMaxSamplingRate);
        });
    } else {
        AddParameterControls("SamplingRate", ui_->samplingRateEdit);
    }
    connect(ui_->savePlotsButton, &QAbstractButton::clicked, this, [this] {
        if (logger_) logger_->SaveGraph(nullptr, this);
    });
    UseTestPages(ui_->pageTabs, ui_->detailsButton);
}

CTestAngle::~CTestAngle() = default;

void CTestAngle::CommitOwnSetting(QLineEdit* edit, unsigned& value, unsigned lo, unsigned hi) {
    bool ok = false;
    const double typed = edit->text().trimmed().toDouble(&ok);
    if (!ok || !(typed >= lo && typed <= hi)) {
        edit->setText(QString::number(value));
        axis::ShowMessage(
            this, QStringLiteral("Please enter a whole number from %1 to %2.").arg(lo).arg(hi),
            axis::MessageButtons::Ok, axis::MessageIcon::Warning, windowTitle());
        return;
    }
    value = static_cast<unsigned>(typed);
    edit->setText(QString::number(value));
}

bool CTestAngle::SetupHasLoggerSettings() const {
    return !own_acquisitions_field_ && !own_sampling_field_;
}

unsigned CTestAngle::Acquisitions() const {
    if (!SetupHasLoggerSettings()) return own_acquisitions_;
    return static_cast<uint16_t>(GetSetup()->GetParameterValueInBaseUnit("AquisitionsNo"));
}

unsigned CTestAngle::SamplingRate() const {
    if (!SetupHasLoggerSettings()) return own_sampling_rate_;
    return static_cast<uint16_t>(GetSetup()->GetParameterValueInBaseUnit("SamplingRate"));
}

void CTestAngle::ConfigureLogger() {
    logger_->ChangeSettings(Acquisitions(), 2, SamplingRate());
    logger_->AddVariable("Motor_Current", 1);
    logger_->AddVariable("Electric_Angle", 1);
    logger_->CorrectPointsNo();
}

bool CTestAngle::OnInitDialog() {
    RefreshAllParameters();
    ui_->procedureLabel->setText(QString::fromUtf8(kProcedure));
    program_.SetFileName(GetOutPathName(kProgram));
    program_.ReadCoff();
    // The plot joins the dialog once the host has laid the form out.
    const bool ok = CMyTestDlg::OnInitDialog();
    if (!logger_) {
        logger_ = std::make_unique<CMC_SingleAxisLogger>(GetSetup(), &program_);
        ConfigureLogger();
        logger_->LocateItems();
        graph_ = PlaceGraph(ui_->graphFrame);
        graph_->SetXLabel(QStringLiteral("Time [s]"));
        graph_->SetYLabel(CGraphWindow::kLeftAxis, QStringLiteral("Current [counts]"));
        graph_->SetYLabel(CGraphWindow::kRightAxis,
                          QStringLiteral("Electric angle [65536 per turn]"));
        graph_->AddCurve(QStringLiteral("Motor_Current"), 1, CGraphWindow::kLeftAxis);
        graph_->AddCurve(QStringLiteral("Electric_Angle"), 4, CGraphWindow::kRightAxis);
        graph_->Redraw();
    }
    if (ui_->detailsButton) {
        // "Details" of this test says nothing more after an angle that did not
        // settle: the long advice is the result text already.
        disconnect(ui_->detailsButton, nullptr, this, nullptr);
        connect(ui_->detailsButton, &QAbstractButton::clicked, this, [this] { OnDetails(); });
    }
    return ok;
}

void CTestAngle::OnDetails() {
    if (angle_failure_ == 1) return;
    axis::ShowMessage(this, QString::fromStdString(failure_text_), axis::MessageButtons::Ok,
                      axis::MessageIcon::Error, windowTitle());
}

void CTestAngle::DoDataExchange(bool save) {
    CMyTestDlg::DoDataExchange(save);
    if (save) return;
    EnableChildren({ui_->okButton, ui_->kpEdit, ui_->kpSlider, ui_->kiEdit, ui_->kiSlider},
                   !running_);
}

void CTestAngle::OnChangedParameterValue(const char* name) {
    const std::string_view n = name;
    if (n == "Kp_T_scl") {
        orvex::ComputeOption_SFTKPTHT(GetSetup());
        orvex::ComputeOption_KPTHT(GetSetup());
    } else if (n == "Ki_T_scl") {
        orvex::ComputeOption_SFTKITHT(GetSetup());
        orvex::ComputeOption_KITHT(GetSetup());
    }
    CMyTestDlg::OnChangedParameterValue(name);
}

void CTestAngle::OnRefreshParameterValue(const char* name) {
    if (running_) {
        const std::string_view n = name;
        if (n == "Kp_T_scl") orvex::WriteOptionsToDrive(GetSetup(), {"SFTKPTHT", "KPTHT"});
        if (n == "Ki_T_scl") orvex::WriteOptionsToDrive(GetSetup(), {"SFTKITHT", "KITHT"});
    }
    CMyTestDlg::OnRefreshParameterValue(name);
}

void CTestAngle::OnBtnStartStop() {
    CMyTestDlg::OnBtnStartStop();
    UpdateData(false);
}

void CTestAngle::BeginTest() {
    RefreshAllParameters();
    const CMC_Setup* setup = GetSetup();
    const double max_current = setup->GetParameterValueInInternalUnit("MAX_CURRENT");
    const double increment = setup->GetParameterValueInInternalUnit("REF_INC");
    const double time_limit = setup->GetParameterValueInInternalUnit("TIME_LIMIT");
    angle_failure_ = 0;
    StartRun();
    ConfigureLogger();
    LaunchProgram(
        kProgram, &program_,
        {{"In1", max_current}, {"ReferenceIncrement", increment}, {"TimeLimit", time_limit}},
        logger_.get());
}

void CTestAngle::OnTestTick() {
    Step();
    if (!running_) UpdateData(false);
}

void CTestAngle::Step() {
    switch (step_index_) {
        case 2:
            WaitProgram();
            return;
        case 3:
            PlotAndJudge();
            return;
        default:
            Fail(msc_pszErrInternal);
            return;
    }
}

void CTestAngle::WaitProgram() {
    // The power stage may go off before the run is seen: the motion errors are
    // looked at once more when it is off.
    if (!ProgramFinished(program_, kMotionMask, false)) return;
    if (!BeginUpload(logger_.get())) return;
    ShowStep();
    PlotAndJudge();
}

void CTestAngle::PlotAndJudge() {
    if (PlotLoggedPoints(*logger_, *graph_, {1, 2})) Judge();
}

void CTestAngle::Judge() {
    double flag = 0.0;
    if (!ReadResultVariable(program_, "test_flag", flag)) return;
    if (flag == kFlagOverCurrent) {
        failure_text_ = kProtectionTrippedText;
    } else if (flag == kFlagAngleNotSettled) {
        angle_failure_ = 1;
        double final_angle = 0.0;
        std::string ignored;
        if (!GetUserVariableValue(&program_, "theta_1", final_angle, ignored) ||
            final_angle == axis::kNoValueMarker) {
            failure_text_ = kAngleNotSettledText;
        } else {
            char angle[32];
            std::snprintf(angle, sizeof angle, "%lld",
                          static_cast<long long>(std::trunc(final_angle)));
            char text[1024];
            std::snprintf(text, sizeof text, kAngleNotSettledAtFormat, angle);
            failure_text_ = text;
        }
    } else if (flag == kFlagCurrentTooLow) {
        failure_text_ = kCurrentTooLowText;
    } else {
        TestSucceeded(1);
        return;
    }
    TestFailed(1);
}
