#include "host/setup/variable.h"

#include <cmath>
#include <cstdio>

#include "host/setup/setup.h"

CMC_Variable::CMC_Variable(CMC_Setup* setup, std::string name, std::string base_unit,
                           std::string display_unit)
    : setup_(setup),
      name_(std::move(name)),
      base_unit_(std::move(base_unit)),
      display_unit_(std::move(display_unit)) {}

int CMC_Variable::ReadFromChip() {
    axis::ChipLink* link = setup_->GetChipLink();
    if (!link) {
        setup_->SetLastDriveError("No drive connected.");
        return 0;
    }
    std::string error;
    double value = 0.0;
    if (!link->ReadVariable(name_, value, error)) {
        setup_->SetLastDriveError(error);
        return 0;
    }
    internal_ = value;
    return 1;
}

int CMC_Variable::WriteToChip() {
    axis::ChipLink* link = setup_->GetChipLink();
    if (!link) {
        setup_->SetLastDriveError("No drive connected.");
        return 0;
    }
    std::string error;
    if (!link->WriteVariable(name_, internal_, error)) {
        setup_->SetLastDriveError(error);
        return 0;
    }
    return 1;
}

double CMC_Variable::GetValueInBaseUnit() const {
    if (base_unit_.empty()) return internal_;
    return (internal_ + setup_->ScaleOffset(base_unit_)) * setup_->ScaleFactor(base_unit_, name_);
}

int CMC_Variable::SetValueInBaseUnit(double base) {
    if (!std::isfinite(base)) return 0;
    double internal = base;
    if (!base_unit_.empty())
        internal = base / setup_->ScaleFactor(base_unit_, name_) - setup_->ScaleOffset(base_unit_);
    if (!std::isfinite(internal)) return 0;
    internal_ = internal;
    return 1;
}

const CMC_UnitType* CMC_Variable::GetUnitType() const {
    const CMC_Unit* base = setup_->GetUnits()->FindBaseUnit(base_unit_);
    return base ? base->GetUnitType() : nullptr;
}

double CMC_Variable::GetValue() const {
    const CMC_UnitType* type = GetUnitType();
    const CMC_Unit* unit = type ? type->FindUnit(display_unit_) : nullptr;
    const double base = GetValueInBaseUnit();
    return unit ? unit->FromBase(base) : base;
}

int CMC_Variable::ChangeUnit(const std::string& unit_name) {
    const CMC_UnitType* type = GetUnitType();
    if (type && type->FindUnit(unit_name)) {
        display_unit_ = type->FindUnit(unit_name)->GetName();
        return 1;
    }
    return ChangeUnitType(unit_name);
}

int CMC_Variable::ChangeUnitType(const std::string& unit_name) {
    const CMC_Unit* unit = setup_->GetUnits()->FindUnit(unit_name);
    if (!unit) return 0;
    base_unit_ = unit->GetUnitType()->GetBaseUnit()->GetName();
    display_unit_ = unit->GetName();
    return 1;
}

std::string CMC_Variable::PrintValue(int decimals) const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals < 0 ? 0 : decimals, GetValue());
    std::string text(buf);
    if (HasSelectedUnit()) text += " " + display_unit_;
    return text;
}
