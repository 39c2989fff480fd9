#pragma once
// CEncoderDiagram: the angle of the encoder shaft as a pointer on a dial, so the user
// sees the counts follow the shaft while turning it by hand.

#include <QWidget>

class QCustomPlot;
class QCPItemLine;

class CEncoderDiagram : public QWidget {
    Q_OBJECT

  public:
    explicit CEncoderDiagram(QWidget* parent = nullptr);
    ~CEncoderDiagram() override;

    /// Puts the diagram into `placeholder` (a frame of the dialog's layout), filling it.
    void Attach(QWidget* placeholder);
    /// A disabled diagram draws its pointer grey.
    void Enable(bool enable);
    /// The shaft angle [rad], counter-clockwise from the top (zero mark).
    void SetAngle(double angle_rad);
    double GetAngle() const { return angle_rad_; }

    QCustomPlot* Plot() const { return plot_; }

  private:
    void Draw();
    QCustomPlot* plot_;
    QCPItemLine* pointer_;
    double angle_rad_ = 0.0;
    bool enabled_ = true;
};
