#pragma once
// A named value of the setup: a double in its physical base unit with limits, a
// display unit and a value type. Options (drive registers) have no unit.

#include <string>

class CMC_Setup;
class CMC_Unit;
class CMC_UnitType;

/// Value types as `GetType` reports them.
enum ParameterType : int {
    kTypeReal = 0,
    kTypeInteger = 1,
    kTypeSwitch = 2,
    kTypeChoice = 3,
    kTypeText = 4,
    kTypeOption16 = 5,
    kTypeOption32 = 6,
};

class CMC_Parameter {
  public:
    /// The units are the setup's own (its catalogue never drops a unit); an option has
    /// the unitless unit for both.
    CMC_Parameter(CMC_Setup* setup, std::string name, int type, const CMC_Unit* base_unit,
                  const CMC_Unit* display_unit, double value, double min, double max);

    const std::string& GetName() const { return name_; }
    int GetType() const { return type_; }
    bool IsOption() const { return type_ == kTypeOption16 || type_ == kTypeOption32; }

    double GetValueInBaseUnit() const { return value_; }
    /// Clamps to the limits (above the maximum: the maximum; then below the minimum:
    /// the minimum). A non-finite value is refused: the value stays and 0 is returned.
    int SetValueInBaseUnit(double value);
    /// internal = base / factor - offset, from the module's scale provider; an option
    /// is its own register value.
    double GetValueInInternalUnit() const;
    int SetValueInInternalUnit(double internal);
    /// The value in the display unit the user has chosen.
    double GetValue() const;
    int SetValue(double display_value);

    double GetMinInBaseUnit() const { return min_; }
    double GetMaxInBaseUnit() const { return max_; }
    /// The limit setters store any finite limit as given (they neither reorder the
    /// limits nor move the value) and refuse a non-finite one (return 0).
    int SetMinInBaseUnit(double min);
    int SetMaxInBaseUnit(double max);
    int SetMinInInternalUnit(double min);
    int SetMaxInInternalUnit(double max);
    double GetMinInInternalUnit() const { return ToInternal(min_); }
    double GetMaxInInternalUnit() const { return ToInternal(max_); }

    /// The display unit's name (the unit the user has chosen).
    const std::string& GetUnitName() const;
    /// The base unit's name; it fixes the unit type. Empty for none.
    const std::string& GetBaseUnitName() const;
    const CMC_UnitType* GetUnitType() const;
    /// Selects another display unit of the same unit type; 0 when it is not one.
    int ChangeUnit(const std::string& display_unit);
    /// Gives the parameter the unit type of `unit` (its base unit becomes that type's
    /// base unit, its display unit `unit`) and keeps the base value. 0 when unknown.
    int ChangeUnitType(const std::string& unit);

    /// Writes the parameter to the connected drive; nonzero on success.
    int WriteToChip();

    /// Conversions with this parameter's scale (options: identity).
    double ToInternal(double base) const;
    double FromInternal(double internal) const;

    CMC_Setup* GetSetup() const { return setup_; }

    /// Used by the setup file loader to restore values exactly as stored, even when
    /// they lie outside the limits.
    void RestoreStored(double value, double min, double max) {
        value_ = value;
        min_ = min;
        max_ = max;
    }

  private:
    CMC_Setup* setup_;
    std::string name_;
    int type_;
    // Units by reference into the catalogue, not by name: a setup of a million
    // parameters then holds no unit text per parameter, and the unit type is at hand.
    const CMC_Unit* base_unit_;
    const CMC_Unit* display_unit_;
    double value_;
    double min_;
    double max_;
};
