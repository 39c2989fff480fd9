#include "tuning/tuning_test_dlg.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

#include "compute/config_registers.h"
#include "compute/option_codec.h"
#include "compute/scales.h"
#include "host/drive/comm.h"
#include "host/drive/logger.h"
#include "host/drive/program_run.h"
#include "host/drive/scope_logger.h"
#include "host/plot/graph_document.h"
#include "host/plot/graph_window.h"
#include "host/plot/oscilloscope.h"
#include "host/plot/rgb16.h"
#include "host/setup/host_math.h"
#include "host/setup/setup.h"
#include "host/setup/variable.h"
#include "host/ui/modal_seam.h"
#include "tuning/scope_feed.h"
#include "tuning/scope_rules.h"
#include "tuning/tuning_rules.h"

using orvex::tuning::TuningControls;
using orvex::tuning::TuningNames;

namespace {

constexpr const char* kPreliminaryProgram = "Initial_Positioning_Test";

// Motion error masks: short circuit and ENABLE while the preliminary program drives
// current; everything but the informational command error while the loops run.
constexpr std::uint16_t kPreliminaryMask = 0x8002;
constexpr std::uint16_t kRunningMask = 0xFFDF;
constexpr std::uint16_t kAnyError = 0xFFFF;

// Timer periods: the test's pace, and the scope's, which must drain a frame a
// millisecond.
constexpr int kTickMs = 20;
constexpr int kScopeTickMs = 1;

// The data logger records 2000 slow-loop samples of every logged variable.
constexpr unsigned kLoggerPoints = 2000;
constexpr int kLogTypeSlowLoop = 1;

// Curve colours (RGB16 palette): reference, response, inner reference, inner response.
constexpr int kReferenceColour = 2;
constexpr int kResponseColour = 5;
constexpr int kInnerReferenceColour = 8;
constexpr int kInnerResponseColour = 9;
constexpr int kScopeBackground = 4;
// The scope legend's corner, in divisions from the screen's centre: lower left, below
// where the current traces rest before the trigger (two divisions down).
constexpr float kScopeLegendAnchor[] = {-4.2f, -3.5f};
constexpr int kLineStyle = 2;

// Items of a logged point: 0 the time, then the logged variables in order.
constexpr int kTime = 0, kReference = 1, kResponse = 2, kInnerReference = 3, kInnerResponse = 4;

double Truncated(double value) {
    return std::trunc(value);
}

}  // namespace

const char* const CTuningTestDlg::kSteps[7] = {
    "Launching the application for preliminary test",
    "Waiting preliminary test to be finished",
    "Launching the application for test",
    "Running test",
    "Uploading results",
    "Test running. Press \"Stop\" to end the test",
    "Test failed!\nCurrent protection triggered during test!",
};
const char* const CTuningTestDlg::kProtectionTrippedText = CTuningTestDlg::kSteps[6];
const char* const CTuningTestDlg::kLimitAboveProtectionText =
    "Over current protection must be greater than Drive current limit. Recommended value for "
    "Drive current limit is maximum 90% of Over current protection.";

CTuningTestDlg::CTuningTestDlg(CMC_Setup* setup, QWidget* layout, int flag, QWidget* parent,
                               const TuningNames& names, CTuningTestDlg*& active,
                               std::string program_name, std::vector<std::string> logged)
    : CMyTestDlg(setup, layout, flag, parent, /*loop_tuning=*/true),
      names_(names),
      active_(active),
      program_name_(std::move(program_name)),
      logged_(std::move(logged)) {
    step_count_ = OnlinePlot() ? 4 : 5;
    data_logger_ = std::make_unique<CMC_SingleAxisLogger>(setup, &test_program_);
    logger_graph_ = new CGraphWindow(this);
    if (setup->GetIntOption("hasOscilloscope") != 0) {
        scope_logger_ = std::make_unique<CMC_ScopeLogger>(setup, &test_program_);
        scope_graph_ = new CGraphWindow(this);
        feed_ = std::make_unique<orvex::tuning::ScopeFeed>(*scope_logger_, *scope_graph_);
        active_ = this;
    } else {
        oscilloscope_ = new CMC_Oscilloscope(this);
    }
}

CTuningTestDlg::~CTuningTestDlg() {
    if (scope_logger_) scope_logger_->EndUploadData();
    feed_.reset();
    if (active_ == this) active_ = nullptr;
}

void CTuningTestDlg::AttachControls(const TuningControls& controls) {
    controls_ = controls;
    if (controls_.pages)
        connect(controls_.pages, &QTabWidget::currentChanged, this,
                [this](int page) { OnPageChanged(page); });
    if (controls_.pause)
        connect(controls_.pause, &QAbstractButton::clicked, this, [this] { OnPause(); });
    if (controls_.resume)
        connect(controls_.resume, &QAbstractButton::clicked, this, [this] { OnContinue(); });
    if (controls_.save_plots)
        connect(controls_.save_plots, &QAbstractButton::clicked, this, [this] { OnSavePlots(); });
    // A logger choice takes effect at once: the controls follow it.
    for (QAbstractButton* radio : {controls_.data_logger, controls_.online_plot})
        if (radio)
            connect(radio, &QAbstractButton::clicked, this, [this] {
                if (UpdateData(true)) UpdateData(false);
            });
}

bool CTuningTestDlg::Has(const char* name) const {
    return orvex::Probe(GetSetup(), {name});
}

int CTuningTestDlg::IntOf(const char* name) const {
    if (!Has(name)) return 0;
    return static_cast<int>(Truncated(GetSetup()->GetParameterValueInBaseUnit(name)));
}

int CTuningTestDlg::ReferenceType() const {
    return Has(names_.reference_type_probe) ? IntOf(names_.reference_type) : 0;
}

void CTuningTestDlg::QuantiseFinalValue() {
    CMC_Setup* setup = GetSetup();
    if (!Has(names_.final_value)) return;
    const auto value = orvex::tuning::QuantisedFinalValue(
        setup->GetParameterValueInBaseUnit(names_.final_value), names_.counts_per_unit(setup));
    if (value) setup->SetParameterValueInBaseUnit(names_.final_value, *value);
}

void CTuningTestDlg::BindGains(std::initializer_list<GainControls> gains) {
    for (const GainControls& g : gains) {
        if (!Has(g.name)) continue;
        AddParameterControls(g.name, g.edit, g.unit);
        AddTuningSlider(g.name, g.slider, g.spin);
    }
}

CTuningTestDlg::DisplayMode CTuningTestDlg::Mode() const {
    if (!OnlinePlot()) return DisplayMode::kDataLogger;
    return scope_logger_ ? DisplayMode::kScope : DisplayMode::kOnlineOscilloscope;
}

// --- dialog start ---------------------------------------------------------------------

bool CTuningTestDlg::OnInitDialog() {
    const bool ok = CMyTestDlg::OnInitDialog();
    preliminary_program_.SetFileName(GetOutPathName(kPreliminaryProgram));
    preliminary_program_.ReadCoff();
    test_program_.SetFileName(GetOutPathName(program_name_.c_str()));
    test_program_.ReadCoff();
    if (controls_.procedure) controls_.procedure->setText(QString::fromUtf8(names_.procedure));
    if (controls_.reference_value) controls_.reference_value->clear();
    if (controls_.response_value) controls_.response_value->clear();
    for (auto [swatch, colour] : {std::pair{controls_.reference_swatch, kReferenceColour},
                                  std::pair{controls_.response_swatch, kResponseColour}})
        if (swatch)
            swatch->setStyleSheet(
                QStringLiteral("background-color: %1;").arg(RGB16(colour).name()));
    if (controls_.pages) {
        switching_page_ = true;
        controls_.pages->setCurrentIndex(kParametersPage);
        switching_page_ = false;
    }
    shown_page_ = kParametersPage;
    SetUpDataLogger();
    SetUpScopeOrOscilloscope();
    return ok;
}

void CTuningTestDlg::SetUpDataLogger() {
    data_logger_->ChangeSettings(kLoggerPoints, kLogTypeSlowLoop, 1);
    for (const std::string& v : logged_) data_logger_->AddVariable(v, 1);
    data_logger_->CorrectPointsNo();
    CGraphFilter* filter = data_logger_->GetGraphDocument().GetAt(0);
    filter->RemoveAll();
    // Speed (or position) on the left axis, the inner loop's pair on the right.
    filter->Add(CXYCurve(kTime, kReference, 1, kReferenceColour, kLineStyle));
    filter->Add(CXYCurve(kTime, kInnerReference, 2, kInnerReferenceColour, kLineStyle));
    filter->Add(CXYCurve(kTime, kResponse, 1, kResponseColour, kLineStyle));
    filter->Add(CXYCurve(kTime, kInnerResponse, 2, kInnerResponseColour, kLineStyle));
    data_logger_->LocateItems();
    logger_graph_->SubclassDlgItem(controls_.graph_frame, filter);
    logger_graph_->SetXLabel(QStringLiteral("Time [s]"));
    logger_graph_->RefreshGraph();
}

void CTuningTestDlg::SetUpScopeOrOscilloscope() {
    if (!scope_logger_) {
        if (controls_.oscilloscope_frame) {
            auto* frame = controls_.oscilloscope_frame;
            if (!frame->layout()) new QVBoxLayout(frame);
            frame->layout()->setContentsMargins(0, 0, 0, 0);
            frame->layout()->addWidget(oscilloscope_);
        }
        return;
    }
    if (controls_.online_plot) SetChildText(controls_.online_plot, QStringLiteral("Scope"));
    customised_ = scope_logger_->LoadSettingsFromSetupOption(names_.osc_settings) != 0;
    if (!customised_)
        DefaultScopeSetup();
    else if (scope_logger_->GetGraphDocument().GetAt(0)->Curves().empty())
        DefaultScopeGraph();  // kept before the settings carried their graph
    SubclassScopeGraph();
    scope_graph_->SetContextMenuHandler([this](const QPoint& at) { ShowScopeMenu(at); });
    connect(scope_graph_, &CGraphWindow::ChannelScaleRequested, this,
            [this](int channel, int step) {
                const auto packed =
                    static_cast<std::uint32_t>(channel & 0xFFFF) |
                    (static_cast<std::uint32_t>(static_cast<std::uint16_t>(step)) << 16);
                OnChannelScaleRequest(scope_graph_, packed);
            });
}

void CTuningTestDlg::DefaultScopeSetup() {
    for (const std::string& v : logged_) scope_logger_->AddVariable(v, 1);
    DefaultScopeGraph();
    ApplyCaptureSettings();
    ApplyChannelScales();
}

void CTuningTestDlg::DefaultScopeGraph() {
    CGraphFilter* filter = scope_logger_->GetGraphDocument().GetAt(0);
    filter->RemoveAll();
    filter->SetBackground(kScopeBackground);
    filter->SetFloatList({kScopeLegendAnchor[0], kScopeLegendAnchor[1]});
    filter->Add(CXYCurve(kTime, kReference, 1, kReferenceColour, kLineStyle));
    filter->Add(CXYCurve(kTime, kResponse, 1, kResponseColour, kLineStyle));
    filter->Add(CXYCurve(kTime, kInnerReference, 1, kInnerReferenceColour, kLineStyle));
    filter->Add(CXYCurve(kTime, kInnerResponse, 1, kInnerResponseColour, kLineStyle));
}

void CTuningTestDlg::SubclassScopeGraph() {
    scope_graph_->SubclassDlgItem(controls_.oscilloscope_frame,
                                  scope_logger_->GetGraphDocument().GetAt(0));
    scope_graph_->SetXLabel(QStringLiteral("Time [s]"));
    scope_graph_->SetYLabel(CGraphWindow::kLeftAxis, QStringLiteral("Divisions"));
    // Ten divisions, as the channel scales count them: a speed profile climbs four
    // above the centre line, a current swings three either side of two below it.
    scope_graph_->SetScreen(-5.0, 5.0);
    scope_graph_->RefreshGraph();
}

void CTuningTestDlg::ApplyCapture(const orvex::tuning::CaptureSettings& c) {
    if (!scope_logger_ || customised_) return;
    scope_logger_->ChangeSettings(c.window_s, c.trigger_mode, c.trigger_slope,
                                  c.trigger_variable.empty() ? nullptr : c.trigger_variable.c_str(),
                                  c.level, c.pretrigger_percent);
    scope_logger_->LocateItems();
}

void CTuningTestDlg::RescaleChannels(std::initializer_list<const char*> variables,
                                     const char* unit_of, double division, double offset) {
    if (!scope_logger_ || customised_) return;
    const CMC_Parameter* p = GetSetup()->FindParameter(unit_of);
    const std::string unit = p ? p->GetUnitName() : std::string();
    for (const char* v : variables)
        scope_logger_->RescaleVariable(v, unit.c_str(), division, offset);
}

// --- control states -------------------------------------------------------------------

void CTuningTestDlg::DoDataExchange(bool save) {
    CMyTestDlg::DoDataExchange(save);
    if (save) return;
    const TuningControls& c = controls_;
    const bool idle = !running_;
    const bool online = OnlinePlot() != 0;
    const bool on_test_page = shown_page_ == kTestPage;
    EnableChildren({c.ok, c.data_logger, c.identify}, idle);
    EnableChild(c.online_plot, idle && (MultiCycle() != 0 || HasScope()));
    if (HasScope()) {
        ShowChildren({c.pause, c.resume}, false);
    } else if (idle) {
        // The on-line oscilloscope loop enables them while it runs.
        EnableChildren({c.pause, c.resume}, false);
    }
    EnableChild(c.save_plots, on_test_page && (!online || HasScope()));
    ShowChild(c.graph_frame, !online);
    ShowChild(c.oscilloscope_frame, online);
    const bool readouts = on_test_page && running_ && online && !HasScope();
    ShowChildren({c.reference_caption, c.reference_value, c.response_caption, c.response_value,
                  c.reference_swatch, c.response_swatch},
                 readouts);
    ShowChild(c.details, on_test_page && outcome_ != Outcome::kUndecided && !failure_text_.empty());
}

// --- pages ------------------------------------------------------------------------------

void CTuningTestDlg::OnPageChanged(int page) {
    if (switching_page_ || !controls_.pages) return;
    switching_page_ = true;
    const auto back_to = [this](int p) { controls_.pages->setCurrentIndex(p); };
    CMC_Setup* setup = GetSetup();
    if (page == kParametersPage && running_) {
        back_to(kTestPage);
    } else if (!UpdateData(true)) {
        back_to(shown_page_);
    } else if (page == kTestPage &&
               setup->GetParameterValueInBaseUnit("TestLimitCurrent") >
                   setup->GetParameterValueInBaseUnit("TestProtectionCurrent")) {
        axis::ShowMessage(this, QString::fromUtf8(kLimitAboveProtectionText),
                          axis::MessageButtons::Ok, axis::MessageIcon::Warning, windowTitle());
        back_to(kParametersPage);
    } else {
        ShowPage(page);
    }
    switching_page_ = false;
}

void CTuningTestDlg::ShowPage(int page) {
    shown_page_ = page;
    OnPageShown(page);
    if (page == kTestPage) {
        if (outcome_ == Outcome::kSucceeded)
            TestSucceeded(0);
        else if (!failure_text_.empty())
            TestFailed(0);
    }
    UpdateData(false);
}

// --- start ------------------------------------------------------------------------------

void CTuningTestDlg::BeginTest() {
    CMC_Setup* setup = GetSetup();
    stop_request_ = false;
    running_ = true;
    continuous_ = false;
    step_count_ = OnlinePlot() ? 4 : 5;
    failure_text_.clear();
    if (SkipPreliminary()) {
        // The motor is where the last successful run left it, and the reference voltage
        // found then still holds.
        step_index_ = 2;
        outcome_ = Outcome::kUndecided;
        SetInfoText(kSteps[step_index_]);
        SetTimer(1, kTickMs);
        UpdateData(false);
        return;
    }
    step_index_ = 0;
    outcome_ = Outcome::kUndecided;
    SetInfoText(kSteps[step_index_]);
    const double test_current = setup->GetParameterValueInInternalUnit("TestCurrent");
    if (test_current == axis::kNoValueMarker) {
        // Nothing to align with: the host shows the parameter as missing.
        running_ = false;
        return;
    }
    if (!WriteInput(preliminary_program_, "In1", Truncated(test_current))) return;
    if (Has("ABSTART_MINMOVE")) setup->SetParameterValueInBaseUnit("ABSTART_MINMOVE", 0.0);
    if (!ExecuteCode(kPreliminaryProgram, &preliminary_program_, nullptr, nullptr, nullptr)) {
        failure_text_ = msc_pszErrInternal;
        TestFailed(1);
        return;
    }
    SetInfoText(kSteps[step_index_]);
    SetTimer(1, kTickMs);
    UpdateData(false);
}

bool CTuningTestDlg::WriteInput(CMC_CoffFormat& program, const char* name, double value) {
    if (SetUserVariableValue(&program, name, value, failure_text_)) return true;
    TestFailed(1);
    return false;
}

void CTuningTestDlg::OnBtnStartStop() {
    if (running_ && OnlinePlot() && scope_logger_ && scope_logger_->UploadInProgress()) {
        scope_logger_->EndUploadData();
        if (scope_logger_->UploadInProgress()) return;  // the scope would not stop
        continuous_ = false;
        stop_request_ = true;
    }
    CMyTestDlg::OnBtnStartStop();
    UpdateData(false);
}

// --- timer steps ----------------------------------------------------------------------

void CTuningTestDlg::OnTimer(int id) {
    KillTimer(1);
    if (!running_ || id != 1) {
        CMyTestDlg::OnTimer(id);
        return;
    }
    Step();
    if (!running_) UpdateData(false);
}

void CTuningTestDlg::Step() {
    switch (step_index_) {
        case 2:
            WaitPreliminary();
            return;
        case 3:
            LaunchTestProgram();
            return;
        case 4:
            StepRunning();
            return;
        case 5:
            StepUpload();
            return;
        default:
            failure_text_ = msc_pszErrInternal;
            TestFailed(1);
    }
}

void CTuningTestDlg::WaitPreliminary() {
    if (PollProgram(preliminary_program_, kPreliminaryMask, false) != ProgramState::kFinished)
        return;
    if (!CheckMotionErrors(true, kPreliminaryMask)) return;
    double in1 = 0.0;
    if (!ReadResultVariable(preliminary_program_, "In1", in1)) return;
    const CMC_Variable* reference = ReadDriveVariable("REFTST_V");
    if (!reference) return;
    reference_test_value_ = reference->GetValueInInternalUnit();
    if (in1 <= 0.0) {
        failure_text_ = msc_pszErrInZero;
        TestFailed(1);
        return;
    }
    SetInfoText(kSteps[step_index_]);
    LaunchTestProgram();
}

void CTuningTestDlg::LaunchTestProgram() {
    CMC_Setup* setup = GetSetup();
    if (!WriteLeadingInputs(test_program_)) return;
    const orvex::tuning::ProfileTimes times{setup->GetParameterValueInBaseUnit(names_.ramp_up),
                                            setup->GetParameterValueInBaseUnit(names_.hold),
                                            setup->GetParameterValueInBaseUnit(names_.ramp_down),
                                            setup->GetParameterValueInBaseUnit(names_.pause)};
    const double final_value = setup->GetParameterValueInBaseUnit(names_.final_value);
    const std::int32_t final_counts = TG_FRound(final_value * names_.counts_per_unit(setup));
    const auto table = orvex::tuning::BuildReferenceSegments(
        names_.kind, orvex::tuning::ReferenceTypeFromValue(ReferenceType()), final_counts, times,
        orvex::GetSpeedLoopPeriod(setup));
    for (int i = 0; i < 6; ++i) {
        if (i == table.first_bad) {
            failure_text_ = table.error;
            TestFailed(1);
            return;
        }
        const auto& s = table.segments[static_cast<size_t>(i)];
        if (!WriteInput(test_program_, ("a" + std::to_string(i)).c_str(), s.samples) ||
            !WriteInput(test_program_, ("b" + std::to_string(i)).c_str(), s.Increment()))
            return;
    }
    const int m = MultiCycle();
    continuous_ = m != 0;
    if (!WriteInput(test_program_, "MultiC", m)) return;
    if (!WriteTrailingInputs(test_program_)) return;

    const DisplayMode mode = Mode();
    if (mode == DisplayMode::kOnlineOscilloscope) {
        // The reference runs from 0 to the final value: a fifth more on either side.
        const double v = final_counts;
        const double upper = v >= 0 ? 1.2 * v : -0.2 * v;
        const double lower = v >= 0 ? -0.2 * v : 1.2 * v;
        oscilloscope_->Clear();
        oscilloscope_->SetTimeSpan(times.ramp_up_s + times.hold_s + times.ramp_down_s +
                                   times.pause_s);
        oscilloscope_->SetChannel(0, QString::fromUtf8(names_.oscilloscope_reference),
                                  kReferenceColour);
        oscilloscope_->SetChannel(1, QString::fromUtf8(names_.oscilloscope_response),
                                  kResponseColour);
        for (int channel : {0, 1}) oscilloscope_->SetRange(channel, lower, upper);
    }
    if (Has("ABSTART_MINMOVE")) orvex::ComputeOption_ABSTART_MINMOVE(setup);
    // The data logger is armed by the program start; the scope streams from the moment
    // the program runs.
    CMC_Logger* logger = mode == DisplayMode::kDataLogger ? data_logger_.get() : nullptr;
    if (!ExecuteCode(program_name_.c_str(), &test_program_, logger, nullptr, nullptr) ||
        (mode == DisplayMode::kScope && !scope_logger_->BeginUploadData())) {
        failure_text_ = msc_pszErrInternal;
        TestFailed(1);
        return;
    }
    SetInfoText(m != 0 ? kSteps[5] : kSteps[step_index_]);
    stop_request_ = false;
    SetTimer(1, mode == DisplayMode::kScope ? kScopeTickMs : kTickMs);
    if (mode == DisplayMode::kOnlineOscilloscope) {
        oscilloscope_->RedrawNow();
    } else if (mode == DisplayMode::kScope) {
        scope_graph_->RedrawNow();
        scope_graph_->RefreshGraph();
    }
    UpdateData(false);
}

void CTuningTestDlg::StepRunning() {
    switch (Mode()) {
        case DisplayMode::kDataLogger:
            if (MultiCycle())
                StepRunningRepeated();
            else
                StepRunningOnce();
            return;
        case DisplayMode::kOnlineOscilloscope:
            RunOscilloscope();
            return;
        case DisplayMode::kScope:
            RunScope();
            return;
    }
}

void CTuningTestDlg::StepRunningOnce() {
    if (PollProgram(test_program_, kAnyError, false) != ProgramState::kFinished) return;
    SetInfoText(kSteps[4]);
    SetTimer(1, kTickMs);
}

void CTuningTestDlg::StepRunningRepeated() {
    if (stop_request_) {
        UpdateData(false);
        SetInfoText(kSteps[4]);
        SetTimer(1, kScopeTickMs);
        return;
    }
    // A run that went wrong is noted, uploaded, and only then reported.
    if (!CheckTestFlag(false) || !CheckMotionErrors(false, kRunningMask)) stop_request_ = true;
    SetTimer(1, kTickMs);
}

bool CTuningTestDlg::CheckTestFlag(bool fail) {
    double flag = 0.0;
    if (!GetUserVariableValue(&test_program_, "test_flag", flag, failure_text_)) {
        if (fail) TestFailed(1);
        return false;
    }
    if (flag > 0.0) return true;
    failure_text_ = flag == axis::kNoValueMarker ? msc_pszErrInternal : kProtectionTrippedText;
    if (fail) TestFailed(1);
    return false;
}

void CTuningTestDlg::StopDriveProgram() {
    // A repeated run goes on until told otherwise: a test that has ended must not leave
    // the motor cycling.
    std::string error;
    axis::StopDriveProgram(GetSetup(), error);
}

void CTuningTestDlg::RunOscilloscope() {
    paused_ = false;
    EnableChild(controls_.pause, true);
    EnableChild(controls_.resume, false);
    CMC_Setup* setup = GetSetup();
    CMC_Variable* reference = setup->FindVariable(names_.oscilloscope_reference, 1);
    CMC_Variable* response = setup->FindVariable(names_.oscilloscope_response, 1);
    if (!reference || !response) {
        failure_text_ = msc_pszErrInternal;
        TestFailed(1);
        return;
    }
    response->ChangeUnit(reference->GetUnitName());
    UpdateData(false);
    const auto show = [](QLabel* label, const CMC_Variable& v) {
        if (!label) return;
        const std::string unit = v.HasSelectedUnit() ? " " + v.GetUnitName() : " IU";
        label->setText(QString::fromStdString(v.PrintValue() + unit));
    };
    QElapsedTimer clock;
    clock.start();
    while (!stop_request_) {
        if (!paused_) {
            if (!reference->ReadFromChip() || !response->ReadFromChip()) {
                failure_text_ = msc_pszErrInternal;
                TestFailed(1);
                break;
            }
            oscilloscope_->AddSample(clock.elapsed() / 1000.0, reference->GetValueInInternalUnit(),
                                     response->GetValueInInternalUnit());
            show(controls_.reference_value, *reference);
            show(controls_.response_value, *response);
        }
        if (!CheckMotionErrors(true, kRunningMask) || !CheckTestFlag(true)) break;
        PumpMessages();
        if (!running_) break;  // closed or stopped from inside the pump
    }
    EnableChildren({controls_.pause, controls_.resume}, false);
    if (!running_) return;
    stop_request_ = false;
    continuous_ = false;
    StopDriveProgram();
    TestSucceeded(1);
    OnRunSucceeded(DisplayMode::kOnlineOscilloscope);
}

void CTuningTestDlg::RunScope() {
    if (stop_request_) {
        scope_logger_->EndUploadData();
        StopDriveProgram();
        return;
    }
    CTuningTestDlg*& active = active_;
    const axis::UnsolicitedMsgHandler handler = [&active](const std::uint16_t* w, std::size_t n) {
        return active && active->feed_ ? active->feed_->OnMessage(w, n)
                                       : static_cast<int>(CMC_ScopeLogger::kFrameTag);
    };
    const auto end = [this] {
        scope_logger_->EndUploadData();
        StopDriveProgram();
        scope_graph_->RefreshGraph();
    };
    for (;;) {
        feed_->ClearFrameReceived();
        if (scope_logger_->DoGracefulStop()) {
            // The single capture is complete: the run ends with the checks of a run.
            CMyTestDlg::OnBtnStartStop();
            stop_request_ = false;
            continuous_ = false;
            if (CheckMotionErrors(true, kRunningMask) && CheckTestFlag(true)) TestSucceeded(1);
            end();
            return;
        }
        CMC_Comm::CheckForUnrequestedMessages(handler);
        if (!scope_logger_->UploadInProgress()) {
            failure_text_ = msc_pszErrInternal;
            TestFailed(1);
            end();
            return;
        }
        if (!feed_->FrameReceived() &&
            (!CheckMotionErrors(true, kRunningMask) || !CheckTestFlag(true))) {
            end();
            return;
        }
        PumpMessages();
        if (stop_request_ || !running_) {
            end();
            if (running_) {
                stop_request_ = false;
                continuous_ = false;
                TestSucceeded(1);
            }
            return;
        }
    }
}

void CTuningTestDlg::StepUpload() {
    if (CheckMotionErrors(false, kRunningMask) && CheckTestFlag(false)) {
        continuous_ = false;
    } else {
        // The run went wrong: the data are still uploaded, and the verdict follows.
        continuous_ = true;
        stop_request_ = false;
    }
    StopDriveProgram();
    if (!data_logger_->BeginUploadData()) {
        failure_text_ = msc_pszErrInternal;
        TestFailed(1);
        return;
    }
    logger_graph_->ClearData();
    logger_graph_->DoZoomOut();
    constexpr int kPointsPerRedraw = 100;
    int points = 0;
    while (const double* point = data_logger_->ReadPoint()) {
        logger_graph_->UpdateLastPoint(point);
        if (++points % kPointsPerRedraw == 0) {
            logger_graph_->DoZoomOut();
            logger_graph_->Redraw();
        }
        PumpMessages();
        if (continuous_ && stop_request_) break;
        if (!running_ && !continuous_) {
            logger_graph_->DoZoomOut();  // the user stopped the upload: no verdict
            return;
        }
    }
    logger_graph_->DoZoomOut();
    logger_graph_->Redraw();
    if (CheckMotionErrors(true, kRunningMask) && CheckTestFlag(true)) {
        TestSucceeded(1);
        OnRunSucceeded(DisplayMode::kDataLogger);
    }
    UpdateData(false);
}

CTuningTestDlg::LoggedRun CTuningTestDlg::LastLoggedRun() const {
    LoggedRun run;
    run.columns.resize(logged_.size());
    const size_t n = data_logger_->GetUploadedPointsCount();
    for (size_t i = 0; i < n; ++i) {
        const double* p = data_logger_->GetDrawablePoint(i);
        if (!p) continue;
        run.time_s.push_back(p[0]);
        for (size_t k = 0; k < logged_.size(); ++k) run.columns[k].push_back(p[k + 1]);
    }
    return run;
}

// --- commands ---------------------------------------------------------------------------

void CTuningTestDlg::OnPause() {
    paused_ = true;
    EnableChild(controls_.pause, false);
    EnableChild(controls_.resume, true);
}

void CTuningTestDlg::OnContinue() {
    paused_ = false;
    EnableChild(controls_.pause, true);
    EnableChild(controls_.resume, false);
}

bool CTuningTestDlg::PromptFile(bool open, const QString& filter, QString& path) {
    axis::FilePrompt prompt;
    prompt.kind = open ? axis::FilePromptKind::Open : axis::FilePromptKind::Save;
    prompt.caption = open ? tr("Load Scope Settings") : tr("Save");
    prompt.suggested_name = QString::fromUtf8(names_.file_preset);
    prompt.filter = filter;
    path = axis::PromptForFile(this, prompt);
    return !path.isEmpty();
}

void CTuningTestDlg::OnSavePlots() {
    if (running_) return;
    const bool scope = OnlinePlot() && scope_logger_;
    CMC_Logger& logger = scope ? static_cast<CMC_Logger&>(*scope_logger_) : *data_logger_;
    CGraphWindow& graph = scope ? *scope_graph_ : *logger_graph_;
    QString path;
    if (!PromptFile(false,
                    QStringLiteral("PNG picture (*.png);;SVG picture (*.svg);;CSV table "
                                   "(*.csv);;Recorded run (*.json)"),
                    path))
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    bool saved = false;
    if (suffix == QLatin1String("png") || suffix == QLatin1String("svg"))
        saved = graph.SavePicture(path);
    else if (suffix == QLatin1String("csv"))
        saved = logger.GetGraphDocument().GetAt(0)->WriteCsv(path);
    else if (suffix == QLatin1String("json"))
        saved = logger.Save(path.toStdString()) != 0;
    if (!saved)
        axis::ShowMessage(this,
                          tr("The plots could not be saved to \"%1\". Choose a .png, .svg, .csv "
                             "or .json file in a folder you can write to.")
                              .arg(path),
                          axis::MessageButtons::Ok, axis::MessageIcon::Warning, windowTitle());
}

void CTuningTestDlg::AfterScopeChange() {
    customised_ = true;
    scope_graph_->update();
    scope_graph_->RefreshGraph();
}

void CTuningTestDlg::OnGraphCommand(GraphCommand command) {
    if (running_ || !scope_logger_) return;
    const QString settings_filter = QStringLiteral("Scope settings (*.json)");
    QString path;
    switch (command) {
        case GraphCommand::kScopeSettings:
            if (scope_logger_->Edit(this)) AfterScopeChange();
            return;
        case GraphCommand::kAutoscale:
            if (scope_logger_->Autoscale()) AfterScopeChange();
            return;
        case GraphCommand::kDefaultSettings:
            if (!customised_) return;
            customised_ = false;
            scope_logger_->SetDefaultValues();
            DefaultScopeSetup();
            SubclassScopeGraph();
            return;
        case GraphCommand::kLoad:
            if (!PromptFile(true, settings_filter, path)) return;
            if (!scope_logger_->Load(path.toStdString())) {
                axis::ShowMessage(
                    this,
                    tr("The scope settings could not be read from \"%1\": %2")
                        .arg(path, QString::fromStdString(scope_logger_->GetErrorText())),
                    axis::MessageButtons::Ok, axis::MessageIcon::Warning, windowTitle());
                return;
            }
            customised_ = true;
            SubclassScopeGraph();
            return;
        case GraphCommand::kSave:
            if (PromptFile(false, settings_filter, path) &&
                !scope_logger_->Save(path.toStdString()))
                axis::ShowMessage(
                    this, tr("The scope settings could not be saved to \"%1\".").arg(path),
                    axis::MessageButtons::Ok, axis::MessageIcon::Warning, windowTitle());
            return;
        case GraphCommand::kSavePlots:
            OnSavePlots();
            return;
        case GraphCommand::kPictureFile:
            (OnlinePlot() ? scope_graph_ : logger_graph_)->CreateWMF(names_.file_preset);
            return;
        case GraphCommand::kTextExport: {
            CGraphWindow* shown = OnlinePlot() ? scope_graph_ : logger_graph_;
            if (CGraphFilter* f = shown->GetFilter()) f->ExportToASCII(names_.file_preset, this);
            return;
        }
    }
}

void CTuningTestDlg::ShowScopeMenu(const QPoint& global) {
    if (!scope_logger_ || running_) return;
    QMenu menu(this);
    const std::pair<QString, GraphCommand> items[] = {
        {tr("Scope Settings..."), GraphCommand::kScopeSettings},
        {tr("Autoscale"), GraphCommand::kAutoscale},
        {tr("Default Settings"), GraphCommand::kDefaultSettings},
        {tr("Load Settings..."), GraphCommand::kLoad},
        {tr("Save Settings..."), GraphCommand::kSave},
        {tr("Save Plots..."), GraphCommand::kSavePlots},
        {tr("Save Picture..."), GraphCommand::kPictureFile},
        {tr("Export as Text..."), GraphCommand::kTextExport},
    };
    for (const auto& [text, command] : items) {
        QAction* action = menu.addAction(text);
        action->setEnabled(command != GraphCommand::kDefaultSettings || customised_);
        connect(action, &QAction::triggered, this, [this, c = command] { OnGraphCommand(c); });
    }
    menu.exec(global);
}

int CTuningTestDlg::OnChannelScaleRequest(QWidget* control, std::uint32_t packed) {
    if (!control || !scope_logger_) return 0;
    const int channel = static_cast<int>(packed & 0xFFFF);
    const int step = static_cast<std::int16_t>(packed >> 16);
    if (scope_logger_->ChangeChannelScale(channel, step)) AfterScopeChange();
    return 0;
}
