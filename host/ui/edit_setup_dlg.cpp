#include "host/ui/edit_setup_dlg.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "host/setup/names.h"
#include "host/setup/setup.h"
#include "host/setup/value_rules.h"
#include "host/ui/can_settings.h"
#include "host/ui/guideline_assistant.h"
#include "host/ui/help_viewer.h"
#include "host/ui/modal_seam.h"
#include "host/ui/motor_editor.h"
#include "host/ui/parameter_binding.h"

CMC_EditSetupDlg::CMC_EditSetupDlg(CMC_Setup* setup, QWidget* layout, int flag,
                                   const char* const* guidelines, QWidget* parent)
    : QDialog(parent), setup_(setup), layout_(layout ? layout : new QWidget), flag_(flag) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    layout_->setParent(this);
    column->addWidget(layout_);
    // The texts are kept until the form is filled; the assistant looks for its box
    // there when the dialog opens.
    for (const char* const* t = guidelines; t && *t; ++t) guideline_texts_.push_back(*t);
}

CMC_EditSetupDlg::~CMC_EditSetupDlg() = default;

// --- bindings -----------------------------------------------------------------------

namespace {
CMC_Parameter* Lookup(CMC_Setup* setup, const char* name) {
    return setup && name ? setup->FindParameter(name) : nullptr;
}
}  // namespace

bool CMC_EditSetupDlg::AddParameterControls(const char* name, QLineEdit* edit, QComboBox* unit) {
    CMC_Parameter* p = Lookup(setup_, name);
    if (!p || !edit) return false;
    bindings_.push_back(std::make_unique<axis::ValueBinding>(*this, *p, edit, unit));
    bindings_.back()->Redraw();
    return true;
}

bool CMC_EditSetupDlg::AddCheckParameterControls(const char* name, QAbstractButton* check) {
    CMC_Parameter* p = Lookup(setup_, name);
    if (!p || !check) return false;
    bindings_.push_back(std::make_unique<axis::CheckBinding>(*this, *p, check));
    bindings_.back()->Redraw();
    return true;
}

bool CMC_EditSetupDlg::AddSwitchParameterControls(const char* name, QAbstractButton* first,
                                                  QAbstractButton* last) {
    if (!first || !last || first->parentWidget() != last->parentWidget()) return false;
    std::vector<QAbstractButton*> run;
    bool inside = false;
    for (QObject* child : first->parentWidget()->children()) {
        auto* button = qobject_cast<QAbstractButton*>(child);
        if (!button) continue;
        if (button == first) inside = true;
        if (inside) run.push_back(button);
        if (button == last) break;
    }
    if (run.empty() || run.back() != last) return false;
    return AddSwitchParameterControls(name, std::move(run));
}

bool CMC_EditSetupDlg::AddSwitchParameterControls(const char* name,
                                                  std::vector<QAbstractButton*> buttons) {
    CMC_Parameter* p = Lookup(setup_, name);
    if (!p || buttons.empty()) return false;
    for (QAbstractButton* b : buttons)
        if (!b) return false;
    bindings_.push_back(std::make_unique<axis::SwitchBinding>(*this, *p, std::move(buttons)));
    bindings_.back()->Redraw();
    return true;
}

bool CMC_EditSetupDlg::AddSliderParameterControls(const char* name, QAbstractSlider* slider,
                                                  int steps) {
    CMC_Parameter* p = Lookup(setup_, name);
    if (!p || !slider) return false;
    bindings_.push_back(std::make_unique<axis::SliderBinding>(*this, *p, slider, steps));
    bindings_.back()->Redraw();
    return true;
}

bool CMC_EditSetupDlg::AddSliderParameterControls(const char* name, QAbstractSlider* slider,
                                                  const axis::SliderSpan& span, int steps,
                                                  axis::SpinButtons spin) {
    CMC_Parameter* p = Lookup(setup_, name);
    if (!p || !slider) return false;
    bindings_.push_back(
        std::make_unique<axis::SliderBinding>(*this, *p, slider, steps, span, spin));
    bindings_.back()->Redraw();
    return true;
}

bool CMC_EditSetupDlg::AddListParameterControls(const char* name, QComboBox* list) {
    CMC_Parameter* p = Lookup(setup_, name);
    if (!p || !list) return false;
    bindings_.push_back(std::make_unique<axis::ListBinding>(*this, *p, list));
    bindings_.back()->Redraw();
    return true;
}

bool CMC_EditSetupDlg::CommitUserValue(axis::ParameterBinding& binding, double base_value) {
    const axis::UserValue checked = axis::CheckUserValue(binding.Parameter(), base_value);
    if (!checked.accepted()) {
        Refuse(binding, QString::fromStdString(checked.refusal));
        return false;
    }
    return ChangeParameterValue(binding.Name().c_str(), *checked.value);
}

bool CMC_EditSetupDlg::ChangeParameterValue(const char* name_text, double base_value) {
    CMC_Parameter* p = Lookup(setup_, name_text);
    if (!p || !p->SetValueInBaseUnit(base_value)) return false;
    // A copy: the hooks get a name that stays valid whatever they do to the setup.
    const std::string name = p->GetName();
    ++user_change_depth_;
    OnChangedParameterValue(name.c_str());
    RefreshParameterControls(name.c_str());
    OnRefreshParameterValue(name.c_str());
    --user_change_depth_;
    return true;
}

void CMC_EditSetupDlg::CommitUserUnit(axis::ParameterBinding& binding, const std::string& unit) {
    const std::string name = binding.Parameter().GetName();
    if (!setup_->ChangeParameterUnit(name, unit)) {
        RefreshParameterControls(name.c_str());
        return;
    }
    RefreshParameterControls(name.c_str());
    OnChangedParameterUnit(name.c_str());
}

void CMC_EditSetupDlg::Refuse(axis::ParameterBinding& binding, const QString& message) {
    // The old value comes back first, so the box is read over the value that stays.
    RefreshParameterControls(binding.Name().c_str());
    axis::ShowMessage(this, message, axis::MessageButtons::Ok, axis::MessageIcon::Warning);
    binding.FocusAfterRefusal();
}

// --- hooks --------------------------------------------------------------------------

void CMC_EditSetupDlg::OnChangedParameterValue(const char*) {}
void CMC_EditSetupDlg::OnChangedParameterUnit(const char*) {}
void CMC_EditSetupDlg::OnRefreshParameterValue(const char*) {}

// --- redraws ------------------------------------------------------------------------

void CMC_EditSetupDlg::RefreshParameterControls(const char* name) {
    if (!name) return;
    for (auto& b : bindings_)
        if (axis::NamesEqual(b->Name(), name)) b->Redraw();
}

void CMC_EditSetupDlg::RefreshAllParameters() {
    for (auto& b : bindings_) b->Redraw();
    if (can_settings_) can_settings_->Redraw();
}

void CMC_EditSetupDlg::RefreshAllParametersWithCompatibleUnits(const char* unit) {
    if (!setup_ || !unit) return;
    const CMC_UnitType* type = setup_->GetUnits()->FindUnitTypeOf(unit);
    if (!type) return;
    for (auto& b : bindings_)
        if (b->Parameter().GetUnitType() == type) b->Redraw();
}

bool CMC_EditSetupDlg::UpdateData(bool save) {
    if (save) {
        for (size_t i = 0; i < bindings_.size(); ++i)
            if (!bindings_[i]->CommitPending()) return false;
    }
    DoDataExchange(save);
    return true;
}

void CMC_EditSetupDlg::DoDataExchange(bool save) {
    if (!save) RefreshAllParameters();
}

// --- controls -----------------------------------------------------------------------

void CMC_EditSetupDlg::EnableChild(QWidget* child, bool enable) {
    if (child) child->setEnabled(enable);
}

void CMC_EditSetupDlg::ShowChild(QWidget* child, bool show) {
    if (child) child->setVisible(show);
}

void CMC_EditSetupDlg::EnableChildren(std::initializer_list<QWidget*> children, bool enable) {
    for (QWidget* c : children) EnableChild(c, enable);
}

void CMC_EditSetupDlg::ShowChildren(std::initializer_list<QWidget*> children, bool show) {
    for (QWidget* c : children) ShowChild(c, show);
}

void CMC_EditSetupDlg::SetChildText(QWidget* child, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(child))
        label->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(child))
        edit->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(child))
        button->setText(text);
    else if (auto* box = qobject_cast<QGroupBox*>(child))
        box->setTitle(text);
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(child))
        plain->setPlainText(text);
    else if (auto* rich = qobject_cast<QTextEdit*>(child))
        rich->setPlainText(text);
    else if (auto* list = qobject_cast<QComboBox*>(child))
        list->setEditText(text);
    else if (child)
        child->setWindowTitle(text);
}

// --- timers -------------------------------------------------------------------------

void CMC_EditSetupDlg::SetTimer(int id, int period_ms) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    timer->start(std::max(0, period_ms));
}

void CMC_EditSetupDlg::KillTimer(int id) {
    // Stopped, not deleted: KillTimer is usually called from the timer's own tick.
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

bool CMC_EditSetupDlg::IsTimerRunning(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

void CMC_EditSetupDlg::OnTimer(int) {}

void CMC_EditSetupDlg::PumpMessages() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// --- modal run ----------------------------------------------------------------------

int CMC_EditSetupDlg::DoModal() {
    OnInitDialog();
    return axis::Modal().RunDialog(*this) == 1 ? 1 : 0;
}

void CMC_EditSetupDlg::EndDialog(int result) {
    for (auto& [id, timer] : timers_) timer->stop();
    done(result);
}

bool CMC_EditSetupDlg::OnInitDialog() {
    if (windowTitle().isEmpty()) setWindowTitle(layout_->windowTitle());
    if (objectName().isEmpty()) setObjectName(layout_->objectName());
    if (!standard_buttons_connected_) {
        ConnectStandardButtons();
        standard_buttons_connected_ = true;
    }
    if (!guideline_texts_.empty() && !guidelines_) {
        std::vector<const char*> texts;
        for (const std::string& t : guideline_texts_) texts.push_back(t.c_str());
        texts.push_back(nullptr);
        guidelines_ = std::make_unique<axis::GuidelineAssistant>(
            texts.data(), layout_, static_cast<QVBoxLayout*>(QDialog::layout()));
    }
    UpdateData(false);
    adjustSize();
    return true;
}

void CMC_EditSetupDlg::ConnectStandardButtons() {
    for (QDialogButtonBox* box : layout_->findChildren<QDialogButtonBox*>()) {
        connect(box, &QDialogButtonBox::accepted, this, &CMC_EditSetupDlg::accept);
        connect(box, &QDialogButtonBox::rejected, this, &CMC_EditSetupDlg::reject);
        connect(box, &QDialogButtonBox::helpRequested, this, [this] { OnHelp(); });
    }
    if (auto* ok = layout_->findChild<QAbstractButton*>(QStringLiteral("okButton")))
        connect(ok, &QAbstractButton::clicked, this, &CMC_EditSetupDlg::accept);
    if (auto* cancel = layout_->findChild<QAbstractButton*>(QStringLiteral("cancelButton")))
        connect(cancel, &QAbstractButton::clicked, this, &CMC_EditSetupDlg::reject);
    if (auto* help = layout_->findChild<QAbstractButton*>(QStringLiteral("helpButton")))
        connect(help, &QAbstractButton::clicked, this, [this] { OnHelp(); });
}

void CMC_EditSetupDlg::OnOK() {
    if (UpdateData(true)) EndDialog(1);
}

void CMC_EditSetupDlg::OnCancel() {
    EndDialog(0);
}

void CMC_EditSetupDlg::OnHelp() {
    axis::ShowHelp(help_context_, this);
}

void CMC_EditSetupDlg::accept() {
    OnOK();
}

void CMC_EditSetupDlg::reject() {
    OnCancel();
}

void CMC_EditSetupDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        OnHelp();
        return;
    }
    QDialog::keyPressEvent(event);
}

// --- guideline assistant ------------------------------------------------------------

int CMC_EditSetupDlg::GetGuidelineCount() const {
    return static_cast<int>(guideline_texts_.size());
}

int CMC_EditSetupDlg::GetGuidelineStep() const {
    return guidelines_ ? guidelines_->Step() : 0;
}

void CMC_EditSetupDlg::SetGuidelineStep(int step) {
    if (guidelines_) guidelines_->SetStep(step);
}

// --- host editors -------------------------------------------------------------------

void CMC_EditSetupDlg::InitializeMotorEditor(QComboBox* database, QComboBox* motor,
                                             QAbstractButton* save, QAbstractButton* remove) {
    if (!setup_ || !database || !motor) return;
    motor_editor_ = std::make_unique<axis::MotorEditor>(*this, database, motor, save, remove);
}

void CMC_EditSetupDlg::EnableCANSettings(QComboBox* baud_rate, QAbstractButton* canopen_settings) {
    if (!setup_ || !baud_rate) return;
    can_settings_ = std::make_unique<axis::CanSettings>(setup_, baud_rate, canopen_settings);
}
