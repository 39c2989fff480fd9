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
#include "host/ui/edit_setup_dlg.h"

namespace axis {

QString FormatParameterValue(double value) {
    if (!std::isfinite(value)) return QStringLiteral("?");
    if (value == 0.0) return QStringLiteral("0");
    const double magnitude = std::fabs(value);
    if (magnitude < 1e-4 || magnitude >= 1e9) return QString::number(value, 'g', 7);
    // Seven significant digits as decimals, then trailing zeros dropped.
    const int integer_digits = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    const int decimals = std::max(0, 7 - integer_digits);
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    if (text == QLatin1String("-0")) text = QStringLiteral("0");
    return text;
}

const std::string& ParameterBinding::Name() const { return parameter_.GetName(); }

bool ParameterBinding::Commit(double base_value) { return dialog_.CommitUserValue(*this, base_value); }

void ParameterBinding::CommitUnit(const std::string& unit) { dialog_.CommitUserUnit(*this, unit); }

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
    const QSignalBlocker block(unit_);
    unit_->clear();
    const CMC_UnitType* type = parameter_.GetUnitType();
    if (!type) return;
    for (size_t i = 0; i < type->GetUnitCount(); ++i)
        unit_->addItem(QString::fromStdString(type->GetUnit(i)->GetName()));
}

const CMC_Unit* ValueBinding::DisplayUnit() const {
    const CMC_UnitType* type = parameter_.GetUnitType();
    return type ? type->FindUnit(parameter_.GetUnitName()) : nullptr;
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

bool ValueBinding::CommitPending() { return CommitText(); }

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
        const CMC_Unit* unit = DisplayUnit();
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
    // A switch counts as on when its value truncated is exactly 1.
    check_->setChecked(std::trunc(parameter_.GetValueInBaseUnit()) == 1.0);
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
                             QAbstractSlider* slider, int steps)
    : ParameterBinding(dialog, parameter), slider_(slider), steps_(std::max(1, steps)) {
    slider_->setRange(0, steps_);
    // Dragging commits on release; keys and page clicks commit at once.
    connect(slider_, &QAbstractSlider::sliderReleased, this, [this] { CommitPosition(); });
    connect(slider_, &QAbstractSlider::valueChanged, this, [this] {
        if (!slider_->isSliderDown()) CommitPosition();
    });
}

void SliderBinding::Redraw() {
    const double min = parameter_.GetMinInBaseUnit();
    const double max = parameter_.GetMaxInBaseUnit();
    const double span = max - min;
    const double fraction = span > 0 ? (parameter_.GetValueInBaseUnit() - min) / span : 0.0;
    const QSignalBlocker block(slider_);
    slider_->setValue(static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * steps_)));
}

void SliderBinding::CommitPosition() {
    const double min = parameter_.GetMinInBaseUnit();
    const double max = parameter_.GetMaxInBaseUnit();
    double value = min + (max - min) * slider_->value() / steps_;
    if (parameter_.GetType() != 0) value = std::round(value);
    if (value != parameter_.GetValueInBaseUnit()) Commit(value);
}

// --- list ---------------------------------------------------------------------------

ListBinding::ListBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter, QComboBox* list)
    : ParameterBinding(dialog, parameter), list_(list) {
    connect(list_, &QComboBox::activated, this, [this](int index) {
        bool ok = false;
        const double value = list_->itemData(index).toDouble(&ok);
        if (ok) Commit(value);
        else Redraw();
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
