#include "host/ui/parameter_binding.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <cmath>

#include "host/setup/parameter.h"
#include "host/setup/units.h"
#include "host/setup/value_rules.h"
#include "host/ui/edit_setup_dlg.h"

namespace axis {

QString FormatParameterValue(double value) {
    return QString::fromStdString(FormatValue(value));
}

const std::string& ParameterBinding::Name() const {
    return parameter_.GetName();
}

bool ParameterBinding::Commit(double base_value) {
    return dialog_.CommitUserValue(*this, base_value);
}

void ParameterBinding::CommitUnit(const std::string& unit) {
    dialog_.CommitUserUnit(*this, unit);
}

// --- edit field ---------------------------------------------------------------------

ValueBinding::ValueBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter, QLineEdit* edit,
                           QComboBox* unit)
    : ParameterBinding(dialog, parameter), edit_(edit), unit_(unit) {
    // Enter commits the field and stays in it; it must not reach the dialog's default
    // button, which would close the dialog with a half-typed value.
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::editingFinished, this, [this] { CommitText(); });
    if (unit_) {
        FillUnits();
        connect(unit_, &QComboBox::activated, this, [this](int index) {
            if (!CommitPending()) return;
            CommitUnit(unit_->itemText(index).toStdString());
        });
    }
}

void ValueBinding::FillUnits() {
    QStringList names;
    if (const CMC_UnitType* type = parameter_.GetUnitType())
        for (size_t i = 0; i < type->GetUnitCount(); ++i)
            names << QString::fromStdString(type->GetUnit(i)->GetName());
    QStringList shown;
    for (int i = 0; i < unit_->count(); ++i) shown << unit_->itemText(i);
    // Refilled only when the list changed: a redraw runs inside the list's own
    // selection signal when the user picks a unit.
    if (names == shown) return;
    const QSignalBlocker block(unit_);
    unit_->clear();
    unit_->addItems(names);
}

void ValueBinding::Redraw() {
    shown_text_ = FormatParameterValue(parameter_.GetValue());
    {
        const QSignalBlocker block(edit_);
        edit_->setText(shown_text_);
        edit_->setCursorPosition(0);
        edit_->setModified(false);
    }
    if (unit_) {
        // Units may have been merged ("steps") or the unit type changed since the list
        // was filled.
        FillUnits();
        const QSignalBlocker block(unit_);
        unit_->setCurrentIndex(unit_->findText(QString::fromStdString(parameter_.GetUnitName())));
    }
}

bool ValueBinding::CommitPending() {
    return CommitText();
}

void ValueBinding::FocusAfterRefusal() {
    edit_->setFocus();
    edit_->selectAll();
}

bool ValueBinding::CommitText() {
    if (committing_) return true;
    const QString text = edit_->text().trimmed();
    if (text == shown_text_) return true;
    committing_ = true;
    QString number = text;
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double shown = QLocale::c().toDouble(number, &ok);
    bool accepted = false;
    if (!ok || !std::isfinite(shown)) {
        accepted = Commit(std::nan(""));
    } else {
        const CMC_Unit* unit = ShownUnit(parameter_);
        accepted = Commit(unit ? unit->ToBase(shown) : shown);
    }
    committing_ = false;
    return accepted;
}

bool ValueBinding::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (CommitText()) edit_->selectAll();
            return true;
        }
    }
    return false;
}

// --- check box ----------------------------------------------------------------------

CheckBinding::CheckBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter,
                           QAbstractButton* check)
    : ParameterBinding(dialog, parameter), check_(check) {
    check_->setCheckable(true);
    connect(check_, &QAbstractButton::clicked, this,
            [this](bool checked) { Commit(checked ? 1.0 : 0.0); });
}

void CheckBinding::Redraw() {
    const QSignalBlocker block(check_);
    check_->setChecked(IsSwitchOn(parameter_.GetValueInBaseUnit()));
}

// --- radio buttons ------------------------------------------------------------------

SwitchBinding::SwitchBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter,
                             std::vector<QAbstractButton*> buttons)
    : ParameterBinding(dialog, parameter), buttons_(std::move(buttons)) {
    for (size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setCheckable(true);
        connect(buttons_[i], &QAbstractButton::clicked, this, [this, i](bool checked) {
            if (checked) Commit(static_cast<double>(i));
        });
    }
}

void SwitchBinding::Redraw() {
    const double value = std::trunc(parameter_.GetValueInBaseUnit());
    for (size_t i = 0; i < buttons_.size(); ++i) {
        QAbstractButton* b = buttons_[i];
        const QSignalBlocker block(b);
        // Radio buttons only uncheck each other; a value that names none of them
        // shows none checked.
        const bool exclusive = b->autoExclusive();
        b->setAutoExclusive(false);
        b->setChecked(value == static_cast<double>(i));
        b->setAutoExclusive(exclusive);
    }
}

// --- slider -------------------------------------------------------------------------

SliderBinding::SliderBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter,
                             QAbstractSlider* slider, int steps, std::optional<SliderSpan> span,
                             SpinButtons spin)
    : ParameterBinding(dialog, parameter),
      slider_(slider),
      steps_(std::max(1, steps)),
      span_(span) {
    slider_->setRange(0, steps_);
    // Dragging commits on release; keys and page clicks commit at once.
    connect(slider_, &QAbstractSlider::sliderReleased, this, [this] { CommitPosition(); });
    connect(slider_, &QAbstractSlider::valueChanged, this, [this] {
        if (!slider_->isSliderDown()) CommitPosition();
    });
    for (auto [button, direction] : {std::pair{spin.up, 1}, std::pair{spin.down, -1}}) {
        if (!button) continue;
        button->setAutoRepeat(true);
        connect(button, &QAbstractButton::clicked, this, [this, d = direction] { Spin(d); });
    }
}

void SliderBinding::Spin(int direction) {
    const double value = SpinValue(parameter_, Span(), steps_, direction);
    // At a limit a press changes nothing, and nothing is written to the drive.
    if (value != parameter_.GetValueInBaseUnit()) Commit(value);
}

SliderSpan SliderBinding::Span() const {
    return span_ ? *span_ : LimitsSpan(parameter_);
}

void SliderBinding::Redraw() {
    const QSignalBlocker block(slider_);
    slider_->setValue(SliderPosition(parameter_, Span(), steps_));
}

void SliderBinding::CommitPosition() {
    const double value = SliderValue(parameter_, Span(), slider_->value(), steps_);
    if (value != parameter_.GetValueInBaseUnit()) Commit(value);
}

// --- list ---------------------------------------------------------------------------

ListBinding::ListBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter, QComboBox* list)
    : ParameterBinding(dialog, parameter), list_(list) {
    connect(list_, &QComboBox::activated, this, [this](int index) {
        bool ok = false;
        const double value = list_->itemData(index).toDouble(&ok);
        if (ok)
            Commit(value);
        else
            Redraw();
    });
}

void ListBinding::Redraw() {
    const double value = parameter_.GetValueInBaseUnit();
    int found = -1;
    for (int i = 0; i < list_->count() && found < 0; ++i) {
        bool ok = false;
        const double data = list_->itemData(i).toDouble(&ok);
        if (ok && data == value) found = i;
    }
    const QSignalBlocker block(list_);
    list_->setCurrentIndex(found);
}

}  // namespace axis
