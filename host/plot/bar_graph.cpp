#include "host/plot/bar_graph.h"

#include <qcustomplot.h>

#include <QVBoxLayout>

#include "host/plot/rgb16.h"
#include "host/ui/parameter_binding.h"

CBarGraph::CBarGraph(QWidget* parent) : QWidget(parent), plot_(new QCustomPlot(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);
    bar_ = new QCPBars(plot_->xAxis, plot_->yAxis);
    bar_->setWidth(0.6);
    plot_->xAxis->setRange(0.4, 1.6);
    plot_->xAxis->setTicks(false);
    SetColor(12);
    setMinimumSize(80, 120);
    Draw();
}

CBarGraph::~CBarGraph() = default;

void CBarGraph::SetRange(double min, double max) {
    if (!(min < max)) return;
    min_ = min;
    max_ = max;
    Draw();
}

void CBarGraph::SetValue(double value) {
    value_ = value;
    Draw();
}

void CBarGraph::SetLabel(const QString& label) {
    label_ = label;
    Draw();
}

void CBarGraph::SetColor(int rgb16_index) {
    const QColor color = RGB16(rgb16_index);
    bar_->setPen(QPen(color.darker(130)));
    bar_->setBrush(color);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void CBarGraph::Draw() {
    plot_->yAxis->setRange(min_, max_);
    // QCPBars grow from 0; a range that does not hold 0 starts the bar at its bottom.
    const double base = std::clamp(0.0, min_, max_);
    bar_->setBaseValue(base);
    bar_->setData(QVector<double>{1.0}, QVector<double>{std::clamp(value_, min_, max_) - base});
    plot_->xAxis->setLabel(label_.isEmpty() ? axis::FormatParameterValue(value_)
                                            : label_ + QStringLiteral(": ") +
                                                  axis::FormatParameterValue(value_));
    plot_->replot(QCustomPlot::rpQueuedReplot);
}
