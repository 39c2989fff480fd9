#include "host/plot/oscilloscope.h"

#include <qcustomplot.h>

#include <QTimer>
#include <QVBoxLayout>

#include "host/plot/rgb16.h"

namespace {
// A screen need not be redrawn faster than the eye follows; samples come in at up to
// a kilohertz.
constexpr int kRedrawPeriodMs = 40;
}  // namespace

CMC_Oscilloscope::CMC_Oscilloscope(QWidget* parent)
    : QWidget(parent), plot_(new QCustomPlot(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);
    graphs_[0] = plot_->addGraph(plot_->xAxis, plot_->yAxis);
    graphs_[1] = plot_->addGraph(plot_->xAxis, plot_->yAxis2);
    plot_->yAxis2->setVisible(true);
    plot_->xAxis->setLabel(tr("t [s]"));
    plot_->legend->setVisible(true);
    SetChannel(0, tr("Channel 1"), 12);
    SetChannel(1, tr("Channel 2"), 9);
    setMinimumSize(240, 160);
}

CMC_Oscilloscope::~CMC_Oscilloscope() = default;

void CMC_Oscilloscope::SetTimeSpan(double span_s) {
    if (span_s > 0 && std::isfinite(span_s)) span_s_ = span_s;
}

void CMC_Oscilloscope::SetChannel(int channel, const QString& name, int rgb16_index) {
    if (channel < 0 || channel > 1) return;
    graphs_[channel]->setName(name);
    graphs_[channel]->setPen(QPen(RGB16(rgb16_index), 1.5));
    (channel == 0 ? plot_->yAxis : plot_->yAxis2)->setLabel(name);
}

void CMC_Oscilloscope::SetRange(int channel, double lower, double upper) {
    if (channel < 0 || channel > 1 || !(lower < upper)) return;
    fixed_range_[channel] = true;
    (channel == 0 ? plot_->yAxis : plot_->yAxis2)->setRange(lower, upper);
}

void CMC_Oscilloscope::AddSample(double t_s, double channel1, double channel2) {
    if (!samples_.empty() && t_s < samples_.back().t) samples_.clear();
    samples_.push_back({t_s, channel1, channel2});
    while (!samples_.empty() && samples_.front().t < t_s - span_s_) samples_.pop_front();
    if (!redraw_pending_) {
        redraw_pending_ = true;
        QTimer::singleShot(kRedrawPeriodMs, this, [this] { RedrawNow(); });
    }
}

void CMC_Oscilloscope::Clear() {
    samples_.clear();
    RedrawNow();
}

void CMC_Oscilloscope::RedrawNow() {
    redraw_pending_ = false;
    QVector<double> t, v1, v2;
    t.reserve(static_cast<int>(samples_.size()));
    for (const Sample& s : samples_) {
        t << s.t;
        v1 << s.v1;
        v2 << s.v2;
    }
    graphs_[0]->setData(t, v1, true);
    graphs_[1]->setData(t, v2, true);
    const double end = samples_.empty() ? span_s_ : std::max(samples_.back().t, span_s_);
    plot_->xAxis->setRange(end - span_s_, end);
    for (int k = 0; k < 2; ++k)
        if (!fixed_range_[k]) graphs_[k]->rescaleValueAxis(false, true);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}
