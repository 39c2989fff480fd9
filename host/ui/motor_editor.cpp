#include "host/ui/motor_editor.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "host/setup/setup.h"
#include "host/ui/edit_setup_dlg.h"
#include "host/ui/modal_seam.h"

namespace axis {
namespace {

// Asks for the name a motor is saved under; OK only with a name.
QString AskMotorName(QWidget* parent, const QString& suggestion) {
    QDialog ask(parent);
    ask.setObjectName(QStringLiteral("motorName"));
    ask.setWindowTitle(QObject::tr("Save to User Database"));
    auto* form = new QFormLayout(&ask);
    auto* name = new QLineEdit(suggestion, &ask);
    name->setObjectName(QStringLiteral("motorNameEdit"));
    name->setMinimumWidth(280);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &ask);
    form->addRow(QObject::tr("Motor name"), name);
    form->addRow(buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(!suggestion.trimmed().isEmpty());
    QObject::connect(name, &QLineEdit::textChanged, ok,
                     [ok](const QString& text) { ok->setEnabled(!text.trimmed().isEmpty()); });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    if (Modal().RunDialog(ask) != QDialog::Accepted) return {};
    return name->text().trimmed();
}

}  // namespace

MotorEditor::MotorEditor(CMC_EditSetupDlg& dialog, QComboBox* database, QComboBox* motor,
                         QAbstractButton* save, QAbstractButton* remove)
    : dialog_(dialog), database_(database), motor_(motor), save_(save), remove_(remove) {
    QString error;
    auto shipped =
        ReadMotorDatabase(ShippedMotorDatabasePath(), tr("Generic hybrid steppers"), true, &error);
    databases_[kShipped] =
        shipped
            ? *shipped
            : MotorDatabase{tr("Generic hybrid steppers"), ShippedMotorDatabasePath(), true, {}};
    auto user = ReadMotorDatabase(UserMotorDatabasePath(), tr("User database"), false, &error);
    if (user) {
        databases_[kUser] = *user;
    } else {
        // An unreadable user database is left alone (not overwritten) and reported.
        databases_[kUser] = MotorDatabase{tr("User database"), UserMotorDatabasePath(), true, {}};
        ShowMessage(&dialog_,
                    tr("The user motor database could not be read and is not used:\n%1").arg(error),
                    MessageButtons::Ok, MessageIcon::Warning);
    }
    {
        const QSignalBlocker block(database_);
        database_->clear();
        database_->addItem(databases_[kShipped].title + tr(" (read-only)"));
        database_->addItem(databases_[kUser].title);
    }
    motor_->setPlaceholderText(tr("(choose a motor)"));
    connect(database_, &QComboBox::activated, this, [this](int index) { SelectDatabase(index); });
    connect(motor_, &QComboBox::activated, this, [this](int index) { ChooseMotor(index); });
    if (save_) connect(save_, &QAbstractButton::clicked, this, [this] { SaveToUserDatabase(); });
    if (remove_) connect(remove_, &QAbstractButton::clicked, this, [this] { DeleteChosenMotor(); });
    SelectDatabase(kShipped);
}

void MotorEditor::SelectDatabase(int database) {
    selected_ = database == kUser ? kUser : kShipped;
    const QSignalBlocker block(database_);
    database_->setCurrentIndex(selected_);
    FillMotorList();
}

void MotorEditor::FillMotorList() {
    const QSignalBlocker block(motor_);
    motor_->clear();
    for (const MotorRecord& m : Selected().motors) motor_->addItem(m.name);
    motor_->setCurrentIndex(-1);
    UpdateButtons();
}

void MotorEditor::UpdateButtons() {
    if (save_) save_->setEnabled(!databases_[kUser].read_only);
    if (remove_) remove_->setEnabled(!Selected().read_only && motor_->currentIndex() >= 0);
}

void MotorEditor::ChooseMotor(int index) {
    if (index < 0 || index >= static_cast<int>(Selected().motors.size())) return;
    const MotorRecord motor = Selected().motors[static_cast<size_t>(index)];
    CMC_Setup* setup = dialog_.GetSetup();
    QStringList limited;
    for (const auto& [name, value] : motor.parameters) {
        const std::string n = name.toStdString();
        CMC_Parameter* p = nullptr;
        {
            ScopedSilentLookup silent;
            p = setup->FindParameter(n);
        }
        if (!p) continue;  // a setup without this parameter lacks the feature
        if (value < p->GetMinInBaseUnit() || value > p->GetMaxInBaseUnit()) limited << name;
        dialog_.ChangeParameterValue(n.c_str(), value);
    }
    dialog_.UpdateData(false);
    UpdateButtons();
    if (!limited.isEmpty())
        ShowMessage(&dialog_,
                    tr("Motor \"%1\": the values of %2 lie outside what this setup allows and "
                       "were limited to its range.")
                        .arg(motor.name, limited.join(QStringLiteral(", "))),
                    MessageButtons::Ok, MessageIcon::Warning);
}

bool MotorEditor::SaveToUserDatabase() {
    MotorDatabase& user = databases_[kUser];
    if (user.read_only) return false;
    const QString suggestion = selected_ == kUser ? motor_->currentText() : QString();
    const QString name = AskMotorName(&dialog_, suggestion);
    if (name.isEmpty()) return false;
    MotorRecord record{name, {}};
    const CMC_Setup* setup = dialog_.GetSetup();
    for (const char* p : MotorParameterNames()) {
        ScopedSilentLookup silent;
        if (setup->FindParameter(p))
            record.parameters.emplace_back(QString::fromLatin1(p),
                                           setup->GetParameterValueInBaseUnit(p));
    }
    MotorDatabase updated = user;
    auto existing = std::find_if(updated.motors.begin(), updated.motors.end(),
                                 [&](const MotorRecord& m) { return m.name == name; });
    if (existing != updated.motors.end()) {
        if (ShowMessage(&dialog_,
                        tr("The user database has a motor \"%1\" already. Replace it?").arg(name),
                        MessageButtons::YesNo, MessageIcon::Question) != kIdYes)
            return false;
        *existing = record;
    } else {
        updated.motors.push_back(record);
    }
    const QString error = WriteMotorDatabase(updated);
    if (!error.isEmpty()) {
        ShowMessage(&dialog_, tr("The motor could not be saved:\n%1").arg(error),
                    MessageButtons::Ok, MessageIcon::Error);
        return false;
    }
    user = std::move(updated);
    SelectDatabase(kUser);
    const QSignalBlocker block(motor_);
    motor_->setCurrentIndex(motor_->findText(name));
    UpdateButtons();
    return true;
}

bool MotorEditor::DeleteChosenMotor() {
    MotorDatabase& db = Selected();
    const int index = motor_->currentIndex();
    if (db.read_only || index < 0 || index >= static_cast<int>(db.motors.size())) return false;
    const QString name = db.motors[static_cast<size_t>(index)].name;
    if (ShowMessage(&dialog_, tr("Delete the motor \"%1\" from the user database?").arg(name),
                    MessageButtons::YesNo, MessageIcon::Question) != kIdYes)
        return false;
    MotorDatabase updated = db;
    updated.motors.erase(updated.motors.begin() + index);
    const QString error = WriteMotorDatabase(updated);
    if (!error.isEmpty()) {
        ShowMessage(&dialog_, tr("The motor could not be deleted:\n%1").arg(error),
                    MessageButtons::Ok, MessageIcon::Error);
        return false;
    }
    db = std::move(updated);
    FillMotorList();
    return true;
}

}  // namespace axis
