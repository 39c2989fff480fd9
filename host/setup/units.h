#pragma once
// The unit catalogue of a setup. Units are grouped in unit types (angle, current,
// time ...); each type has one base unit, in which parameter values are stored,
// and derived units for display: display = base x factor + offset.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CMC_UnitType;

/// One unit of a unit type.
class CMC_Unit {
  public:
    CMC_Unit(std::string name, double factor, double offset, const CMC_UnitType* type)
        : name_(std::move(name)), factor_(factor), offset_(offset), type_(type) {}

    const std::string& GetName() const { return name_; }
    /// display = base x factor + offset
    double GetFactor() const { return factor_; }
    double GetOffset() const { return offset_; }
    const CMC_UnitType* GetUnitType() const { return type_; }

    double FromBase(double base) const { return base * factor_ + offset_; }
    double ToBase(double display) const { return (display - offset_) / factor_; }

  private:
    friend class CMC_Units;
    std::string name_;
    double factor_;
    double offset_;
    const CMC_UnitType* type_;
};

/// A kind of quantity: its base unit first, then its derived units in catalogue order.
class CMC_UnitType {
  public:
    explicit CMC_UnitType(std::string name) : name_(std::move(name)) {}
    const std::string& GetName() const { return name_; }
    const CMC_Unit* GetBaseUnit() const { return units_.empty() ? nullptr : units_.front().get(); }
    /// The unit of this type with that name (case-insensitive, exact bytes otherwise).
    const CMC_Unit* FindUnit(std::string_view name) const;
    size_t GetUnitCount() const { return units_.size(); }
    const CMC_Unit* GetUnit(size_t i) const { return units_[i].get(); }

  private:
    friend class CMC_Units;
    std::string name_;
    std::vector<std::unique_ptr<CMC_Unit>> units_;
};

/// The catalogue. Each setup owns one, so units merged into it ("steps" ...) stay
/// with that setup.
class CMC_Units {
  public:
    /// The built-in catalogue.
    CMC_Units();
    CMC_Units(const CMC_Units&) = delete;
    CMC_Units& operator=(const CMC_Units&) = delete;

    /// The base unit with this name, or null.
    const CMC_Unit* FindBaseUnit(std::string_view name) const;
    /// Any unit with this name: a base unit first, else the first derived unit found.
    const CMC_Unit* FindUnit(std::string_view name) const;
    /// The unit type whose base unit or derived unit has this name, or null.
    const CMC_UnitType* FindUnitTypeOf(std::string_view unit_name) const;

    /// Defines or replaces `unit` as `factor` x `base_unit` + `offset` in the type of
    /// `base_unit`. Returns 0 when the base unit is unknown, the factor is zero or not
    /// finite, or `unit` names a base unit; else nonzero.
    int MergeDerivedUnit(std::string_view unit, std::string_view base_unit, double factor,
                         double offset);

    size_t GetUnitTypeCount() const { return types_.size(); }
    const CMC_UnitType* GetUnitTypeAt(size_t i) const { return types_[i].get(); }

  private:
    CMC_UnitType* AddType(std::string name, std::string base_unit);
    void AddUnit(CMC_UnitType* type, std::string name, double factor, double offset = 0.0);

    std::vector<std::unique_ptr<CMC_UnitType>> types_;
};
