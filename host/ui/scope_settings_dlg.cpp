#include "host/ui/scope_settings_dlg.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSpinBox>

#include "host/ui/modal_seam.h"

namespace axis {

bool EditScopeCaptureSettings(QWidget* parent, const std::vector<std::string>& variables,
                              ScopeCaptureSettings& settings) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QObject::tr("Scope Settings"));
    dialog.setObjectName("scopeSettingsDialog");
    auto* form = new QFormLayout(&dialog);

    auto* window = new QDoubleSpinBox(&dialog);
    window->setObjectName("windowEdit");
    window->setDecimals(4);
    window->setRange(0.001, 100.0);
    window->setSuffix(" s");
    window->setValue(settings.window_s);
    form->addRow(QObject::tr("Capture window"), window);

    auto* mode = new QComboBox(&dialog);
    mode->setObjectName("triggerModeList");
    mode->addItem(QObject::tr("Free running"), 1);
    mode->addItem(QObject::tr("Repeated trigger"), 2);
    mode->addItem(QObject::tr("Single trigger"), 4);
    mode->setCurrentIndex(std::max(0, mode->findData(settings.trigger_mode)));
    form->addRow(QObject::tr("Trigger mode"), mode);

    auto* source = new QComboBox(&dialog);
    source->setObjectName("triggerVariableList");
    source->addItem(QObject::tr("(none)"), QString());
    for (const auto& v : variables)
        source->addItem(QString::fromStdString(v), QString::fromStdString(v));
    source->setCurrentIndex(
        std::max(0, source->findData(QString::fromStdString(settings.trigger_variable))));
    form->addRow(QObject::tr("Trigger variable"), source);

    auto* slope = new QComboBox(&dialog);
    slope->setObjectName("triggerSlopeList");
    slope->addItem(QObject::tr("Rising"), 1);
    slope->addItem(QObject::tr("Falling"), 0);
    slope->setCurrentIndex(settings.trigger_slope ? 0 : 1);
    form->addRow(QObject::tr("Trigger slope"), slope);

    auto* level = new QDoubleSpinBox(&dialog);
    level->setObjectName("triggerLevelEdit");
    level->setDecimals(6);
    level->setRange(-1e9, 1e9);
    level->setValue(settings.level);
    form->addRow(QObject::tr("Trigger level (base unit)"), level);

    auto* pretrigger = new QSpinBox(&dialog);
    pretrigger->setObjectName("pretriggerEdit");
    pretrigger->setRange(0, 100);
    pretrigger->setSuffix(" %");
    pretrigger->setValue(static_cast<int>(settings.pretrigger_percent));
    form->addRow(QObject::tr("Pretrigger"), pretrigger);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);

    // A free-running capture has no trigger to set.
    const auto follow_mode = [&] {
        const bool triggered = mode->currentData().toInt() != 1;
        source->setEnabled(triggered);
        slope->setEnabled(triggered);
        level->setEnabled(triggered);
        pretrigger->setEnabled(triggered);
    };
    QObject::connect(mode, &QComboBox::currentIndexChanged, &dialog, follow_mode);
    follow_mode();

    if (Modal().RunDialog(dialog) != QDialog::Accepted) return false;
    settings.window_s = window->value();
    settings.trigger_mode = mode->currentData().toInt();
    settings.trigger_variable =
        settings.trigger_mode == 1 ? std::string() : source->currentData().toString().toStdString();
    settings.trigger_slope = slope->currentData().toInt();
    settings.level = level->value();
    settings.pretrigger_percent = static_cast<unsigned>(pretrigger->value());
    return true;
}

}  // namespace axis
