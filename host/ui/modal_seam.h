#pragma once
// Every modal thing of the host and the module runs through one seam: dialogs
// (DoModal), message boxes and file prompts. In the application the seam shows them
// on screen (and, for trying dialogs out, can save a picture of each one and close it
// with Cancel right away); in tests a script answers them and records their texts,
// so no test ever blocks in a modal loop.

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

class QDialog;
class QWidget;

namespace axis {

/// Answers of a message box, numbered as the module expects them.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageIcon { Information, Warning, Error, Question };

enum class FilePromptKind { Open, Save };

struct FilePrompt {
    FilePromptKind kind = FilePromptKind::Open;
    QString caption;
    QString directory;       ///< where the prompt starts
    QString suggested_name;  ///< file name offered when saving
    QString filter;          ///< "Pictures (*.png *.svg);;CSV (*.csv)"
};

class ModalSeam {
  public:
    virtual ~ModalSeam() = default;
    /// Runs an initialised dialog until it ends; returns the code it ended with
    /// (QDialog::done), 0 when it was closed without one.
    virtual int RunDialog(QDialog& dialog) = 0;
    /// Shows a message and returns kIdOk, kIdCancel, kIdYes or kIdNo.
    virtual int RunMessage(QWidget* parent, const QString& text, const QString& caption,
                           MessageButtons buttons, MessageIcon icon) = 0;
    /// The chosen path, empty when the user cancelled.
    virtual QString RunFilePrompt(QWidget* parent, const FilePrompt& prompt) = 0;
};

/// The seam in force: the one installed last, else the on-screen seam.
ModalSeam& Modal();
/// Makes `seam` (not owned) the seam in force; null goes back to the on-screen seam.
/// Returns the seam that was installed before.
ModalSeam* InstallModalSeam(ModalSeam* seam);

/// Shorthands through the seam in force. The caption defaults to the application's
/// display name.
int ShowMessage(QWidget* parent, const QString& text, MessageButtons buttons = MessageButtons::Ok,
                MessageIcon icon = MessageIcon::Information, const QString& caption = {});
QString PromptForFile(QWidget* parent, const FilePrompt& prompt);

/// The seam of the application: shows everything on screen. For trying dialogs out
/// it can save a PNG of every dialog and message box when first shown, and close each
/// with Cancel right after.
class ScreenModalSeam : public ModalSeam {
  public:
    /// Folder for the pictures; empty: no pictures.
    void SetSnapshotDir(const QString& dir) { snapshot_dir_ = dir; }
    /// Answers given to every dialog and message box as soon as it is shown, for trial
    /// runs. Cancel: dialogs end with Cancel, messages with their Cancel (else No, else
    /// only) button. Ok: dialogs are confirmed with OK, messages with their first
    /// button (OK or Yes). A dialog that does not close on the answer (a refused value,
    /// a question) is then ended with Cancel, so a trial run always ends.
    enum class AutoAnswer { None, Cancel, Ok };
    void SetAutoAnswer(AutoAnswer answer) { auto_answer_ = answer; }
    void SetAutoCancel(bool on) { auto_answer_ = on ? AutoAnswer::Cancel : AutoAnswer::None; }
    /// Paths of the pictures saved so far, in order.
    const QStringList& Snapshots() const { return snapshots_; }
    /// Why pictures could not be saved, one line each; empty when all were.
    const QStringList& SnapshotErrors() const { return snapshot_errors_; }

    int RunDialog(QDialog& dialog) override;
    int RunMessage(QWidget* parent, const QString& text, const QString& caption,
                   MessageButtons buttons, MessageIcon icon) override;
    QString RunFilePrompt(QWidget* parent, const FilePrompt& prompt) override;

  private:
    int Exec(QDialog& dialog, const QString& picture_name);

    QString snapshot_dir_;
    AutoAnswer auto_answer_ = AutoAnswer::None;
    QStringList snapshots_;
    QStringList snapshot_errors_;
};

/// The application's on-screen seam (in force unless another is installed).
ScreenModalSeam& TheScreenModalSeam();

/// The seam of tests: installs itself for its lifetime. Dialogs are shown (off
/// screen) and handed to queued scripts; messages and file prompts take queued
/// answers. Everything is recorded.
class ScriptedModalSeam : public ModalSeam {
  public:
    using DialogScript = std::function<void(QDialog&)>;

    struct Record {
        enum class Kind { Dialog, Message, FilePrompt } kind;
        QString caption;  ///< window title
        QString text;     ///< message text; the file prompt's caption
        MessageButtons buttons = MessageButtons::Ok;
        int answer = 0;  ///< the dialog's end code, the button, 1 when a file was given
    };

    ScriptedModalSeam();
    ~ScriptedModalSeam() override;
    ScriptedModalSeam(const ScriptedModalSeam&) = delete;
    ScriptedModalSeam& operator=(const ScriptedModalSeam&) = delete;

    /// The next dialog is shown and handed to `script`, which works its controls and
    /// ends it (OK, Cancel ...). A dialog the script leaves open is cancelled and
    /// counted as a problem; so is a dialog without a script.
    void AnswerDialog(DialogScript script) { dialog_scripts_.push_back(std::move(script)); }
    /// The next message box is answered with `id`. An OK-only box needs no answer.
    void AnswerMessage(int id) { message_answers_.push_back(id); }
    /// The next file prompt gets `path` (empty: cancelled).
    void AnswerFilePrompt(const QString& path) { file_answers_.push_back(path); }

    const std::vector<Record>& Records() const { return records_; }
    /// The texts of the message boxes shown so far, in order.
    QStringList MessageTexts() const;
    /// What did not go to script: dialogs without a script or left open, messages
    /// that asked a question nobody answered, answers never used.
    QStringList Problems() const;

    int RunDialog(QDialog& dialog) override;
    int RunMessage(QWidget* parent, const QString& text, const QString& caption,
                   MessageButtons buttons, MessageIcon icon) override;
    QString RunFilePrompt(QWidget* parent, const FilePrompt& prompt) override;

  private:
    ModalSeam* previous_;
    std::deque<DialogScript> dialog_scripts_;
    std::deque<int> message_answers_;
    std::deque<QString> file_answers_;
    std::vector<Record> records_;
    QStringList problems_;
};

}  // namespace axis
