// The scope's capture settings dialog, answered through the modal seam.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QSpinBox>

#include "host/drive/scope_logger.h"
#include "host/ui/modal_seam.h"

namespace {

TEST(ScopeSettingsDialog, ConfirmedChangesBecomeTheCaptureSettings) {
    axis::ScriptedModalSeam seam;
    CMC_ScopeLogger scope(nullptr, nullptr);
    scope.AddVariable("Speed_Reference");
    scope.AddVariable("Load_Speed");
    ASSERT_EQ(scope.ChangeSettings(0.5, 1, 1, nullptr, 0, 0), 1);
    seam.AnswerDialog([](QDialog& d) {
        d.findChild<QDoubleSpinBox*>("windowEdit")->setValue(0.25);
        auto* mode = d.findChild<QComboBox*>("triggerModeList");
        mode->setCurrentIndex(mode->findData(4));
        auto* source = d.findChild<QComboBox*>("triggerVariableList");
        source->setCurrentIndex(source->findText("Load_Speed"));
        auto* slope = d.findChild<QComboBox*>("triggerSlopeList");
        slope->setCurrentIndex(slope->findData(0));
        d.findChild<QDoubleSpinBox*>("triggerLevelEdit")->setValue(-12.5);
        d.findChild<QSpinBox*>("pretriggerEdit")->setValue(30);
        d.accept();
    });
    EXPECT_EQ(scope.Edit(nullptr), 1);
    EXPECT_EQ(scope.GetWindow(), 0.25);
    EXPECT_EQ(scope.GetTriggerMode(), 4);
    EXPECT_EQ(scope.GetTriggerVariable(), "Load_Speed");
    EXPECT_EQ(scope.GetTriggerSlope(), 0);
    EXPECT_EQ(scope.GetTriggerLevel(), -12.5);
    EXPECT_EQ(scope.GetPretrigger(), 30u);
    EXPECT_TRUE(seam.Problems().isEmpty()) << seam.Problems().join("\n").toStdString();
}

TEST(ScopeSettingsDialog, CancelOrNoChangeLeavesTheSettingsAndSaysSo) {
    axis::ScriptedModalSeam seam;
    CMC_ScopeLogger scope(nullptr, nullptr);
    scope.AddVariable("Speed_Reference");
    ASSERT_EQ(scope.ChangeSettings(0.5, 2, 1, "Speed_Reference", 3, 10), 1);
    seam.AnswerDialog([](QDialog& d) {
        d.findChild<QDoubleSpinBox*>("windowEdit")->setValue(2);
        d.reject();
    });
    EXPECT_EQ(scope.Edit(nullptr), 0);
    seam.AnswerDialog([](QDialog& d) { d.accept(); });
    EXPECT_EQ(scope.Edit(nullptr), 0);
    EXPECT_EQ(scope.GetWindow(), 0.5);
    EXPECT_EQ(scope.GetTriggerVariable(), "Speed_Reference");
    EXPECT_EQ(scope.GetPretrigger(), 10u);
}

}  // namespace
