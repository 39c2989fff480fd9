#include "identification/encoder_connections.h"

#include <cmath>
#include <cstdio>

#include "compute/drive_test_readings.h"
#include "host/drive/comm.h"
#include "host/plot/encoder_diagram.h"
#include "host/setup/host_math.h"
#include "host/setup/setup.h"
#include "host/setup/variable.h"
#include "ui_encoder_connections.h"

namespace {

constexpr const char* kProgram = "Encoder_Connection_Test";

// Status texts by step index; the row after them is the test's failure text.
constexpr const char* kSteps[] = {"Launching code for test", "Running test", "Test finished"};
constexpr std::uint16_t kStepCount = 3;

// The power stage stays off: only a short circuit stops this test.
constexpr std::uint16_t kMotionMask = orvex::kMotionMaskWithoutCurrent;

// Arms the drive's capture of the encoder position at the next index pulse.
constexpr const char* kArmIndexCapture = "!CAP;ENCAPI1;";

}  // namespace

const char* const CTestEncoderConnections::kNoPulsesText =
    "No encoder pulses have been detected.\r\nCheck the encoder connection and power supply.";

CTestEncoderConnections::CTestEncoderConnections(CMC_Setup* setup, int flag, QWidget* parent)
    : CMyTestDlg(setup, new QWidget, flag, parent),
      ui_(std::make_unique<Ui::TestEncoderConnections>()) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    SetStepTable(kSteps, kStepCount);
    continuous_ = true;
    {
        axis::ScopedSilentLookup silent;
        if (const CMC_Parameter* lines = setup->FindParameter("No_encoder_lines"))
            lines_ = static_cast<int32_t>(lines->GetValueInBaseUnit());
    }
}

CTestEncoderConnections::~CTestEncoderConnections() = default;

bool CTestEncoderConnections::OnInitDialog() {
    const bool ok = CMyTestDlg::OnInitDialog();
    if (!diagram_) {
        diagram_ = new CEncoderDiagram;
        diagram_->Attach(ui_->diagramFrame);
        diagram_->Enable(true);
    }
    return ok;
}

void CTestEncoderConnections::BeginTest() {
    pulses_seen_ = false;
    position_ = 0;
    previous_position_ = 0;
    diagram_->SetAngle(0.0);
    index_capture_armed_ = false;
    ui_->positionCounterEdit->clear();
    StartRun();
    // The program runs until told to end: it has no descriptor to read or write.
    LaunchProgram(kProgram, nullptr, {});
}

void CTestEncoderConnections::OnBtnStartStop() {
    if (!running_) {
        CMyTestDlg::OnBtnStartStop();
        UpdateData(false);
        return;
    }
    Stop();
}

void CTestEncoderConnections::Stop() {
    KillTimer(1);
    if (!pulses_seen_) {
        Fail(kNoPulsesText);
        return;
    }
    ShowStep();
    // Writing 1 into var_i2 tells the drive program to end.
    CMC_Variable* end_flag = GetSetup()->FindVariable("var_i2", 1);
    if (!end_flag) {
        Fail(msc_pszErrInternal);
        return;
    }
    end_flag->SetValueInBaseUnit(1.0);
    if (!end_flag->WriteToChip()) {
        failure_text_ = CMC_Comm::GetLastErrorText();
        TestFailed(1);
        return;
    }
    TestSucceeded(1);
}

void CTestEncoderConnections::OnTestTick() {
    if (step_index_ != 2) {
        Fail(msc_pszErrInternal);
        return;
    }
    previous_position_ = position_;
    if (!CheckMotionErrors(true, kMotionMask)) return;
    if (pulses_seen_ && !index_capture_armed_) {
        index_capture_armed_ = true;
        GetSetup()->ExecuteString(kArmIndexCapture, 0, nullptr);
    }
    const CMC_Variable* captured = ReadDriveVariable("CAPPOS");
    if (!captured) return;
    const auto index_position = static_cast<int32_t>(captured->GetValueInInternalUnit());
    char text[32];
    if (index_position == 0) {
        ui_->indexPositionEdit->setText(QStringLiteral("not detected"));
    } else {
        std::snprintf(text, sizeof text, "%d", index_position);
        ui_->indexPositionEdit->setText(QString::fromLatin1(text));
    }
    const CMC_Variable* apos = ReadDriveVariable("APOS");
    if (!apos) return;
    const double counts = apos->GetValueInInternalUnit();
    const auto whole_counts = static_cast<int64_t>(counts);
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(whole_counts));
    ui_->positionCounterEdit->setText(QString::fromLatin1(text));
    position_ =
        static_cast<int32_t>(PositiveModulo(whole_counts, 4 * static_cast<int64_t>(lines_)));
    if (position_ != previous_position_) {
        // A first change that lands exactly on 0 modulo a revolution is no pulse.
        if (position_ != 0) pulses_seen_ = true;
        diagram_->SetAngle(orvex::EncoderAngleFromCounts(counts, lines_));
    }
    SetTimer(1, 20);
}
