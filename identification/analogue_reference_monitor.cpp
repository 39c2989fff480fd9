#include "identification/analogue_reference_monitor.h"

#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "host/drive/program_run.h"
#include "host/plot/bar_graph.h"
#include "host/setup/setup.h"
#include "ui_analogue_reference.h"

namespace {

constexpr const char* kProgram = "Analogue_Reference_Test";

constexpr const char* kSteps[] = {"Launching test", "Running test"};
constexpr std::uint16_t kStepCount = 2;

// The power stage stays off: only a short circuit stops this test.
constexpr std::uint16_t kMotionMask = orvex::kMotionMaskWithoutCurrent;

// Palette entries of the bars: blue for the input voltage, lime for the command.
constexpr int kVoltageBarColour = 12;
constexpr int kCommandBarColour = 10;

struct CommandKind {
    const char* min;
    const char* max;
    const char* label;
};
// By "ControlMode": what the analogue reference commands.
constexpr CommandKind kCommands[] = {
    {"POS_min", "POS_max", "Position command"},
    {"SPD_min", "SPD_max", "Speed command"},
    {"CRT_min", "CRT_max", "Current command"},
};

CBarGraph* AttachBar(QWidget* frame) {
    auto* bar = new CBarGraph;
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bar);
    return bar;
}

QString TwoDecimals(double value) {
    return QString::asprintf("%.2f", value);
}

}  // namespace

const char* const CTestAnalogueRef::kNoReadingText =
    "The test was stopped before the analogue reference was read: nothing was checked. Start "
    "it again and let it run until the readings show.";

CTestAnalogueRef::CTestAnalogueRef(CMC_Setup* setup, int flag, QWidget* parent)
    : CMyTestDlg(setup, new QWidget, flag, parent), ui_(std::make_unique<Ui::TestAnalogueRef>()) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    SetStepTable(kSteps, kStepCount);
    continuous_ = true;
}

CTestAnalogueRef::~CTestAnalogueRef() = default;

bool CTestAnalogueRef::OnInitDialog() {
    const CMC_Setup* setup = GetSetup();
    voltage_range_ =
        orvex::AnalogueInputVoltageRange(setup->GetParameterValueInBaseUnit("AnalogueInputsRange"));
    ui_->voltageUnit->setText(
        QString::fromStdString(setup->GetParameterUnit("AnalogueInputsRange")));
    const double mode = std::trunc(setup->GetParameterValueInBaseUnit("ControlMode"));
    has_command_ = false;
    for (int m = 0; m < static_cast<int>(std::size(kCommands)); ++m) {
        if (mode != m) continue;
        // In the display unit: the command is shown as the user set its limits.
        command_range_ = {setup->GetParameterValue(kCommands[m].min),
                          setup->GetParameterValue(kCommands[m].max)};
        command_label_ = kCommands[m].label;
        has_command_ = true;
        ui_->commandLabel->setText(QString::fromUtf8(kCommands[m].label));
        command_unit_ = setup->GetParameterUnit(kCommands[m].max);
        ui_->commandUnit->setText(QString::fromStdString(command_unit_));
    }
    if (!voltage_bar_) {
        voltage_bar_ = AttachBar(ui_->voltageBarFrame);
        command_bar_ = AttachBar(ui_->commandBarFrame);
    }
    voltage_bar_->SetRange(voltage_range_.min, voltage_range_.max);
    voltage_bar_->SetValue(0.0);
    voltage_bar_->SetColor(kVoltageBarColour);
    command_bar_->SetRange(command_range_.min, command_range_.max);
    command_bar_->SetValue(command_range_.min);
    command_bar_->SetColor(kCommandBarColour);
    ui_->voltageEdit->clear();
    ui_->commandEdit->clear();
    UpdateData(false);
    return CMyTestDlg::OnInitDialog();
}

void CTestAnalogueRef::BeginTest() {
    readings_ = {};
    ui_->voltageEdit->clear();
    ui_->commandEdit->clear();
    voltage_bar_->SetValue(orvex::BarDrawingReference(voltage_range_));
    command_bar_->SetValue(orvex::BarDrawingReference(command_range_));
    UpdateData(false);
    StartRun();
    // The program runs until stopped: it has no descriptor to read or write.
    LaunchProgram(kProgram, nullptr, {});
}

void CTestAnalogueRef::ShowReading(CBarGraph* bar, orvex::ReadingRange range, double value) {
    bar->SetRange(range.min, range.max);
    bar->SetValue(value);
}

void CTestAnalogueRef::OnTestTick() {
    if (step_index_ != kStepCount) {
        TestFailed(1);
        return;
    }
    if (stop_request_) {
        // Stop of this test is its normal end. The drive program runs until it is
        // stopped: leave the drive idle, ready for the next program.
        std::string ignored;
        axis::StopDriveProgram(GetSetup(), ignored);
        stop_request_ = false;
        if (readings_.count == 0) {
            failure_text_ = kNoReadingText;
            TestFailed(1);
            return;
        }
        TestSucceeded(1);
        return;
    }
    if (!CheckMotionErrors(true, kMotionMask)) return;
    double counts = 0.0;
    if (!ReadDriveValue("AD5", counts)) return;
    const double volts = orvex::AnalogueReading(counts, voltage_range_);
    ui_->voltageEdit->setText(TwoDecimals(volts));
    ShowReading(voltage_bar_, voltage_range_, volts);
    readings_.lowest_V = readings_.count ? std::min(readings_.lowest_V, volts) : volts;
    readings_.highest_V = readings_.count ? std::max(readings_.highest_V, volts) : volts;
    readings_.last_V = volts;
    ++readings_.count;
    if (has_command_) {
        const double command = orvex::AnalogueReading(counts, command_range_);
        ui_->commandEdit->setText(TwoDecimals(command));
        ShowReading(command_bar_, command_range_, command);
        readings_.last_command = command;
    }
    PumpMessages();
    if (running_) SetTimer(1, 20);
}

std::vector<CMyTestDlg::IdentifiedValue> CTestAnalogueRef::IdentifiedValues() const {
    if (readings_.count == 0) return {};
    std::vector<IdentifiedValue> values = {
        {"Analogue input voltage", readings_.last_V, "V"},
        {"lowest voltage", readings_.lowest_V, "V"},
        {"highest voltage", readings_.highest_V, "V"},
        {"readings", static_cast<double>(readings_.count), ""},
    };
    if (has_command_) values.push_back({command_label_, readings_.last_command, command_unit_});
    return values;
}
