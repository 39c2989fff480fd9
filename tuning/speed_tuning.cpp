#include "tuning/speed_tuning.h"

#include <cmath>

#include "compute/control_loop_options.h"
#include "compute/gain_design.h"
#include "compute/scales.h"
#include "editor/pictures.h"
#include "host/setup/names.h"
#include "identification/gain_writes.h"
#include "tuning/passband_limits.h"
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

// The one speed tuning dialog whose scope receives the drive's frames.
CTuningTestDlg* g_active_speed_dialog = nullptr;

// The profile pictures by reference type: positive, negative, bidirectional.
const char* const kProfilePictures[] = {"SPEED_PROFILE_POSITIVE", "SPEED_PROFILE_NEGATIVE",
                                        "SPEED_PROFILE_BIDIRECTIONAL"};

bool Is(const char* name, const char* expected) {
    return axis::NamesEqual(name, expected);
}

}  // namespace

CTestSpeedTuning::CTestSpeedTuning(CMC_Setup* setup, int flag, QWidget* parent)
    : CTuningTestDlg(setup, new QWidget, flag, parent, kNames, g_active_speed_dialog,
                     "Speed_Controller_Tuning_Test",
                     {"Speed_Reference", "Load_Speed", "Current_Reference", "Motor_Current"}),
      ui_(std::make_unique<Ui::SpeedTuning>()) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    QuantiseFinalValue();
    orvex::tuning::ApplyAcceptedPassband(setup, "PB_S");
    Bind();
    AttachForm(*ui_, [this] { OnTune(); });
    ui_->passbandEdit->setToolTip(
        QStringLiteral("Bounded so that the drive's sampling and current loop take at most a "
                       "third of the speed loop's designed phase margin."));
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
    BindGains({
        {"Kp_S_scl", f.kpEdit, f.kpSlider, nullptr},
        {"Ki_S_scl", f.kiEdit, f.kiSlider, nullptr},
        {"IPSatS", f.integralLimitEdit, f.integralLimitSlider, f.integralLimitUnit},
        {"KFFS_scl", f.ffSpeedEdit, f.ffSpeedSlider, nullptr},
        {"KFFA_scl", f.ffAccelerationEdit, f.ffAccelerationSlider, nullptr},
        {"PB_S", f.passbandEdit, f.passbandSlider, f.passbandUnit},
        {"Jload_over_J", f.inertiaRatioEdit, f.inertiaRatioSlider, nullptr},
    });
}

bool CTestSpeedTuning::OnInitDialog() {
    const bool ok = CTuningTestDlg::OnInitDialog();
    CMC_Setup* setup = GetSetup();
    orvex::ShowPicture(ui_->currentLimitsPicture, setup, QStringLiteral("TUNING_CURRENT_LIMITS"));
    ShowProfilePicture(ui_->profilePicture, kProfilePictures);
    CheckInertiaAtStart();
    EnableChild(ui_->filtersButton, Has("IQREF_BQ_INI"));
    RefreshAllParameters();
    UpdateData(false);
    return ok;
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
    if (Is(name, "Jt")) {
        WarnIfInertiaBelowMotor();
    } else if (Is(name, "SpeedTestReferenceType")) {
        ShowProfilePicture(ui_->profilePicture, kProfilePictures);
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
