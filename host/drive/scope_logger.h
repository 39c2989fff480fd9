#pragma once
// The drive's oscilloscope: while a program runs the drive streams the chosen
// variables as scope frames (unsolicited messages); the host collects the points
// into a capture of a fixed time window, free-running or started by a trigger.
//
// Trigger modes: 1 free-running (the window rolls over continuously), 2 repeated
// (every trigger starts a new capture), 4 single (one capture after the first
// trigger, then the scope stops: DoGracefulStop reports it). Slope 1 triggers on a
// rising crossing of the level, 0 on a falling one. The pretrigger is the share of
// the window, in percent, recorded before the trigger.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host/drive/logger.h"

class QWidget;

namespace axis {
/// The smallest division of the 1-2-5 series (..., 0.1, 0.2, 0.5, 1, 2, 5, 10, ...)
/// that covers `x`: d = 10^ceil(log10 x), then d / 5 or d / 2 while that still
/// covers x. For x <= 0 the series starts from 1, which gives 0.2.
double Division125(double x);
/// The division `steps` places along the 1-2-5 series from `division` (positive:
/// coarser); a division off the series first snaps to the one that covers it.
double StepDivision125(double division, int steps);
}  // namespace axis

class CMC_ScopeLogger : public CMC_Logger {
  public:
    /// Word 2 of every scope frame.
    static constexpr std::uint16_t kFrameTag = 0xE900;

    /// How a logged variable is shown: `division` per grid division in `unit`, and an
    /// offset, both in that unit.
    struct ChannelScale {
        std::string variable;
        std::string unit;
        double division = 1.0;
        double offset = 0.0;
    };

    /// Most points one capture holds, whatever the window.
    static constexpr unsigned kMaxPoints = 100000;

    CMC_ScopeLogger(CMC_Setup* setup, CMC_CoffFormat* program);

    /// Capture settings: a window of `window_s` seconds; `trigger_mode` 1, 2 or 4;
    /// `trigger_slope` 1 rising, 0 falling; the trigger variable (one of the logged
    /// ones; null or empty for none, which makes the capture free-running); the
    /// level in the trigger variable's base unit; the pretrigger in percent (0-100).
    /// Unlike the data logger's, it keeps the variables added. 0 (nothing changed)
    /// for a window that is not positive, an unknown mode or a pretrigger above 100.
    int ChangeSettings(double window_s, int trigger_mode, int trigger_slope,
                       const char* trigger_variable, double level, unsigned pretrigger_percent);
    /// Back to a free-running 1 s window without variables or scales.
    void SetDefaultValues();

    /// Sets how `variable` is shown; 0 when it is not logged.
    int RescaleVariable(const char* variable, const char* unit, double division, double offset);
    const std::vector<ChannelScale>& GetChannelScales() const { return scales_; }

    /// Keeps the settings (window, trigger, variables, scales, and the curves,
    /// background and float list of the graph's first filter) in the setup's text
    /// setting `option` / takes them back from it. Load gives 0, changing nothing,
    /// when the setting is absent or not readable.
    int SaveSettingsToSetupOption(const char* option) const;
    int LoadSettingsFromSetupOption(const char* option);

    /// Starts the drive streaming the logged variables; the capture starts empty.
    int BeginUploadData() override;
    /// Nonzero while the drive streams.
    int UploadInProgress() const override { return streaming_ ? 1 : 0; }
    /// Stops the streaming.
    int EndUploadData() override;
    /// Nonzero once a single capture is complete.
    int DoGracefulStop() const { return single_done_ ? 1 : 0; }

    /// Takes one unsolicited message as the communication layer delivered it: `count`
    /// words, the three header words first. The lengths are checked against `count`
    /// before anything is read: a message shorter than its header, a payload length
    /// (word 0) other than what follows the header, or a payload that does not match
    /// the logged variables is dropped and counted (0). A gap in the sequence numbers
    /// (word 1) counts the frames lost on the way. Returns the number of points
    /// taken, -1 when not streaming. The tag (word 2) is the caller's to check.
    int OnScopeMessage(const std::uint16_t* words, std::size_t count);
    /// Frames refused as malformed since streaming began.
    unsigned GetDroppedFrames() const { return dropped_frames_; }
    /// Frames missing from the sequence numbers since streaming began.
    unsigned GetLostFrames() const { return lost_frames_; }

    /// Shows the capture settings dialog (window, trigger, pretrigger) through the
    /// modal seam; nonzero when the user confirmed changed settings.
    int Edit(QWidget* parent);
    /// Gives every logged variable a scale that fits what the capture holds: eight
    /// divisions around the middle of its range, in the unit of its scale (base unit
    /// when it has none). 0 when the capture holds no point.
    int Autoscale();
    /// Moves the division of `channel` (0-based, in the order the variables were
    /// added) `step` places along the 1-2-5 series, keeping its offset; a channel
    /// without a scale starts from a division of 1. 0 for an unknown channel or a zero
    /// step.
    int ChangeChannelScale(int channel, int step);

    /// Takes the payload of one scope frame (`byte_count` bytes: the frame without
    /// its three header words). Returns the number of points taken, 0 for a payload
    /// that does not fit the logged variables (nothing taken), -1 when not streaming.
    int OnFrameReceive(int byte_count, const unsigned char* payload);
    /// The points added to the capture since the last call: `count` points from
    /// index `first`, wrapping at GetPointsNo().
    void GetPointsToBeDrawn(unsigned& first, unsigned& count);
    /// Capture point `index` (time relative to the trigger, then one value per
    /// variable), or null when it holds nothing yet.
    const double* GetCapturePoint(unsigned index) const;

    /// While a capture is held, its points (ring order); else the points of the last run.
    size_t GetDrawablePointCount() const override;
    const double* GetDrawablePoint(size_t index) const override;
    /// A scaled channel in divisions from the centre line: (value in the scale's unit
    /// - offset) / division; an unscaled one as the drive gives it.
    double DisplayValue(int item, double value) const override;

    double GetWindow() const { return window_s_; }
    int GetTriggerMode() const { return trigger_mode_; }
    int GetTriggerSlope() const { return trigger_slope_; }
    const std::string& GetTriggerVariable() const { return trigger_variable_; }
    double GetTriggerLevel() const { return level_; }
    unsigned GetPretrigger() const { return pretrigger_percent_; }

  private:
    int Drop();
    /// `drive_value` of logged variable `channel` in `unit` (the base unit when empty).
    double ToChannelUnit(size_t channel, const std::string& unit, double drive_value) const;
    void TakePoint(std::vector<double> point);
    void Store(std::vector<double> point);
    void StartCapture(double trigger_time_s);
    /// The level in drive units of the trigger variable.
    double LevelInDriveUnits() const;

    double window_s_ = 1.0;
    int trigger_mode_ = 1;
    int trigger_slope_ = 1;
    std::string trigger_variable_;
    double level_ = 0.0;
    unsigned pretrigger_percent_ = 0;
    std::vector<ChannelScale> scales_;

    // Streaming and capture.
    bool streaming_ = false;
    enum class Capture { kFreeRunning, kArmed, kCapturing, kDone } capture_ = Capture::kFreeRunning;
    std::vector<std::vector<double>> buffer_;  // GetPointsNo() points
    unsigned written_ = 0;                     // points written into buffer_ this capture
    unsigned next_undrawn_ = 0;
    unsigned undrawn_ = 0;
    bool single_done_ = false;
    std::deque<std::vector<double>> history_;  // the pretrigger points while armed
    double trigger_time_s_ = 0.0;
    double level_drive_ = 0.0;
    int trigger_channel_ = -1;  // index into a point, -1: none
    bool have_previous_ = false;
    double previous_ = 0.0;
    unsigned dropped_frames_ = 0;
    unsigned lost_frames_ = 0;
    bool have_sequence_ = false;
    std::uint16_t last_sequence_ = 0;
};
