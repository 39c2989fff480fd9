#pragma once
// The CANbus baud-rate list of the drive setup dialog, kept in the setup setting
// "CANBaudRate" (bit/s, as text).

class CMC_Setup;
class QAbstractButton;
class QComboBox;

namespace axis {

/// The setting that holds the baud rate, in bit/s.
inline constexpr const char* kCanBaudRateSetting = "CANBaudRate";

class CanSettings {
public:
    /// Fills `list` with the CANopen bit rates and selects the setting's value (none
    /// when the setting is absent or not one of them). A choice writes the setting.
    /// `canopen_settings` (may be null) is disabled: this host has no CANopen editor.
    CanSettings(CMC_Setup* setup, QComboBox* list, QAbstractButton* canopen_settings);
    /// Selects the setting's value again.
    void Redraw();

private:
    CMC_Setup* setup_;
    QComboBox* list_;
};

}  // namespace axis
