#include "tuning/speed_tuning.h"

#include <cmath>

#include "compute/control_loop_options.h"
#include "compute/gain_design.h"
#include "compute/scales.h"
#include "compute/sequences.h"
#include "editor/editor_helpers.h"
#include "editor/filters_dlg.h"
#include "editor/inertia_question.h"
#include "editor/pictures.h"
#include "host/drive/scope_logger.h"
#include "host/setup/host_math.h"
#include "host/setup/names.h"
#include "host/ui/modal_seam.h"
#include "identification/gain_writes.h"
#include "identification/total_inertia.h"
#include "tuning/scope_rules.h"
#include "ui_speed_tuning.h"

namespace {

const char* const kProcedure =
    "1. Check/setup the test current limits and speed profile below\r\n"
    "2. Go to the \"Test\" tab and press the \"Tune\" button\r\n"
    "3. In the \"Test\" tab, press the \"Start\" button\r\n"
    "4. Wait until the test begins and displays the results\r\n"
    "5. If needed, change the controller parameters during the test, until you get "
    "satisfactory results";

const orvex::tuning::TuningNames kNames{
    "TestSpeed",
    "TaPS",
    "TPS",
    "TaNS",
    "TNS",
    "MultiCycleS",
    "OnlinePlotS",
    "SpeedTestReferenceType",
    "SpeedTestReferenceType",
    "SpeedTuningOscSettings",
    "SpeedTuning",
    kProcedure,
    orvex::tuning::ReferenceKind::kSpeed,
    orvex::GetLoadSpeedScale,
    "Speed_Reference",
    "Load_Speed",
};

constexpr const char* kSpeedChannels[] = {"Speed_Reference", "Load_Speed"};
constexpr const char* kCurrentChannels[] = {"Current_Reference", "Motor_Current"};

// The one speed tuning dialog whose scope receives the drive's frames.
CTuningTestDlg* g_active_speed_dialog = nullptr;

// The profile pictures by reference type: positive, negative, bidirectional.
const char* const kProfilePictures[] = {"SPEED_PROFILE_POSITIVE", "SPEED_PROFILE_NEGATIVE",
                                        "SPEED_PROFILE_BIDIRECTIONAL"};

bool Is(const char* name, const char* expected) {
    return axis::NamesEqual(name, expected);
}

}  // namespace

const char* const CTestSpeedTuning::kInertiaBelowMotorText =
    "You have chosen a value for the total inertia that is lower than the value of the motor "
    "inertia.\nThe application will assume the motor inertia is unknown.";

CTestSpeedTuning::CTestSpeedTuning(CMC_Setup* setup, int flag, QWidget* parent)
    : CTuningTestDlg(setup, new QWidget, flag, parent, kNames, g_active_speed_dialog,
                     "Speed_Controller_Tuning_Test",
                     {"Speed_Reference", "Load_Speed", "Current_Reference", "Motor_Current"}),
      ui_(std::make_unique<Ui::SpeedTuning>()) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    QuantiseFinalValue();
    Bind();
    Ui::SpeedTuning& f = *ui_;
    orvex::tuning::TuningControls c;
    c.pages = f.pageTabs;
    c.graph_frame = f.graphFrame;
    c.oscilloscope_frame = f.oscilloscopeFrame;
    c.pause = f.pauseButton;
    c.resume = f.continueButton;
    c.data_logger = f.dataLoggerRadio;
    c.online_plot = f.onlinePlotRadio;
    c.save_plots = f.savePlotsButton;
    c.ok = f.okButton;
    c.identify = f.identifyButton;
    c.details = f.detailsButton;
    c.procedure = f.procedureLabel;
    c.reference_caption = f.referenceCaption;
    c.reference_value = f.referenceValue;
    c.response_caption = f.responseCaption;
    c.response_value = f.responseValue;
    c.reference_swatch = f.referenceSwatch;
    c.response_swatch = f.responseSwatch;
    AttachControls(c);
    connect(f.tuneButton, &QAbstractButton::clicked, this, [this] { OnTune(); });
    connect(f.identifyButton, &QAbstractButton::clicked, this, [this] { OnIdentify(); });
    connect(f.filtersButton, &QAbstractButton::clicked, this, [this] { OnFilters(); });
}

CTestSpeedTuning::~CTestSpeedTuning() = default;

void CTestSpeedTuning::Bind() {
    Ui::SpeedTuning& f = *ui_;
    AddParameterControls("TestLimitCurrent", f.limitCurrentEdit, f.limitCurrentUnit);
    AddParameterControls("TestProtectionCurrent", f.protectionCurrentEdit, f.protectionCurrentUnit);
    AddParameterControls("Jt", f.totalInertiaEdit, f.totalInertiaUnit);
    AddParameterControls("TestSpeed", f.finalSpeedEdit, f.finalSpeedUnit);
    AddParameterControls("TPS", f.tpEdit, f.tpUnit);
    AddParameterControls("TNS", f.tnEdit, f.tnUnit);
    AddParameterControls("TaPS", f.tapEdit, f.tapUnit);
    AddParameterControls("TaNS", f.tanEdit, f.tanUnit);
    AddSwitchParameterControls("OnlinePlotS", {f.dataLoggerRadio, f.onlinePlotRadio});
    AddCheckParameterControls("MultiCycleS", f.multiCycleCheck);
    if (Has("SpeedTestReferenceType"))
        AddSwitchParameterControls("SpeedTestReferenceType",
                                   {f.positiveRadio, f.negativeRadio, f.bidirectionalRadio});
    const struct {
        const char* name;
        QLineEdit* edit;
        QAbstractSlider* slider;
        QComboBox* unit;
    } sliders[] = {
        {"Kp_S_scl", f.kpEdit, f.kpSlider, nullptr},
        {"Ki_S_scl", f.kiEdit, f.kiSlider, nullptr},
        {"IPSatS", f.integralLimitEdit, f.integralLimitSlider, f.integralLimitUnit},
        {"KFFS_scl", f.ffSpeedEdit, f.ffSpeedSlider, nullptr},
        {"KFFA_scl", f.ffAccelerationEdit, f.ffAccelerationSlider, nullptr},
        {"PB_S", f.passbandEdit, f.passbandSlider, f.passbandUnit},
        {"Jload_over_J", f.inertiaRatioEdit, f.inertiaRatioSlider, nullptr},
    };
    for (const auto& s : sliders) {
        if (!Has(s.name)) continue;
        AddParameterControls(s.name, s.edit, s.unit);
        AddTuningSlider(s.name, s.slider);
    }
}

bool CTestSpeedTuning::OnInitDialog() {
    const bool ok = CTuningTestDlg::OnInitDialog();
    CMC_Setup* setup = GetSetup();
    orvex::ShowPicture(ui_->currentLimitsPicture, setup, QStringLiteral("SPEED_CURRENT_LIMITS"));
    ShowProfilePicture();
    // A motor heavier than motor and load together cannot be: the user says which to
    // believe before any gain is designed from them.
    if (setup->GetParameterValueInBaseUnit("Jm") > setup->GetParameterValueInBaseUnit("Jt") &&
        InertiaKnown()) {
        CInertiaQuestion question(setup, this);
        question.DoModal();
    }
    // The ratio follows the inertia as the question left it.
    FollowInertia(true);
    EnableChild(ui_->filtersButton, Has("IQREF_BQ_INI"));
    RefreshAllParameters();
    UpdateData(false);
    return ok;
}

bool CTestSpeedTuning::InertiaKnown() const {
    return IntOf("isMotorInertiaUnknown") == 0;
}

void CTestSpeedTuning::FollowInertia(bool from_total) {
    CMC_Setup* setup = GetSetup();
    const double jm = setup->GetParameterValueInBaseUnit("Jm");
    if (!(jm > 0.0)) return;  // no motor inertia to compare with
    if (from_total) {
        const double jt = setup->GetParameterValueInBaseUnit("Jt");
        setup->SetParameterValueInBaseUnit("Jload_over_J", RoundDecimalValue((jt - jm) / jm, 3));
        RefreshParameterControls("Jload_over_J");
    } else {
        CMC_Parameter* jt = setup->FindParameter("Jt");
        if (!jt) return;
        jt->SetValueInBaseUnit((setup->GetParameterValueInBaseUnit("Jload_over_J") + 1.0) * jm);
        // Three decimals of the unit the user reads (kg*cm^2): in kg*m^2 every motor's
        // inertia would round to nothing.
        const double shown = RoundDecimalValue(jt->GetValue(), 3);
        if (shown > 0.0) jt->SetValue(shown);
        RefreshParameterControls("Jt");
    }
}

void CTestSpeedTuning::ShowProfilePicture() {
    const int type = ReferenceType();
    const int index = type == 1 || type == 2 ? type : 0;
    orvex::ShowPicture(ui_->profilePicture, GetSetup(), QString::fromUtf8(kProfilePictures[index]));
}

void CTestSpeedTuning::DoDataExchange(bool save) {
    CTuningTestDlg::DoDataExchange(save);
    if (save) return;
    Ui::SpeedTuning& f = *ui_;
    const bool gains_live = !IsRunning() || IntOf("OnlinePlotS") != 0;
    EnableChildren(
        {f.kpEdit, f.kpSlider, f.kiEdit, f.kiSlider, f.integralLimitEdit, f.integralLimitSlider,
         f.integralLimitUnit, f.ffAccelerationEdit, f.ffAccelerationSlider},
        gains_live);
    EnableChildren({f.inertiaRatioLabel, f.inertiaRatioEdit, f.inertiaRatioSlider}, InertiaKnown());
    if (Has("SpeedForward")) {
        // The feed-forward reaches the speed loop only when the drive closes it in the
        // slow loop in speed mode.
        axis::ScopedSilentLookup silent;
        const bool feedforward = IntOf("ControlMode") == 1 && IntOf("PosSpd_in_FastLoop") == 0;
        EnableChildren({f.feedforwardGroup, f.ffSpeedEdit, f.ffSpeedSlider, f.ffAccelerationEdit,
                        f.ffAccelerationSlider},
                       feedforward);
    } else {
        EnableChildren({f.ffSpeedLabel, f.ffSpeedEdit, f.ffSpeedSlider}, false);
    }
    ShowChildren({f.referenceTypeLabel, f.positiveRadio, f.negativeRadio, f.bidirectionalRadio},
                 Has("SpeedTestReferenceType"));
}

void CTestSpeedTuning::OnChangedParameterValue(const char* name) {
    CMC_Setup* setup = GetSetup();
    if (Is(name, "MultiCycleS")) {
        // The on-line plot polls a run that repeats; one run is seen only by the logger.
        if (IntOf("MultiCycleS") == 0 && !HasScope()) {
            setup->SetParameterValueInBaseUnit("OnlinePlotS", 0.0);
            RefreshAllParameters();
        }
    } else if (Is(name, "Kp_S_scl")) {
        orvex::ComputeOption_SFTKPS(setup);
        orvex::ComputeOption_KPS(setup);
    } else if (Is(name, "Ki_S_scl")) {
        orvex::ComputeOption_SFTKIS(setup);
        orvex::ComputeOption_KIS(setup);
    } else if (Is(name, "IPSatS")) {
        orvex::ComputeOption_IMAXS(setup);
    } else if (Is(name, "KFFS_scl")) {
        orvex::ComputeOption_SFTSFFW(setup);
        orvex::ComputeOption_KFFS(setup);
        orvex::ComputeOption_KFFA(setup);
    } else if (Is(name, "KFFA_scl")) {
        if (InertiaKnown()) {
            orvex::ComputeOption_SFTAFFW(setup);
            orvex::ComputeOption_SFTKFF(setup);
            orvex::ComputeOption_KFFA(setup);
        }
    } else if (Is(name, "Jt") || Is(name, "Jload_over_J")) {
        if (InertiaKnown()) FollowInertia(Is(name, "Jt"));
    } else if (Is(name, "TestSpeed")) {
        QuantiseFinalValue();
        SpeedChannelScale();
        ApplyCaptureSettings();
    } else if (Is(name, "TestLimitCurrent")) {
        CurrentChannelScale();
    }
    if (Is(name, "MultiCycleS") || Is(name, "TPS") || Is(name, "TNS") || Is(name, "TaPS") ||
        Is(name, "TaNS"))
        ApplyCaptureSettings();
    CTuningTestDlg::OnChangedParameterValue(name);
}

void CTestSpeedTuning::OnChangedParameterUnit(const char* name) {
    if (Is(name, "TestSpeed")) SpeedChannelScale();
    if (Is(name, "TestLimitCurrent")) CurrentChannelScale();
    CTuningTestDlg::OnChangedParameterUnit(name);
}

void CTestSpeedTuning::OnRefreshParameterValue(const char* name) {
    CMC_Setup* setup = GetSetup();
    if (Is(name, "Jt") &&
        setup->GetParameterValueInBaseUnit("Jm") > setup->GetParameterValueInBaseUnit("Jt") &&
        InertiaKnown()) {
        axis::ShowMessage(this, QString::fromUtf8(kInertiaBelowMotorText), axis::MessageButtons::Ok,
                          axis::MessageIcon::Warning, windowTitle());
        setup->SetParameterValueInBaseUnit("isMotorInertiaUnknown", 1.0);
        UpdateData(false);
    } else if (Is(name, "SpeedTestReferenceType")) {
        ShowProfilePicture();
        SpeedChannelScale();
        ApplyCaptureSettings();
    }
    if (IsRunning()) {
        // Mantissa and shift of one gain travel together, shift first; the first
        // option that cannot be written stops the rest.
        if (Is(name, "Kp_S_scl")) orvex::WriteOptionsToDrive(setup, {"SFTKPS", "KPS"});
        if (Is(name, "Ki_S_scl")) orvex::WriteOptionsToDrive(setup, {"SFTKIS", "KIS"});
        if (Is(name, "IPSatS")) orvex::WriteOptionsToDrive(setup, {"IMAXS"});
        if (Is(name, "KFFS_scl")) orvex::WriteOptionsToDrive(setup, {"SFTSFFW", "KFFS", "KFFA"});
        if (Is(name, "KFFA_scl")) orvex::WriteOptionsToDrive(setup, {"SFTAFFW", "SFTKFF", "KFFA"});
    }
    CTuningTestDlg::OnRefreshParameterValue(name);
}

void CTestSpeedTuning::OnTune() {
    CMC_Setup* setup = GetSetup();
    orvex::DesignSpeedControllerGains(setup);
    orvex::ComputeOption_KPS(setup);
    orvex::ComputeOption_KIS(setup);
    orvex::ComputeOption_SFTKPS(setup);
    orvex::ComputeOption_SFTKIS(setup);
    orvex::ReadBack_Ki_S_scl(setup);
    orvex::ReadBack_Kp_S_scl(setup);
    if (IsRunning()) orvex::WriteOptionsToDrive(setup, {"SFTKPS", "KPS", "SFTKIS", "KIS"});
    RefreshAllParameters();
}

void CTestSpeedTuning::OnIdentify() {
    CTotalInertiaTest test(GetSetup(), 1, this);
    if (test.DoModal() != 1) return;
    if (InertiaKnown()) FollowInertia(true);
    RefreshAllParameters();
}

void CTestSpeedTuning::OnFilters() {
    CMC_Setup* setup = GetSetup();
    orvex::BringOptionsInStep(setup);
    CFiltersDialog filters(setup, IsRunning() ? 1 : 0, this);
    if (filters.DoModal() != 1) return;
    orvex::BringOptionsInStep(setup);
    if (IsRunning()) filters.WriteFiltersToDrive(setup);
    UpdateData(false);
}

void CTestSpeedTuning::OnOK() {
    if (!UpdateData(true)) return;
    CMC_Setup* setup = GetSetup();
    if (ScopeSettingsCustomised() && ScopeLogger())
        ScopeLogger()->SaveSettingsToSetupOption("SpeedTuningOscSettings");
    else
        setup->ClearOption("SpeedTuningOscSettings");
    setup->SetParameterValueInBaseUnit("Imax_Prot",
                                       setup->GetParameterValueInBaseUnit("TestProtectionCurrent"));
    setup->SetParameterValueInBaseUnit("IlimPS",
                                       setup->GetParameterValueInBaseUnit("TestLimitCurrent"));
    EndDialog(1);
}

bool CTestSpeedTuning::WriteLeadingInputs(CMC_CoffFormat& program) {
    const CMC_Setup* setup = GetSetup();
    return WriteInput(program, "RefTest", reference_test_value_) &&
           WriteInput(program, "IlimPS_Test",
                      std::trunc(setup->GetParameterValueInInternalUnit("TestLimitCurrent"))) &&
           WriteInput(program, "Imax_Prot_Test",
                      std::trunc(setup->GetParameterValueInInternalUnit("TestProtectionCurrent")));
}

void CTestSpeedTuning::ApplyCaptureSettings() {
    if (!HasScope() || ScopeSettingsCustomised()) return;
    const CMC_Setup* setup = GetSetup();
    const auto base = [setup](const char* n) { return setup->GetParameterValueInBaseUnit(n); };
    std::optional<double> final_speed;
    if (Has("TestSpeed")) final_speed = base("TestSpeed");
    ApplyCapture(orvex::tuning::SpeedCaptureSettings(
        final_speed, ReferenceType(), IntOf("MultiCycleS") != 0,
        {base("TaPS"), base("TPS"), base("TaNS"), base("TNS")}));
}

void CTestSpeedTuning::ApplyChannelScales() {
    SpeedChannelScale();
    CurrentChannelScale();
}

void CTestSpeedTuning::SpeedChannelScale() {
    const CMC_Parameter* p = GetSetup()->FindParameter("TestSpeed");
    if (!p) return;
    const auto s = orvex::tuning::ReferenceChannelScale(p->GetValue());
    RescaleChannels({kSpeedChannels[0], kSpeedChannels[1]}, "TestSpeed", s.division, s.offset);
}

void CTestSpeedTuning::CurrentChannelScale() {
    const CMC_Parameter* p = GetSetup()->FindParameter("TestLimitCurrent");
    if (!p) return;
    const auto s = orvex::tuning::CurrentChannelScale(p->GetValue());
    RescaleChannels({kCurrentChannels[0], kCurrentChannels[1]}, "TestLimitCurrent", s.division,
                    s.offset);
}
