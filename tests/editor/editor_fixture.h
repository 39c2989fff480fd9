#pragma once
// Editor dialogs are tested on the shipped demo setup (every feature present), with
// the module's scale factors installed and a scripted modal seam.
#include <gtest/gtest.h>

#include <memory>

#include "compute/units_transmission.h"
#include "host/setup/setup_file.h"
#include "host/ui/modal_seam.h"

class EditorTest : public ::testing::Test {
  protected:
    static std::unique_ptr<CMC_Setup> Load(const char* file) {
        auto loaded = axis::LoadSetupFile(std::string(ORVEX_RESOURCE_DIR) + "/setups/" + file);
        EXPECT_TRUE(loaded.ok()) << loaded.error;
        orvex::InstallScaleProvider(loaded.setup.get());
        return std::move(loaded.setup);
    }

    void SetUp() override { setup = Load("demo.json"); }

    std::unique_ptr<CMC_Setup> setup;
    axis::ScriptedModalSeam seam;
};
