#pragma once
// What a logger's graph shows: a document of filters, each a set of curves drawn from
// the logger's points. A curve names its x and y by item number (0 the time, 1... the
// logged variables in the order added). CGraphWindow draws a filter
// (SubclassDlgItem); the filter exports its points as text.

#include <QColor>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class CMC_Logger;
class QWidget;

/// One curve: y item over x item, on y-axis 1 (left) or 2 (right), in a colour of
/// the RGB16 palette. Style 2 is a line through the points (the only style drawn).
struct CXYCurve {
    CXYCurve(int x_item, int y_item, int y_axis, int color_index, int style = 2)
        : x_item(x_item), y_item(y_item), y_axis(y_axis), color_index(color_index), style(style) {}
    int x_item;
    int y_item;
    int y_axis;
    int color_index;
    int style;
};

class CGraphFilter {
  public:
    explicit CGraphFilter(const CMC_Logger* source) : source_(source) {}

    /// Adds a curve; false (nothing added) for an item the logger does not log.
    bool Add(const CXYCurve& curve);
    const std::vector<CXYCurve>& Curves() const { return curves_; }
    void RemoveAll() { curves_.clear(); }

    /// Background of the plot area, RGB16 index; -1 the window's own.
    void SetBackground(int color_index) { background_ = color_index; }
    int GetBackground() const { return background_; }

    /// The filter's float list. On this host a list of two values, x and y, places the
    /// legend: its top-left corner at x divisions right of and y divisions above the
    /// centre of the plot area, a screen of ten divisions each way (-5 to 5), moved in
    /// only as far as it takes to keep the whole legend inside. The scope puts it at
    /// (-4.2, -3.5), the lower left, where the traces rest before the trigger.
    /// Any other list is kept (and saved with the scope settings) but places nothing:
    /// the legend keeps its usual corner.
    void SetFloatList(std::vector<float> values) { float_list_ = std::move(values); }
    const std::vector<float>& GetFloatList() const { return float_list_; }
    /// The legend's corner from a two-value list; none otherwise.
    struct LegendAnchor {
        float x_divisions;
        float y_divisions;
    };
    std::optional<LegendAnchor> GetLegendAnchor() const;

    /// The name of an item: "Time" for 0, else the logged variable.
    QString ItemName(int item) const;
    const CMC_Logger* Source() const { return source_; }

    /// Writes the points as CSV: the time, then every item a curve shows, one row per
    /// point; false when the file cannot be written.
    bool WriteCsv(const QString& path) const;
    /// Asks for a file (offering `name`.csv) and writes it; 0 when cancelled or when
    /// there are no points (said in a message), or the file cannot be written.
    int ExportToASCII(const char* name, QWidget* parent = nullptr) const;

  private:
    std::vector<int> ShownItems() const;

    const CMC_Logger* source_;
    std::vector<CXYCurve> curves_;
    int background_ = -1;
    std::vector<float> float_list_;
};

class CGraphDocument {
  public:
    /// A document with one filter on `source`.
    explicit CGraphDocument(const CMC_Logger* source);
    ~CGraphDocument();
    CGraphFilter* GetAt(int index);
    int GetCount() const { return static_cast<int>(filters_.size()); }

  private:
    std::vector<std::unique_ptr<CGraphFilter>> filters_;
};
