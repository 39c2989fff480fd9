#include "host/ui/modal_seam.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "host/setup/file_save.h"

namespace axis {
namespace {

ScreenModalSeam& ScreenSeam() {
    static ScreenModalSeam seam;
    return seam;
}

ModalSeam* g_installed = nullptr;

QString DefaultCaption(const QString& caption) {
    if (!caption.isEmpty()) return caption;
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Orvex") : name;
}

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Information:
            break;
    }
    return QMessageBox::Information;
}

// The answer a box gives when it is simply closed: Cancel when it has one, else No,
// else OK (the only button).
int EscapeAnswer(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
            return kIdOk;
        case MessageButtons::YesNo:
            return kIdNo;
        case MessageButtons::OkCancel:
        case MessageButtons::YesNoCancel:
            return kIdCancel;
    }
    return kIdCancel;
}

bool AnswerFits(MessageButtons buttons, int id) {
    switch (buttons) {
        case MessageButtons::Ok:
            return id == kIdOk;
        case MessageButtons::OkCancel:
            return id == kIdOk || id == kIdCancel;
        case MessageButtons::YesNo:
            return id == kIdYes || id == kIdNo;
        case MessageButtons::YesNoCancel:
            return id == kIdYes || id == kIdNo || id == kIdCancel;
    }
    return false;
}

QString PictureName(const QDialog& dialog) {
    QString name = dialog.objectName();
    if (name.isEmpty()) name = QString::fromLatin1(dialog.metaObject()->className());
    return name;
}

}  // namespace

ModalSeam& Modal() {
    return g_installed ? *g_installed : ScreenSeam();
}

ScreenModalSeam& TheScreenModalSeam() {
    return ScreenSeam();
}

ModalSeam* InstallModalSeam(ModalSeam* seam) {
    ModalSeam* previous = g_installed;
    g_installed = seam;
    return previous;
}

int ShowMessage(QWidget* parent, const QString& text, MessageButtons buttons, MessageIcon icon,
                const QString& caption) {
    return Modal().RunMessage(parent, text, DefaultCaption(caption), buttons, icon);
}

QString PromptForFile(QWidget* parent, const FilePrompt& prompt) {
    return Modal().RunFilePrompt(parent, prompt);
}

// --- on screen ----------------------------------------------------------------------

int ScreenModalSeam::Exec(QDialog& dialog, const QString& picture_name) {
    if (!snapshot_dir_.isEmpty() || auto_answer_ != AutoAnswer::None) {
        // Runs once the modal loop has shown the dialog.
        QPointer<QDialog> guard(&dialog);
        QTimer::singleShot(0, &dialog, [this, guard, picture_name] {
            if (!guard || !guard->isVisible()) return;
            if (!snapshot_dir_.isEmpty()) {
                const QString path =
                    QDir(snapshot_dir_)
                        .filePath(QStringLiteral("%1-%2.png")
                                      .arg(snapshots_.size() + 1, 2, 10, QLatin1Char('0'))
                                      .arg(picture_name));
                QByteArray png;
                QBuffer buffer(&png);
                std::string error = "the picture could not be drawn";
                if (QDir().mkpath(snapshot_dir_) && guard->grab().save(&buffer, "PNG"))
                    error = SaveFileAtomically(path.toStdString(),
                                               {png.constData(), static_cast<size_t>(png.size())},
                                               {.keep_backup = false});
                if (error.empty())
                    snapshots_.append(path);
                else
                    snapshot_errors_.append(path + QStringLiteral(": ") +
                                            QString::fromStdString(error));
            }
            if (auto_answer_ == AutoAnswer::Cancel) {
                guard->reject();
            } else if (auto_answer_ == AutoAnswer::Ok) {
                auto* box = qobject_cast<QMessageBox*>(guard.data());
                if (box && box->defaultButton())
                    box->defaultButton()->click();
                else
                    guard->accept();
            }
            // A dialog may refuse or ask before it closes (and be answered by this very
            // seam); a trial run must still end.
            if (auto_answer_ != AutoAnswer::None && guard && guard->isVisible())
                guard->done(QDialog::Rejected);
        });
    }
    return dialog.exec();
}

int ScreenModalSeam::RunDialog(QDialog& dialog) {
    return Exec(dialog, PictureName(dialog));
}

int ScreenModalSeam::RunMessage(QWidget* parent, const QString& text, const QString& caption,
                                MessageButtons buttons, MessageIcon icon) {
    QMessageBox box(ToQtIcon(icon), caption, text, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("message"));
    struct Choice {
        QMessageBox::StandardButton button;
        int id;
    };
    std::vector<Choice> choices;
    switch (buttons) {
        case MessageButtons::Ok:
            choices = {{QMessageBox::Ok, kIdOk}};
            break;
        case MessageButtons::OkCancel:
            choices = {{QMessageBox::Ok, kIdOk}, {QMessageBox::Cancel, kIdCancel}};
            break;
        case MessageButtons::YesNo:
            choices = {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}};
            break;
        case MessageButtons::YesNoCancel:
            choices = {{QMessageBox::Yes, kIdYes},
                       {QMessageBox::No, kIdNo},
                       {QMessageBox::Cancel, kIdCancel}};
            break;
    }
    for (const Choice& c : choices) box.addButton(c.button);
    box.setDefaultButton(choices.front().button);
    const int escape_id = EscapeAnswer(buttons);
    for (const Choice& c : choices)
        if (c.id == escape_id) box.setEscapeButton(c.button);
    Exec(box, QStringLiteral("message"));
    QAbstractButton* clicked = box.clickedButton();
    for (const Choice& c : choices)
        if (clicked && clicked == box.button(c.button)) return c.id;
    return escape_id;
}

QString ScreenModalSeam::RunFilePrompt(QWidget* parent, const FilePrompt& prompt) {
    QFileDialog dialog(parent, prompt.caption, prompt.directory, prompt.filter);
    dialog.setObjectName(QStringLiteral("file-prompt"));
    // Qt's own file dialog, so that pictures and automatic answers work here too.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (prompt.kind == FilePromptKind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!prompt.suggested_name.isEmpty()) dialog.selectFile(prompt.suggested_name);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (Exec(dialog, QStringLiteral("file-prompt")) != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

// --- scripted -----------------------------------------------------------------------

ScriptedModalSeam::ScriptedModalSeam() : previous_(InstallModalSeam(this)) {}

ScriptedModalSeam::~ScriptedModalSeam() {
    InstallModalSeam(previous_);
}

QStringList ScriptedModalSeam::MessageTexts() const {
    QStringList texts;
    for (const Record& r : records_)
        if (r.kind == Record::Kind::Message) texts.append(r.text);
    return texts;
}

QStringList ScriptedModalSeam::Problems() const {
    QStringList all = problems_;
    if (!dialog_scripts_.empty())
        all.append(QStringLiteral("%1 dialog script(s) never used").arg(dialog_scripts_.size()));
    if (!message_answers_.empty())
        all.append(QStringLiteral("%1 message answer(s) never used").arg(message_answers_.size()));
    if (!file_answers_.empty())
        all.append(QStringLiteral("%1 file answer(s) never used").arg(file_answers_.size()));
    return all;
}

int ScriptedModalSeam::RunDialog(QDialog& dialog) {
    Record record{Record::Kind::Dialog, dialog.windowTitle(), dialog.objectName()};
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    QCoreApplication::sendPostedEvents();
    if (dialog_scripts_.empty()) {
        problems_.append(QStringLiteral("dialog \"%1\" had no script").arg(record.caption));
        dialog.done(QDialog::Rejected);
    } else {
        DialogScript script = std::move(dialog_scripts_.front());
        dialog_scripts_.pop_front();
        script(dialog);
    }
    if (dialog.isVisible()) {
        problems_.append(QStringLiteral("dialog \"%1\" was left open").arg(record.caption));
        dialog.done(QDialog::Rejected);
    }
    record.answer = dialog.result();
    records_.push_back(record);
    return record.answer;
}

int ScriptedModalSeam::RunMessage(QWidget*, const QString& text, const QString& caption,
                                  MessageButtons buttons, MessageIcon) {
    Record record{Record::Kind::Message, caption, text, buttons};
    if (!message_answers_.empty() && AnswerFits(buttons, message_answers_.front())) {
        record.answer = message_answers_.front();
        message_answers_.pop_front();
    } else if (buttons == MessageButtons::Ok) {
        record.answer = kIdOk;
    } else {
        problems_.append(QStringLiteral("message \"%1\" was not answered").arg(text));
        record.answer = EscapeAnswer(buttons);
    }
    records_.push_back(record);
    return record.answer;
}

QString ScriptedModalSeam::RunFilePrompt(QWidget*, const FilePrompt& prompt) {
    Record record{Record::Kind::FilePrompt, prompt.caption, prompt.caption};
    QString path;
    if (file_answers_.empty()) {
        problems_.append(QStringLiteral("file prompt \"%1\" was not answered").arg(prompt.caption));
    } else {
        path = file_answers_.front();
        file_answers_.pop_front();
    }
    record.answer = path.isEmpty() ? 0 : 1;
    records_.push_back(record);
    return path;
}

}  // namespace axis
