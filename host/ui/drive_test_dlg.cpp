#include "host/ui/drive_test_dlg.h"

#include <QAbstractButton>
#include <QLabel>

#include "host/drive/coff_format.h"
#include "host/drive/logger.h"
#include "host/drive/program_run.h"
#include "host/ui/modal_seam.h"

const char* const CMC_TestDlg::msc_pszErrInternal =
    "Internal error: the test could not communicate with the drive program.";
const char* const CMC_TestDlg::msc_pszErrInZero =
    "The preliminary test found no test current. Check the motor connections and the test current.";

namespace {
const QString kStart = QStringLiteral("&Start");
const QString kStop = QStringLiteral("S&top");
}  // namespace

CMC_TestDlg::CMC_TestDlg(CMC_Setup* setup, QWidget* layout, int flag, QWidget* parent)
    : CMC_EditSetupDlg(setup, layout, flag, nullptr, parent) {}

CMC_TestDlg::~CMC_TestDlg() {
    if (running_) StopProgramQuietly();
}

std::string CMC_TestDlg::GetOutPathName(const char* name) {
    return axis::ProgramPath(name ? name : "");
}

bool CMC_TestDlg::OnInitDialog() {
    const bool ok = CMC_EditSetupDlg::OnInitDialog();
    if (!start_stop_button_) {
        start_stop_button_ =
            Layout()->findChild<QAbstractButton*>(QStringLiteral("startStopButton"));
        status_label_ = Layout()->findChild<QLabel*>(QStringLiteral("statusLabel"));
        result_label_ = Layout()->findChild<QLabel*>(QStringLiteral("resultLabel"));
        details_button_ = Layout()->findChild<QAbstractButton*>(QStringLiteral("detailsButton"));
        if (start_stop_button_)
            connect(start_stop_button_, &QAbstractButton::clicked, this,
                    [this] { OnBtnStartStop(); });
        if (details_button_)
            connect(details_button_, &QAbstractButton::clicked, this, [this] {
                axis::ShowMessage(this, DetailsText(), axis::MessageButtons::Ok,
                                  outcome_ == Outcome::kFailed ? axis::MessageIcon::Warning
                                                               : axis::MessageIcon::Information,
                                  windowTitle());
            });
    }
    if (status_label_) status_label_->setText(status_);
    ShowResult();
    UpdateStartStop();
    return ok;
}

void CMC_TestDlg::BeginTest() {}

void CMC_TestDlg::OnBtnStartStop() {
    if (!running_) {
        // The test's own BeginTest resets the outcome and the failure text: one that
        // refuses to start leaves the last result as it was.
        stop_request_ = false;
        drive_detail_.clear();
        BeginTest();
    } else if (continuous_) {
        stop_request_ = true;
    } else {
        running_ = false;
        KillTimer(1);
        StopProgramQuietly();
        status_ = QStringLiteral("Test stopped.");
        if (status_label_) status_label_->setText(status_);
    }
    UpdateStartStop();
}

int CMC_TestDlg::ExecuteCode(const char* name, CMC_CoffFormat* program, CMC_Logger* logger, void*,
                             void*) {
    std::string error;
    if (axis::StartDriveProgram(GetSetup(), name ? name : "", program, logger, error)) return 1;
    drive_detail_ = error;
    return 0;
}

int CMC_TestDlg::GetUserVariableValue(CMC_CoffFormat* program, const char* name, double& value,
                                      std::string& error) {
    if (axis::ReadProgramVariable(GetSetup(), program, name ? name : "", value, error)) return 1;
    drive_detail_ = error;
    return 0;
}

int CMC_TestDlg::SetUserVariableValue(CMC_CoffFormat* program, const char* name, double value,
                                      std::string& error) {
    if (axis::WriteProgramVariable(GetSetup(), program, name ? name : "", value, error)) return 1;
    drive_detail_ = error;
    return 0;
}

int CMC_TestDlg::GetAxisOn(int& on) {
    bool axis_on = false;
    std::string error;
    if (!axis::ReadAxisOn(GetSetup(), axis_on, error)) {
        drive_detail_ = error;
        return 0;
    }
    on = axis_on ? 1 : 0;
    return 1;
}

void CMC_TestDlg::SetInfoText(const char* text) {
    status_ = QString::fromUtf8(text ? text : "");
    if (status_label_) status_label_->setText(status_);
    ++step_index_;
    ShowResult();  // a test that has begun shows no old result
}

void CMC_TestDlg::TestSucceeded(int end) {
    if (end) {
        KillTimer(1);
        running_ = false;
        outcome_ = Outcome::kSucceeded;
    }
    ShowResult();
    UpdateStartStop();
}

void CMC_TestDlg::TestFailed(int end) {
    if (end) {
        KillTimer(1);
        running_ = false;
        outcome_ = Outcome::kFailed;
        // A program may still hold the power stage when a check on the host side
        // failed: leave the drive at rest.
        StopProgramQuietly();
    }
    ShowResult();
    UpdateStartStop();
}

QString CMC_TestDlg::StatusText() const {
    return status_;
}

QString CMC_TestDlg::ResultText() const {
    if (outcome_ == Outcome::kSucceeded) return QStringLiteral("Test successfully completed.");
    if (outcome_ == Outcome::kFailed)
        return QStringLiteral("Test failed: ") + QString::fromStdString(failure_text_);
    return {};
}

QString CMC_TestDlg::DetailsText() const {
    if (outcome_ == Outcome::kUndecided) return QStringLiteral("No test result yet.");
    QString text = ResultText();
    if (outcome_ == Outcome::kFailed && !drive_detail_.empty() && drive_detail_ != failure_text_)
        text += QStringLiteral("\n\nDrive: ") + QString::fromStdString(drive_detail_);
    return text;
}

void CMC_TestDlg::ShowResult() {
    if (result_label_) {
        result_label_->setText(ResultText());
        result_label_->setStyleSheet(
            outcome_ == Outcome::kSucceeded ? QStringLiteral("color: #1a7f37;")
            : outcome_ == Outcome::kFailed  ? QStringLiteral("color: #c62828;")
                                            : QString());
    }
    if (details_button_) details_button_->setEnabled(outcome_ != Outcome::kUndecided);
}

void CMC_TestDlg::UpdateStartStop() {
    if (start_stop_button_) start_stop_button_->setText(running_ ? kStop : kStart);
}

void CMC_TestDlg::StopProgramQuietly() {
    std::string error;
    axis::StopDriveProgram(GetSetup(), error);  // nothing connected: nothing runs
}

void CMC_TestDlg::done(int result) {
    if (running_) {
        running_ = false;
        KillTimer(1);
        StopProgramQuietly();
    }
    CMC_EditSetupDlg::done(result);
}
