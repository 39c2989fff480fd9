#include "host/ui/guideline_assistant.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace axis {

GuidelineAssistant::GuidelineAssistant(const char* const* texts, QWidget* form,
                                       QVBoxLayout* dialog_layout) {
    for (const char* const* t = texts; t && *t; ++t) texts_.append(QString::fromUtf8(*t));
    text_ = form->findChild<QLabel*>(QStringLiteral("guidelineText"));
    previous_ = form->findChild<QAbstractButton*>(QStringLiteral("guidelinePreviousButton"));
    next_ = form->findChild<QAbstractButton*>(QStringLiteral("guidelineNextButton"));
    if (!text_ || !previous_ || !next_) {
        auto* box = new QGroupBox(QObject::tr("Guideline"), form->parentWidget());
        box->setObjectName(QStringLiteral("guidelineBox"));
        auto* row = new QHBoxLayout(box);
        text_ = new QLabel(box);
        text_->setObjectName(QStringLiteral("guidelineText"));
        previous_ = new QPushButton(QObject::tr("Previous"), box);
        previous_->setObjectName(QStringLiteral("guidelinePreviousButton"));
        next_ = new QPushButton(QObject::tr("Next"), box);
        next_->setObjectName(QStringLiteral("guidelineNextButton"));
        row->addWidget(text_, 1);
        row->addWidget(previous_);
        row->addWidget(next_);
        dialog_layout->insertWidget(0, box);
    }
    text_->setWordWrap(true);
    text_->setTextFormat(Qt::PlainText);
    // Room for the longest text, so the box does not jump while stepping.
    text_->setMinimumHeight(text_->fontMetrics().lineSpacing() * 3);
    QObject::connect(previous_, &QAbstractButton::clicked, previous_, [this] { SetStep(step_ - 1); });
    QObject::connect(next_, &QAbstractButton::clicked, next_, [this] { SetStep(step_ + 1); });
    SetStep(0);
}

void GuidelineAssistant::SetStep(int step) {
    if (texts_.isEmpty()) return;
    step_ = std::clamp(step, 0, Count() - 1);
    text_->setText(texts_[step_]);
    previous_->setEnabled(step_ > 0);
    next_->setEnabled(step_ < Count() - 1);
}

}  // namespace axis
