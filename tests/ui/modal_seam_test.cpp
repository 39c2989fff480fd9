// The modal seam: scripted answers and records in tests; on screen, pictures and
// automatic Cancel for trial runs; and the help viewer the dialogs open.
#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include "host/setup/setup.h"
#include "host/ui/edit_setup_dlg.h"
#include "host/ui/help_viewer.h"
#include "host/ui/modal_seam.h"

namespace {

using axis::kIdCancel;
using axis::kIdNo;
using axis::kIdOk;
using axis::kIdYes;
using axis::MessageButtons;

TEST(ScriptedModalSeam, AnswersMessagesInOrderAndRecordsTheirTexts) {
    axis::ScriptedModalSeam seam;
    seam.AnswerMessage(kIdNo);
    seam.AnswerMessage(kIdYes);
    EXPECT_EQ(axis::ShowMessage(nullptr, "Saved."), kIdOk);  // OK-only needs no answer
    EXPECT_EQ(axis::ShowMessage(nullptr, "Keep?", MessageButtons::YesNoCancel), kIdNo);
    EXPECT_EQ(axis::ShowMessage(nullptr, "Write?", MessageButtons::YesNo), kIdYes);
    EXPECT_EQ(seam.MessageTexts(), (QStringList{"Saved.", "Keep?", "Write?"}));
    EXPECT_EQ(seam.Records()[1].buttons, MessageButtons::YesNoCancel);
    EXPECT_TRUE(seam.Problems().isEmpty());
}

TEST(ScriptedModalSeam, AnUnansweredQuestionIsCancelledAndReported) {
    axis::ScriptedModalSeam seam;
    EXPECT_EQ(axis::ShowMessage(nullptr, "Keep?", MessageButtons::YesNoCancel), kIdCancel);
    EXPECT_EQ(axis::ShowMessage(nullptr, "Go?", MessageButtons::YesNo), kIdNo);
    EXPECT_EQ(seam.Problems().size(), 2);
    // An answer that the box cannot give is not taken.
    seam.AnswerMessage(kIdYes);
    EXPECT_EQ(axis::ShowMessage(nullptr, "Done."), kIdOk);
    EXPECT_EQ(seam.Problems().size(), 3);  // the unused answer
}

TEST(ScriptedModalSeam, RunsDialogsThroughScriptsAndCancelsTheRest) {
    axis::ScriptedModalSeam seam;
    QDialog confirmed, forgotten, unscripted;
    confirmed.setWindowTitle("First");
    seam.AnswerDialog([](QDialog& d) { d.accept(); });
    seam.AnswerDialog([](QDialog&) {});
    EXPECT_EQ(axis::Modal().RunDialog(confirmed), 1);
    EXPECT_EQ(axis::Modal().RunDialog(forgotten), 0);
    EXPECT_FALSE(forgotten.isVisible());
    EXPECT_EQ(axis::Modal().RunDialog(unscripted), 0);
    EXPECT_EQ(seam.Records().front().caption, "First");
    EXPECT_EQ(seam.Problems().size(), 2);
}

TEST(ScriptedModalSeam, NestedDialogsTakeTheirScriptsInOpeningOrder) {
    axis::ScriptedModalSeam seam;
    CMC_Setup setup;
    CMC_EditSetupDlg outer(&setup, nullptr, 1, nullptr, nullptr);
    CMC_EditSetupDlg inner(&setup, nullptr, 1, nullptr, &outer);
    seam.AnswerDialog([&](QDialog& d) {
        EXPECT_EQ(inner.DoModal(), 1);
        d.accept();
    });
    seam.AnswerDialog([](QDialog& d) { d.accept(); });
    EXPECT_EQ(outer.DoModal(), 1);
    EXPECT_TRUE(seam.Problems().isEmpty());
}

TEST(ScriptedModalSeam, FilePromptsTakeQueuedPaths) {
    axis::ScriptedModalSeam seam;
    seam.AnswerFilePrompt("/tmp/plot.png");
    axis::FilePrompt prompt;
    prompt.kind = axis::FilePromptKind::Save;
    prompt.caption = "Save picture";
    EXPECT_EQ(axis::PromptForFile(nullptr, prompt), "/tmp/plot.png");
    EXPECT_EQ(axis::PromptForFile(nullptr, prompt), "");
    EXPECT_EQ(seam.Problems().size(), 1);
}

TEST(ScriptedModalSeam, RestoresTheSeamBeforeIt) {
    axis::ModalSeam* before = &axis::Modal();
    {
        axis::ScriptedModalSeam outer;
        {
            axis::ScriptedModalSeam inner;
            EXPECT_EQ(&axis::Modal(), &inner);
        }
        EXPECT_EQ(&axis::Modal(), &outer);
    }
    EXPECT_EQ(&axis::Modal(), before);
}

// A trial run on screen: every dialog and message box leaves a picture and is closed
// with Cancel, even one that asks before it closes.
TEST(ScreenModalSeam, AutoCancelClosesEverythingAndSnapshotsEachFirstShowing) {
    QTemporaryDir dir;
    axis::ScreenModalSeam screen;
    screen.SetSnapshotDir(dir.path());
    screen.SetAutoCancel(true);
    axis::InstallModalSeam(&screen);

    class Asking : public CMC_EditSetupDlg {
      public:
        using CMC_EditSetupDlg::CMC_EditSetupDlg;
        void OnCancel() override {
            if (axis::ShowMessage(this, "Close?", MessageButtons::YesNoCancel) == kIdYes)
                EndDialog(0);
        }
    };
    CMC_Setup setup;
    auto* form = new QLabel("A dialog that asks before it closes.");
    Asking dialog(&setup, form, 1, nullptr, nullptr);
    dialog.setObjectName("asking");
    EXPECT_EQ(dialog.DoModal(), 0);
    EXPECT_EQ(axis::ShowMessage(nullptr, "Really?", MessageButtons::YesNoCancel), kIdCancel);
    EXPECT_EQ(axis::ShowMessage(nullptr, "Noted."), kIdOk);
    axis::InstallModalSeam(nullptr);

    ASSERT_EQ(screen.Snapshots().size(), 4) << screen.Snapshots().join(" ").toStdString();
    EXPECT_TRUE(screen.Snapshots()[0].endsWith("01-asking.png"));
    EXPECT_TRUE(screen.Snapshots()[1].endsWith("02-message.png"));
    EXPECT_FALSE(QImage(screen.Snapshots()[0]).isNull());
}

TEST(HelpViewer, OpensThePageOfTheContextFromTheLastRegisteredFolder) {
    QTemporaryDir first, second;
    QFile page(QDir(first.path()).filePath("262414.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><body><h1>Encoder resolution</h1></body></html>");
    page.close();
    axis::RegisterHelpFolder(first.path());
    axis::RegisterHelpFolder(second.path());
    EXPECT_EQ(axis::FindHelpPage(262414), QDir(first.path()).filePath("262414.html"));

    CMC_Setup setup;
    CMC_EditSetupDlg dialog(&setup, nullptr, 1, nullptr, nullptr);
    dialog.SetHelpContext(262414);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_F1);
    QWidget* viewer = axis::HelpViewerWindow();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->findChild<QTextBrowser*>()->toPlainText().contains("Encoder resolution"));

    dialog.SetHelpContext(1);
    dialog.OnHelp();
    EXPECT_TRUE(viewer->findChild<QTextBrowser*>()->toPlainText().contains(
        "There is no help page for context 1."));
    axis::UnregisterHelpFolder(first.path());
    axis::UnregisterHelpFolder(second.path());
    dialog.hide();
}

}  // namespace
