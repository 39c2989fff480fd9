#include "editor/drive_info.h"

#include <QApplication>
#include <QIntValidator>
#include <QKeyEvent>
#include <cstdlib>

#include "compute/sequences.h"
#include "host/setup/setup.h"
#include "host/setup/value_rules.h"
#include "host/ui/modal_seam.h"
#include "ui_drive_info.h"

namespace {

// Memory sizes are shown in Kwords (1024 words); the field takes what fits in the
// setup's word count.
constexpr int kWordsPerKword = 1024;
constexpr int kMaxKwords = std::numeric_limits<int>::max() / kWordsPerKword;

bool IsOn(const CMC_Setup* setup, const char* name) {
    return axis::IsSwitchOn(setup->GetParameterValueInBaseUnit(name));
}

// "16" -> 16, "16k" -> 16, "abc" -> 0: the leading decimal digits, as the field is
// read on OK.
int LeadingInteger(const QString& text) {
    return std::atoi(text.trimmed().toLatin1().constData());
}

}  // namespace

CDriveInfo::CDriveInfo(CMC_Setup* setup, QWidget* parent)
    : CMySetupDlg(setup, new QWidget, 1, nullptr, parent), ui_(std::make_unique<Ui::DriveInfo>()) {
    ui_->setupUi(Layout());
    SetHelpContext(kHelpContext);
    Ui::DriveInfo& f = *ui_;
    AddParameterControls("VMOT_min", f.vmotMinEdit, f.vmotMinUnit);
    AddParameterControls("VMOT_max", f.vmotMaxEdit, f.vmotMaxUnit);
    AddParameterControls("VLOG_min", f.vlogMinEdit, f.vlogMinUnit);
    AddParameterControls("VLOG_max", f.vlogMaxEdit, f.vlogMaxUnit);
    AddParameterControls("InPS", f.nominalCurrentEdit, f.nominalCurrentUnit);
    AddParameterControls("ImaxPS", f.peakCurrentEdit, f.peakCurrentUnit);
    AddParameterControls("VdcMaxMeasurable", f.vdcMaxEdit, f.vdcMaxUnit);
    AddCheckParameterControls("isDriveTemperatureSensor", f.tempSensorCheck);
    AddParameterControls("DriveTempSensorGain", f.sensorGainEdit, f.sensorGainUnit);
    AddParameterControls("DriveTempOutputAt0oC", f.sensorOutputEdit, f.sensorOutputUnit);
    AddParameterControls("Temp_2", f.overTempEdit, f.overTempUnit);
    AddCheckParameterControls("isDriveOverTemp", f.overTempCheck);
    AddCheckParameterControls("isOverVoltage", f.overVoltageCheck);
    AddParameterControls("UMAX_PROT", f.overVoltageEdit, f.overVoltageUnit);
    AddCheckParameterControls("isUnderVoltage", f.underVoltageCheck);
    AddParameterControls("UMIN_PROT", f.underVoltageEdit, f.underVoltageUnit);
    AddCheckParameterControls("isDriveI2t", f.i2tCheck);
    AddParameterControls("I_I2t_D", f.i2tCurrentEdit, f.i2tCurrentUnit);
    AddParameterControls("t_I2t_D", f.i2tTimeEdit, f.i2tTimeUnit);
    AddParameterControls("AnalogueInputsRange", f.analogueRangeEdit, f.analogueRangeUnit);

    // Connected after the bindings, so the parameter is written before the rules run.
    for (QAbstractButton* check : {static_cast<QAbstractButton*>(f.tempSensorCheck),
                                   static_cast<QAbstractButton*>(f.overVoltageCheck),
                                   static_cast<QAbstractButton*>(f.underVoltageCheck),
                                   static_cast<QAbstractButton*>(f.i2tCheck),
                                   static_cast<QAbstractButton*>(f.overTempCheck)})
        connect(check, &QAbstractButton::clicked, this, &CDriveInfo::OnProtectionCheckClicked);

    f.appIdEdit->setMaxLength(kAppIdMaxLength);
    f.e2romSizeEdit->setValidator(new QIntValidator(0, kMaxKwords, f.e2romSizeEdit));
    qApp->installEventFilter(this);
}

CDriveInfo::~CDriveInfo() {
    qApp->removeEventFilter(this);
}

bool CDriveInfo::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    const CMC_Setup* setup = GetSetup();
    Ui::DriveInfo& f = *ui_;
    f.e2romSizeEdit->setText(QString::number(setup->GetE2ROMSize() >> 10));
    f.firmwareIdEdit->setText(QString::fromStdString(setup->GetFirmwareID()));
    f.productIdEdit->setText(QString::fromStdString(setup->GetProductID()));
    f.driveNameEdit->setText(QString::fromStdString(setup->GetDescription()));
    f.appIdEdit->setText(QString::fromStdString(setup->GetUserAppID()));
    UpdateData(false);
    return true;
}

void CDriveInfo::DoDataExchange(bool save) {
    CMySetupDlg::DoDataExchange(save);
    if (!save) ApplyLoadRules();
}

void CDriveInfo::ApplyLoadRules() {
    const CMC_Setup* setup = GetSetup();
    Ui::DriveInfo& f = *ui_;
    const bool e = editing_;
    const bool s = IsOn(setup, "isDriveTemperatureSensor");
    const bool ov = IsOn(setup, "isOverVoltage");
    const bool uv = IsOn(setup, "isUnderVoltage");
    const bool i2 = IsOn(setup, "isDriveI2t");
    const bool ot = IsOn(setup, "isDriveOverTemp");

    // The drive's own data and identity: only while unlocked.
    EnableChildren({f.vmotMinEdit, f.vmotMaxEdit, f.vlogMinEdit, f.vlogMaxEdit,
                    f.nominalCurrentEdit, f.peakCurrentEdit, f.vdcMaxEdit, f.analogueRangeEdit,
                    f.tempSensorCheck, f.overVoltageCheck, f.underVoltageCheck, f.i2tCheck,
                    f.driveNameEdit, f.productIdEdit, f.e2romSizeEdit, f.firmwareIdEdit},
                   e);
    // Fields that also need their feature switched on.
    EnableChildren({f.sensorGainEdit, f.sensorOutputEdit, f.overTempCheck}, e && s);
    EnableChild(f.overVoltageEdit, e && ov);
    EnableChild(f.underVoltageEdit, e && uv);
    EnableChildren({f.i2tCurrentEdit, f.i2tTimeEdit}, e && i2);
    EnableChild(f.overTempEdit, e && ot);
    // Labels and unit selectors of those rows show whether the feature is on,
    // locked or not.
    EnableChildren({f.sensorGainLabel, f.sensorGainUnit, f.sensorOutputLabel, f.sensorOutputUnit},
                   s);
    EnableChildren({f.overVoltageLabel, f.overVoltageUnit}, ov);
    EnableChildren({f.underVoltageLabel, f.underVoltageUnit}, uv);
    EnableChildren({f.i2tCurrentLabel, f.i2tCurrentUnit, f.i2tTimeLabel, f.i2tTimeUnit}, i2);
    EnableChildren({f.overTempLabel, f.overTempUnit}, ot);
    // Always: the user's own ID and the choice of units.
    EnableChildren({f.appIdEdit, f.vmotMinUnit, f.vmotMaxUnit, f.vlogMinUnit, f.vlogMaxUnit,
                    f.nominalCurrentUnit, f.peakCurrentUnit, f.vdcMaxUnit, f.analogueRangeUnit},
                   true);
}

void CDriveInfo::OnProtectionCheckClicked() {
    CMC_Setup* setup = GetSetup();
    // No over-temperature protection without a sensor.
    if (!IsOn(setup, "isDriveTemperatureSensor") && IsOn(setup, "isDriveOverTemp")) {
        setup->SetParameterValueInBaseUnit("isDriveOverTemp", 0.0);
        RefreshParameterControls("isDriveOverTemp");
    }
    UpdateData(false);
}

bool CDriveInfo::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this || key->isAutoRepeat()) return false;
    if (key->key() != kChordKey || key->modifiers() != kChordModifiers) return false;
    editing_ = !editing_;
    UpdateData(false);
    // Kept from the controls: an edit field would take Ctrl+Alt as AltGr and type the
    // letter.
    return true;
}

void CDriveInfo::OnOK() {
    if (!UpdateData(true)) return;
    CMC_Setup* setup = GetSetup();
    Ui::DriveInfo& f = *ui_;
    const int kwords = std::clamp(LeadingInteger(f.e2romSizeEdit->text()), 0, kMaxKwords);
    setup->SetE2ROMSize(kwords << 10);
    setup->SetUserAppID(f.appIdEdit->text().left(kAppIdMaxLength).toStdString());
    setup->SetProductID(f.productIdEdit->text().toStdString());
    setup->SetDescription(f.driveNameEdit->text().toStdString());
    if (!setup->SetFirmwareID(f.firmwareIdEdit->text().toStdString()))
        axis::ShowMessage(this, tr("Error setting the firmware ID!"), axis::MessageButtons::Ok,
                          axis::MessageIcon::Error);
    orvex::ComputeOptionsFromParameters(setup);
    EndDialog(1);
}
