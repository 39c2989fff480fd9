#include "identification/my_test_dlg.h"

#include <QTabWidget>
#include <QVBoxLayout>

#include "host/drive/coff_format.h"
#include "host/drive/comm.h"
#include "host/drive/logger.h"
#include "host/drive/program_run.h"
#include "host/plot/graph_window.h"
#include "host/setup/setup.h"
#include "host/setup/value_rules.h"
#include "host/setup/variable.h"
#include "host/ui/modal_seam.h"

CMyTestDlg::CMyTestDlg(CMC_Setup* setup, QWidget* layout, int flag, QWidget* parent,
                       bool loop_tuning)
    : CMC_TestDlg(setup, layout, flag, parent) {
    if (loop_tuning || !setup) return;
    CMC_Parameter* min_move = nullptr;
    {
        axis::ScopedSilentLookup silent;
        min_move = setup->FindParameter("ABSTART_MINMOVE");
    }
    if (min_move) min_move->SetValueInBaseUnit(0.0);
}

CMyTestDlg::~CMyTestDlg() = default;

bool CMyTestDlg::OnInitDialog() {
    const bool ok = CMC_TestDlg::OnInitDialog();
    if (tabs_) {
        switching_page_ = true;
        tabs_->setCurrentIndex(kParametersPage);
        switching_page_ = false;
        shown_page_ = kParametersPage;
        if (details_) details_->hide();  // the parameters page shows no result
    }
    return ok;
}

void CMyTestDlg::OnTimer(int id) {
    KillTimer(1);
    if (!running_ || id != 1) {
        CMC_TestDlg::OnTimer(id);
        return;
    }
    OnTestTick();
}

bool CMyTestDlg::CheckMotionErrors(bool fail_test, std::uint16_t mask) {
    CMC_Variable* mer = GetSetup()->FindVariable("MER", 1);
    const char* text = nullptr;
    if (!mer || !mer->ReadFromChip()) {
        text = msc_pszErrInternal;
    } else {
        text = orvex::MotionErrorText(static_cast<int>(mer->GetValueInBaseUnit()), mask);
        if (!text) return true;
    }
    failure_text_ = text;
    if (fail_test) TestFailed(1);
    return false;
}

void CMyTestDlg::SetStepTable(const char* const* texts, std::uint16_t count) {
    steps_ = texts;
    step_count_ = count;
}

void CMyTestDlg::ShowStep() {
    // A tick can only come at a step of the table; a launch past its end shows the
    // last status rather than a failure text.
    SetInfoText(steps_[step_index_ < step_count_ ? step_index_ : step_count_ - 1]);
}

void CMyTestDlg::StartRun() {
    running_ = true;
    outcome_ = Outcome::kUndecided;
    failure_text_.clear();
    step_index_ = 0;
    ShowStep();
}

void CMyTestDlg::Fail(const char* text) {
    failure_text_ = text;
    TestFailed(1);
}

bool CMyTestDlg::WriteInputs(CMC_CoffFormat& program, std::initializer_list<ProgramInput> inputs) {
    for (const ProgramInput& input : inputs) {
        if (!SetUserVariableValue(&program, input.name, input.value, failure_text_)) {
            TestFailed(1);
            return false;
        }
    }
    return true;
}

bool CMyTestDlg::LaunchProgram(const char* name, CMC_CoffFormat* program,
                               std::initializer_list<ProgramInput> inputs, CMC_Logger* logger) {
    if (program && !WriteInputs(*program, inputs)) return false;
    if (!ExecuteCode(name, program, logger, nullptr, nullptr)) {
        Fail(msc_pszErrInternal);
        return false;
    }
    ShowStep();
    SetTimer(1, 20);
    return true;
}

CMyTestDlg::ProgramState CMyTestDlg::PollProgram(CMC_CoffFormat& program, std::uint16_t mask,
                                                 bool check_while_on) {
    double started = 0.0;
    if (!GetUserVariableValue(&program, "STARTED", started, failure_text_)) {
        TestFailed(1);
        return ProgramState::kFailed;
    }
    if (started == 0.0) {
        if (!CheckMotionErrors(true, mask)) return ProgramState::kFailed;
        SetTimer(1, 20);
        return ProgramState::kWaiting;
    }
    int on = 0;
    if (!GetAxisOn(on)) {
        Fail(msc_pszErrInternal);
        return ProgramState::kFailed;
    }
    if (on) {
        if (check_while_on && !CheckMotionErrors(true, mask)) return ProgramState::kFailed;
        SetTimer(1, 20);
        return ProgramState::kWaiting;
    }
    return ProgramState::kFinished;
}

bool CMyTestDlg::ProgramFinished(CMC_CoffFormat& program, std::uint16_t mask, bool check_while_on) {
    return PollProgram(program, mask, check_while_on) == ProgramState::kFinished &&
           CheckMotionErrors(true, mask);
}

bool CMyTestDlg::ReadResultVariable(CMC_CoffFormat& program, const char* name, double& value) {
    if (!GetUserVariableValue(&program, name, value, failure_text_)) {
        TestFailed(1);
        return false;
    }
    if (value == axis::kNoValueMarker) {
        Fail(msc_pszErrInternal);
        return false;
    }
    return true;
}

bool CMyTestDlg::ReadPreliminaryResult(CMC_CoffFormat& preliminary, double& reference_voltage,
                                       bool only_zero_fails) {
    double in1 = 0.0;
    if (!ReadResultVariable(preliminary, "In1", in1)) return false;
    if (only_zero_fails ? in1 == 0.0 : in1 <= 0.0) {
        Fail(msc_pszErrInZero);
        return false;
    }
    return ReadDriveValue("REFTST_V", reference_voltage);
}

CMC_Variable* CMyTestDlg::ReadDriveVariable(const char* name) {
    CMC_Variable* variable = GetSetup()->FindVariable(name, 1);
    if (!variable) {
        Fail(msc_pszErrInternal);
        return nullptr;
    }
    if (!variable->ReadFromChip()) {
        failure_text_ = CMC_Comm::GetLastErrorText();
        TestFailed(1);
        return nullptr;
    }
    return variable;
}

bool CMyTestDlg::ReadDriveValue(const char* name, double& value) {
    const CMC_Variable* variable = ReadDriveVariable(name);
    if (variable) value = variable->GetValueInInternalUnit();
    return variable != nullptr;
}

bool CMyTestDlg::BeginUpload(CMC_Logger* logger) {
    if (logger && logger->BeginUploadData()) return true;
    Fail(msc_pszErrInternal);
    return false;
}

bool CMyTestDlg::PlotLoggedPoints(CMC_Logger& logger, CGraphWindow& graph,
                                  std::initializer_list<int> elements) {
    graph.ClearData();
    while (const double* point = logger.ReadPoint()) {
        int curve = 0;
        for (const int element : elements) graph.AppendPoint(curve++, point[0], point[element]);
        // The axes follow every point before the window redraws: a point far outside
        // the axes (a step of thousands of counts on a range of a few) is drawn as a
        // huge polygon that takes seconds to fill.
        graph.ZoomOut();
        PumpMessages();
        if (!running_) return false;
    }
    return true;
}

CGraphWindow* CMyTestDlg::PlaceGraph(QWidget* frame) {
    auto* graph = new CGraphWindow;
    auto* frame_layout = new QVBoxLayout(frame);
    frame_layout->setContentsMargins(0, 0, 0, 0);
    frame_layout->addWidget(graph);
    return graph;
}

bool CMyTestDlg::WriteResult(const char* name, double value, double& accepted) {
    CMC_Parameter* p = GetSetup()->FindParameter(name);
    if (!p) {
        TestFailed(1);
        return false;
    }
    p->SetValueInBaseUnit(value);
    accepted = p->GetValueInBaseUnit();
    RefreshParameterControls(name);
    return true;
}

bool CMyTestDlg::AddTuningSlider(const char* name, QAbstractSlider* slider,
                                 axis::SpinButtons spin) {
    const CMC_Parameter* parameter = nullptr;
    {
        axis::ScopedSilentLookup silent;
        parameter = GetSetup()->FindParameter(name);
    }
    return parameter &&
           AddSliderParameterControls(name, slider, axis::SpanAroundValue(*parameter), 100, spin);
}

void CMyTestDlg::UseTestPages(QTabWidget* tabs, QWidget* details,
                              std::function<bool()> may_enter_test) {
    tabs_ = tabs;
    details_ = details;
    may_enter_test_ = std::move(may_enter_test);
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int page) { OnPageChanged(page); });
}

void CMyTestDlg::OnPageChanged(int page) {
    if (switching_page_) return;
    switching_page_ = true;
    if (page == kParametersPage && running_)
        tabs_->setCurrentIndex(kTestPage);
    else if (!UpdateData(true))
        tabs_->setCurrentIndex(shown_page_);
    else if (page == kTestPage && may_enter_test_ && !may_enter_test_())
        tabs_->setCurrentIndex(kParametersPage);
    else
        ShowPage(page);
    switching_page_ = false;
}

void CMyTestDlg::ShowPage(int page) {
    shown_page_ = page;
    UpdateData(false);
    if (page != kTestPage) {
        if (details_) details_->hide();
        return;
    }
    if (details_) details_->show();
    if (outcome_ == Outcome::kSucceeded)
        TestSucceeded(0);
    else if (!failure_text_.empty())
        TestFailed(0);
}

CMyTestDlg::CloseAnswer CMyTestDlg::AskCloseConfirmation(
    const std::vector<orvex::ResultParameter>& results) {
    const auto message = orvex::CloseConfirmationText(results, outcome_ == Outcome::kSucceeded);
    if (!message) return CloseAnswer::kNothingChanged;
    const int answer =
        axis::ShowMessage(this, QString::fromStdString(*message), axis::MessageButtons::YesNoCancel,
                          axis::MessageIcon::Question, windowTitle());
    if (answer == axis::kIdYes) return CloseAnswer::kYes;
    if (answer == axis::kIdNo) {
        for (const auto& r : results) {
            if (CMC_Parameter* p = GetSetup()->FindParameter(r.name)) {
                p->SetValueInBaseUnit(r.value_at_open);
                RefreshParameterControls(r.name.c_str());
            }
        }
        return CloseAnswer::kNo;
    }
    return CloseAnswer::kCancel;
}
