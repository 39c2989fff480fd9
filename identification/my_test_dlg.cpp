#include "identification/my_test_dlg.h"

#include "host/drive/comm.h"
#include "host/drive/program_run.h"
#include "host/setup/setup.h"
#include "host/setup/value_rules.h"
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

bool CMyTestDlg::AddTuningSlider(const char* name, QAbstractSlider* slider) {
    const CMC_Parameter* gain = nullptr;
    {
        axis::ScopedSilentLookup silent;
        gain = GetSetup()->FindParameter(name);
    }
    return gain && AddSliderParameterControls(name, slider, axis::SpanAroundValue(*gain));
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
        failure_text_ = msc_pszErrInternal;
        TestFailed(1);
        return ProgramState::kFailed;
    }
    if (on) {
        if (check_while_on && !CheckMotionErrors(true, mask)) return ProgramState::kFailed;
        SetTimer(1, 20);
        return ProgramState::kWaiting;
    }
    return ProgramState::kFinished;
}

bool CMyTestDlg::ReadResultVariable(CMC_CoffFormat& program, const char* name, double& value) {
    if (!GetUserVariableValue(&program, name, value, failure_text_)) {
        TestFailed(1);
        return false;
    }
    if (value == axis::kNoValueMarker) {
        failure_text_ = msc_pszErrInternal;
        TestFailed(1);
        return false;
    }
    return true;
}

CMC_Variable* CMyTestDlg::ReadDriveVariable(const char* name) {
    CMC_Variable* variable = GetSetup()->FindVariable(name, 1);
    if (!variable) {
        failure_text_ = msc_pszErrInternal;
        TestFailed(1);
        return nullptr;
    }
    if (!variable->ReadFromChip()) {
        failure_text_ = CMC_Comm::GetLastErrorText();
        TestFailed(1);
        return nullptr;
    }
    return variable;
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
