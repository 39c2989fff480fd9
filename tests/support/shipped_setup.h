#pragma once
// The setups shipped in resources/setups, loaded as the module sees them: with its
// scale factors installed. A file that does not load fails the test and gives null.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "compute/units_transmission.h"
#include "host/setup/setup_file.h"

namespace orvex_test {

inline std::unique_ptr<CMC_Setup> LoadShippedSetup(const std::string& name) {
    auto loaded = axis::LoadSetupFile(std::string(ORVEX_RESOURCE_DIR) + "/setups/" + name);
    EXPECT_TRUE(loaded.ok()) << name << ": " << loaded.error;
    if (!loaded.ok()) return nullptr;
    orvex::InstallScaleProvider(loaded.setup.get());
    return std::move(loaded.setup);
}

}  // namespace orvex_test
