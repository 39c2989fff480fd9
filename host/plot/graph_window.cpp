#include "host/plot/graph_window.h"

#include <qcustomplot.h>

#include <QBuffer>
#include <QFileInfo>
#include <QMenu>
#include <QSvgGenerator>
#include <QTextStream>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "host/drive/logger.h"
#include "host/plot/graph_document.h"
#include "host/plot/rgb16.h"
#include "host/setup/file_save.h"
#include "host/ui/modal_seam.h"

CGraphWindow::CGraphWindow(QWidget* parent) : QWidget(parent), plot_(new QCustomPlot(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);
    plot_->setObjectName(QStringLiteral("graphPlot"));
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    // A logged run is thousands of points a curve: stroked as one wide polyline, each
    // redraw of an upload took a good part of a second.
    plot_->setPlottingHint(QCP::phFastPolylines, true);
    plot_->legend->setVisible(true);
    plot_->legend->setFont(font());
    plot_->yAxis2->setVisible(true);
    plot_->yAxis2->setTickLabels(true);
    plot_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot_, &QWidget::customContextMenuRequested, this, &CGraphWindow::ShowMenu);
    plot_->installEventFilter(this);
    // The legend's place may depend on the size of the plot area: settled before
    // every replot.
    connect(plot_, &QCustomPlot::beforeReplot, this, &CGraphWindow::PlaceLegend);
    setMinimumSize(240, 160);
}

void CGraphWindow::PlaceLegend() {
    QCPLayoutInset* inset = plot_->axisRect()->insetLayout();
    int index = -1;
    for (int i = 0; i < inset->elementCount(); ++i)
        if (inset->elementAt(i) == plot_->legend) index = i;
    if (index < 0) return;
    const auto anchor = filter_ ? filter_->GetLegendAnchor() : std::nullopt;
    if (!anchor) {
        inset->setInsetPlacement(index, QCPLayoutInset::ipBorderAligned);
        return;
    }
    // Divisions from the centre of a ten-division screen to fractions of the plot
    // area from its top-left corner (y grows downwards there).
    const QRect area = plot_->axisRect()->rect();
    const QSize legend = plot_->legend->minimumOuterSizeHint();
    const auto fraction = [](double divisions, int legend_px, int area_px) {
        const double room = area_px > 0 ? 1.0 - double(legend_px) / area_px : 0.0;
        return std::clamp(0.5 + divisions / 10.0, 0.0, std::max(0.0, room));
    };
    inset->setInsetPlacement(index, QCPLayoutInset::ipFree);
    inset->setInsetRect(
        index, QRectF(fraction(anchor->x_divisions, legend.width(), area.width()),
                      fraction(-anchor->y_divisions, legend.height(), area.height()), 0, 0));
}

bool CGraphWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != plot_ || event->type() != QEvent::Wheel)
        return QWidget::eventFilter(watched, event);
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (!(wheel->modifiers() & Qt::ControlModifier) || wheel->angleDelta().y() == 0 ||
        curves_.empty())
        return QWidget::eventFilter(watched, event);
    // The curve nearest the pointer is the channel asked about.
    int channel = 0;
    double nearest = -1;
    for (size_t k = 0; k < curves_.size(); ++k) {
        const double d = curves_[k].graph->selectTest(wheel->position(), false);
        if (d >= 0 && (nearest < 0 || d < nearest)) {
            nearest = d;
            channel = static_cast<int>(k);
        }
    }
    emit ChannelScaleRequested(channel, wheel->angleDelta().y() > 0 ? -1 : 1);
    return true;  // no zoom as well
}

CGraphWindow::~CGraphWindow() = default;

void CGraphWindow::SetTitle(const QString& title) {
    if (plot_->plotLayout()->rowCount() > 1 &&
        qobject_cast<QCPTextElement*>(plot_->plotLayout()->element(0, 0))) {
        static_cast<QCPTextElement*>(plot_->plotLayout()->element(0, 0))->setText(title);
    } else {
        plot_->plotLayout()->insertRow(0);
        plot_->plotLayout()->addElement(
            0, 0,
            new QCPTextElement(plot_, title,
                               QFont(font().family(), font().pointSize() + 1, QFont::Bold)));
    }
    Redraw();
}

void CGraphWindow::SetXLabel(const QString& label) {
    plot_->xAxis->setLabel(label);
    Redraw();
}

void CGraphWindow::SetYLabel(YAxis axis, const QString& label) {
    (axis == kRightAxis ? plot_->yAxis2 : plot_->yAxis)->setLabel(label);
    Redraw();
}

int CGraphWindow::AddCurve(const QString& name, int color_index, YAxis axis) {
    Curve curve;
    curve.graph = plot_->addGraph(plot_->xAxis, axis == kRightAxis ? plot_->yAxis2 : plot_->yAxis);
    curve.graph->setName(name);
    curve.graph->setPen(QPen(RGB16(color_index), 1.5));
    curves_.push_back(std::move(curve));
    Redraw();
    return GetCurveCount() - 1;
}

void CGraphWindow::RemoveCurves() {
    plot_->clearGraphs();
    curves_.clear();
    Redraw();
}

void CGraphWindow::ClearData() {
    for (Curve& c : curves_) {
        c.x.clear();
        c.y.clear();
        c.ring = false;
        PushData(c);
    }
    Redraw();
}

void CGraphWindow::SetCurveData(int curve, const std::vector<double>& x,
                                const std::vector<double>& y) {
    if (curve < 0 || curve >= GetCurveCount()) return;
    Curve& c = curves_[static_cast<size_t>(curve)];
    const size_t n = std::min(x.size(), y.size());
    c.x.assign(x.begin(), x.begin() + static_cast<long>(n));
    c.y.assign(y.begin(), y.begin() + static_cast<long>(n));
    c.ring = false;
    PushData(c);
    Redraw();
}

void CGraphWindow::AppendPoint(int curve, double x, double y) {
    if (curve < 0 || curve >= GetCurveCount()) return;
    Curve& c = curves_[static_cast<size_t>(curve)];
    c.x.push_back(x);
    c.y.push_back(y);
    // Cheaper than handing over the whole curve again.
    c.graph->addData(x, y);
    Redraw();
}

void CGraphWindow::SetRingBuffer(int curve, int size) {
    if (curve < 0 || curve >= GetCurveCount() || size <= 0) return;
    Curve& c = curves_[static_cast<size_t>(curve)];
    c.x.assign(static_cast<size_t>(size), 0.0);
    c.y.assign(static_cast<size_t>(size), 0.0);
    c.ring = true;
    c.newest = static_cast<size_t>(size) - 1;
    PushData(c);
    Redraw();
}

void CGraphWindow::UpdateRingPoint(int curve, int index, double x, double y) {
    if (curve < 0 || curve >= GetCurveCount()) return;
    Curve& c = curves_[static_cast<size_t>(curve)];
    if (!c.ring || c.x.empty()) return;
    const int n = static_cast<int>(c.x.size());
    const size_t i = static_cast<size_t>(((index % n) + n) % n);
    c.x[i] = x;
    c.y[i] = y;
    c.newest = i;
    // Handed to the plot once per redraw: a scope frame writes many points.
    c.dirty = true;
    Redraw();
}

void CGraphWindow::PushData(Curve& c) {
    c.dirty = false;
    const size_t n = c.x.size();
    // A ring is handed over from its oldest point: written in time order, it then
    // runs in time order, and the plot need not sort it.
    const size_t start = c.ring && n > 0 ? (c.newest + 1) % n : 0;
    const auto at = [&](size_t k) { return (start + k) % n; };
    bool sorted = true;
    for (size_t k = 1; k < n && sorted; ++k) sorted = c.x[at(k)] >= c.x[at(k - 1)];
    QCPGraphDataContainer& data = *c.graph->data();
    if (sorted && static_cast<size_t>(data.size()) == n) {
        // Same size, still sorted: overwritten in place. A scope redraws many times a
        // second; a new container each time costs more than drawing it.
        size_t k = 0;
        for (auto it = data.begin(); it != data.end(); ++it, ++k) {
            it->key = c.x[at(k)];
            it->value = c.y[at(k)];
        }
        return;
    }
    QVector<QCPGraphData> points(static_cast<qsizetype>(n));
    for (size_t k = 0; k < n; ++k) points[static_cast<qsizetype>(k)] = {c.x[at(k)], c.y[at(k)]};
    data.set(points, sorted);
}

void CGraphWindow::ZoomOut() {
    for (Curve& c : curves_)
        if (c.dirty) PushData(c);
    plot_->rescaleAxes();
    // A flat curve gives an empty range; open it a little so it is drawn.
    for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis, plot_->yAxis2}) {
        const QCPRange r = axis->range();
        if (r.size() <= 0)
            axis->setRange(r.lower - 1, r.upper + 1);
        else if (axis != plot_->xAxis)
            axis->scaleRange(1.1, r.center());
    }
    Redraw();
}

void CGraphWindow::Redraw() {
    if (redraw_pending_) return;
    redraw_pending_ = true;
    // Points arriving one by one (an upload, a streaming scope) would otherwise replot
    // the whole graph for each: at most one redraw every 25 ms keeps the picture live
    // (40 a second) and the loop feeding it fast.
    constexpr qint64 kMinRedrawIntervalMs = 25;
    const qint64 wait = since_redraw_.isValid()
                            ? std::max<qint64>(0, kMinRedrawIntervalMs - since_redraw_.elapsed())
                            : 0;
    QTimer::singleShot(static_cast<int>(wait), this, [this] {
        if (redraw_pending_) RedrawNow();
    });
}

void CGraphWindow::SetScreen(double low, double high) {
    screen_ = true;
    // Every channel is drawn in divisions on the left; the right axis shows the same.
    plot_->yAxis->setRange(low, high);
    plot_->yAxis2->setRange(low, high);
    Redraw();
}

void CGraphWindow::RedrawNow() {
    redraw_pending_ = false;
    since_redraw_.start();
    for (Curve& c : curves_)
        if (c.dirty) PushData(c);
    if (screen_) {
        bool found = false;
        const QCPRange keys = plot_->xAxis->range();
        QCPRange span;
        for (const Curve& c : curves_) {
            bool ok = false;
            const QCPRange r = c.graph->getKeyRange(ok);
            if (!ok) continue;
            span =
                found ? QCPRange(std::min(span.lower, r.lower), std::max(span.upper, r.upper)) : r;
            found = true;
        }
        if (found && span.size() > 0 && (span.lower != keys.lower || span.upper != keys.upper))
            plot_->xAxis->setRange(span);
    }
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

namespace {
// Pictures and curves go through the one atomic save; they are made again in a moment,
// so no backup is kept.
bool SaveBytes(const QString& path, const QByteArray& bytes) {
    return axis::SaveFileAtomically(path.toStdString(),
                                    {bytes.constData(), static_cast<size_t>(bytes.size())},
                                    {.keep_backup = false})
        .empty();
}
}  // namespace

bool CGraphWindow::SavePicture(const QString& path, int width, int height) {
    for (Curve& c : curves_)
        if (c.dirty) PushData(c);
    const QString suffix = QFileInfo(path).suffix().toLower();
    const int w = width > 0 ? width : std::max(plot_->width(), 640);
    const int h = height > 0 ? height : std::max(plot_->height(), 400);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (suffix == QLatin1String("png")) {
        if (!plot_->toPixmap(w, h).save(&buffer, "PNG")) return false;
        return SaveBytes(path, bytes);
    }
    if (suffix != QLatin1String("svg")) return false;
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(w, h));
    svg.setViewBox(QRect(0, 0, w, h));
    svg.setTitle(plot_->objectName());
    QCPPainter painter;
    if (!painter.begin(&svg)) return false;
    plot_->toPainter(&painter, w, h);
    painter.end();
    return !bytes.isEmpty() && SaveBytes(path, bytes);
}

bool CGraphWindow::ExportCsv(const QString& path) const {
    QString text;
    QTextStream out(&text);
    auto quoted = [](QString text) {
        return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
               QLatin1Char('"');
    };
    QStringList header;
    size_t rows = 0;
    for (const Curve& c : curves_) {
        header << quoted(c.graph->name() + QStringLiteral(" x"))
               << quoted(c.graph->name() + QStringLiteral(" y"));
        rows = std::max(rows, c.x.size());
    }
    out << header.join(QLatin1Char(',')) << '\n';
    for (size_t r = 0; r < rows; ++r) {
        QStringList cells;
        for (const Curve& c : curves_) {
            const bool has = r < c.x.size();
            cells << (has ? QString::number(c.x[r], 'g', 17) : QString())
                  << (has ? QString::number(c.y[r], 'g', 17) : QString());
        }
        out << cells.join(QLatin1Char(',')) << '\n';
    }
    out.flush();
    return SaveBytes(path, text.toUtf8());
}

bool CGraphWindow::SavePictureAs(const QString& suggested_name) {
    axis::FilePrompt prompt{axis::FilePromptKind::Save,
                            tr("Save picture"),
                            {},
                            suggested_name,
                            tr("PNG picture (*.png);;SVG drawing (*.svg)")};
    const QString path = axis::PromptForFile(this, prompt);
    if (path.isEmpty()) return false;
    if (SavePicture(path)) return true;
    axis::ShowMessage(this,
                      tr("The picture could not be saved as %1 (use .png or .svg).").arg(path),
                      axis::MessageButtons::Ok, axis::MessageIcon::Error);
    return false;
}

bool CGraphWindow::ExportCsvAs() {
    axis::FilePrompt prompt{axis::FilePromptKind::Save,
                            tr("Export CSV"),
                            {},
                            QStringLiteral("plot.csv"),
                            tr("CSV file (*.csv)")};
    const QString path = axis::PromptForFile(this, prompt);
    if (path.isEmpty()) return false;
    if (ExportCsv(path)) return true;
    axis::ShowMessage(this, tr("The data could not be written to %1.").arg(path),
                      axis::MessageButtons::Ok, axis::MessageIcon::Error);
    return false;
}

void CGraphWindow::ShowMenu(const QPoint& at) {
    if (menu_handler_) {
        menu_handler_(plot_->mapToGlobal(at));
        return;
    }
    QMenu menu(this);
    menu.addAction(tr("Zoom out"), this, &CGraphWindow::ZoomOut);
    menu.addSeparator();
    menu.addAction(tr("Save picture..."), this, [this] { SavePictureAs(); });
    menu.addAction(tr("Export CSV..."), this, [this] { ExportCsvAs(); });
    menu.exec(plot_->mapToGlobal(at));
}

void CGraphWindow::SubclassDlgItem(QWidget* frame, CGraphFilter* filter) {
    if (frame && parentWidget() != frame) {
        setParent(frame);
        if (!frame->layout()) {
            auto* layout = new QVBoxLayout(frame);
            layout->setContentsMargins(0, 0, 0, 0);
        }
        frame->layout()->addWidget(this);
        show();
    }
    if (!filter) return;
    filter_ = filter;
    RemoveCurves();
    for (const CXYCurve& c : filter->Curves())
        AddCurve(filter->ItemName(c.y_item), c.color_index, c.y_axis == 2 ? kRightAxis : kLeftAxis);
    if (filter->GetBackground() >= 0)
        plot_->axisRect()->setBackground(QBrush(RGB16(filter->GetBackground())));
    Redraw();
}

void CGraphWindow::RefreshGraph() {
    if (!filter_ || !filter_->Source()) return;
    const CMC_Logger& source = *filter_->Source();
    const auto& curves = filter_->Curves();
    const size_t n = source.GetDrawablePointCount();
    for (size_t k = 0; k < curves.size() && k < curves_.size(); ++k) {
        std::vector<double> x, y;
        x.reserve(n);
        y.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            const double* p = source.GetDrawablePoint(i);
            if (!p) continue;
            x.push_back(source.DisplayValue(curves[k].x_item, p[curves[k].x_item]));
            y.push_back(source.DisplayValue(curves[k].y_item, p[curves[k].y_item]));
        }
        SetCurveData(static_cast<int>(k), x, y);
    }
    Redraw();
}

void CGraphWindow::UpdateLastPoint(const double* point) {
    if (!filter_ || !point || !filter_->Source()) return;
    const CMC_Logger& source = *filter_->Source();
    const auto& curves = filter_->Curves();
    for (size_t k = 0; k < curves.size() && k < curves_.size(); ++k)
        AppendPoint(static_cast<int>(k),
                    source.DisplayValue(curves[k].x_item, point[curves[k].x_item]),
                    source.DisplayValue(curves[k].y_item, point[curves[k].y_item]));
}

void CGraphWindow::UpdatePoint(unsigned index) {
    if (!filter_ || !filter_->Source()) return;
    const CMC_Logger& source = *filter_->Source();
    const double* p = source.GetDrawablePoint(index);
    if (!p) return;
    const int ring = static_cast<int>(source.GetDrawablePointCount());
    const auto& curves = filter_->Curves();
    for (size_t k = 0; k < curves.size() && k < curves_.size(); ++k) {
        Curve& c = curves_[k];
        if (!c.ring || static_cast<int>(c.x.size()) != ring)
            SetRingBuffer(static_cast<int>(k), ring);
        UpdateRingPoint(static_cast<int>(k), static_cast<int>(index),
                        source.DisplayValue(curves[k].x_item, p[curves[k].x_item]),
                        source.DisplayValue(curves[k].y_item, p[curves[k].y_item]));
    }
}

bool CGraphWindow::CreateWMF(const char* name) {
    return SavePictureAs(QString::fromUtf8(name ? name : "plot") + QStringLiteral(".png"));
}
