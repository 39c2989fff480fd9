#include "compute/sequences.h"

#include "compute/analogue_reference.h"
#include "compute/biquad.h"
#include "compute/config_registers.h"
#include "compute/control_loop_options.h"
#include "compute/option_codec.h"
#include "compute/parameter_ranges.h"
#include "compute/protection_options.h"
#include "compute/scales.h"
#include "compute/typed_values.h"
#include "compute/units_transmission.h"

namespace orvex {

namespace {

// The features a drive's setup may lack. Each is a silent probe: a setup without
// the feature's names simply skips its steps, in both directions.
struct Gates {
    bool software_limits, speed_estimator, analogue_reference, network, phase_advance,
        counting_direction, encoder_filter, motor_brake, speed_forward, freeze_control,
        input_polarity_type, angle_controller, start_mode, i2t_warnings, transmission_sign,
        start_min_move, biquad_filters;

    explicit Gates(const CMC_Setup* s)
        : software_limits(Probe(s, {"isSWLS"})),
          speed_estimator(Probe(s, {"isSpeedEstimator"})),
          analogue_reference(HasAnalogueReference(s)),
          network(Probe(s, {"save_CAN_baudrate", "save_axis_id"})),
          phase_advance(Probe(s, {"THT_CORRECTION"})),
          counting_direction(Probe(s, {"ReverseCounting"})),
          encoder_filter(Probe(s, {"isFilterEnc", "FilterEncValue"})),
          motor_brake(Probe(s, {"BRAKECFG", "isMotorBrake"})),
          speed_forward(Probe(s, {"SpeedForward"})),
          freeze_control(Probe(s, {"POSOKLIM_FC", "TONPOSOK_FC"})),
          input_polarity_type(Probe(s, {"InputsPolarityType"})),
          angle_controller(Probe(s, {"KPTHT"})),
          start_mode(Probe(s, {"StartMode"})),
          i2t_warnings(Probe(s, {"II2TWARLIM_D", "I2TWARLIM_M"})),
          transmission_sign(Probe(s, {"TRANSMISSION"})),
          start_min_move(Probe(s, {"ABSTART_MINMOVE"})),
          biquad_filters(Probe(s, {"IQREF_BQ_INI"})) {}
};

using Step = int (*)(CMC_Setup*);

// A step that lacks a name skips itself. A read-back step keeps the value the user
// typed where that value already gives the registers (typed_values.h); forward steps
// and the other read-backs simply run.
void Run(CMC_Setup* s, std::initializer_list<Step> steps) {
    for (Step step : steps) ReadBackKeepingTypedValue(s, step);
}

void RunIf(bool gate, CMC_Setup* s, std::initializer_list<Step> steps) {
    if (gate) Run(s, steps);
}

}  // namespace

void ComputeOptionsFromParameters(CMC_Setup* s) {
    // Gates are probed as each group is reached: an earlier step never adds or
    // removes names, so probing once up front is the same.
    const Gates g(s);
    Run(s, {ComputeOption_PWMPER});
    Run(s, {ComputeOption_T2MAXPROT, ComputeOption_UMAXPROT, ComputeOption_UMINPROT,
            ComputeOption_II2TPROT_D, ComputeOption_SFI2T_D, ComputeOption_I2TINTLIM_D});
    RunIf(g.i2t_warnings, s, {ComputeOption_II2TWARLIM_D});
    Run(s, {ComputeOption_SATPWM});
    Run(s, {ComputeOption_MECRESL, ComputeOption_ENC2THL, ComputeOption_MTSTYPE,
            ComputeOption_AAR_table});
    Run(s, {ComputeOption_SCR, ComputeOption_OSR, ComputeOption_ASR, ComputeOption_PCR,
            ComputeOption_ACR});
    // The current controller saturates at the PWM limit just computed.
    Run(s, {ComputeOption_SFTKPI, ComputeOption_KPI, ComputeOption_SFTKII, ComputeOption_KII,
            ComputeOption_SATID, ComputeOption_SATIQ, ComputeOption_FILTERQ, ComputeOption_FFL,
            ComputeOption_KFFL});
    Run(s, {ComputeOption_SFTKPS, ComputeOption_KPS, ComputeOption_SFTKIS, ComputeOption_KIS,
            ComputeOption_IMAXS, ComputeOption_SATS});
    Run(s, {ComputeOption_SFTKPP, ComputeOption_KPP, ComputeOption_SFTKIP, ComputeOption_KIP,
            ComputeOption_SFTKDP, ComputeOption_KDP, ComputeOption_KDFP, ComputeOption_IMAXP,
            ComputeOption_SATP});
    Run(s, {ComputeOption_SFTSFFW, ComputeOption_KFFS, ComputeOption_SFTAFFW, ComputeOption_SFTKFF,
            ComputeOption_KFFA});
    Run(s, {ComputeOption_IMAXPROT, ComputeOption_TIMAXPROT, ComputeOption_ERRMAX,
            ComputeOption_TERRMAX, ComputeOption_SERRMAX, ComputeOption_TSERRMAX,
            ComputeOption_T1MAXPROT, ComputeOption_II2TPROT_M, ComputeOption_SFI2T_M,
            ComputeOption_I2TINTLIM_M});
    RunIf(g.i2t_warnings, s, {ComputeOption_I2TWARLIM_M});
    RunIf(g.software_limits, s, {ComputeOption_SWNEGLS, ComputeOption_SWPOSLS});
    Run(s, {ComputeOption_CACC, ComputeOption_CSPD});
    RunIf(g.analogue_reference, s,
          {ComputeOption_CADIN, ComputeOption_SFTADIN, ComputeOption_AD5OFF, ComputeOption_FILTER1,
           ComputeOption_LEVEL_AD5, ComputeOption_E_LEVEL_AD5});
    Run(s, {ComputeOption_GEAR, ComputeOption_T1ONA, ComputeOption_T1ONB,
            ComputeOption_DIGIN_ACTIVE_LEVEL, ComputeOption_UPGRADE, ComputeOption_BOOST});
    RunIf(g.network, s, {ComputeOption_LSS_Active});
    RunIf(g.phase_advance, s, {ComputeOption_THT_CORRECTION});
    RunIf(g.counting_direction, s, {ComputeOption_COUNTINGDIR});
    RunIf(g.encoder_filter, s,
          {ComputeOption_QUAL, ComputeOption_QUAL_ACT, ComputeOption_QUAL_AQ2});
    RunIf(g.motor_brake, s,
          {ComputeOption_BRAKECFG, ComputeOption_BRAKEAPPLYDELAY, ComputeOption_BRAKERELEASEDELAY});
    RunIf(g.freeze_control, s, {ComputeOption_POSOKLIM_FC, ComputeOption_TONPOSOK_FC});
    RunIf(g.transmission_sign, s, {ComputeOption_TRANSMISSION});
    RunIf(
        g.angle_controller, s,
        {ComputeOption_SFTKPTHT, ComputeOption_KPTHT, ComputeOption_SFTKITHT, ComputeOption_KITHT});
    RunIf(g.start_min_move, s, {ComputeOption_ABSTART_MINMOVE});
    RunIf(g.biquad_filters, s, {ComputeOption_BiquadFilters});
}

void ReadBackParametersFromOptions(CMC_Setup* s) {
    const Gates g(s);
    Run(s, {ReadBack_No_encoder_lines, ReadBack_isMotorTemperatureSensor,
            ReadBack_Motor_TempSensor_Type});
    Run(s, {ReadBack_PWM_freq, ReadBack_PWMperiod, ReadBack_Ts_C, ReadBack_Ts_S,
            ReadBack_PosSpd_in_FastLoop, ReadBack_isDriveTemperatureSensor});
    Run(s, {ReadBack_isOverVoltage, ReadBack_UMAX_PROT, ReadBack_isUnderVoltage, ReadBack_UMIN_PROT,
            ReadBack_isDriveOverTemp, ReadBack_Temp_2, ReadBack_isDriveI2t, ReadBack_I_I2t_D,
            ReadBack_t_I2t_D});
    Run(s, {ReadBack_ControlMode, ReadBack_ExternalReference, ReadBack_IsAutoActivatedAfterPowerOn,
            ReadBack_Axis_ID_list, ReadBack_IlimPS});
    Run(s,
        {ReadBack_Kp_C_scl, ReadBack_Ki_C_scl, ReadBack_TestCurrent, ReadBack_TestProtectionCurrent,
         ReadBack_isUseFilterOnCrtCtrlOutput, ReadBack_FilterOnCurrentControllerOutput,
         ReadBack_isCompensateGravitationalLoads, ReadBack_OffsetCurrent});
    Run(s, {ReadBack_Kp_S_scl, ReadBack_Ki_S_scl, ReadBack_IPSatS, ReadBack_KFFA_scl,
            ReadBack_TestLimitCurrent, ReadBack_Jload_over_J, ReadBack_Kp_P_scl, ReadBack_Ki_P_scl,
            ReadBack_Kd_P_scl, ReadBack_filter_D, ReadBack_IPSatP, ReadBack_Limit_Speed,
            ReadBack_TestMaxSpeed, ReadBack_KFFS_scl});
    Run(s, {ReadBack_isOverCurrent, ReadBack_Imax_Prot, ReadBack_time_Imax_Prot,
            ReadBack_isPositionControlError, ReadBack_ERR_position, ReadBack_time_ERR_pos,
            ReadBack_isSpeedControlError, ReadBack_ERR_speed, ReadBack_time_ERR_spd,
            ReadBack_isMotorOverTemp, ReadBack_isMotori2t, ReadBack_I_I2t_M, ReadBack_t_I2t_M});
    Run(s, {ReadBack_EnablePolarity, ReadBack_LSPPolarity, ReadBack_LSNPolarity, ReadBack_time_AB});
    RunIf(g.software_limits, s, {ReadBack_isSWLS, ReadBack_Negative_SWLS, ReadBack_Positive_SWLS});
    RunIf(g.speed_estimator, s, {ReadBack_isSpeedEstimator});
    // The analogue limits read the ranges they set themselves: the order is binding.
    RunIf(g.analogue_reference, s,
          {ReadBack_DeadBand_Point, ReadBack_DeadBand_Range, ReadBack_UseFilter, ReadBack_filter,
           ReadBack_POS_min, ReadBack_POS_max, ReadBack_CRT_min, ReadBack_CRT_max, ReadBack_SPD_min,
           ReadBack_SPD_max});
    Run(s, {ReadBack_isLimitMaximum, ReadBack_ErefMaxSpeed, ReadBack_ErefMaxAcceleration,
            ReadBack_isAnalogueReference, ReadBack_DigitalReferenceType});
    RunIf(g.network, s, {ReadBack_save_CAN_baudrate, ReadBack_save_axis_id});
    RunIf(g.phase_advance, s, {ReadBack_PhaseAdvance_speed});
    RunIf(g.counting_direction, s, {ReadBack_ReverseCounting});
    RunIf(g.encoder_filter, s, {ReadBack_isFilterEnc});
    RunIf(g.motor_brake, s,
          {ReadBack_isMotorBrake, ReadBack_MotorBrake_output, ReadBack_MotorBrake_releasetime,
           ReadBack_MotorBrake_applytime});
    RunIf(g.speed_forward, s, {ReadBack_SpeedForward});
    RunIf(g.freeze_control, s,
          {ReadBack_isFreezeControl, ReadBack_FreezeControl_errband, ReadBack_FreezeControl_time});
    RunIf(g.input_polarity_type, s, {ReadBack_InputsPolarityType});
    RunIf(g.angle_controller, s, {ReadBack_Kp_T_scl, ReadBack_Ki_T_scl});
    RunIf(g.start_mode, s, {ReadBack_StartMode});
}

void ComputeAllOptions(CMC_Setup* s) {
    if (!s) return;
    ReadBackParametersFromOptions(s);
    UpdateParameterRanges(s);
    UpdateLoopClosure(s);
    UpdateUnitTypesByTransmission(s);
    UpdateStepUnits(s);
}

void ConfirmEditedSetup(CMC_Setup* s) {
    if (!s) return;
    ComputeOptionsFromParameters(s);
    UpdateLoopClosure(s);
}

}  // namespace orvex
