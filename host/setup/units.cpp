#include "host/setup/units.h"

#include <cmath>
#include <numbers>

#include "host/setup/names.h"

namespace {
constexpr double kPi = std::numbers::pi;
}

const CMC_Unit* CMC_UnitType::FindUnit(std::string_view name) const {
    for (const auto& u : units_)
        if (axis::NamesEqual(u->GetName(), name)) return u.get();
    return nullptr;
}

CMC_UnitType* CMC_Units::AddType(std::string name, std::string base_unit) {
    types_.push_back(std::make_unique<CMC_UnitType>(std::move(name)));
    CMC_UnitType* type = types_.back().get();
    AddUnit(type, std::move(base_unit), 1.0);
    return type;
}

void CMC_Units::AddUnit(CMC_UnitType* type, std::string name, double factor, double offset) {
    type->units_.push_back(std::make_unique<CMC_Unit>(std::move(name), factor, offset, type));
}

CMC_Units::CMC_Units() {
    // Base units are the SI units the module computes in. Derived factors give
    // display units per base unit.
    auto* angle = AddType("angle", "rad");
    AddUnit(angle, "rot", 1.0 / (2 * kPi));
    AddUnit(angle, "deg", 180.0 / kPi);
    auto* length = AddType("length", "m");
    AddUnit(length, "mm", 1e3);
    AddUnit(length, "um", 1e6);
    auto* aspeed = AddType("angular speed", "rad/s");
    AddUnit(aspeed, "rpm", 60.0 / (2 * kPi));
    AddUnit(aspeed, "rps", 1.0 / (2 * kPi));
    auto* lspeed = AddType("linear speed", "m/s");
    AddUnit(lspeed, "mm/s", 1e3);
    auto* aacc = AddType("angular acceleration", "rad/s^2");
    AddUnit(aacc, "rot/s^2", 1.0 / (2 * kPi));
    AddUnit(aacc, "rpm/s", 60.0 / (2 * kPi));
    auto* lacc = AddType("linear acceleration", "m/s^2");
    AddUnit(lacc, "mm/s^2", 1e3);
    auto* ajerk = AddType("angular jerk", "rad/s^3");
    AddUnit(ajerk, "rot/s^3", 1.0 / (2 * kPi));
    auto* ljerk = AddType("linear jerk", "m/s^3");
    AddUnit(ljerk, "mm/s^3", 1e3);
    auto* current = AddType("current", "A");
    AddUnit(current, "mA", 1e3);
    auto* voltage = AddType("voltage", "V");
    AddUnit(voltage, "mV", 1e3);
    // The supply voltage as the drive measures it, scaled by the measurement ADC
    // rather than the PWM: a unit of its own ("V" and a space) so that the module's
    // scale factor can tell the two apart.
    AddType("measured voltage", "V ");
    auto* time = AddType("time", "s");
    AddUnit(time, "ms", 1e3);
    AddUnit(time, "µs", 1e6);
    auto* freq = AddType("frequency", "Hz");
    AddUnit(freq, "kHz", 1e-3);
    // Bandwidths and filter corners are stored in 1/s (rad/s of the loop) and may be
    // shown in Hz.
    auto* rate = AddType("rate", "1/s");
    AddUnit(rate, "Hz", 1.0 / (2 * kPi));
    auto* resistance = AddType("resistance", "Ohm");
    AddUnit(resistance, "mOhm", 1e3);
    auto* inductance = AddType("inductance", "H");
    AddUnit(inductance, "mH", 1e3);
    AddUnit(inductance, "µH", 1e6);
    auto* inertia = AddType("inertia", "kg*m^2");
    AddUnit(inertia, "g*cm^2", 1e7);
    AddUnit(inertia, "kg*cm^2", 1e4);
    AddType("torque constant", "Nm/A");
    auto* torque = AddType("torque", "Nm");
    AddUnit(torque, "mNm", 1e3);
    AddType("viscous friction", "Nm*s/rad");
    AddType("mass", "kg");
    AddType("temperature", "°C");
    AddType("temperature gain", "V/°C");
    AddType("percent", "%");
    auto* vslope = AddType("voltage slope", "V/s");
    AddUnit(vslope, "V/ms", 1e-3);
    auto* aslope = AddType("current slope", "A/s");
    AddUnit(aslope, "A/ms", 1e-3);
    AddType("current squared time", "A^2*s");
    AddType("unitless", "");
}

const CMC_Unit* CMC_Units::FindBaseUnit(std::string_view name) const {
    for (const auto& t : types_)
        if (axis::NamesEqual(t->GetBaseUnit()->GetName(), name)) return t->GetBaseUnit();
    return nullptr;
}

const CMC_Unit* CMC_Units::FindUnit(std::string_view name) const {
    if (const CMC_Unit* base = FindBaseUnit(name)) return base;
    for (const auto& t : types_)
        if (const CMC_Unit* u = t->FindUnit(name)) return u;
    return nullptr;
}

const CMC_UnitType* CMC_Units::FindUnitTypeOf(std::string_view unit_name) const {
    const CMC_Unit* u = FindUnit(unit_name);
    return u ? u->GetUnitType() : nullptr;
}

int CMC_Units::MergeDerivedUnit(std::string_view unit, std::string_view base_unit, double factor,
                                double offset) {
    const CMC_Unit* base = FindBaseUnit(base_unit);
    if (!base || unit.empty() || !std::isfinite(factor) || factor == 0.0 || !std::isfinite(offset))
        return 0;
    if (FindBaseUnit(unit)) return 0;
    auto* type = const_cast<CMC_UnitType*>(base->GetUnitType());
    for (auto& u : type->units_) {
        if (axis::NamesEqual(u->GetName(), unit)) {
            u->factor_ = factor;
            u->offset_ = offset;
            return 1;
        }
    }
    AddUnit(type, std::string(unit), factor, offset);
    return 1;
}
