#pragma once
// "Analogue Reference Test": until the user presses Stop, reads the analogue
// reference input every 20 ms and shows the input voltage and the command this
// voltage means under the present control mode and limits, each as a number and
// as a bar. Writes nothing into the setup. Stop ends the test: a success when the
// reference was read at least once (every reading is checked as it comes: a lost
// reading or a short circuit ends the test at once), a failure when it never was.

#include <memory>
#include <string>

#include "compute/drive_test_readings.h"
#include "identification/my_test_dlg.h"

namespace Ui {
class TestAnalogueRef;
}
class CBarGraph;

class CTestAnalogueRef : public CMyTestDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262404;
    /// Failure: Stop came before the first reading, so nothing was checked.
    static const char* const kNoReadingText;

    CTestAnalogueRef(CMC_Setup* setup, int flag, QWidget* parent);
    ~CTestAnalogueRef() override;

    bool OnInitDialog() override;
    void BeginTest() override;

    CBarGraph* VoltageBar() const { return voltage_bar_; }
    CBarGraph* CommandBar() const { return command_bar_; }
    orvex::ReadingRange VoltageRange() const { return voltage_range_; }
    orvex::ReadingRange CommandRange() const { return command_range_; }
    /// "Position command", "Speed command", "Current command"; empty for a control
    /// mode that commands none of these.
    const std::string& CommandLabel() const { return command_label_; }

    /// The readings of the last run: the last voltage and command, the lowest and
    /// highest voltage, and how many readings there were.
    std::vector<IdentifiedValue> IdentifiedValues() const override;

  private:
    void OnTestTick() override;
    void ShowReading(CBarGraph* bar, orvex::ReadingRange range, double value);

    std::unique_ptr<Ui::TestAnalogueRef> ui_;
    CBarGraph* voltage_bar_ = nullptr;  ///< owned by its placeholder frame
    CBarGraph* command_bar_ = nullptr;
    orvex::ReadingRange voltage_range_;
    orvex::ReadingRange command_range_;
    bool has_command_ = false;
    std::string command_label_;
    std::string command_unit_;
    struct Readings {
        int count = 0;
        double last_V = 0.0;
        double lowest_V = 0.0;
        double highest_V = 0.0;
        double last_command = 0.0;
    };
    Readings readings_;
};
