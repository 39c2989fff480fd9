#pragma once
// The guideline assistant of a setup dialog: a list of texts that walk the user
// through the dialog, stepped with "Previous" and "Next". A layout may hold its own
// box (widgets named guidelineText, guidelinePreviousButton, guidelineNextButton);
// otherwise the assistant builds one above the form.

#include <QStringList>

class QAbstractButton;
class QLabel;
class QVBoxLayout;
class QWidget;

namespace axis {

class GuidelineAssistant {
public:
    /// `texts` null-ended. Looks for its widgets in `form`, else adds a box to
    /// `dialog_layout` above the form.
    GuidelineAssistant(const char* const* texts, QWidget* form, QVBoxLayout* dialog_layout);

    int Count() const { return static_cast<int>(texts_.size()); }
    int Step() const { return step_; }
    void SetStep(int step);

private:
    QStringList texts_;
    int step_ = 0;
    QLabel* text_ = nullptr;
    QAbstractButton* previous_ = nullptr;
    QAbstractButton* next_ = nullptr;
};

}  // namespace axis
