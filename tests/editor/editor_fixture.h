#pragma once
// Editor dialogs are tested on the shipped demo setup (every feature present), with
// the module's scale factors installed and a scripted modal seam.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <memory>

#include "compute/units_transmission.h"
#include "host/setup/setup_file.h"
#include "host/ui/edit_setup_dlg.h"
#include "host/ui/modal_seam.h"

class EditorTest : public ::testing::Test {
  protected:
    static std::unique_ptr<CMC_Setup> Load(const char* file) {
        auto loaded = axis::LoadSetupFile(std::string(ORVEX_RESOURCE_DIR) + "/setups/" + file);
        EXPECT_TRUE(loaded.ok()) << loaded.error;
        orvex::InstallScaleProvider(loaded.setup.get());
        // The module's pictures from the source tree (the plug-in has them built in).
        loaded.setup->SetGuiModule(ORVEX_RESOURCE_DIR "/pictures");
        return std::move(loaded.setup);
    }

    void SetUp() override { setup = Load("demo.json"); }

    /// Runs `dialog` through the seam: `script` works it, then OK (or Cancel) is
    /// pressed unless the script closed it. The dialog's result.
    int RunScripted(CMC_EditSetupDlg& dialog, const std::function<void()>& script, bool ok = true) {
        seam.AnswerDialog([&](QDialog& shown) {
            script();
            if (shown.isVisible()) ok ? shown.accept() : shown.reject();
        });
        return dialog.DoModal();
    }

    /// Types `text` over a field's content and commits it with Enter, as a user does.
    static void TypeInto(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    std::unique_ptr<CMC_Setup> setup;
    axis::ScriptedModalSeam seam;
};
