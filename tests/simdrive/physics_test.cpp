// The plant and the power stage against closed-form answers.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "bench.h"
#include "simdrive/drive_core.h"
#include "simdrive/plant.h"

namespace orvex::sim {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

TEST(Plant, SteadyPhaseCurrentIsVoltageOverResistance) {
    struct Case {
        double r_ohm, l_H, u_V;
    } cases[] = {
        {1.0, 2.7e-3, 2.0}, {0.35, 0.4e-3, -1.5}, {12.0, 40e-3, 24.0}, {1.12, 2.95e-3, 0.1}};
    for (const Case& c : cases) {
        Scenario s;
        s.motor.phase_resistance_ohm = c.r_ohm;
        s.motor.phase_inductance_H = c.l_H;
        s.faults.brake_locked = true;  // no motion, no back-EMF
        MotorPlant plant(s, 50e-6);
        const int steps = static_cast<int>(30 * c.l_H / c.r_ohm / 50e-6) + 1;  // 30 time constants
        for (int k = 0; k < steps; ++k) plant.Step(c.u_V, -c.u_V, true);
        EXPECT_NEAR(plant.State().current_a_A, c.u_V / c.r_ohm, 1e-9 * std::fabs(c.u_V / c.r_ohm))
            << c.r_ohm;
        EXPECT_NEAR(plant.State().current_b_A, -c.u_V / c.r_ohm, 1e-9 * std::fabs(c.u_V / c.r_ohm));
    }
}

TEST(Plant, CurrentRisesWithTheWindingTimeConstant) {
    // After one time constant a step reaches 1 - 1/e of its final value, whatever
    // the ratio of step to time constant: the winding step is exact.
    for (double step_s : {10e-6, 50e-6, 1e-3}) {
        Scenario s;
        s.motor.phase_resistance_ohm = 2.0;
        s.motor.phase_inductance_H = 2e-3 * step_s / 50e-6;  // tau = step x 20
        s.faults.brake_locked = true;
        MotorPlant plant(s, step_s);
        for (int k = 0; k < 20; ++k) plant.Step(4.0, 0, true);
        EXPECT_NEAR(plant.State().current_a_A, 2.0 * (1 - std::exp(-1.0)), 1e-12) << step_s;
    }
}

TEST(PowerStage, SteadyCurrentIsVoltageLessDeadTimeOverResistance) {
    // counts / 32767 x bus volts, less the dead-time drop that opposes the current.
    const Scenario s = testing::LoadScenario();
    for (double counts : {800.0, 2000.0, -1500.0, 6000.0}) {
        RegisterImage registers;
        DriveCore core(s, registers);
        ASSERT_TRUE(core.PowerOn());
        core.ApplyVoltage(std::fabs(counts), counts > 0 ? 0 : 32768);
        for (int k = 0; k < 20000; ++k) core.Step(nullptr);  // 1 s, the rotor settles on phase A
        const double volts = counts / 32767.0 * s.drive.bus_voltage_V;
        const double expected_A =
            (volts - std::copysign(s.drive.dead_time_drop_V, volts)) / s.motor.phase_resistance_ohm;
        EXPECT_NEAR(core.plant().State().current_a_A, expected_A, 1e-6) << counts;
        EXPECT_NEAR(core.current_a(), expected_A * s.drive.adc_max / (2 * s.drive.peak_current_A),
                    15)
            << counts;
    }
}

TEST(Plant, FreeShaftAcceleratesAtTorqueOverInertia) {
    struct Case {
        double torque_Nm, rotor_kgm2, load_kgm2, coulomb_Nm, expected_rad_s2;
    } cases[] = {
        {0.2, 3.2e-5, 1e-4, 0.0, 0.2 / 1.32e-4},
        {-0.05, 1e-5, 0.0, 0.0, -0.05 / 1e-5},
        {0.2, 3.2e-5, 1e-4, 0.05, 0.15 / 1.32e-4},  // Coulomb friction opposes the motion
        {0.04, 3.2e-5, 1e-4, 0.05, 0.0},            // static friction holds the shaft
    };
    for (const Case& c : cases) {
        Scenario s;
        s.motor.rotor_inertia_kgm2 = c.rotor_kgm2;
        s.load.inertia_kgm2 = c.load_kgm2;
        s.load.torque_Nm = c.torque_Nm;
        s.motor.coulomb_friction_Nm = c.coulomb_Nm;
        MotorPlant plant(s, 50e-6);
        for (int k = 0; k < 2000; ++k) plant.Step(0, 0, false);  // 0.1 s, bridge open
        EXPECT_NEAR(plant.State().speed_rad_s, c.expected_rad_s2 * 0.1,
                    1e-9 * std::fabs(c.expected_rad_s2) + 1e-12)
            << c.torque_Nm << " " << c.coulomb_Nm;
    }
}

TEST(Plant, TorqueFollowsTheCurrentVectorAndRotorAngle) {
    // K (-i_a sin p th + i_b cos p th): a current on phase B pulls a rotor at
    // electric angle 0 with K i_b; on phase A it makes no torque.
    Scenario s;
    s.motor.torque_constant_Nm_per_A = 0.5;
    s.faults.brake_locked = true;
    MotorPlant plant(s, 50e-6);
    for (int k = 0; k < 2000; ++k) plant.Step(0, 2.0, true);
    EXPECT_NEAR(plant.ElectricalTorque_Nm(), 0.5 * 2.0 / s.motor.phase_resistance_ohm, 1e-6);
    MotorPlant plant_a(s, 50e-6);
    for (int k = 0; k < 2000; ++k) plant_a.Step(2.0, 0, true);
    EXPECT_NEAR(plant_a.ElectricalTorque_Nm(), 0.0, 1e-12);
}

TEST(Encoder, OneRevolutionGivesFourCountsPerLine) {
    struct Case {
        int lines;
        bool reversed;
        double counting_dir;
        double expected;
    } cases[] = {{1000, false, 0, 4000}, {1000, true, 0, -4000}, {2500, false, 0, 10000},
                 {500, false, 1, -2000}, {500, true, 1, 2000},   {4096, false, 0, 16384}};
    for (const Case& c : cases) {
        auto counts_at = [&](double angle_rad) {
            Scenario s = testing::LoadScenario();
            s.encoder.lines = c.lines;
            s.encoder.reversed = c.reversed;
            s.motor.initial_angle_rad = angle_rad;
            RegisterImage registers;
            registers.Write("COUNTINGDIR", c.counting_dir, 16);
            DriveCore core(s, registers);
            core.Step(nullptr);
            return static_cast<double>(core.position());
        };
        // Start a little past a count edge so the floor of the quadrature count
        // does not sit exactly on it.
        const double start = 1e-4;
        EXPECT_EQ(counts_at(start + kTwoPi) - counts_at(start), c.expected)
            << c.lines << " " << c.reversed;
    }
}

TEST(Encoder, DisconnectedEncoderNeverCounts) {
    Scenario s = testing::LoadScenario("encoder_disconnected.json");
    s.motor.initial_angle_rad = 2.0;
    RegisterImage registers;
    DriveCore core(s, registers);
    core.Step(nullptr);
    EXPECT_EQ(core.position(), 0);
}

}  // namespace
}  // namespace orvex::sim

namespace orvex::sim {
namespace {

// Acceleration feed-forward puts KFFA times the reference's acceleration (counts per
// sample per sample) into the current reference, in speed mode and in position mode
// behind the speed loop alike; the controllers here have no gain, so it is all there.
TEST(Loops, AccelerationFeedForwardReachesTheCurrentInSpeedAndCascadedPositionMode) {
    constexpr double kFeedForward = 100, kAcceleration = 0.5;
    for (bool position : {false, true}) {
        SCOPED_TRACE(position ? "position through the speed loop" : "speed");
        const Scenario s = testing::LoadScenario(
            "default.json", [](Scenario& sc) { sc.faults.brake_locked = true; });
        RegisterImage registers;
        registers.Write("SFTAFFW", 7, 16);
        registers.Write("KFFA", kFeedForward * 32767 / 128, 16);
        DriveCore core(s, registers);
        ASSERT_TRUE(core.PowerOn());
        const int slow = core.settings().slow_divider;
        for (int period = 0; period < 20 * slow; ++period) {
            const double k = period / slow;
            if (period % slow == 0) {
                if (position)
                    core.CommandPosition(0.5 * kAcceleration * k * k, true);
                else
                    core.CommandSpeed(kAcceleration * k);
            }
            core.Step(nullptr);
        }
        // KFFA is a whole register: the gain is a hair below 100.
        EXPECT_NEAR(core.live().current_reference, kFeedForward * kAcceleration, 0.01);
    }
}

}  // namespace
}  // namespace orvex::sim
