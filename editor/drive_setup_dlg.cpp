#include "editor/drive_setup_dlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QShowEvent>
#include <cmath>
#include <cstdlib>

#include "compute/config_registers.h"
#include "compute/option_codec.h"
#include "compute/parameter_ranges.h"
#include "compute/sequences.h"
#include "editor/advanced_dlg.h"
#include "editor/analog_reference_dlg.h"
#include "editor/drive_info.h"
#include "editor/editor_helpers.h"
#include "editor/motor_setup_dlg.h"
#include "editor/pictures.h"
#include "host/setup/names.h"
#include "host/setup/setup.h"
#include "host/ui/modal_seam.h"
#include "identification/angle_tuning.h"
#include "identification/current_tuning.h"
#include "identification/vdc_detection.h"
#include "tuning/speed_tuning.h"
#include "ui_drive_setup.h"

namespace {

const char* const kGuidelines[] = {
    "Step 1.\tIn the <<Control mode>> group box, select what do you want to control: position, "
    "speed or torque.",
    "Step 2.\tIn the <<External reference>> group box, select <<Yes>> if your drive gets a "
    "position, speed or torque reference from an external device. Press the <<Setup>> button "
    "to select the reference type: analogue or pulse & direction or incremental encoder and its "
    "parameters.",
    "Step 3.\tIn the <<Drive operation parameters>> group box, set the value of the DC voltage "
    "power supply. Use the <<Detect>> button to measure its actual value as applied to the "
    "drive. Also set the <<Current limit>> parameter, i.e. the maximum current value used by "
    "the drive to control the motor.",
    "Step 4.\tIn the <<Current controller>> group box, set the current controller parameters Kp "
    "(proportional) and Ki (integral). Use the <<Tune & Test>> button to automatically compute "
    "the current controller parameters and to test the current loop behavior.",
    "Step 5.\tIn the <<Speed Controller>> group box, set the speed controller parameters Kp "
    "(proportional), Ki (integral), Integral limit (saturation limit for the integral term of "
    "the controller) and the acceleration Feedforward. Use the <<Tune & Test>> button to "
    "automatically compute the speed controller parameters and to test the speed loop "
    "response. Before tuning the speed controller, make sure to set the right value for the "
    "ratio load inertia /motor inertia or to identify the total inertia. Note that the "
    "controller tuning does not include the acceleration feedforward. Set initially this value "
    "to 0, and then establish the other controller parameters. Finally increase gradually the "
    "acceleration feedforward and check the speed loop response.",
    "Step 6.\tIn the <<Position Controller>> group box, set the position controller parameters "
    "Kp (proportional), Ki (integral), Kd (derivative), Kd filter (filtering coefficient for the "
    "derivative term), Integral limit (saturation limit for the integral term of the "
    "controller), Speed limit (saturation limit for the position controller output, seen as a "
    "speed reference value), acceleration and speed feedforward. Use the <<Tune & Test>> button "
    "to automatically compute the position controller parameters and to test the position loop "
    "behavior. Before tuning the position controller, make sure to set the right value for the "
    "ratio load inertia /motor inertia or to identify the total inertia. Note that the "
    "controller tuning does not include the acceleration and speed feedforward. Set initially "
    "these values to 0, and then establish the other controller parameters. Finally increase "
    "gradually the acceleration and speed feedforward and check the speed loop behavior.",
    "Step 7.\tIn the <<Axis ID>> group box, choose the desired axis ID of the drive for network "
    "communication. Select \"H/W\" if you want to set the axis ID automatically using the "
    "dedicated hardware switches, jumpers or solder joints.",
    "Step 8. In the <<Protections>> group box, select and parameterize the protections that you "
    "want to activate.",
    "Step 9. In the <<Inputs polarity>> check box, select the active levels for the Enable and "
    "the two limit switch inputs.",
    "Step 10. Set the time needed to align the motor first on phase B and than on phase A.",
    nullptr,
};

// The "Motor setup" button's picture, in logical pixels.
constexpr QSize kMotorSetupPictureSize(96, 64);

// Axis ID 0 is "H/W": the drive takes its ID from its own switches.
constexpr int kHighestAxisId = 255;
const QString kHardwareAxisId = QStringLiteral("H/W");

// The polarity rows say what "active" means for the input type: sink inputs are
// active when driven to the logic supply, source inputs when pulled to ground.
const char* const kSupplyHigh = "Active high (Connected to +Vlog)";
const char* const kSupplyLow = "Active low (Open/No connection)";
const char* const kGroundHigh = "Active high (Open/No connection)";
const char* const kGroundLow = "Active low (Connected to GND)";

// ASR bit 2: the drive's inputs are of the source (NPN) type.
constexpr int kAsrSourceInputs = 1 << 2;

double Value(const CMC_Setup* setup, const char* name) {
    return setup->GetParameterValueInBaseUnit(name);
}

// Silent read: 0 for a parameter the drive does not have.
int SilentIntValue(const CMC_Setup* setup, const char* name) {
    axis::ScopedSilentLookup silent;
    const CMC_Parameter* p = setup->FindParameter(name);
    return p ? static_cast<int>(std::trunc(p->GetValueInBaseUnit())) : 0;
}

// The drive setting that switches the motor temperature input off; absent means the
// input is there.
bool MotorTemperatureDisabled(const CMC_Setup* setup) {
    const std::string text = setup->GetOptionNoError("DisableMotorTemperature");
    return !text.empty() && std::atoi(text.c_str()) != 0;
}

template <class Dialog>
int OpenEditor(CMC_Setup* setup, QWidget* parent) {
    Dialog dialog(setup, parent);
    return dialog.DoModal();
}

// Test dialogs take the host's flag (always 1) before their parent.
template <class Dialog>
int OpenTest(CMC_Setup* setup, QWidget* parent) {
    Dialog dialog(setup, 1, parent);
    return dialog.DoModal();
}

}  // namespace

const char* const CDriveSetupDlg::kCanOpenAxisIdWarning =
    "If your drive is set in CANopen mode, the axis ID values must be in the range 1-127. Any "
    "value over 127 will set the drive as non-configured and further CANopen communication will "
    "be disabled until a valid Axis ID will be set in the drive. Leave the drive with a "
    "non-configured axis ID only if you intend to set the Axis ID later via a CANopen master "
    "using CiA305 LSS protocol.";

CDriveSetupDlg::CDriveSetupDlg(CMC_Setup* setup, QWidget* parent)
    : CMySetupDlg(setup, new QWidget, 1, kGuidelines, parent),
      ui_(std::make_unique<Ui::DriveSetup>()) {
    ui_->setupUi(Layout());
    SetHelpContext(kHelpContext);
    // The editor starts from a setup in step with itself: parameters read back from
    // the drive's registers, ranges that follow them, and the speed feed-forward in
    // the current loop where the control scheme allows it.
    orvex::ReadBackParametersFromOptions(setup);
    orvex::UpdateParameterRanges(setup);
    if (orvex::SetupHas(setup, {"SpeedForward"})) orvex::ApplySpeedForwardDefault(setup);
    Bind();
    EnableCANSettings(ui_->baudRateList, ui_->canopenSettingsButton);
    BuildSubDialogTable();

    Ui::DriveSetup& f = *ui_;
    // Clicks that change which controls apply: connected after the bindings, so the
    // parameter is written (and its reactions run) before the rules are applied again.
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             f.positionModeRadio, f.speedModeRadio, f.torqueModeRadio, f.extRefNoRadio,
             f.extRefYesRadio, f.alignStartRadio, f.motionlessStartRadio, f.overCurrentCheck,
             f.positionErrorCheck, f.speedErrorCheck, f.i2tCheck, f.swlsCheck,
             f.saveCanBaudRateCheck, f.saveAxisIdCheck})
        connect(b, &QAbstractButton::clicked, this, [this] { UpdateData(false); });
    connect(f.axisIdList, &QComboBox::activated, this, &CDriveSetupDlg::OnAxisIdChosen);
    // The reference type is shown, not chosen here: the External reference dialog
    // chooses it.
    for (QAbstractButton* indicator : {static_cast<QAbstractButton*>(f.digitalRefRadio),
                                       static_cast<QAbstractButton*>(f.analogueRefRadio)})
        indicator->setAttribute(Qt::WA_TransparentForMouseEvents);
}

CDriveSetupDlg::~CDriveSetupDlg() = default;

void CDriveSetupDlg::Bind() {
    CMC_Setup* setup = GetSetup();
    Ui::DriveSetup& f = *ui_;
    AddParameterControls("Vdc", f.vdcEdit, f.vdcUnit);
    AddParameterControls("IlimPS", f.ilimEdit, f.ilimUnit);
    AddParameterControls("Kp_C_scl", f.kpCEdit);
    AddParameterControls("Ki_C_scl", f.kiCEdit);
    AddParameterControls("Kp_S_scl", f.kpSEdit);
    AddParameterControls("Ki_S_scl", f.kiSEdit);
    AddParameterControls("IPSatS", f.ipSatSEdit, f.ipSatSUnit);
    AddParameterControls("KFFA_scl", f.kffaSEdit);
    AddParameterControls("KFFS_scl", f.kffsSEdit);
    AddParameterControls("Kp_P_scl", f.kpPEdit);
    AddParameterControls("Ki_P_scl", f.kiPEdit);
    AddParameterControls("Kd_P_scl", f.kdPEdit);
    AddParameterControls("filter_D", f.kdFilterEdit);
    AddParameterControls("IPSatP", f.ipSatPEdit, f.ipSatPUnit);
    AddParameterControls("KFFA_scl", f.kffaPEdit);
    AddParameterControls("KFFS_scl", f.kffsPEdit);
    AddParameterControls("Limit_Speed", f.limitSpeedEdit, f.limitSpeedUnit);
    AddSwitchParameterControls("ControlMode",
                               {f.positionModeRadio, f.speedModeRadio, f.torqueModeRadio});
    AddSwitchParameterControls("ExternalReference", {f.extRefNoRadio, f.extRefYesRadio});
    AddCheckParameterControls("isAutoActivatedAfterPowerOn", f.autoActivatedCheck);
    AddSwitchParameterControls("isAnalogueReference", {f.digitalRefRadio, f.analogueRefRadio});
    AddCheckParameterControls("isOverCurrent", f.overCurrentCheck);
    AddParameterControls("Imax_Prot", f.imaxProtEdit, f.imaxProtUnit);
    AddParameterControls("time_Imax_Prot", f.timeImaxProtEdit, f.timeImaxProtUnit);
    AddCheckParameterControls("isPositionControlError", f.positionErrorCheck);
    AddParameterControls("ERR_position", f.errPositionEdit, f.errPositionUnit);
    AddParameterControls("time_ERR_pos", f.timeErrPosEdit, f.timeErrPosUnit);
    AddCheckParameterControls("isSpeedControlError", f.speedErrorCheck);
    AddParameterControls("ERR_speed", f.errSpeedEdit, f.errSpeedUnit);
    AddParameterControls("time_ERR_spd", f.timeErrSpdEdit, f.timeErrSpdUnit);
    AddCheckParameterControls("isMotorOverTemp", f.motorOverTempCheck);
    AddCheckParameterControls("isMotori2t", f.i2tCheck);
    AddParameterControls("I_I2t_M", f.i2tCurrentEdit, f.i2tCurrentUnit);
    AddParameterControls("t_I2t_M", f.i2tTimeEdit, f.i2tTimeUnit);
    // The enable input runs the other way round: 1 is the upper row (active high).
    if (!orvex::IsSettingOn(setup, "hideEnablePolarity"))
        AddSwitchParameterControls("EnablePolarity", {f.enableLowRadio, f.enableHighRadio});
    AddSwitchParameterControls("LSPPolarity", {f.lspHighRadio, f.lspLowRadio});
    AddSwitchParameterControls("LSNPolarity", {f.lsnHighRadio, f.lsnLowRadio});
    if (orvex::SetupHas(setup, {"InputsPolarityType"}))
        AddSwitchParameterControls("InputsPolarityType", {f.sourceTypeRadio, f.sinkTypeRadio});
    if (orvex::SetupHas(setup, {"isSWLS"})) {
        AddCheckParameterControls("isSWLS", f.swlsCheck);
        AddParameterControls("Negative_SWLS", f.negativeSwlsEdit, f.negativeSwlsUnit);
        AddParameterControls("Positive_SWLS", f.positiveSwlsEdit, f.positiveSwlsUnit);
    }
    if (orvex::SetupHas(setup, {"StartMode"}))
        AddSwitchParameterControls("StartMode", {f.alignStartRadio, f.motionlessStartRadio});
    AddParameterControls("time_AB", f.timeAbEdit, f.timeAbUnit);
    if (orvex::SetupHas(setup, {"save_CAN_baudrate", "save_axis_id"})) {
        AddCheckParameterControls("save_CAN_baudrate", f.saveCanBaudRateCheck);
        AddCheckParameterControls("save_axis_id", f.saveAxisIdCheck);
    }
}

// One row per button that opens another dialog. A test that is not built yet has no
// opener: enabling it later is giving it one here.
void CDriveSetupDlg::BuildSubDialogTable() {
    Ui::DriveSetup& f = *ui_;
    const QString test_missing = tr("The %1 is not available yet.");
    sub_dialogs_ = {
        {f.detectButton, OpenTest<CTestVdcDetection>, AfterOk::RedrawAndReload, false, {}},
        {f.currentTuneButton, OpenTest<CTestCurrent>, AfterOk::RedrawAndReload, false, {}},
        {f.speedTuneButton, OpenTest<CTestSpeedTuning>, AfterOk::RedrawAndReload, false, {}},
        {f.positionTuneButton, nullptr, AfterOk::RedrawAndReload, false,
         test_missing.arg(tr("position controller tuning test"))},
        {f.startTuneButton, OpenTest<CTestAngle>, AfterOk::RedrawAndReload, false, {}},
        {f.extRefSetupButton, OpenEditor<CAnalogReferenceDlg>, AfterOk::RedrawAndReload, true, {}},
        {f.motorSetupButton, OpenEditor<CMotorSetupDialog>, AfterOk::Reload, false, {}},
        {f.advancedButton, OpenEditor<CAdvancedDialog>, AfterOk::Reload, false, {}},
        {f.driveInfoButton, OpenEditor<CDriveInfo>, AfterOk::Redraw, false, {}},
    };
    for (const SubDialog& entry : sub_dialogs_) {
        if (!entry.open) {
            entry.button->setEnabled(false);
            entry.button->setToolTip(entry.missing);
            continue;
        }
        connect(entry.button, &QAbstractButton::clicked, this,
                [this, &entry] { OpenSubDialog(entry); });
    }
}

void CDriveSetupDlg::EnableOpener(QAbstractButton* button, bool rule) {
    for (const SubDialog& entry : sub_dialogs_)
        if (entry.button == button) {
            EnableChild(button, rule && entry.open);
            return;
        }
    EnableChild(button, rule);
}

void CDriveSetupDlg::OpenSubDialog(const SubDialog& entry) {
    CMC_Setup* setup = GetSetup();
    // The other dialog works on options and parameters that agree.
    orvex::BringOptionsInStep(setup);
    if (entry.ranges_before) orvex::UpdateParameterRanges(setup);
    if (entry.open(setup, this) == 1) AfterSubDialogOk(entry.after);
}

void CDriveSetupDlg::AfterSubDialogOk(AfterOk after) {
    orvex::BringOptionsInStep(GetSetup());
    if (after != AfterOk::Reload) RefreshAllParameters();
    if (after != AfterOk::Redraw) UpdateData(false);
}

void CDriveSetupDlg::showEvent(QShowEvent* event) {
    CMySetupDlg::showEvent(event);
    if (event->spontaneous()) return;  // restored by the window system, not opened
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    SetTimer(kMotorSetupTimerId, kMotorSetupDelay_ms);
}

void CDriveSetupDlg::OnTimer(int id) {
    if (id != kMotorSetupTimerId) {
        CMySetupDlg::OnTimer(id);
        return;
    }
    KillTimer(kMotorSetupTimerId);
    OpenMotorSetupAtFirstShowing();
}

void CDriveSetupDlg::OpenMotorSetupAtFirstShowing() {
    for (const SubDialog& entry : sub_dialogs_)
        if (entry.button == ui_->motorSetupButton && entry.open) {
            // The setup was brought in step when this dialog was built.
            if (entry.open(GetSetup(), this) == 1) AfterSubDialogOk(AfterOk::RedrawAndReload);
            return;
        }
}

bool CDriveSetupDlg::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    CMC_Setup* setup = GetSetup();
    Ui::DriveSetup& f = *ui_;
    orvex::SetButtonPicture(f.motorSetupButton, setup, QStringLiteral("TO_MOTORSETUP"),
                            kMotorSetupPictureSize);
    // Without a start mode, aligning on the phases is the only way to start.
    if (!orvex::SetupHas(setup, {"StartMode"})) f.alignStartRadio->setChecked(true);
    {
        axis::ScopedSilentLookup silent;
        f.analogueRefLabel->setEnabled(setup->FindVariable("CADIN", 1) != nullptr &&
                                       setup->FindParameter("CADIN") != nullptr);
    }
    FillAxisIdList();
    ShowDigitalReferenceType();
    SetInputsTypeAtOpening();
    UpdateData(false);
    return true;
}

void CDriveSetupDlg::FillAxisIdList() {
    QComboBox* list = ui_->axisIdList;
    list->clear();
    for (int id = 1; id <= kHighestAxisId; ++id) list->addItem(QString::asprintf("%d", id));
    list->addItem(kHardwareAxisId);
    const int value = orvex::IntValue(GetSetup(), "Axis_ID_list");
    const QString text = value == 0 ? kHardwareAxisId : QString::asprintf("%d", value);
    list->setCurrentIndex(list->findText(text));
}

void CDriveSetupDlg::OnAxisIdChosen(int index) {
    // The choice stays: an ID above 127 is legal, it only leaves a CANopen drive
    // unconfigured until a master sets its ID.
    if (index >= kFirstNonCanOpenIdIndex && index <= kLastNonCanOpenIdIndex)
        axis::ShowMessage(this, tr(kCanOpenAxisIdWarning), axis::MessageButtons::Ok,
                          axis::MessageIcon::Warning);
}

void CDriveSetupDlg::ShowDigitalReferenceType() {
    SetChildText(ui_->digitalRefLabel, orvex::IntValue(GetSetup(), "DigitalReferenceType") == 0
                                           ? tr("Pulse & Direction")
                                           : tr("Incremental Encoder"));
}

void CDriveSetupDlg::SetPolarityTexts(bool supply_referenced) {
    SetChildText(ui_->activeHighLabel, tr(supply_referenced ? kSupplyHigh : kGroundHigh));
    SetChildText(ui_->activeLowLabel, tr(supply_referenced ? kSupplyLow : kGroundLow));
}

void CDriveSetupDlg::SetInputsTypeAtOpening() {
    CMC_Setup* setup = GetSetup();
    Ui::DriveSetup& f = *ui_;
    const int programmable = orvex::GetInputsTypeProgrammable(setup);
    const bool has_type = orvex::SetupHas(setup, {"InputsPolarityType"});
    EnableChildren({f.sinkTypeRadio, f.sourceTypeRadio}, has_type && programmable == 1);
    if (programmable == -1) {
        // Drives that cannot report their input type: the "BX" family has sink inputs.
        fixed_sink_type_ = QString::fromStdString(setup->GetDescription()).contains("BX");
        SetPolarityTexts(*fixed_sink_type_);
    } else if (!has_type) {
        fixed_sink_type_ = (orvex::IntValue(setup, "ASR") & kAsrSourceInputs) == 0;
        SetPolarityTexts(*fixed_sink_type_);
    } else {
        inputs_type_shown_ = Value(setup, "InputsPolarityType");
        SetPolarityTexts(orvex::IntValue(setup, "InputsPolarityType") == 1);
    }
}

void CDriveSetupDlg::DoDataExchange(bool save) {
    CMySetupDlg::DoDataExchange(save);
    if (!save) ApplyLoadRules();
}

void CDriveSetupDlg::ApplyLoadRules() {
    CMC_Setup* setup = GetSetup();
    Ui::DriveSetup& f = *ui_;
    const int mode = orvex::IntValue(setup, "ControlMode");
    const bool position = mode == 0;
    const bool speed = mode == 1;
    const int position_type = orvex::IntValue(setup, "PositionControlType");
    const bool cascaded = position && position_type == 1;
    const bool speed_loop = speed || cascaded;
    const bool motionless = orvex::SetupHas(setup, {"KPTHT"});
    const int start_mode =
        orvex::SetupHas(setup, {"StartMode"}) ? orvex::IntValue(setup, "StartMode") : 0;

    // Current controller: always.
    EnableChildren({f.currentBox, f.kpCLabel, f.kpCEdit, f.kiCLabel, f.kiCEdit}, true);
    EnableOpener(f.currentTuneButton, true);
    // Speed controller: only when the speed loop is closed.
    EnableChildren(
        {f.speedBox, f.kpSLabel, f.kiSLabel, f.ipSatSLabel, f.feedforwardSLabel,
         f.accelerationSLabel, f.kpSEdit, f.kiSEdit, f.ipSatSEdit, f.ipSatSUnit, f.kffaSEdit},
        speed_loop);
    EnableOpener(f.speedTuneButton, speed_loop);
    // Position controller: position mode; the speed feed-forward only when a speed
    // loop follows the position loop.
    EnableChildren({f.positionBox, f.kpPLabel, f.kiPLabel, f.kdPLabel, f.kdFilterLabel,
                    f.ipSatPLabel, f.feedforwardPLabel, f.speedPLabel, f.accelerationPLabel,
                    f.loadSpeedLimitLabel, f.kpPEdit, f.kiPEdit, f.kdPEdit, f.kdFilterEdit,
                    f.ipSatPEdit, f.ipSatPUnit, f.limitSpeedEdit, f.limitSpeedUnit},
                   position);
    EnableOpener(f.positionTuneButton, position);
    EnableChild(f.kffsPEdit, cascaded);
    ShowChildren({f.loadSpeedLimitLabel, f.limitSpeedEdit, f.limitSpeedUnit}, cascaded);
    ShowChildren({f.feedforwardSLabel, f.kffaSEdit, f.accelerationSLabel}, speed);
    ShowChildren(
        {f.feedforwardPLabel, f.speedPLabel, f.accelerationPLabel, f.kffaPEdit, f.kffsPEdit},
        position);
    if (orvex::SetupHas(setup, {"SpeedForward"})) {
        // Where the feed-forward is applied decides which set is offered: none while
        // position and speed control run in the fast loop.
        const int fast_loop = SilentIntValue(setup, "PosSpd_in_FastLoop");
        const bool speed_set = speed && fast_loop == 0;
        const bool position_set =
            position && (position_type == 0 || position_type == 1) && fast_loop == 0;
        ShowChildren(
            {f.feedforwardSLabel, f.kffaSEdit, f.kffsSEdit, f.accelerationSLabel, f.speedSLabel},
            speed_set);
        ShowChildren(
            {f.feedforwardPLabel, f.kffaPEdit, f.kffsPEdit, f.accelerationPLabel, f.speedPLabel},
            position_set);
        if (speed_set)
            EnableChildren({f.feedforwardSLabel, f.kffaSEdit, f.kffsSEdit, f.accelerationSLabel,
                            f.speedSLabel},
                           true);
        if (position_set)
            EnableChildren({f.feedforwardPLabel, f.kffaPEdit, f.kffsPEdit, f.accelerationPLabel,
                            f.speedPLabel},
                           true);
    } else {
        ShowChildren({f.kffsSEdit, f.speedSLabel}, false);
    }

    // Protections.
    EnableChild(f.motorOverTempCheck, !MotorTemperatureDisabled(setup) &&
                                          orvex::SwitchOn(setup, "isMotorTemperatureSensor"));
    EnableChildren({f.motorCurrentLabel, f.overCurrentTimeLabel, f.imaxProtEdit, f.imaxProtUnit,
                    f.timeImaxProtEdit, f.timeImaxProtUnit},
                   orvex::SwitchOn(setup, "isOverCurrent"));
    EnableChildren({f.i2tCurrentLabel, f.i2tTimeLabel, f.i2tCurrentEdit, f.i2tCurrentUnit,
                    f.i2tTimeEdit, f.i2tTimeUnit},
                   orvex::IntValue(setup, "isMotori2t") != 0);
    EnableChild(f.positionErrorCheck, position);
    EnableChildren({f.positionErrorLabel, f.positionErrorTimeLabel, f.errPositionEdit,
                    f.errPositionUnit, f.timeErrPosEdit, f.timeErrPosUnit},
                   position && orvex::IntValue(setup, "isPositionControlError") != 0);
    EnableChild(f.speedErrorCheck, speed);
    EnableChildren({f.speedErrorLabel, f.speedErrorTimeLabel, f.errSpeedEdit, f.errSpeedUnit,
                    f.timeErrSpdEdit, f.timeErrSpdUnit},
                   speed && orvex::IntValue(setup, "isSpeedControlError") != 0);

    // External reference.
    const bool external = orvex::SwitchOn(setup, "ExternalReference");
    EnableOpener(f.extRefSetupButton, external);
    EnableChild(f.autoActivatedCheck, external);

    // Inputs polarity.
    ShowChildren({f.enablePolarityLabel, f.enableHighRadio, f.enableLowRadio},
                 !orvex::IsSettingOn(setup, "hideEnablePolarity"));

    // Software limit switches.
    const bool has_swls = orvex::SetupHas(setup, {"isSWLS"});
    EnableChildren({f.swlsBox, f.swlsCheck}, has_swls);
    EnableChildren({f.negativeLimitLabel, f.positiveLimitLabel, f.negativeSwlsEdit,
                    f.negativeSwlsUnit, f.positiveSwlsEdit, f.positiveSwlsUnit},
                   has_swls && orvex::SwitchOn(setup, "isSWLS"));

    // Start mode.
    EnableChild(f.motionlessStartRadio, motionless);
    EnableChildren({f.timeAbLabel, f.timeAbEdit, f.timeAbUnit}, start_mode == 0);
    EnableOpener(f.startTuneButton, start_mode == 1 && motionless);

    // CANbus and axis ID: what the drive saves.
    if (orvex::SetupHas(setup, {"save_CAN_baudrate", "save_axis_id"})) {
        EnableChildren({f.baudRateLabel, f.baudRateList},
                       orvex::SwitchOn(setup, "save_CAN_baudrate"));
        EnableChildren({f.axisIdLabel, f.axisIdList}, orvex::SwitchOn(setup, "save_axis_id"));
    } else {
        ShowChildren({f.saveCanBaudRateCheck, f.saveAxisIdCheck}, false);
    }

    ShowDigitalReferenceType();
    RefreshAllParameters();
    // A type the drive cannot report stays as the opening decided it.
    if (fixed_sink_type_) {
        f.sinkTypeRadio->setChecked(*fixed_sink_type_);
        f.sourceTypeRadio->setChecked(!*fixed_sink_type_);
    }
}

void CDriveSetupDlg::OnChangedParameterValue(const char* name) {
    CMC_Setup* setup = GetSetup();
    if (axis::NamesEqual(name, "ControlMode")) {
        if (orvex::SetupHas(setup, {"SpeedForward"})) orvex::ApplySpeedForwardDefault(setup);
        if (orvex::IntValue(setup, "ControlMode") != 0) {
            // Speed and torque references come one to one, from the analogue input.
            setup->SetParameterValueInBaseUnit("GEARMASTER", 1);
            setup->SetParameterValueInBaseUnit("GEARSLAVE", 1);
            setup->SetParameterValueInBaseUnit("isAnalogueReference", 1);
            RefreshAllParameters();
        }
    } else if (axis::NamesEqual(name, "ExternalReference")) {
        if (orvex::IntValue(setup, "ExternalReference") == 0) {
            setup->SetParameterValueInBaseUnit("isAutoActivatedAfterPowerOn", 0);
            RefreshParameterControls("isAutoActivatedAfterPowerOn");
        }
    } else if (axis::NamesEqual(name, "Negative_SWLS")) {
        if (Value(setup, "Negative_SWLS") > Value(setup, "Positive_SWLS"))
            setup->SetParameterValueInBaseUnit("Negative_SWLS", Value(setup, "Positive_SWLS"));
    } else if (axis::NamesEqual(name, "Positive_SWLS")) {
        if (Value(setup, "Negative_SWLS") > Value(setup, "Positive_SWLS"))
            setup->SetParameterValueInBaseUnit("Positive_SWLS", Value(setup, "Negative_SWLS"));
    } else if (axis::NamesEqual(name, "StartMode")) {
        UpdateData(false);
    }
    CMySetupDlg::OnChangedParameterValue(name);
}

void CDriveSetupDlg::OnRefreshParameterValue(const char* name) {
    CMC_Setup* setup = GetSetup();
    if (axis::NamesEqual(name, "InputsPolarityType")) {
        const double type = Value(setup, "InputsPolarityType");
        if (!inputs_type_shown_ || *inputs_type_shown_ != type) {
            inputs_type_shown_ = type;
            // The same wiring keeps its meaning when the input type changes: what was
            // active high is now active low.
            for (const char* polarity : {"EnablePolarity", "LSNPolarity", "LSPPolarity"})
                setup->SetParameterValueInBaseUnit(
                    polarity, orvex::IntValue(setup, polarity) == 0 ? 1.0 : 0.0);
            SetPolarityTexts(orvex::IntValue(setup, "InputsPolarityType") == 1);
            RefreshAllParameters();
        }
    }
    CMySetupDlg::OnRefreshParameterValue(name);
}

void CDriveSetupDlg::OnOK() {
    if (!UpdateData(true)) return;
    CMC_Setup* setup = GetSetup();
    const int value = orvex::IntValue(setup, "Axis_ID_list");
    const QString chosen = ui_->axisIdList->currentText();
    // "H/W" reads as 0, the drive's own switches.
    if (chosen != QString::asprintf("%d", value))
        setup->SetParameterValueInBaseUnit("Axis_ID_list",
                                           std::atoi(chosen.toLatin1().constData()));
    orvex::ComputeOptionsFromParameters(setup);
    orvex::UpdateLoopClosure(setup);
    EndDialog(1);
}
