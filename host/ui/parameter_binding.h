#pragma once
// The controls bound to one parameter of a setup editor dialog. A binding redraws
// its controls from the parameter and hands what the user did to the dialog, which
// checks the range, writes the value and calls the hooks.

#include <QObject>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "host/setup/value_rules.h"

class CMC_EditSetupDlg;
class CMC_Parameter;
class CMC_Unit;
class QAbstractButton;
class QAbstractSlider;
class QComboBox;
class QLineEdit;

namespace axis {

/// The text an edit field shows for a value (`FormatValue` of host/setup/value_rules.h),
/// ready for a widget.
QString FormatParameterValue(double value);

class ParameterBinding : public QObject {
  public:
    ParameterBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter)
        : dialog_(dialog), parameter_(parameter) {}

    CMC_Parameter& Parameter() const { return parameter_; }
    const std::string& Name() const;
    /// Shows the parameter's value (and unit); never reports back.
    virtual void Redraw() = 0;
    /// Commits an edit the user has not committed yet; false when it was refused.
    virtual bool CommitPending() { return true; }
    /// Gives the keyboard focus back to the control after a refusal.
    virtual void FocusAfterRefusal() {}

  protected:
    /// Hands a user value (base unit; NaN for text that is no number) to the dialog.
    bool Commit(double base_value);
    void CommitUnit(const std::string& unit);
    CMC_EditSetupDlg& dialog_;
    CMC_Parameter& parameter_;
};

/// Edit field with an optional unit selector.
class ValueBinding : public ParameterBinding {
  public:
    ValueBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter, QLineEdit* edit,
                 QComboBox* unit);
    void Redraw() override;
    bool CommitPending() override;
    void FocusAfterRefusal() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool CommitText();
    void FillUnits();

    QLineEdit* edit_;
    QComboBox* unit_;
    QString shown_text_;
    bool committing_ = false;
};

/// Check box: 0 or 1.
class CheckBinding : public ParameterBinding {
  public:
    CheckBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter, QAbstractButton* check);
    void Redraw() override;

  private:
    QAbstractButton* check_;
};

/// Radio buttons: the value is the index of the chosen one.
class SwitchBinding : public ParameterBinding {
  public:
    SwitchBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter,
                  std::vector<QAbstractButton*> buttons);
    void Redraw() override;

  private:
    std::vector<QAbstractButton*> buttons_;
};

/// The two spin buttons of a slider group; either may be null.
struct SpinButtons {
    QAbstractButton* up = nullptr;
    QAbstractButton* down = nullptr;
};

/// Slider over a fixed span, or over the parameter's range as it stands when no span
/// is given, with optional spin buttons: a press moves the value by one slider step
/// (`SpinValue`) and is committed like a slider move; holding a button repeats.
class SliderBinding : public ParameterBinding {
  public:
    SliderBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter, QAbstractSlider* slider,
                  int steps, std::optional<SliderSpan> span = std::nullopt, SpinButtons spin = {});
    void Redraw() override;

  private:
    SliderSpan Span() const;
    void CommitPosition();
    void Spin(int direction);
    QAbstractSlider* slider_;
    int steps_;
    std::optional<SliderSpan> span_;
};

/// Drop-down list whose entries carry values as item data.
class ListBinding : public ParameterBinding {
  public:
    ListBinding(CMC_EditSetupDlg& dialog, CMC_Parameter& parameter, QComboBox* list);
    void Redraw() override;

  private:
    QComboBox* list_;
};

}  // namespace axis
