#pragma once
// The bench: the truth about motor, load, encoder, drive hardware, the operator and
// the faults. Only the physics reads it; drive programs never do.

#include <cstdint>
#include <optional>
#include <string>

namespace orvex::sim {

struct MotorParams {
    double phase_resistance_ohm = 1.0;
    double phase_inductance_H = 2.7e-3;
    /// Torque constant, equal to the back-EMF constant in V·s/rad.
    double torque_constant_Nm_per_A = 0.45;
    double rotor_inertia_kgm2 = 3.2e-5;
    int full_steps_per_rev = 200;
    double detent_torque_Nm = 0.0;
    double viscous_friction_Nm_s_per_rad = 0.0;
    double coulomb_friction_Nm = 0.0;
    /// Where the shaft rests when the drive powers up (optional, default 0).
    double initial_angle_rad = 0.0;
};

struct LoadParams {
    double inertia_kgm2 = 0.0;
    /// Constant torque on the shaft (gravity on a vertical axis), positive in the
    /// positive direction of rotation.
    double torque_Nm = 0.0;
};

struct EncoderParams {
    int lines = 1000;
    bool reversed = false;
    bool connected = true;
    double index_angle_rad = 0.0;
};

struct DriveHardwareParams {
    double bus_voltage_V = 48.0;
    /// Current at which the phase current ADC reaches full scale (either sign).
    double peak_current_A = 8.0;
    double adc_max = 65520.0;
    double max_measurable_bus_V = 100.0;
    double dead_time_drop_V = 0.0;
    double current_noise_counts = 0.0;
    /// Processor clock of the drive; PWM and loop periods derive from it.
    double cpu_clock_Hz = 40e6;
};

struct AnalogueInputParams {
    double min_V = 0.0;
    double max_V = 0.0;
    double period_s = 1.0;
    /// Span of the input hardware: AD5 reads 0 at the bottom and 65472 at the top.
    double span_min_V = -10.0;
    double span_max_V = 10.0;
};

struct OperatorParams {
    double hand_turn_amplitude_rev = 0.0;
    double hand_turn_period_s = 2.0;
};

struct FaultParams {
    bool phase_a_open = false;
    bool phase_b_open = false;
    bool short_circuit = false;
    bool enable_inactive = false;
    bool positive_limit_active = false;
    bool negative_limit_active = false;
    bool brake_locked = false;
};

struct Scenario {
    std::uint64_t seed = 1;
    MotorParams motor;
    LoadParams load;
    EncoderParams encoder;
    DriveHardwareParams drive;
    AnalogueInputParams analogue_input;
    OperatorParams hand;
    FaultParams faults;
};

/// Parses a scenario from JSON text. Unknown keys, missing required keys and values
/// of the wrong type or out of range are refused with the place named in `error`.
std::optional<Scenario> ParseScenario(const std::string& json_text, std::string& error);
/// Reads and parses a scenario file.
std::optional<Scenario> LoadScenarioFile(const std::string& path, std::string& error);

}  // namespace orvex::sim
