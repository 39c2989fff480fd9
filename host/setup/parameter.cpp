#include "host/setup/parameter.h"

#include <cmath>

#include "host/setup/setup.h"

CMC_Parameter::CMC_Parameter(CMC_Setup* setup, std::string name, int type,
                             const CMC_Unit* base_unit, const CMC_Unit* display_unit, double value,
                             double min, double max)
    : setup_(setup),
      name_(std::move(name)),
      type_(type),
      base_unit_(base_unit),
      display_unit_(display_unit),
      value_(value),
      min_(min),
      max_(max) {}

const std::string& CMC_Parameter::GetUnitName() const {
    return display_unit_->GetName();
}

const std::string& CMC_Parameter::GetBaseUnitName() const {
    return base_unit_->GetName();
}

int CMC_Parameter::SetValueInBaseUnit(double value) {
    if (!std::isfinite(value)) return 0;
    if (value > max_) value = max_;
    if (value < min_) value = min_;
    value_ = value;
    return 1;
}

double CMC_Parameter::ToInternal(double base) const {
    if (IsOption()) return base;
    const double factor = setup_->ScaleFactor(base_unit_->GetName(), name_);
    const double offset = setup_->ScaleOffset(base_unit_->GetName());
    return base / factor - offset;
}

double CMC_Parameter::FromInternal(double internal) const {
    if (IsOption()) return internal;
    const double factor = setup_->ScaleFactor(base_unit_->GetName(), name_);
    const double offset = setup_->ScaleOffset(base_unit_->GetName());
    return (internal + offset) * factor;
}

double CMC_Parameter::GetValueInInternalUnit() const {
    return ToInternal(value_);
}

int CMC_Parameter::SetValueInInternalUnit(double internal) {
    return SetValueInBaseUnit(FromInternal(internal));
}

const CMC_UnitType* CMC_Parameter::GetUnitType() const {
    return base_unit_->GetUnitType();
}

double CMC_Parameter::GetValue() const {
    return display_unit_->FromBase(value_);
}

int CMC_Parameter::SetValue(double display_value) {
    return SetValueInBaseUnit(display_unit_->ToBase(display_value));
}

int CMC_Parameter::SetMinInBaseUnit(double min) {
    if (!std::isfinite(min)) return 0;
    min_ = min;
    return 1;
}

int CMC_Parameter::SetMaxInBaseUnit(double max) {
    if (!std::isfinite(max)) return 0;
    max_ = max;
    return 1;
}

int CMC_Parameter::SetMinInInternalUnit(double min) {
    return SetMinInBaseUnit(FromInternal(min));
}
int CMC_Parameter::SetMaxInInternalUnit(double max) {
    return SetMaxInBaseUnit(FromInternal(max));
}

int CMC_Parameter::ChangeUnit(const std::string& display_unit) {
    const CMC_Unit* unit = GetUnitType()->FindUnit(display_unit);
    if (!unit) return 0;
    display_unit_ = unit;
    return 1;
}

int CMC_Parameter::ChangeUnitType(const std::string& unit_name) {
    const CMC_Unit* unit = setup_->GetUnits()->FindUnit(unit_name);
    if (!unit) return 0;
    base_unit_ = unit->GetUnitType()->GetBaseUnit();
    display_unit_ = unit;
    return 1;
}

int CMC_Parameter::WriteToChip() {
    axis::ChipLink* link = setup_->GetChipLink();
    if (!link) {
        setup_->SetLastDriveError("No drive connected.");
        return 0;
    }
    const int bits = type_ == kTypeOption16 ? 16 : type_ == kTypeOption32 ? 32 : 0;
    const double internal = GetValueInInternalUnit();
    if (!std::isfinite(internal)) {
        setup_->SetLastDriveError("Parameter \"" + name_ + "\" has no finite drive value.");
        return 0;
    }
    std::string error;
    if (!link->WriteParameter(name_, internal, bits, error)) {
        setup_->SetLastDriveError(error);
        return 0;
    }
    return 1;
}
