// The plug-in's dialog entry point, reached as the host reaches it: dlopen and a C
// symbol. The dialogs run through the host's modal seam, which host and plug-in share.
#include <dlfcn.h>

#include <QDialog>
#include <QTextBrowser>

#include "editor_fixture.h"
#include "host/ui/help_viewer.h"

namespace {

class DialogEntryTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        handle = dlopen(ORVEX_BIN_DIR "/liborvex.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        open = reinterpret_cast<int (*)(CMC_Setup*, const char*)>(dlsym(handle, "OrvexOpenDialog"));
        ASSERT_NE(open, nullptr);
    }
    void TearDown() override {
        if (handle) dlclose(handle);
    }
    void* handle = nullptr;
    int (*open)(CMC_Setup*, const char*) = nullptr;
};

TEST_F(DialogEntryTest, OpensDialogsByNameAndReportsTheirEnd) {
    seam.AnswerDialog([](QDialog& d) { d.accept(); });
    seam.AnswerDialog([](QDialog& d) { d.reject(); });
    EXPECT_EQ(open(setup.get(), "driveinfo"), 1);
    EXPECT_EQ(open(setup.get(), "DriveInfo"), 0);
    EXPECT_EQ(open(setup.get(), "nosuchdialog"), -1);
    EXPECT_EQ(open(nullptr, "driveinfo"), -1);
    EXPECT_EQ(seam.Records().at(0).caption, "Drive info");
    EXPECT_TRUE(seam.Problems().isEmpty());
}

TEST_F(DialogEntryTest, LoadingThePluginMakesItsHelpPagesFindable) {
    EXPECT_EQ(axis::FindHelpPage(262420), ":/orvex/help/262420.html");
    axis::ShowHelp(262420, nullptr);
    QWidget* viewer = axis::HelpViewerWindow();
    ASSERT_NE(viewer, nullptr);
    // The drive info page documents the chord that unlocks the drive data.
    EXPECT_TRUE(viewer->findChild<QTextBrowser*>()->toPlainText().contains("Ctrl+Alt+Shift+E"));
    viewer->close();
}

}  // namespace
