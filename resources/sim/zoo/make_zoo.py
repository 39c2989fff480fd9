#!/usr/bin/env python3
"""Writes the motor zoo and the held-out motors: for each motor a bench (the truth
the simulated drive runs) and a setup as a user writes it from the data sheets
(resistance and inductance as the data sheet gives them, a little off the truth;
protections set for the motor).

The zoo (resources/sim/zoo/) is what the drive programs and the analysis were
developed on. The held-out motors (resources/sim/holdout/) are kept apart to show
that they work on motors nobody tuned them for: they differ from the zoo where
programs break -- a pancake motor of tiny inertia and high resistance, a coarse
encoder, a heavy load with strong friction, a large frame at a high bus and low
inductance, a large frame at a low bus, a strong detent torque.

The setups start from resources/setups/demo.json. The script writes the physical
parameters and the controller gains designed for the data-sheet motor; the options
are then computed by the module itself:

    python3 resources/sim/zoo/make_zoo.py
    for f in resources/sim/zoo/*.setup.json resources/sim/holdout/*.setup.json; do
        build/bin/axishost compute "$f" --forward --save "$f" > /dev/null; done
"""
import json
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
DEMO = os.path.join(HERE, "..", "..", "setups", "demo.json")

# name, data sheet (what the user types) and truth (what the bench is).
# R and L of the data sheet are the motor's at 20 degC; the bench's are the
# winding plus cable, a few per cent apart. K = holding torque / (sqrt 2 x rated).
MOTORS = [
    dict(name="nema08", title="NEMA 8 (20 mm), 0.4 A, no load, 24 V",
         rated_A=0.4, steps=200, lines=1000, drive_peak_A=1.0, drive_rated_A=0.7,
         bus_nominal_V=24.0, bus_true_V=24.3, max_bus_V=50.0,
         R=12.0, L=3.2e-3, R_true=12.4, L_true=3.35e-3,
         K=0.035, Jm=2.2e-7, Jload=0.0, detent=0.0008, coulomb=0.0004, viscous=2e-7,
         load_torque=0.0, initial_angle=0.0040, seed=11),
    dict(name="nema11", title="NEMA 11 (28 mm), 0.67 A, load 2x rotor, 24 V",
         rated_A=0.67, steps=200, lines=1000, drive_peak_A=2.0, drive_rated_A=1.2,
         bus_nominal_V=24.0, bus_true_V=23.8, max_bus_V=50.0,
         R=4.8, L=4.0e-3, R_true=5.02, L_true=4.15e-3,
         K=0.065, Jm=9.0e-7, Jload=1.8e-6, detent=0.002, coulomb=0.0012, viscous=6e-7,
         load_torque=0.0, initial_angle=0.0105, seed=12),
    dict(name="nema17", title="NEMA 17 (42 mm) 0.9 deg, 1.7 A, load 5x rotor, 36 V",
         rated_A=1.7, steps=400, lines=2500, drive_peak_A=4.0, drive_rated_A=2.5,
         bus_nominal_V=36.0, bus_true_V=36.4, max_bus_V=100.0,
         R=1.5, L=2.8e-3, R_true=1.57, L_true=2.71e-3,
         K=0.26, Jm=6.8e-6, Jload=3.4e-5, detent=0.012, coulomb=0.004, viscous=8e-6,
         load_torque=0.0, initial_angle=0.0031, seed=13),
    dict(name="nema23", title="NEMA 23 (57 mm), 2.8 A, no load, 48 V",
         rated_A=2.8, steps=200, lines=1000, drive_peak_A=8.0, drive_rated_A=5.0,
         bus_nominal_V=48.0, bus_true_V=47.2, max_bus_V=100.0,
         R=1.13, L=3.6e-3, R_true=1.19, L_true=3.74e-3,
         K=0.36, Jm=2.6e-5, Jload=0.0, detent=0.02, coulomb=0.008, viscous=3e-5,
         load_torque=0.0, initial_angle=0.0200, seed=14),
    dict(name="nema24", title="NEMA 24 (60 mm) long, 4 A, lead screw: load 5x rotor "
         "and strong friction, 60 V",
         rated_A=4.0, steps=200, lines=1000, drive_peak_A=8.0, drive_rated_A=5.0,
         bus_nominal_V=60.0, bus_true_V=60.9, max_bus_V=100.0,
         R=0.6, L=2.8e-3, R_true=0.63, L_true=2.66e-3,
         K=0.62, Jm=9.0e-5, Jload=4.5e-4, detent=0.05, coulomb=0.08, viscous=4e-4,
         load_torque=0.0, initial_angle=0.0150, seed=15),
    dict(name="nema34", title="NEMA 34 (86 mm), 6 A on an 8 A drive, load 10x rotor, 80 V",
         rated_A=6.0, steps=200, lines=2000, drive_peak_A=8.0, drive_rated_A=6.5,
         bus_nominal_V=80.0, bus_true_V=79.1, max_bus_V=100.0,
         R=0.42, L=4.5e-3, R_true=0.445, L_true=4.38e-3,
         K=1.1, Jm=2.7e-4, Jload=2.7e-3, detent=0.08, coulomb=0.05, viscous=2e-3,
         load_torque=0.0, initial_angle=0.0090, seed=16),
]

# Held out: never used to develop a program; only to check them.
HOLDOUT = [
    dict(name="nema14p", title="NEMA 14 (35 mm) pancake, 0.4 A, high resistance, no load, 24 V",
         rated_A=0.4, steps=200, lines=1000, drive_peak_A=1.0, drive_rated_A=0.7,
         bus_nominal_V=24.0, bus_true_V=24.5, max_bus_V=50.0,
         R=30.0, L=18.0e-3, R_true=31.2, L_true=17.3e-3,
         K=0.12, Jm=4.0e-7, Jload=0.0, detent=0.002, coulomb=0.001, viscous=2e-7,
         load_torque=0.0, initial_angle=0.0060, seed=21),
    dict(name="nema17c", title="NEMA 17 (42 mm), 1.5 A, 200-line encoder, load 3x rotor, 24 V",
         rated_A=1.5, steps=200, lines=200, drive_peak_A=4.0, drive_rated_A=2.5,
         bus_nominal_V=24.0, bus_true_V=24.4, max_bus_V=50.0,
         R=1.8, L=3.0e-3, R_true=1.86, L_true=3.13e-3,
         K=0.21, Jm=5.7e-6, Jload=1.7e-5, detent=0.01, coulomb=0.005, viscous=6e-6,
         load_torque=0.0, initial_angle=0.0070, seed=22),
    dict(name="nema17d", title="NEMA 17 (42 mm), 1.2 A, strong detent, load 1x rotor, 36 V",
         rated_A=1.2, steps=200, lines=1000, drive_peak_A=4.0, drive_rated_A=2.5,
         bus_nominal_V=36.0, bus_true_V=35.6, max_bus_V=100.0,
         R=3.3, L=6.0e-3, R_true=3.42, L_true=5.82e-3,
         K=0.29, Jm=5.4e-6, Jload=5.4e-6, detent=0.06, coulomb=0.006, viscous=5e-6,
         load_torque=0.0, initial_angle=0.0120, seed=23),
    dict(name="nema23g", title="NEMA 23 (57 mm) long, 4.2 A, gearbox: load 20x rotor and high "
         "friction, 48 V",
         rated_A=4.2, steps=200, lines=1000, drive_peak_A=8.0, drive_rated_A=5.0,
         bus_nominal_V=48.0, bus_true_V=48.6, max_bus_V=100.0,
         R=0.7, L=2.6e-3, R_true=0.735, L_true=2.5e-3,
         K=0.5, Jm=6.8e-5, Jload=1.36e-3, detent=0.04, coulomb=0.25, viscous=3e-3,
         load_torque=0.0, initial_angle=0.0080, seed=24),
    dict(name="nema34lv", title="NEMA 34 (86 mm), 4 A at a low 24 V bus, load 5x rotor",
         rated_A=4.0, steps=200, lines=1000, drive_peak_A=8.0, drive_rated_A=5.0,
         bus_nominal_V=24.0, bus_true_V=23.6, max_bus_V=50.0,
         R=0.75, L=6.5e-3, R_true=0.78, L_true=6.3e-3,
         K=0.8, Jm=1.4e-4, Jload=7.0e-4, detent=0.06, coulomb=0.04, viscous=1.5e-3,
         load_torque=0.0, initial_angle=0.0100, seed=25),
    dict(name="nema42", title="NEMA 42 (110 mm), 7 A on a 10 A drive, load 2x rotor, 140 V",
         rated_A=7.0, steps=200, lines=1000, drive_peak_A=10.0, drive_rated_A=8.0,
         bus_nominal_V=140.0, bus_true_V=138.2, max_bus_V=200.0,
         R=0.26, L=0.8e-3, R_true=0.272, L_true=0.77e-3,
         K=2.0, Jm=1.6e-3, Jload=3.2e-3, detent=0.35, coulomb=0.4, viscous=0.02,
         load_torque=0.0, initial_angle=0.0050, seed=26),
]

PWM_HZ, CLOCK_HZ, ADC_MAX = 20000.0, 40e6, 65520.0
T_C, T_S = 1 / PWM_HZ, 10 / PWM_HZ


def bench(m):
    return {
        "format": "orvex-sim-scenario", "version": 1, "seed": m["seed"],
        "motor": {"phase_resistance_ohm": m["R_true"], "phase_inductance_H": m["L_true"],
                  "torque_constant_Nm_per_A": m["K"], "rotor_inertia_kgm2": m["Jm"],
                  "full_steps_per_rev": m["steps"], "detent_torque_Nm": m["detent"],
                  "viscous_friction_Nm_s_per_rad": m["viscous"],
                  "coulomb_friction_Nm": m["coulomb"],
                  "initial_angle_rad": m["initial_angle"]},
        "load": {"inertia_kgm2": m["Jload"], "torque_Nm": m["load_torque"]},
        "encoder": {"lines": m["lines"], "reversed": False, "connected": True,
                    "index_angle_rad": 0.3},
        "drive": {"bus_voltage_V": m["bus_true_V"], "peak_current_A": m["drive_peak_A"],
                  "adc_max": ADC_MAX, "max_measurable_bus_V": m["max_bus_V"],
                  "dead_time_drop_V": 0.6, "current_noise_counts": 3.0},
        "analogue_input": {"min_V": -10.0, "max_V": 10.0, "period_s": 4.0},
        # The hand that turns the shaft while the encoder connection test runs.
        "operator": {"hand_turn_amplitude_rev": 0.5, "hand_turn_period_s": 2.0},
    }


def setup(m, collection):
    with open(DEMO) as f:
        s = json.load(f)
    params = {p["name"]: p for p in s["parameters"]}

    def put(name, value, lo=None, hi=None):
        p = params[name]
        p["value"] = value
        if lo is not None:
            p["min"] = lo
        if hi is not None:
            p["max"] = hi

    rated, peak_motor = m["rated_A"], 2 * m["rated_A"]
    put("In", rated)
    put("ImaxM", peak_motor)
    put("K", m["K"])
    put("R", m["R"])
    put("L", m["L"])
    put("Jm", m["Jm"])
    # The user knows the load's inertia from the mechanics; the inertia test
    # checks it.
    jt = m["Jm"] + m["Jload"]
    put("Jt", jt)
    put("Jload_over_J", m["Jload"] / m["Jm"])
    put("NoMotorSteps", m["steps"])
    put("No_encoder_lines", m["lines"])
    put("InPS", m["drive_rated_A"])
    put("ImaxPS", m["drive_peak_A"])
    # A high-voltage drive measures and accepts more than the demo drive does.
    put("Vdc", m["bus_nominal_V"], hi=max(params["Vdc"]["max"], m["max_bus_V"]))
    put("VdcMaxMeasurable", m["max_bus_V"])
    put("VMOT_min", 12.0)
    put("VMOT_max", max(1.1 * m["max_bus_V"] if m["max_bus_V"] < 90 else 90.0,
                        1.1 * m["bus_nominal_V"]))
    # Over-voltage above the bus, under-voltage well below it.
    put("UMAX_PROT", round(1.2 * m["bus_nominal_V"], 1))
    put("UMIN_PROT", round(0.4 * m["bus_nominal_V"], 1))
    # Over-current above the test current (the rated current), at the motor's peak.
    put("Imax_Prot", min(peak_motor, 0.98 * m["drive_peak_A"]), hi=peak_motor)
    put("TestCurrent", rated, hi=0.9 * peak_motor)
    put("TestProtectionCurrent", min(peak_motor, 0.98 * m["drive_peak_A"]), hi=peak_motor)
    # Current limits of the loops: the motor's peak, within what the drive measures.
    limit = min(0.7 * peak_motor, 0.8 * m["drive_peak_A"])
    put("TestLimitCurrent", limit, hi=peak_motor)
    put("IlimPS", limit, hi=peak_motor)
    put("MAX_CURRENT", 0.7 * rated, hi=rated)
    put("OffsetCurrent", 0.0, lo=-rated, hi=rated)
    put("I_I2t_M", rated * 1.2, lo=rated * 1.1, hi=peak_motor)
    put("I_I2t_D", m["drive_rated_A"] * 1.2, lo=m["drive_rated_A"], hi=m["drive_peak_A"])
    # Gains designed from the data-sheet motor, as the tuning dialogs would.
    k_i = ADC_MAX / (2 * m["drive_peak_A"])
    k_v = 32767 / m["bus_nominal_V"]
    tau = m["L"] / m["R"]
    g = m["R"] * k_v / k_i
    pb_c, dump_c = params["PB_C"]["value"], params["Dump_C"]["value"]
    put("Kp_C_scl", g * (2 * dump_c * pb_c * tau - 1))
    put("Ki_C_scl", g * pb_c * pb_c * tau * T_C)
    k_pm = 4 * m["lines"] / (2 * math.pi)
    k_sm = T_S * k_pm
    c = jt * k_i / (k_sm * m["K"])
    # The speed passband's ceiling: a twentieth of the speed loop's rate (the tuning
    # dialogs bound it further by the loop's phase margin).
    put("PB_S_maxim", 2 * math.pi / (20 * T_S))
    pb_s, dump_s = params["PB_S"]["value"], params["Dump_S"]["value"]
    put("Ki_S_scl", pb_s * pb_s * T_S * c)
    put("Kp_S_scl", 2 * dump_s * pb_s * c)
    # Limit speed and test speed within what the bus allows (Vdc / K / 3).
    v_test = m["bus_nominal_V"] / m["K"] / 3
    put("Limit_Speed", min(params["Limit_Speed"]["value"], 1.5 * v_test))
    put("TestSpeed", round(0.5 * v_test, 1))
    put("ErefMaxSpeed", min(params["ErefMaxSpeed"]["value"], v_test))
    # The analogue reference's position span: 20000 counts either way, as on the
    # demo drive, so that its current ends stay within the motor's peak; at most the
    # five turns either way the drive takes (a coarse encoder counts few per turn).
    span = min(20000 / (4 * m["lines"]), 5.0) * 2 * math.pi
    put("POS_min", -span)
    put("POS_max", span)
    # Freeze control's window: three quarters of a full step. The rotor of a step
    # motor rests in a detent notch every full step, so the notch nearest the target
    # lies at most half a step away (both at half a step when the target is on a
    # crest), and the shaft may stop a little beyond it; a loop that stops there then
    # holds its integrals instead of winding them until the shaft jumps the crest into
    # the next notch and hunts. A window of half a step let a crest target hunt.
    put("FreezeControl_errband", 1.5 * math.pi / m["steps"])
    s["drive"]["description"] = "Orvex %s: %s (drive %g V / %g A peak)" % (
        collection, m["title"], m["bus_nominal_V"], m["drive_peak_A"])
    return s


def main():
    holdout = os.path.join(HERE, "..", "holdout")
    os.makedirs(holdout, exist_ok=True)
    for folder, motors, collection in ((HERE, MOTORS, "zoo"), (holdout, HOLDOUT, "held-out")):
        for m in motors:
            with open(os.path.join(folder, m["name"] + ".json"), "w") as f:
                f.write(json.dumps(bench(m), indent=2) + "\n")
            with open(os.path.join(folder, m["name"] + ".setup.json"), "w") as f:
                f.write(json.dumps(setup(m, collection), indent=2) + "\n")


if __name__ == "__main__":
    main()
