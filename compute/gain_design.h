#pragma once
// Controller gains from a desired bandwidth and damping and the identified motor and
// load data. Gains come out in the drive's normalised units (1.0 = a mantissa of
// 32767 at shift 0); the gain codec turns them into options when the forward
// sequence runs.
//
// Each design looks up every parameter it needs before writing anything and returns
// 0 when one is absent. It also returns 0, writing nothing, when a gain comes out
// infinite or undefined (a zero resistance, motor constant, loop period or encoder
// resolution): the controller then keeps its previous, consistent set of gains
// instead of a mix of old and new ones.

#include "host/setup/setup.h"

namespace orvex {

/// The sampling period T of the speed and position loops: T_C when
/// "PosSpd_in_FastLoop" exists and is nonzero (they run in the fast loop), else T_S.
double OuterLoopPeriod(const CMC_Setup* setup);

/// Designs "Kp_C_scl" and "Ki_C_scl" of the current (fast) loop from "PB_C" [1/s],
/// "Dump_C", "L" [H] and "R" [Ohm]. With tau = L / R and g = R x k_V / k_I (PWM
/// counts per current count):
///   tau > 4 T_C:  Kp = g (2 Dump_C PB_C tau - 1), Ki = g PB_C^2 tau T_C
///   otherwise:    Kp = g (tau / (2 sqrt 2 T_C) - 1), Ki = g PB_C T_C
/// 1 when both were written.
int DesignCurrentControllerGains(CMC_Setup* setup);

/// Designs "Ki_S_scl" then "Kp_S_scl" of the speed loop from "PB_S" [1/s], "Dump_S",
/// "Jt" [kg*m^2] and "K" [Nm/A], on the motor side: with c = Jt k_I / (k_Sm K),
/// Ki = PB_S^2 T c and Kp = 2 Dump_S PB_S c. T is T_C when "PosSpd_in_FastLoop"
/// exists and is nonzero, else T_S. 1 when both were written.
int DesignSpeedControllerGains(CMC_Setup* setup);

/// Designs "Ki_P_scl", "Kp_P_scl" then "Kd_P_scl" of the position loop from "PB_P"
/// [1/s], "Dump_P", "Jt" and "K", on the motor side.
///   "PositionControlType" 1 (commands the speed loop): Ki = PB_P^2 T k_Sm / k_Pm,
///     Kp = 2 Dump_P PB_P k_Sm / k_Pm, Kd = 0.
///   otherwise (commands current), with c = Jt k_I / (k_Pm K) and a = 2 Dump_P + 1:
///     Ki = PB_P^3 T c, Kp = a PB_P^2 c, Kd = a PB_P c / T.
/// T as for the speed loop. 1 when all three were written.
int DesignPositionControllerGains(CMC_Setup* setup);

}  // namespace orvex
