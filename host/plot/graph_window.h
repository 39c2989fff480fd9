#pragma once
// CGraphWindow: curves over time on a left and a right y-axis, as the tests plot
// their logged step responses. Points can be appended as they arrive or written into
// a ring buffer; redraws are batched. The picture can be saved as PNG or SVG and the
// data exported as CSV (also from the plot's context menu).

#include <QColor>
#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QCustomPlot;
class QCPGraph;
class CGraphFilter;

class CGraphWindow : public QWidget {
    Q_OBJECT

  public:
    enum YAxis { kLeftAxis = 0, kRightAxis = 1 };

    explicit CGraphWindow(QWidget* parent = nullptr);
    ~CGraphWindow() override;

    void SetTitle(const QString& title);
    void SetXLabel(const QString& label);
    void SetYLabel(YAxis axis, const QString& label);

    /// Adds a curve and returns its index. Colour: RGB16 of `color_index`.
    int AddCurve(const QString& name, int color_index, YAxis axis = kLeftAxis);
    int GetCurveCount() const { return static_cast<int>(curves_.size()); }
    /// Removes every curve.
    void RemoveCurves();
    /// Empties every curve, keeping the curves.
    void ClearData();

    /// Replaces the points of a curve (x and y of equal length; extra values ignored).
    void SetCurveData(int curve, const std::vector<double>& x, const std::vector<double>& y);
    /// Appends one point at the end of a curve.
    void AppendPoint(int curve, double x, double y);
    /// Makes a curve a ring buffer of `size` points (all at the origin until written).
    void SetRingBuffer(int curve, int size);
    /// Writes point `index` (modulo the ring size) of a ring-buffer curve.
    void UpdateRingPoint(int curve, int index, double x, double y);
    /// The points of a curve, in the order they were written.
    const std::vector<double>& CurveX(int curve) const { return curves_.at(curve).x; }
    const std::vector<double>& CurveY(int curve) const { return curves_.at(curve).y; }

    /// Fits every axis to the data.
    void ZoomOut();
    /// Makes the graph a scope screen: the left axis stays from `low` to `high` (the
    /// scope's divisions, where its scaled channels are drawn) and the time axis spans
    /// the points at every redraw, as the capture fills.
    void SetScreen(double low, double high);
    /// Schedules one redraw for the next pass of the event loop; many changes, one
    /// repaint.
    void Redraw();
    /// Redraws at once.
    void RedrawNow();

    /// Saves the plot as a picture; the format follows the suffix (.png or .svg).
    /// False when the file cannot be written or the suffix is neither.
    bool SavePicture(const QString& path, int width = 0, int height = 0);
    /// Writes the curves as CSV: one x and one y column per curve, headed by the
    /// curve's name; shorter curves leave their cells empty.
    bool ExportCsv(const QString& path) const;
    /// Ask for a file through the modal seam, then save or export; false when
    /// cancelled or failed (a failure is reported).
    bool SavePictureAs(const QString& suggested_name = QStringLiteral("plot.png"));
    bool ExportCsvAs();

    /// Puts this graph into `frame` (filling it) and shows the curves of `filter`,
    /// which must outlive the graph; `filter` may be null to keep the curves.
    void SubclassDlgItem(QWidget* frame, CGraphFilter* filter);
    CGraphFilter* GetFilter() const { return filter_; }
    /// Draws every point of the filter's logger again, then redraws.
    void RefreshGraph();
    /// Fits the axes to the data.
    void DoZoomOut() { ZoomOut(); }
    /// Appends one logger point (time, then the items) to every curve of the filter.
    void UpdateLastPoint(const double* point);
    /// Writes point `index` of the filter's logger into the ring of every curve (the
    /// scope's capture, one window wide).
    void UpdatePoint(unsigned index);
    /// Asks for a file (offering `name`) and saves the picture as PNG or SVG.
    bool CreateWMF(const char* name);

    QCustomPlot* Plot() const { return plot_; }

    /// Replaces the graph's own context menu: `handler` gets the click's screen
    /// position; null gives the graph its own menu back.
    void SetContextMenuHandler(std::function<void(const QPoint& global)> handler) {
        menu_handler_ = std::move(handler);
    }

  signals:
    /// Ctrl + wheel over a curve: the user asks to show that curve's channel (curve
    /// index) `step` places coarser (positive) or finer (negative).
    void ChannelScaleRequested(int channel, int step);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Curve {
        QCPGraph* graph = nullptr;
        std::vector<double> x;
        std::vector<double> y;
        bool ring = false;
        size_t newest = 0;   // ring index written last
        bool dirty = false;  // points written that the plot has not been given yet
    };
    void PushData(Curve& curve);
    /// Puts the legend where the filter's float list says (see CGraphFilter), else in
    /// its usual corner.
    void PlaceLegend();
    void ShowMenu(const QPoint& at);

    QCustomPlot* plot_;
    std::vector<Curve> curves_;
    CGraphFilter* filter_ = nullptr;
    bool redraw_pending_ = false;
    bool screen_ = false;         ///< a scope screen (SetScreen)
    QElapsedTimer since_redraw_;  ///< invalid until the first redraw
    std::function<void(const QPoint& global)> menu_handler_;
};
