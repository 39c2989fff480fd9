#pragma once
// The host's setup: every value the module reads or writes lives here, as named
// parameters, drive variables and text settings, with the drive's identity and its
// brake outputs. Names are unique without regard to letter case.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/setup/bulk_memory.h"
#include "host/setup/chip_link.h"
#include "host/setup/names.h"
#include "host/setup/parameter.h"
#include "host/setup/units.h"
#include "host/setup/variable.h"

/// While 0 the host keeps silent about a name not found; while nonzero a lookup of a
/// missing name is reported on stderr. Lookups that only probe save, clear and
/// restore it (see ScopedSilentLookup).
extern int g_bShowErrors;

namespace axis {

/// Clears g_bShowErrors for its lifetime and restores the previous value.
class ScopedSilentLookup {
  public:
    ScopedSilentLookup() : saved_(g_bShowErrors) { g_bShowErrors = 0; }
    ~ScopedSilentLookup() { g_bShowErrors = saved_; }
    ScopedSilentLookup(const ScopedSilentLookup&) = delete;
    ScopedSilentLookup& operator=(const ScopedSilentLookup&) = delete;

  private:
    int saved_;
};

/// The module's answer to "what is one internal unit of this quantity in its base
/// unit": base = (internal + offset) x factor. Installed on a setup by the host when
/// it has loaded the plug-in.
struct ScaleProvider {
    double (*factor)(CMC_Setup* setup, const char* unit, const char* name) = nullptr;
    double (*offset)(CMC_Setup* setup, const char* unit) = nullptr;
};

/// One entry of the drive's brake output table.
struct BrakeOutput {
    int port = 0;         ///< I/O port number the module stores ("MotorBrake_output")
    int pin = 0;          ///< pin number the drive register holds ("BRAKECFG" bits 8-15)
    std::string name;     ///< shown in the output list
    int enable_bits = 0;  ///< what IsBrakePortEnable reports (bits 4-5: 01 = NPN)
    bool inverted = false;
};

/// The drive's identity as the setup stores it.
struct DriveIdentity {
    std::string description;
    std::string product_id;
    std::string firmware_id;
    std::string user_app_id;
    int e2rom_words = 0;
};

}  // namespace axis

namespace axis {
/// The parameters of a setup in file order.
using ParameterList = std::vector<CMC_Parameter*, BulkAllocator<CMC_Parameter*>>;
}  // namespace axis

/// The parameters of a setup, in file order.
class CMC_Parameters {
  public:
    explicit CMC_Parameters(const axis::ParameterList* list) : list_(list) {}
    int GetParametersCount() const { return static_cast<int>(list_->size()); }
    CMC_Parameter* operator[](int i) const { return (*list_)[i]; }
    CMC_Parameter* GetAt(int i) const { return (*list_)[i]; }

  private:
    const axis::ParameterList* list_;
};

class CMC_Setup {
  public:
    CMC_Setup();
    ~CMC_Setup();
    CMC_Setup(const CMC_Setup&) = delete;
    CMC_Setup& operator=(const CMC_Setup&) = delete;

    // --- parameters ---------------------------------------------------------------
    /// The parameter or null; reports a missing name while g_bShowErrors is set.
    CMC_Parameter* FindParameter(std::string_view name) const;
    /// Adds a parameter; null when the name exists (in any letter case) or a unit is
    /// unknown or the display unit is not of the base unit's type.
    CMC_Parameter* AddParameter(const std::string& name, int type, const std::string& base_unit,
                                const std::string& display_unit, double value, double min,
                                double max);
    CMC_Parameters GetParameters() const { return CMC_Parameters(&parameters_); }
    /// A hint that a parameter of this name is about to be added or looked up: its place
    /// in the name index is fetched into the cache meanwhile (a loader reads the name
    /// first and the rest of the parameter after it).
    void ExpectParameter(std::string_view name) const { parameter_index_.Prefetch(name); }

    // By-name shortcuts. A missing name reads as 0 (and is reported while
    // g_bShowErrors is set); a setter for a missing name returns 0.
    double GetParameterValueInBaseUnit(std::string_view name) const;
    int SetParameterValueInBaseUnit(std::string_view name, double value);
    double GetParameterValueInInternalUnit(std::string_view name) const;
    int SetParameterValueInInternalUnit(std::string_view name, double value);
    /// In the parameter's display unit.
    double GetParameterValue(std::string_view name) const;
    /// The display unit's name; empty when the parameter is missing.
    std::string GetParameterUnit(std::string_view name) const;
    int ChangeParameterUnit(std::string_view name, const std::string& unit);

    // --- drive variables ----------------------------------------------------------
    /// The drive variable or null (`report` nonzero: a missing name is reported while
    /// g_bShowErrors is set).
    CMC_Variable* FindVariable(std::string_view name, int report = 1) const;
    CMC_Variable* AddVariable(const std::string& name, const std::string& base_unit,
                              const std::string& display_unit);
    int GetVariablesCount() const { return static_cast<int>(variables_.size()); }
    CMC_Variable* GetVariableAt(int i) const { return variables_[i].get(); }

    // --- text settings ------------------------------------------------------------
    /// The setting as an integer (leading digits, as atoi); 0 when absent (reported
    /// while g_bShowErrors is set).
    int GetIntOption(std::string_view name) const;
    /// The setting as text, empty when absent; never reports.
    std::string GetOptionNoError(std::string_view name) const;
    void SetOption(std::string_view name, const std::string& text);
    void ClearOption(std::string_view name);
    /// Settings in insertion order (name as first written, text).
    const std::vector<std::pair<std::string, std::string>>& GetOptions() const { return options_; }

    // --- units --------------------------------------------------------------------
    CMC_Units* GetUnits() { return &units_; }
    const CMC_Units* GetUnits() const { return &units_; }
    int MergeDerivedUnit(std::string_view unit, std::string_view base_unit, double factor,
                         double offset) {
        return units_.MergeDerivedUnit(unit, base_unit, factor, offset);
    }
    void SetScaleProvider(axis::ScaleProvider provider) { scale_ = provider; }
    const axis::ScaleProvider& GetScaleProvider() const { return scale_; }
    /// The provider's factor and offset for `unit` and `name` (1 and 0 without one).
    double ScaleFactor(const std::string& unit, const std::string& name) const;
    double ScaleOffset(const std::string& unit) const;

    // --- identity -----------------------------------------------------------------
    const std::string& GetDescription() const { return identity_.description; }
    int SetDescription(const std::string& text);
    const std::string& GetProductID() const { return identity_.product_id; }
    int SetProductID(const std::string& text);
    const std::string& GetFirmwareID() const { return identity_.firmware_id; }
    /// 0 for an empty or over-long (more than 64 characters) firmware ID.
    int SetFirmwareID(const std::string& text);
    const std::string& GetUserAppID() const { return identity_.user_app_id; }
    int SetUserAppID(const std::string& text);
    int GetE2ROMSize() const { return identity_.e2rom_words; }
    int SetE2ROMSize(int words);
    const std::string& GetHelpFile() const { return help_file_; }
    void SetHelpFile(const std::string& name) { help_file_ = name; }

    // --- brake outputs ------------------------------------------------------------
    void SetBrakeOutputs(std::vector<axis::BrakeOutput> outputs) {
        brake_outputs_ = std::move(outputs);
    }
    const std::vector<axis::BrakeOutput>& GetBrakeOutputs() const { return brake_outputs_; }
    int GetNumberOfBrakeOutputs() const { return static_cast<int>(brake_outputs_.size()); }
    /// The port whose pin this is, -1 when none.
    int GetIOPortFromPin(int pin) const;
    /// The pin of this port, -1 when none.
    int GetIOPinFromPort(int port) const;
    /// The port's enable bits (bits 4-5: 01 = NPN output), 0 when unknown.
    int IsBrakePortEnable(int port) const;
    bool IsIOVX5PortInverted(int port) const;
    /// Fills a list through `add_item(text, port)` and returns the index of
    /// `current_port` in it (-1 when absent). The UI layer wraps it for its combo boxes.
    int FillIOBrakeCombo(const std::function<void(const std::string&, int)>& add_item,
                         int current_port) const;

    // --- host services ------------------------------------------------------------
    /// Where the module's pictures live (a resource prefix or folder).
    const std::string& GetGuiModule() const { return gui_module_; }
    void SetGuiModule(const std::string& module) { gui_module_ = module; }
    /// Sends a command string to the drive; nonzero on success.
    int ExecuteString(const std::string& command, int flags = 0, void* reserved = nullptr);
    void SetChipLink(axis::ChipLink* link) { chip_link_ = link; }
    axis::ChipLink* GetChipLink() const { return chip_link_; }
    /// The last drive access error ("No drive connected." ...).
    const std::string& GetLastDriveError() const { return last_drive_error_; }
    void SetLastDriveError(const std::string& text) const { last_drive_error_ = text; }

    /// Top-level members of the setup file this model does not know, kept verbatim
    /// (JSON text) so that load then save loses nothing.
    std::map<std::string, std::string>& ExtraFileMembers() { return extra_; }
    const std::map<std::string, std::string>& ExtraFileMembers() const { return extra_; }

  private:
    void ReportMissing(const char* kind, std::string_view name) const;
    /// The catalogue's base unit and a display unit of its type (the base unit when
    /// none is given); false when either is not in the catalogue.
    bool ResolveUnits(const std::string& base_unit, const std::string& display_unit,
                      const CMC_Unit*& base, const CMC_Unit*& shown) const;

    // Declared before the parameters, which point into it.
    CMC_Units units_;
    // The parameters themselves live in the arena, which never moves them; the list
    // keeps their order.
    axis::BlockArena<CMC_Parameter> parameter_store_;
    axis::ParameterList parameters_;
    // Name look-ups go through these indexes: a hash keeps a look-up flat however many
    // parameters a setup has.
    axis::NameIndex<CMC_Parameter> parameter_index_;
    std::vector<std::unique_ptr<CMC_Variable>> variables_;
    axis::NameIndex<CMC_Variable> variable_index_;
    std::vector<std::pair<std::string, std::string>> options_;
    axis::ScaleProvider scale_;
    axis::DriveIdentity identity_;
    std::string help_file_;
    std::vector<axis::BrakeOutput> brake_outputs_;
    std::string gui_module_;
    axis::ChipLink* chip_link_ = nullptr;
    mutable std::string last_drive_error_;
    std::map<std::string, std::string> extra_;
};

/// Full scale of the drive's ADC: the setting "ADCMaxValue" when present, else 65520.
unsigned int Compute_ADCMaxValue(const CMC_Setup* setup);
