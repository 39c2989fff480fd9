#include "editor/analog_reference_dlg.h"

#include "compute/analogue_reference.h"
#include "editor/editor_helpers.h"
#include "editor/pictures.h"
#include "host/setup/names.h"
#include "ui_analog_reference.h"

namespace {

// The end values of the reference by control mode: the minimum always shows in the
// unit of the maximum.
struct EndPair {
    const char* max;
    const char* min;
};
constexpr EndPair kEndPairs[] = {{"POS_max", "POS_min"},
                                 {"SPD_max", "SPD_min"},
                                 {"CRT_max", "CRT_min"},
                                 {"DeadBand_Point", "DeadBand_Range"}};

const char* const kLimitSpeed = "Limit maximum speed at";
const char* const kLimitAcceleration = "Limit maximum acceleration at";

}  // namespace

CAnalogReferenceDlg::CAnalogReferenceDlg(CMC_Setup* setup, QWidget* parent)
    : CMySetupDlg(setup, new QWidget, 1, nullptr, parent),
      ui_(std::make_unique<Ui::AnalogReference>()) {
    ui_->setupUi(Layout());
    SetHelpContext(kHelpContext);
    Ui::AnalogReference& f = *ui_;
    {
        axis::ScopedSilentLookup silent;
        analogue_input_ = setup->FindVariable("CADIN", 0) && setup->FindParameter("CADIN");
    }
    const bool a = analogue_input_;
    switch (Mode()) {
        case kPositionMode:
            if (a) {
                AddParameterControls("POS_max", f.maxEdit, f.maxUnit);
                AddParameterControls("POS_min", f.minEdit);
            }
            AddCheckParameterControls("isLimitMaximum", f.limitCheck);
            AddParameterControls("ErefMaxSpeed", f.limitSpeedEdit, f.limitSpeedUnit);
            AddParameterControls("ErefMaxAcceleration", f.limitAccelerationEdit,
                                 f.limitAccelerationUnit);
            break;
        case kSpeedMode:
            if (a) {
                AddParameterControls("SPD_max", f.maxEdit, f.maxUnit);
                AddParameterControls("SPD_min", f.minEdit);
            }
            AddCheckParameterControls("isLimitMaximum", f.limitCheck);
            // In speed mode the one limit is the acceleration, in the first place.
            AddParameterControls("ErefMaxAcceleration", f.limitSpeedEdit, f.limitSpeedUnit);
            break;
        case kTorqueMode:
            if (a) {
                AddParameterControls("CRT_max", f.maxEdit, f.maxUnit);
                AddParameterControls("CRT_min", f.minEdit);
            }
            break;
        default:
            break;
    }
    if (a) {
        AddParameterControls("DeadBand_Point", f.deadBandPointEdit, f.deadBandPointUnit);
        AddParameterControls("DeadBand_Range", f.deadBandRangeEdit);
    }
    AddSwitchParameterControls("isAnalogueReference", {f.digitalRadio, f.analogueRadio});
    AddSwitchParameterControls("DigitalReferenceType", {f.pulseDirectionRadio, f.encoderRadio});
    AddParameterControls("GEARMASTER", f.masterEdit);
    AddParameterControls("GEARSLAVE", f.slaveEdit);
    if (a) {
        AddCheckParameterControls("UseFilter", f.useFilterCheck);
        AddParameterControls("filter", f.filterEdit, f.filterUnit);
        for (const EndPair& pair : kEndPairs)
            if (orvex::SetupHas(setup, {pair.max, pair.min}))
                setup->ChangeParameterUnit(pair.min, setup->GetParameterUnit(pair.max));
    }

    // Connected after the bindings, so the parameter is written before the rules run.
    for (QAbstractButton* b : {static_cast<QAbstractButton*>(f.analogueRadio),
                               static_cast<QAbstractButton*>(f.digitalRadio),
                               static_cast<QAbstractButton*>(f.limitCheck)})
        connect(b, &QAbstractButton::clicked, this, [this] { UpdateData(false); });
    connect(f.testButton, &QAbstractButton::clicked, this, &CAnalogReferenceDlg::OnTestButton);
}

bool CAnalogReferenceDlg::HasTest() const {
    // The analogue reference test comes with the identification dialogs.
    return false;
}

int CAnalogReferenceDlg::RunTest() {
    return 0;
}

void CAnalogReferenceDlg::OnTestButton() {
    CMC_Setup* setup = GetSetup();
    orvex::BringOptionsInStep(setup);
    RunTest();
    // Whatever the test's end, options and parameters agree again and are shown.
    orvex::BringOptionsInStep(setup);
    UpdateData(false);
}

CAnalogReferenceDlg::~CAnalogReferenceDlg() = default;

int CAnalogReferenceDlg::Mode() const {
    return orvex::IntValue(GetSetup(), "ControlMode");
}

bool CAnalogReferenceDlg::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    CMC_Setup* setup = GetSetup();
    Ui::AnalogReference& f = *ui_;
    const double range = setup->GetParameterValueInBaseUnit("AnalogueInputsRange");
    if (range == 20.0) {
        SetChildText(f.scaleMinLabel, QStringLiteral("-10"));
        SetChildText(f.scaleMaxLabel, QStringLiteral("10"));
    } else if (range == 5.0) {
        SetChildText(f.scaleMinLabel, QStringLiteral("0"));
        SetChildText(f.scaleMaxLabel, QStringLiteral("5"));
    } else {
        SetChildText(f.scaleMinLabel, QStringLiteral("0"));
        SetChildText(f.scaleMaxLabel, QStringLiteral("3.3"));
    }

    QString picture;
    switch (Mode()) {
        case kPositionMode:
            SetChildText(f.maxLabel, QStringLiteral("Maximum Position"));
            SetChildText(f.minLabel, QStringLiteral("Minimum Position"));
            SetChildText(f.limitCheck,
                         QString::fromLatin1(orvex::SwitchOn(setup, "isAnalogueReference")
                                                 ? kLimitSpeed
                                                 : kLimitAcceleration));
            picture = QStringLiteral("3003");
            break;
        case kSpeedMode:
            SetChildText(f.maxLabel, QStringLiteral("Maximum Speed"));
            SetChildText(f.minLabel, QStringLiteral("Minimum Speed"));
            SetChildText(f.limitCheck, QString::fromLatin1(kLimitAcceleration));
            picture = QStringLiteral("3044");
            break;
        case kTorqueMode:
            SetChildText(f.maxLabel, QStringLiteral("Maximum Current"));
            SetChildText(f.minLabel, QStringLiteral("Minimum Current"));
            picture = QStringLiteral("3002");
            ShowChildren({f.limitCheck, f.limitSpeedEdit, f.limitSpeedUnit}, false);
            break;
        default:
            break;
    }
    if (!picture.isEmpty()) orvex::ShowPicture(f.diagramPicture, setup, picture);
    EnableChildren({f.scaleMinLabel, f.scaleMaxLabel}, false);
    EnableChild(f.analogueRadio, analogue_input_);
    f.testButton->setToolTip(HasTest() ? QString() : orvex::TestNotAvailableText());
    UpdateData(false);
    return true;
}

void CAnalogReferenceDlg::DoDataExchange(bool save) {
    CMySetupDlg::DoDataExchange(save);
    if (!save) ApplyLoadRules();
}

void CAnalogReferenceDlg::ShowFilterRow() {
    Ui::AnalogReference& f = *ui_;
    const bool show = analogue_input_ && orvex::IntValue(GetSetup(), "UseFilter") != 0;
    ShowChildren({f.filterLabel, f.filterEdit, f.filterUnit}, show);
}

void CAnalogReferenceDlg::ShowFollowerUnits() {
    CMC_Setup* setup = GetSetup();
    Ui::AnalogReference& f = *ui_;
    const int mode = Mode();
    const char* max = mode == kPositionMode ? "POS_max"
                      : mode == kSpeedMode  ? "SPD_max"
                      : mode == kTorqueMode ? "CRT_max"
                                            : nullptr;
    const bool ends = analogue_input_ && max && orvex::SetupHas(setup, {max});
    SetChildText(f.minUnitLabel,
                 ends ? QString::fromStdString(setup->GetParameterUnit(max)) : QString());
    const bool dead_band = analogue_input_ && orvex::SetupHas(setup, {"DeadBand_Point"});
    SetChildText(
        f.deadBandRangeUnitLabel,
        dead_band ? QString::fromStdString(setup->GetParameterUnit("DeadBand_Point")) : QString());
}

void CAnalogReferenceDlg::ApplyLoadRules() {
    CMC_Setup* setup = GetSetup();
    Ui::AnalogReference& f = *ui_;
    const int mode = Mode();
    const bool analogue = orvex::SwitchOn(setup, "isAnalogueReference");
    const bool limit = orvex::SwitchOn(setup, "isLimitMaximum");
    const bool below2 = mode < kTorqueMode;
    const bool position = mode == kPositionMode;

    ShowFilterRow();
    // In position mode an analogue reference is limited in speed, a digital one in
    // acceleration; in speed mode the acceleration limit sits in the first place.
    // (The second place holds a limit in position mode only: elsewhere it stays hidden.)
    ShowChildren({f.limitAccelerationEdit, f.limitAccelerationUnit},
                 !analogue && limit && below2 && position);
    ShowChildren({f.limitSpeedEdit, f.limitSpeedUnit}, analogue && limit && below2);
    EnableChildren(
        {f.maxLabel, f.maxEdit, f.maxUnit, f.minLabel, f.minEdit, f.minUnitLabel,
         f.deadBandPointLabel, f.deadBandPointEdit, f.deadBandPointUnit, f.deadBandRangeLabel,
         f.deadBandRangeEdit, f.deadBandRangeUnitLabel, f.useFilterCheck, f.filterLabel,
         f.filterEdit, f.filterUnit, f.testButton, f.scaleMinLabel, f.scaleMaxLabel},
        analogue);
    EnableChildren({f.pulseDirectionRadio, f.encoderRadio, f.gearLabel, f.slaveLabel, f.slaveNote,
                    f.masterLabel, f.masterNote, f.slaveEdit, f.masterEdit},
                   !analogue && position);
    EnableChild(f.digitalRadio,
                position && setup->GetIntOption("DisableExternalDigitalReference") == 0);
    ShowFollowerUnits();
}

void CAnalogReferenceDlg::CaptionLimitCheck() {
    const bool analogue = orvex::SwitchOn(GetSetup(), "isAnalogueReference");
    const bool speed = analogue && Mode() == kPositionMode;
    SetChildText(ui_->limitCheck, QString::fromLatin1(speed ? kLimitSpeed : kLimitAcceleration));
}

void CAnalogReferenceDlg::OnChangedParameterValue(const char* name) {
    CMC_Setup* setup = GetSetup();
    if (axis::NamesEqual(name, "UseFilter")) {
        ShowFilterRow();
    } else if (axis::NamesEqual(name, "isAnalogueReference")) {
        CaptionLimitCheck();
        UpdateData(false);
    } else if (axis::NamesEqual(name, "DeadBand_Point") ||
               axis::NamesEqual(name, "DeadBand_Range")) {
        // The range of the dead band depends on its point.
        orvex::UpdateAnalogueReferenceRanges(setup);
        RefreshParameterControls(axis::NamesEqual(name, "DeadBand_Point") ? "DeadBand_Range"
                                                                          : "DeadBand_Point");
    }
    CMySetupDlg::OnChangedParameterValue(name);
}

void CAnalogReferenceDlg::OnChangedParameterUnit(const char* name) {
    CMC_Setup* setup = GetSetup();
    for (const EndPair& pair : kEndPairs) {
        if (!axis::NamesEqual(name, pair.max)) continue;
        if (orvex::SetupHas(setup, {pair.min})) {
            setup->ChangeParameterUnit(pair.min, setup->GetParameterUnit(pair.max));
            RefreshParameterControls(pair.min);
            ShowFollowerUnits();
        }
    }
    CMySetupDlg::OnChangedParameterUnit(name);
}

void CAnalogReferenceDlg::OnRefreshParameterValue(const char* name) {
    for (const EndPair& pair : kEndPairs) {
        if (axis::NamesEqual(pair.max, "DeadBand_Point")) continue;
        if (axis::NamesEqual(name, pair.min) || axis::NamesEqual(name, pair.max)) {
            // Each end bounds the other.
            orvex::UpdateAnalogueReferenceRanges(GetSetup());
            RefreshAllParameters();
            break;
        }
    }
    CMySetupDlg::OnRefreshParameterValue(name);
}
