#include "tuning/position_tuning.h"

#include <algorithm>
#include <cmath>

#include "compute/control_loop_options.h"
#include "compute/gain_design.h"
#include "compute/gain_table.h"
#include "compute/scales.h"
#include "editor/pictures.h"
#include "host/setup/names.h"
#include "host/setup/parameter.h"
#include "host/setup/setup.h"
#include "host/setup/units.h"
#include "host/ui/modal_seam.h"
#include "identification/gain_writes.h"
#include "tuning/passband_limits.h"
#include "tuning/scope_rules.h"
#include "ui_position_tuning.h"

using orvex::tuning::PositionLoopStructure;

namespace {

const char* const kProcedure =
    "1. Check/setup the test current limits and position profile below\r\n"
    "2. Go to the \"Test\" tab and press the \"Tune\" button\r\n"
    "3. In the \"Test\" tab, press the \"Start\" button\r\n"
    "4. Wait until the test begins and displays the results\r\n"
    "5. If needed, change the controller parameters during the test, until you get "
    "satisfactory results";

// The position dialog offers the reference type only on drives that offer it for the
// speed dialog too: the speed parameter's presence is what tells.
const orvex::tuning::TuningNames kNames{
    "TestPosition",
    "TaPP",
    "TPP",
    "TaNP",
    "TNP",
    "MultiCycleP",
    "OnlinePlotP",
    "PositionTestReferenceType",
    "SpeedTestReferenceType",
    "PositionTuningOscSettings",
    "PositionTuning",
    kProcedure,
    orvex::tuning::ReferenceKind::kPosition,
    orvex::GetLoadPositionScale,
    "Target_Position",
    "Load_Position",
};

constexpr const char* kPositionChannels[] = {"Target_Position", "Load_Position"};
constexpr const char* kSpeedChannels[] = {"Speed_Reference", "Load_Speed"};

// The one position tuning dialog whose scope receives the drive's frames.
CTuningTestDlg* g_active_position_dialog = nullptr;

// The profile pictures by reference type: positive, negative, bidirectional.
const char* const kProfilePictures[] = {"POSITION_PROFILE_POSITIVE", "POSITION_PROFILE_NEGATIVE",
                                        "POSITION_PROFILE_BIDIRECTIONAL"};

bool Is(const char* name, const char* expected) {
    return axis::NamesEqual(name, expected);
}

PositionLoopStructure ReadLoopStructure(const CMC_Setup* setup) {
    axis::ScopedSilentLookup silent;
    const auto value = [setup](const char* name) -> std::optional<int> {
        if (!setup->FindParameter(name)) return std::nullopt;
        return static_cast<int>(setup->GetParameterValueInBaseUnit(name));
    };
    return {value("ControlMode"), value("PositionControlType"), value("PosSpd_in_FastLoop"),
            setup->FindParameter("SpeedForward") != nullptr};
}

std::vector<std::string> LoggedSignals(const PositionLoopStructure& loop) {
    const auto logged = orvex::tuning::PositionLoggedSignals(loop);
    return {logged.begin(), logged.end()};
}

// A gain of the position dialog: the options it is encoded into, in the order they
// are recomputed, and those written to a running drive, in that order (the shift
// before its mantissa, so no mantissa ever meets another gain's shift).
struct LiveGain {
    const char* gain;
    std::initializer_list<orvex::SetupConversion> recompute;
    std::initializer_list<const char*> write;
};
const LiveGain kLiveGains[] = {
    {"Kp_P_scl", {orvex::ComputeOption_SFTKPP, orvex::ComputeOption_KPP}, {"SFTKPP", "KPP"}},
    {"Ki_P_scl", {orvex::ComputeOption_SFTKIP, orvex::ComputeOption_KIP}, {"SFTKIP", "KIP"}},
    {"Kd_P_scl", {orvex::ComputeOption_SFTKDP, orvex::ComputeOption_KDP}, {"SFTKDP", "KDP"}},
    {"filter_D", {orvex::ComputeOption_KDFP}, {"KDFP"}},
    {"IPSatP", {orvex::ComputeOption_IMAXP}, {"IMAXP"}},
    {"KFFS_scl",
     {orvex::ComputeOption_SFTSFFW, orvex::ComputeOption_KFFS, orvex::ComputeOption_KFFA},
     {"SFTSFFW", "KFFS", "KFFA"}},
    // Unlike the speed loop's, the position loop's acceleration feed-forward does not
    // wait for a known motor inertia.
    {"KFFA_scl",
     {orvex::ComputeOption_SFTAFFW, orvex::ComputeOption_SFTKFF, orvex::ComputeOption_KFFA},
     {"SFTAFFW", "SFTKFF", "KFFA"}},
};

const LiveGain* FindLiveGain(const char* name) {
    for (const LiveGain& g : kLiveGains)
        if (Is(name, g.gain)) return &g;
    return nullptr;
}

}  // namespace

CTestPositionTuning::CTestPositionTuning(CMC_Setup* setup, int flag, QWidget* parent)
    : CTuningTestDlg(setup, new QWidget, flag, parent, kNames, g_active_position_dialog,
                     orvex::tuning::PositionTuningProgram(ReadLoopStructure(setup)),
                     LoggedSignals(ReadLoopStructure(setup))),
      ui_(std::make_unique<Ui::TestPositionTuning>()),
      loop_(ReadLoopStructure(setup)) {
    ui_->setupUi(Layout());
    setWindowTitle(Layout()->windowTitle());
    SetHelpContext(kHelpContext);
    QuantiseFinalValue();
    orvex::tuning::ApplyAcceptedPassband(setup, "PB_P");
    Bind();
    AttachForm(*ui_, [this] { OnTune(); });
    if (loop_.Cascaded())
        ui_->passbandEdit->setToolTip(QStringLiteral(
            "Bounded by the speed loop beneath: its lag may take at most a third of the position "
            "loop's designed phase margin; and from below by the motor's detent, which the two "
            "loops together must be stiffer than."));
}

CTestPositionTuning::~CTestPositionTuning() = default;

void CTestPositionTuning::Bind() {
    Ui::TestPositionTuning& f = *ui_;
    AddParameterControls("TestLimitCurrent", f.limitCurrentEdit, f.limitCurrentUnit);
    AddParameterControls("TestProtectionCurrent", f.protectionCurrentEdit, f.protectionCurrentUnit);
    AddParameterControls("TestPosition", f.finalPositionEdit, f.finalPositionUnit);
    // The speed limit exists for the test only where the speed loop runs beneath the
    // position loop in position mode; elsewhere its field stays unbound.
    if (loop_.SpeedLimitApplies())
        AddParameterControls("Limit_Speed", f.speedLimitEdit, f.speedLimitUnit);
    AddParameterControls("TPP", f.tpEdit, f.tpUnit);
    AddParameterControls("TNP", f.tnEdit, f.tnUnit);
    AddParameterControls("TaPP", f.tapEdit, f.tapUnit);
    AddParameterControls("TaNP", f.tanEdit, f.tanUnit);
    AddSwitchParameterControls("OnlinePlotP", {f.dataLoggerRadio, f.onlinePlotRadio});
    AddCheckParameterControls("MultiCycleP", f.multiCycleCheck);
    AddParameterControls("filter_D", f.kdFilterEdit);
    AddParameterControls("Jt", f.totalInertiaEdit, f.totalInertiaUnit);
    if (Has(kNames.reference_type_probe))
        AddSwitchParameterControls("PositionTestReferenceType",
                                   {f.positiveRadio, f.negativeRadio, f.bidirectionalRadio});
    BindGains({
        {"Kp_P_scl", f.kpEdit, f.kpSlider, nullptr, {f.kpSpinUp, f.kpSpinDown}},
        {"Ki_P_scl", f.kiEdit, f.kiSlider, nullptr},
        {"Kd_P_scl", f.kdEdit, f.kdSlider, nullptr},
        {"IPSatP", f.integralLimitEdit, f.integralLimitSlider, f.integralLimitUnit},
        {"KFFS_scl", f.ffSpeedEdit, f.ffSpeedSlider, nullptr},
        {"KFFA_scl", f.ffAccelerationEdit, f.ffAccelerationSlider, nullptr},
        {"PB_P", f.passbandEdit, f.passbandSlider, f.passbandUnit},
        {"Jload_over_J",
         f.inertiaRatioEdit,
         f.inertiaRatioSlider,
         nullptr,
         {f.inertiaRatioSpinUp, f.inertiaRatioSpinDown}},
    });
}

bool CTestPositionTuning::OnInitDialog() {
    const bool ok = CTuningTestDlg::OnInitDialog();
    orvex::ShowPicture(ui_->currentLimitsPicture, GetSetup(),
                       QStringLiteral("TUNING_CURRENT_LIMITS"));
    ShowProfilePicture(ui_->profilePicture, kProfilePictures);
    CheckInertiaAtStart();
    EnableChild(ui_->filtersButton, Has("IQREF_BQ_INI"));
    RefreshAllParameters();
    UpdateData(false);
    return ok;
}

void CTestPositionTuning::DoDataExchange(bool save) {
    CTuningTestDlg::DoDataExchange(save);
    if (save) return;
    Ui::TestPositionTuning& f = *ui_;
    const bool gains_live = !IsRunning() || IntOf("OnlinePlotP") != 0;
    EnableChildren({f.kpEdit, f.kpSlider, f.kpSpinUp, f.kpSpinDown, f.kiEdit, f.kiSlider, f.kdEdit,
                    f.kdSlider, f.integralLimitEdit, f.integralLimitSlider, f.integralLimitUnit},
                   gains_live);
    EnableChildren({f.inertiaRatioLabel, f.inertiaRatioEdit, f.inertiaRatioSlider,
                    f.inertiaRatioSpinUp, f.inertiaRatioSpinDown},
                   InertiaKnown());
    const orvex::tuning::PositionControlStates states =
        orvex::tuning::PositionControlStatesFor(loop_);
    EnableChildren({f.speedLimitGroup, f.speedLimitLabel, f.speedLimitEdit, f.speedLimitUnit},
                   states.speed_limit);
    EnableChild(f.feedforwardGroup, states.feedforward_frame);
    EnableChildren({f.ffSpeedLabel, f.ffSpeedEdit, f.ffSpeedSlider}, states.speed_feedforward);
    EnableChildren({f.ffAccelerationLabel, f.ffAccelerationEdit, f.ffAccelerationSlider},
                   states.acceleration_feedforward);
    ShowChildren({f.referenceTypeLabel, f.positiveRadio, f.negativeRadio, f.bidirectionalRadio},
                 Has(kNames.reference_type_probe));
}

void CTestPositionTuning::OnChangedParameterValue(const char* name) {
    CMC_Setup* setup = GetSetup();
    if (const LiveGain* gain = FindLiveGain(name)) {
        for (orvex::SetupConversion recompute : gain->recompute) recompute(setup);
    } else if (Is(name, "MultiCycleP")) {
        // The on-line plot polls a run that repeats; one run is seen only by the logger.
        if (IntOf("MultiCycleP") == 0 && !HasScope()) {
            setup->SetParameterValueInBaseUnit("OnlinePlotP", 0.0);
            RefreshAllParameters();
        }
    } else if (Is(name, "Jt") || Is(name, "Jload_over_J")) {
        if (InertiaKnown()) FollowInertia(Is(name, "Jt"));
    } else if (Is(name, "TestPosition")) {
        QuantiseFinalValue();
        PositionChannelScale();
        if (loop_.Cascaded()) SpeedChannelScale();
    } else if (Is(name, "TestLimitCurrent")) {
        if (!loop_.Cascaded()) CurrentChannelScale();
    } else if (Is(name, "TaPP") || Is(name, "TaNP")) {
        // The ramps set the speed of the move, which the speed channels show.
        if (loop_.Cascaded()) SpeedChannelScale();
    }
    if (Is(name, "TestPosition") || Is(name, "TaPP") || Is(name, "TaNP") ||
        Is(name, "MultiCycleP") || Is(name, "TPP") || Is(name, "TNP"))
        ApplyCaptureSettings();
    CTuningTestDlg::OnChangedParameterValue(name);
}

void CTestPositionTuning::OnChangedParameterUnit(const char* name) {
    if (Is(name, "TestPosition")) PositionChannelScale();
    if (Is(name, "TestLimitCurrent") && !loop_.Cascaded()) CurrentChannelScale();
    CTuningTestDlg::OnChangedParameterUnit(name);
}

void CTestPositionTuning::OnRefreshParameterValue(const char* name) {
    if (Is(name, "Jt")) {
        WarnIfInertiaBelowMotor();
    } else if (Is(name, "PositionTestReferenceType")) {
        ShowProfilePicture(ui_->profilePicture, kProfilePictures);
        ApplyCaptureSettings();
    }
    if (IsRunning())
        if (const LiveGain* gain = FindLiveGain(name))
            orvex::WriteOptionsToDrive(GetSetup(), gain->write);
    CTuningTestDlg::OnRefreshParameterValue(name);
}

void CTestPositionTuning::OnTune() {
    CMC_Setup* setup = GetSetup();
    // Gains for a bandwidth the loop cannot have on this motor would hunt or ring: the
    // user hears why instead.
    if (const auto range = orvex::tuning::AcceptedPassband(setup, "PB_P")) {
        const double passband = setup->GetParameterValueInBaseUnit("PB_P");
        const std::string refusal =
            loop_.Cascaded()
                ? orvex::tuning::CascadedLoopRefusal(
                      *range, passband,
                      range->Empty() ? orvex::tuning::SpeedPassbandForPositionLoop(setup)
                                     : std::nullopt)
                : orvex::tuning::DirectLoopRefusal(*range, passband);
        if (!refusal.empty()) {
            axis::ShowMessage(this, QString::fromStdString(refusal), axis::MessageButtons::Ok,
                              axis::MessageIcon::Warning, windowTitle());
            return;
        }
    }
    orvex::DesignPositionControllerGains(setup);
    orvex::ComputeOption_SFTKPP(setup);
    orvex::ComputeOption_KPP(setup);
    orvex::ComputeOption_SFTKIP(setup);
    orvex::ComputeOption_KIP(setup);
    orvex::ComputeOption_SFTKDP(setup);
    orvex::ComputeOption_KDP(setup);
    orvex::ReadBack_Ki_P_scl(setup);
    orvex::ReadBack_Kp_P_scl(setup);
    orvex::ReadBack_Kd_P_scl(setup);
    if (IsRunning())
        orvex::WriteOptionsToDrive(setup, {"SFTKPP", "KPP", "SFTKIP", "KIP", "SFTKDP", "KDP"});
    RefreshAllParameters();
}

bool CTestPositionTuning::SkipPreliminary() {
    if (preliminary_done_ && outcome_ == Outcome::kSucceeded) return true;
    preliminary_done_ = false;
    return false;
}

void CTestPositionTuning::OnRunSucceeded(DisplayMode mode) {
    // A scope run ends at the user's Stop wherever the motor happens to be.
    if (mode != DisplayMode::kScope) preliminary_done_ = true;
}

void CTestPositionTuning::OnPageShown(int page) {
    if (page == kTestPage) preliminary_done_ = false;
}

bool CTestPositionTuning::WriteLeadingInputs(CMC_CoffFormat& program) {
    CMC_Setup* setup = GetSetup();
    if (!WriteInput(program, "RefTest", reference_test_value_)) return false;
    // The test's current limit becomes the setup's and stays so: the drive runs the
    // test with the setup's options.
    if (loop_.Cascaded()) {
        setup->SetParameterValueInBaseUnit("IlimPS",
                                           setup->GetParameterValueInBaseUnit("TestLimitCurrent"));
        orvex::ComputeOption_IMAXS(setup);
        orvex::ComputeOption_SATS(setup);
        orvex::ComputeOption_SATP(setup);
        return WriteInput(program, "LimitSpeed_Test",
                          std::trunc(setup->GetParameterValueInInternalUnit("Limit_Speed")));
    }
    const double limit = setup->GetParameterValueInInternalUnit("TestLimitCurrent");
    setup->SetParameterValueInInternalUnit("IlimPS", limit);
    return WriteInput(program, "IlimPS_Test", std::trunc(limit));
}

bool CTestPositionTuning::WriteTrailingInputs(CMC_CoffFormat& program) {
    return WriteInput(
        program, "Imax_Prot_Test",
        std::trunc(GetSetup()->GetParameterValueInInternalUnit("TestProtectionCurrent")));
}

void CTestPositionTuning::ApplyCaptureSettings() {
    if (!HasScope() || ScopeSettingsCustomised()) return;
    const CMC_Setup* setup = GetSetup();
    const auto base = [setup](const char* n) { return setup->GetParameterValueInBaseUnit(n); };
    std::optional<double> final_position;
    if (Has("TestPosition")) final_position = base("TestPosition");
    std::optional<int> reference_type;
    if (Has(kNames.reference_type_probe)) reference_type = ReferenceType();
    ApplyCapture(orvex::tuning::PositionCaptureSettings(
        final_position, reference_type, IntOf("MultiCycleP") != 0,
        {base("TaPP"), base("TPP"), base("TaNP"), base("TNP")}));
}

void CTestPositionTuning::ApplyChannelScales() {
    PositionChannelScale();
    if (loop_.Cascaded())
        SpeedChannelScale();
    else
        CurrentChannelScale();
}

void CTestPositionTuning::PositionChannelScale() {
    const CMC_Parameter* p = GetSetup()->FindParameter("TestPosition");
    if (!p) return;
    const auto s = orvex::tuning::ReferenceChannelScale(p->GetValue());
    RescaleChannels({kPositionChannels[0], kPositionChannels[1]}, "TestPosition", s.division,
                    s.offset);
}

void CTestPositionTuning::SpeedChannelScale() {
    const CMC_Setup* setup = GetSetup();
    axis::ScopedSilentLookup silent;
    const CMC_Parameter* position = setup->FindParameter("TestPosition");
    const CMC_Parameter* speed = setup->FindParameter("TestSpeed");
    if (!position || !speed) return;
    // The speed of the faster ramp, shown in the unit the user reads speeds in. It is
    // converted, not written through "TestSpeed": that would clamp it to the speed
    // test's own range and scale the channels for a slower move than the one run.
    const double ramp_s = std::min(setup->GetParameterValueInBaseUnit("TaPP"),
                                   setup->GetParameterValueInBaseUnit("TaNP"));
    const double ramp_speed = position->GetValueInBaseUnit() / ramp_s;
    const CMC_UnitType* type = speed->GetUnitType();
    const CMC_Unit* unit = type ? type->FindUnit(speed->GetUnitName()) : nullptr;
    const double shown = unit ? unit->FromBase(ramp_speed) : ramp_speed;
    const auto s = orvex::tuning::RampSpeedChannelScale(shown);
    RescaleChannels({kSpeedChannels[0], kSpeedChannels[1]}, "TestSpeed", s.division, s.offset);
}
