#pragma once
// CMC_Oscilloscope: two channels rolling across a fixed time window, as values come
// in while a tuning test runs. Channel 1 on the left axis, channel 2 on the right.

#include <QString>
#include <QWidget>
#include <deque>

class QCustomPlot;
class QCPGraph;

class CMC_Oscilloscope : public QWidget {
    Q_OBJECT

  public:
    explicit CMC_Oscilloscope(QWidget* parent = nullptr);
    ~CMC_Oscilloscope() override;

    /// Length of the window [s]; older samples roll out.
    void SetTimeSpan(double span_s);
    double GetTimeSpan() const { return span_s_; }
    void SetChannel(int channel, const QString& name, int rgb16_index);
    /// Fixes the value range of a channel (0 or 1); without one the channel follows
    /// its samples.
    void SetRange(int channel, double lower, double upper);
    /// Adds a sample of both channels at time `t_s` (times must not go back; a sample
    /// older than the newest starts the window again).
    void AddSample(double t_s, double channel1, double channel2);
    void Clear();
    /// Samples in the window.
    int GetSampleCount() const { return static_cast<int>(samples_.size()); }
    /// Redraws now; AddSample schedules a redraw at most every 40 ms.
    void RedrawNow();

    QCustomPlot* Plot() const { return plot_; }

  private:
    struct Sample {
        double t, v1, v2;
    };
    QCustomPlot* plot_;
    QCPGraph* graphs_[2];
    std::deque<Sample> samples_;
    double span_s_ = 1.0;
    bool redraw_pending_ = false;
    bool fixed_range_[2] = {false, false};
};
