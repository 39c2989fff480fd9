#include "editor/motor_setup_dlg.h"

#include <QPushButton>

#include "compute/units_transmission.h"
#include "editor/editor_helpers.h"
#include "editor/pictures.h"
#include "host/setup/names.h"
#include "host/ui/modal_seam.h"
#include "ui_motor_setup.h"

namespace {

const char* const kGuidelines[] = {
    "Step 1. Select your motor from a database. If your motor does not exist in any database, "
    "proceed through all the next steps in order to define your motor and sensors data. In "
    "either case, use the tests from the next steps to verify/detect the motor and sensors "
    "parameters and operation.",
    "Step 2. Check the values for nominal and peak currents. Press the <<Test Phase "
    "Connections>> button to verify that your motor phases are well connected to the drive.",
    "Step 3. Check the values for number of motor steps per revolution and number of "
    "microsteps per step.",
    "Step 4. Check the torque constant value.",
    "Step 5. Check the resistance and inductance values. Press the <<Identify Resistance and "
    "Inductance>> button to autodetect these parameters.",
    "Step 6. Check the value of the motor inertia. If you don't know this value, check the "
    "<<Motor inertia is unknown>> checkbox.",
    "Step 7. Use the <<Test Connections>> button in order to verify the operation of the A and "
    "B encoder signals. Check the value of the <<No. of lines/rev>> parameter giving the "
    "encoder resolution. Press the <<Detect No. of lines>> button to automatically detect this "
    "value.",
    "Step 8. Check the <<Temperature>> checkbox if your motor has a temperature sensor and this "
    "sensor is connected to the drive. Select de temperature sensor type: PTC or NTC.",
    "Step 9. In <<Transmission to load>> select the transmission type and the ratio by setting "
    "the correspondance between the motor and load displacements.",
    "Step 10. If you want to save your motor data, select USER database, then press the "
    "<<Save>> button.",
    nullptr,
};

// The encoder input filter's corner, as a share of the inputs' maximum bandwidth; the
// entry's index is the value of "FilterEncValue".
const char* const kEncoderFilterEntries[] = {"1/3",  "1/6",  "1/12", "1/18", "1/24", "1/30", "1/36",
                                             "1/42", "1/48", "1/54", "1/60", "1/66", "1/72"};

// Changes after which the enable and visibility rules must be applied again.
const char* const kReloadingParameters[] = {
    "isMotorInertiaUnknown", "isMotorTemperatureSensor", "isFilterEnc",      "ReverseCounting",
    "MotorBrake_output",     "Motor_transmission",       "Load_transmission"};

// Brake output enable bits 4-5: 01 is an NPN (sink) output.
constexpr int kBrakeKindMask = 0x30;
constexpr int kBrakeKindNpn = 0x10;

const QSize kOkPictureSize(40, 28);
const QSize kAdvicePictureSize(28, 28);

}  // namespace

const char* const CMotorSetupDialog::kLimitSwitchAdvice =
    "When there is only a position sensor on the motor and the load moves in opposite "
    "direction (i.e. transmission is negative), the h/w limit switches connections need to be "
    "reversed. \n\nConnect positive limit switch sensor to drive's LSN input and negative limit "
    "switch sensor to drive's LSP input.";

CMotorSetupDialog::CMotorSetupDialog(CMC_Setup* setup, QWidget* parent)
    : CMySetupDlg(setup, new QWidget, 1, kGuidelines, parent),
      ui_(std::make_unique<Ui::MotorSetup>()) {
    ui_->setupUi(Layout());
    SetHelpContext(kHelpContext);
    Ui::MotorSetup& f = *ui_;
    AddParameterControls("In", f.inEdit, f.inUnit);
    AddParameterControls("ImaxM", f.imaxEdit, f.imaxUnit);
    AddParameterControls("K", f.kEdit, f.kUnit);
    AddParameterControls("R", f.rEdit, f.rUnit);
    AddParameterControls("L", f.lEdit, f.lUnit);
    AddParameterControls("Jm", f.jmEdit, f.jmUnit);
    AddParameterControls("NoMotorSteps", f.stepsEdit);
    AddCheckParameterControls("isMotorInertiaUnknown", f.inertiaUnknownCheck);
    AddParameterControls("No_encoder_lines", f.linesEdit, f.linesUnit);
    AddCheckParameterControls("isMotorTemperatureSensor", f.tempSensorCheck);
    AddSwitchParameterControls("Motor_TempSensor_Type", {f.ntcRadio, f.ptcRadio});
    if (HasEncoderFilter()) {
        AddListParameterControls("FilterEncValue", f.filterEncList);
        AddCheckParameterControls("isFilterEnc", f.filterEncCheck);
    }
    if (orvex::SetupHas(setup, {"ReverseCounting"}))
        AddCheckParameterControls("ReverseCounting", f.reverseCountingCheck);
    AddSwitchParameterControls("TransmissionType", {f.rotaryRadio, f.linearRadio});
    AddParameterControls("Motor_transmission", f.motorTransmissionEdit, f.motorTransmissionUnit);
    AddParameterControls("Load_transmission", f.loadTransmissionEdit, f.loadTransmissionUnit);
    if (HasBrakeParameters()) {
        AddCheckParameterControls("isMotorBrake", f.brakeCheck);
        AddListParameterControls("MotorBrake_output", f.brakeOutputList);
        AddParameterControls("MotorBrake_releasetime", f.releaseEdit, f.releaseUnit);
        AddParameterControls("MotorBrake_applytime", f.applyEdit, f.applyUnit);
    }
    InitializeMotorEditor(f.databaseList, f.motorList, f.saveMotorButton, f.deleteMotorButton);

    // Connected after the bindings, so the parameter is written before the rules run.
    connect(f.brakeCheck, &QAbstractButton::clicked, this, [this] { UpdateData(false); });
    connect(f.limitSwitchButton, &QAbstractButton::clicked, this,
            &CMotorSetupDialog::OnLimitSwitchAdvice);
    const std::pair<QPushButton*, Test> tests[] = {{f.phaseTestButton, Test::kPhaseConnections},
                                                   {f.rlTestButton, Test::kResistanceInductance},
                                                   {f.encoderTestButton, Test::kEncoderConnection},
                                                   {f.linesTestButton, Test::kLineCount}};
    for (const auto& [button, test] : tests)
        connect(button, &QAbstractButton::clicked, this, [this, test] { OnTestButton(test); });
}

bool CMotorSetupDialog::HasTest(Test) const {
    // The motor and encoder tests come with the identification dialogs.
    return false;
}

int CMotorSetupDialog::RunTest(Test) {
    return 0;
}

void CMotorSetupDialog::OnTestButton(Test test) {
    CMC_Setup* setup = GetSetup();
    const bool has_counting = orvex::SetupHas(setup, {"ReverseCounting"});
    const double counting_before =
        has_counting ? setup->GetParameterValueInBaseUnit("ReverseCounting") : 0.0;
    // The test runs on options that match what the user entered.
    orvex::BringOptionsInStep(setup);
    const int result = RunTest(test);
    if (result != 1) {
        // A direction chosen inside the line count test stays, even on Cancel.
        if (test == Test::kLineCount && has_counting &&
            setup->GetParameterValueInBaseUnit("ReverseCounting") != counting_before)
            RefreshParameterControls("ReverseCounting");
        return;
    }
    switch (test) {
        case Test::kPhaseConnections:
        case Test::kEncoderConnection:
            orvex::BringOptionsInStep(setup);
            UpdateData(false);
            break;
        case Test::kResistanceInductance:
            orvex::BringOptionsInStep(setup);
            for (const char* name : {"R", "L"}) {
                OnRefreshParameterValue(name);
                RefreshParameterControls(name);
            }
            break;
        case Test::kLineCount:
            if (has_counting) RefreshParameterControls("ReverseCounting");
            orvex::BringOptionsInStep(setup);
            OnRefreshParameterValue("No_encoder_lines");
            RefreshParameterControls("No_encoder_lines");
            break;
    }
}

CMotorSetupDialog::~CMotorSetupDialog() = default;

bool CMotorSetupDialog::HasEncoderFilter() const {
    return orvex::SetupHas(GetSetup(), {"isFilterEnc", "FilterEncValue"});
}

bool CMotorSetupDialog::HasBrakeParameters() const {
    return orvex::SetupHas(GetSetup(), {"BRAKECFG", "isMotorBrake"});
}

bool CMotorSetupDialog::HasBrake() const {
    return HasBrakeParameters() && GetSetup()->GetNumberOfBrakeOutputs() > 0;
}

bool CMotorSetupDialog::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    CMC_Setup* setup = GetSetup();
    Ui::MotorSetup& f = *ui_;
    orvex::SetButtonPicture(f.okButton, setup, QStringLiteral("TO_DRIVESETUP"), kOkPictureSize);
    orvex::SetButtonPicture(f.limitSwitchButton, setup, QStringLiteral("WARN_SWITCH_HW_LS"),
                            kAdvicePictureSize);
    ShowChild(f.limitSwitchButton, false);

    const bool filter = HasEncoderFilter();
    EnableChildren({f.filterEncCheck, f.filterEncLabel}, filter);
    f.filterEncList->clear();
    if (filter) {
        for (int i = 0; i < static_cast<int>(std::size(kEncoderFilterEntries)); ++i)
            f.filterEncList->addItem(QString::fromLatin1(kEncoderFilterEntries[i]), i);
        RefreshParameterControls("FilterEncValue");
    }
    UpdateEncoderFilterList();
    EnableChild(f.reverseCountingCheck, orvex::SetupHas(setup, {"ReverseCounting"}));

    const bool brake = HasBrake();
    EnableChildren({f.motorBrakeBox, f.brakeCheck}, brake);
    f.brakeOutputList->clear();
    const int current = brake ? orvex::IntValue(setup, "MotorBrake_output") : 0;
    setup->FillIOBrakeCombo(
        [&](const std::string& text, int port) {
            f.brakeOutputList->addItem(QString::fromStdString(text), port);
        },
        current);
    if (brake) RefreshParameterControls("MotorBrake_output");
    orvex::ShowPicture(f.brakePicture, setup, QStringLiteral("3065"));
    // A count has no unit to choose: its selector would stand empty.
    ShowChild(f.linesUnit, !setup->GetParameterUnit("No_encoder_lines").empty());

    for (const auto& [button, test] : {std::pair{f.phaseTestButton, Test::kPhaseConnections},
                                       std::pair{f.rlTestButton, Test::kResistanceInductance},
                                       std::pair{f.encoderTestButton, Test::kEncoderConnection},
                                       std::pair{f.linesTestButton, Test::kLineCount}}) {
        const bool available = HasTest(test);
        button->setEnabled(available);
        button->setToolTip(available ? QString() : orvex::TestNotAvailableText());
    }

    UpdateData(false);
    return true;
}

void CMotorSetupDialog::DoDataExchange(bool save) {
    CMySetupDlg::DoDataExchange(save);
    if (!save) ApplyLoadRules();
}

void CMotorSetupDialog::ApplyLoadRules() {
    CMC_Setup* setup = GetSetup();
    Ui::MotorSetup& f = *ui_;
    EnableChildren({f.jmLabel, f.jmEdit, f.jmUnit},
                   orvex::IntValue(setup, "isMotorInertiaUnknown") == 0);
    EnableChildren({f.sensorTypeBox, f.ntcRadio, f.ptcRadio},
                   orvex::SwitchOn(setup, "isMotorTemperatureSensor"));

    if (HasBrakeParameters()) {
        // The brake set follows its switch; without a usable output the whole box is
        // off (opening step).
        const bool on = HasBrake() && orvex::SwitchOn(setup, "isMotorBrake");
        EnableChildren({f.brakeOutputList, f.brakeText, f.releaseLabel, f.releaseEdit,
                        f.releaseUnit, f.applyLabel, f.applyEdit, f.applyUnit},
                       on);
        const int port =
            orvex::TruncToInt32(setup->GetParameterValueInInternalUnit("MotorBrake_output"));
        const bool npn_bits = (setup->IsBrakePortEnable(port) & kBrakeKindMask) == kBrakeKindNpn;
        // An inverted output swaps the level that applies the brake.
        const bool npn = npn_bits == setup->IsIOVX5PortInverted(port);
        SetChildText(f.brakeText,
                     QStringLiteral("Motor brake is applied when ") +
                         (npn ? QStringLiteral("NPN (sink) output is connected to GND.")
                              : QStringLiteral("PNP (source) output is connected to +Vlog.")));
    } else {
        EnableChildren(
            {f.motorBrakeBox, f.brakeCheck, f.brakeOutputList, f.brakeText, f.releaseLabel,
             f.releaseEdit, f.releaseUnit, f.applyLabel, f.applyEdit, f.applyUnit},
            false);
    }

    // A negative transmission reverses the load's direction against the motor's
    // encoder: unless the drive handles it, the limit switches must be swapped.
    if (setup->GetIntOption("hasNegTransmission") != 1) {
        const double ratio = setup->GetParameterValueInBaseUnit("Motor_transmission") /
                             setup->GetParameterValueInBaseUnit("Load_transmission");
        ShowChild(f.limitSwitchButton, ratio < 0);
    }
    UpdateEncoderFilterList();
}

void CMotorSetupDialog::UpdateEncoderFilterList() {
    const bool filter = HasEncoderFilter();
    EnableChild(ui_->filterEncList, filter && orvex::SwitchOn(GetSetup(), "isFilterEnc"));
}

void CMotorSetupDialog::OnChangedParameterValue(const char* name) {
    CMySetupDlg::OnChangedParameterValue(name);
    bool reload = false;
    for (const char* reloading : kReloadingParameters)
        if (axis::NamesEqual(name, reloading)) reload = true;
    if (reload) {
        UpdateData(false);
    } else if (axis::NamesEqual(name, "TransmissionType")) {
        orvex::UpdateUnitTypesByTransmission(GetSetup());
        RefreshParameterControls("Load_transmission");
    }
    UpdateEncoderFilterList();
}

void CMotorSetupDialog::OnRefreshParameterValue(const char* name) {
    CMySetupDlg::OnRefreshParameterValue(name);
    for (const char* term : {"Motor_transmission", "Load_transmission"}) {
        if (!axis::NamesEqual(name, term)) continue;
        // A zero term would make the transmission ratio undefined: one turn stands in.
        CMC_Setup* setup = GetSetup();
        if (setup->GetParameterValueInBaseUnit(term) == 0.0)
            setup->SetParameterValueInBaseUnit(term, kOneTurn);
        RefreshParameterControls(term);
        UpdateData(false);
    }
}

void CMotorSetupDialog::OnLimitSwitchAdvice() {
    axis::ShowMessage(this, QString::fromLatin1(kLimitSwitchAdvice), axis::MessageButtons::Ok,
                      axis::MessageIcon::Warning);
}

void CMotorSetupDialog::OnOK() {
    if (!UpdateData(true)) return;
    CMC_Setup* setup = GetSetup();
    // No over-temperature protection without a sensor to measure it.
    if (orvex::IntValue(setup, "isMotorTemperatureSensor") == 0 &&
        orvex::SetupHas(setup, {"isMotorOverTemp"}))
        setup->SetParameterValueInBaseUnit("isMotorOverTemp", 0.0);
    EndDialog(1);
}
