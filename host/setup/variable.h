#pragma once
// A drive variable: a named quantity read from and written to the connected drive.
// It holds the last value read, in drive (internal) units, and has a base unit and a
// display unit like a parameter.

#include <string>

class CMC_Setup;
class CMC_UnitType;

class CMC_Variable {
  public:
    CMC_Variable(CMC_Setup* setup, std::string name, std::string base_unit,
                 std::string display_unit);

    const std::string& GetName() const { return name_; }

    /// Reads the variable from the drive; nonzero on success (the setup's last drive
    /// error says why not).
    int ReadFromChip();
    /// Writes the held value to the drive; nonzero on success.
    int WriteToChip();

    double GetValueInInternalUnit() const { return internal_; }
    void SetValueInInternalUnit(double internal) { internal_ = internal; }
    double GetValueInBaseUnit() const;
    /// Refuses a non-finite value (returns 0).
    int SetValueInBaseUnit(double base);
    /// In the selected display unit.
    double GetValue() const;

    const std::string& GetUnitName() const { return display_unit_; }
    const std::string& GetBaseUnitName() const { return base_unit_; }
    const CMC_UnitType* GetUnitType() const;
    /// Selects a display unit; a unit of another type changes the unit type too.
    int ChangeUnit(const std::string& unit);
    /// Gives the variable the unit type of `unit`, shown in `unit`.
    int ChangeUnitType(const std::string& unit);
    /// True when a display unit other than none is selected.
    bool HasSelectedUnit() const { return !display_unit_.empty(); }
    /// The value in the display unit as text, with `decimals` decimals, and the unit.
    std::string PrintValue(int decimals = 3) const;

  private:
    CMC_Setup* setup_;
    std::string name_;
    std::string base_unit_;
    std::string display_unit_;
    double internal_ = 0.0;
};
