#pragma once
// CBarGraph: one vertical bar between a minimum and a maximum, with its value
// written under it, for a level that changes while a test runs.

#include <QString>
#include <QWidget>

class QCustomPlot;
class QCPBars;

class CBarGraph : public QWidget {
    Q_OBJECT

  public:
    explicit CBarGraph(QWidget* parent = nullptr);
    ~CBarGraph() override;

    /// The scale of the bar (min < max; else ignored).
    void SetRange(double min, double max);
    /// The bar's height; values outside the range are drawn at its ends.
    void SetValue(double value);
    double GetValue() const { return value_; }
    /// Caption under the bar ("Vdc [V]").
    void SetLabel(const QString& label);
    void SetColor(int rgb16_index);

    QCustomPlot* Plot() const { return plot_; }

  private:
    void Draw();
    QCustomPlot* plot_;
    QCPBars* bar_;
    double min_ = 0.0;
    double max_ = 1.0;
    double value_ = 0.0;
    QString label_;
};
