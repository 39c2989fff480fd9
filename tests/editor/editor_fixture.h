#pragma once
// Editor dialogs are tested on the shipped demo setup (every feature present), with
// the module's scale factors installed and a scripted modal seam.
#include <gtest/gtest.h>

#include <QDialog>
#include <functional>
#include <memory>

#include "host/ui/edit_setup_dlg.h"
#include "host/ui/modal_seam.h"
#include "tests/support/shipped_setup.h"
#include "tests/support/type_into.h"

using orvex_test::TypeInto;

class EditorTest : public ::testing::Test {
  protected:
    static std::unique_ptr<CMC_Setup> Load(const char* file) {
        auto loaded = orvex_test::LoadShippedSetup(file);
        // The module's pictures from the source tree (the plug-in has them built in).
        if (loaded) loaded->SetGuiModule(ORVEX_RESOURCE_DIR "/pictures");
        return loaded;
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

    /// Builds a `Dialog` on the setup and runs it scripted: `script` gets the dialog
    /// and its form.
    template <class Dialog, class Script>
    int RunDialog(const Script& script, bool ok = true) {
        Dialog dlg(setup.get(), nullptr);
        return RunScripted(
            dlg, [&] { script(dlg, dlg.Form()); }, ok);
    }

    double Value(const char* name) const { return setup->GetParameterValueInBaseUnit(name); }
    void Set(const char* name, double value) { setup->SetParameterValueInBaseUnit(name, value); }
    static bool Shown(const QWidget* w) { return !w->isHidden(); }

    std::unique_ptr<CMC_Setup> setup;
    axis::ScriptedModalSeam seam;
};
