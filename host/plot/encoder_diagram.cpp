#include "host/plot/encoder_diagram.h"

#include <qcustomplot.h>

#include <QVBoxLayout>
#include <cmath>
#include <numbers>

#include "host/plot/rgb16.h"

namespace {
constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr int kDialPoints = 121;
}  // namespace

CEncoderDiagram::CEncoderDiagram(QWidget* parent) : QWidget(parent), plot_(new QCustomPlot(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis}) {
        axis->setRange(-1.2, 1.2);
        axis->setVisible(false);
    }
    plot_->axisRect()->setAutoMargins(QCP::msNone);
    plot_->axisRect()->setMargins(QMargins(4, 4, 4, 4));
    // The dial and its quarter marks.
    auto* dial = new QCPCurve(plot_->xAxis, plot_->yAxis);
    QVector<double> t, x, y;
    for (int i = 0; i < kDialPoints; ++i) {
        const double a = kTwoPi * i / (kDialPoints - 1);
        t << i;
        x << std::sin(a);
        y << std::cos(a);
    }
    dial->setData(t, x, y);
    dial->setPen(QPen(RGB16(8), 1.5));
    for (int q = 0; q < 4; ++q) {
        auto* mark = new QCPItemLine(plot_);
        const double a = kTwoPi * q / 4;
        mark->start->setCoords(0.85 * std::sin(a), 0.85 * std::cos(a));
        mark->end->setCoords(std::sin(a), std::cos(a));
        mark->setPen(QPen(RGB16(8), q == 0 ? 3 : 1.5));
    }
    pointer_ = new QCPItemLine(plot_);
    pointer_->start->setCoords(0, 0);
    pointer_->setHead(QCPLineEnding::esSpikeArrow);
    setMinimumSize(120, 120);
    Draw();
}

CEncoderDiagram::~CEncoderDiagram() = default;

void CEncoderDiagram::Attach(QWidget* placeholder) {
    if (!placeholder) return;
    QLayout* layout = placeholder->layout();
    if (!layout) {
        layout = new QVBoxLayout(placeholder);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    setParent(placeholder);
    layout->addWidget(this);
    show();
}

void CEncoderDiagram::Enable(bool enable) {
    enabled_ = enable;
    setEnabled(enable);
    Draw();
}

void CEncoderDiagram::SetAngle(double angle_rad) {
    if (!std::isfinite(angle_rad)) return;
    angle_rad_ = angle_rad;
    Draw();
}

void CEncoderDiagram::Draw() {
    // Counter-clockwise from the top: x = -sin, y = cos.
    pointer_->end->setCoords(-0.8 * std::sin(angle_rad_), 0.8 * std::cos(angle_rad_));
    pointer_->setPen(QPen(enabled_ ? RGB16(9) : RGB16(7), 2.5));
    plot_->replot(QCustomPlot::rpQueuedReplot);
}
