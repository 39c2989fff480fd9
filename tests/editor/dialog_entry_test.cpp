// The plug-in's dialog entry point, reached as the host reaches it: dlopen and a C
// symbol. The dialogs run through the host's modal seam, which host and plug-in share.
#include <dlfcn.h>

#include <QDialog>
#include <QLabel>
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

TEST_F(DialogEntryTest, EditorSubDialogsOpenWithTheirBuiltInPictures) {
    setup->SetGuiModule("");  // the pictures the plug-in has built in
    struct Case {
        const char* name;
        const char* caption;
        const char* picture;  // object name of a picture control, or null
    };
    const Case cases[] = {{"motorsetup", "Step Motor and Load Setup", "brakePicture"},
                          {"inertia", "Motor inertia", nullptr},
                          {"analogref", "External Reference Setup", "diagramPicture"},
                          {"filters", "Filters", nullptr}};
    for (const Case& c : cases) {
        seam.AnswerDialog([&](QDialog& d) {
            if (c.picture) {
                auto* picture = d.findChild<QLabel*>(c.picture);
                ASSERT_NE(picture, nullptr) << c.name;
                EXPECT_FALSE(picture->pixmap().isNull()) << c.name;
            }
            d.reject();
        });
        EXPECT_EQ(open(setup.get(), c.name), 0) << c.name;
        EXPECT_EQ(seam.Records().back().caption, c.caption);
    }
    EXPECT_TRUE(seam.Problems().isEmpty());
}

TEST_F(DialogEntryTest, LoadingThePluginMakesItsHelpPagesFindable) {
    EXPECT_EQ(axis::FindHelpPage(262420), ":/orvex/help/262420.html");
    EXPECT_EQ(axis::FindHelpPage(262407), ":/orvex/help/262407.html");  // motor setup
    EXPECT_EQ(axis::FindHelpPage(262401), ":/orvex/help/262401.html");  // external reference
    axis::ShowHelp(262420, nullptr);
    QWidget* viewer = axis::HelpViewerWindow();
    ASSERT_NE(viewer, nullptr);
    // The drive info page documents the chord that unlocks the drive data.
    EXPECT_TRUE(viewer->findChild<QTextBrowser*>()->toPlainText().contains("Ctrl+Alt+Shift+E"));
    viewer->close();
}

}  // namespace
