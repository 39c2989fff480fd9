// The shipped program descriptors against the drive's own list of programs: every
// program the drive runs has a descriptor listing exactly its variables, so that a
// test can reach each variable it needs and no other.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "host/drive/coff_format.h"
#include "host/setup/names.h"
#include "simdrive/programs.h"
#include "tests/support/file_text.h"

TEST(ShippedPrograms, EveryDriveProgramHasADescriptorWithExactlyItsVariables) {
    axis::SetProgramDirectory(std::string(ORVEX_RESOURCE_DIR) + "/programs");
    size_t described = 0;
    for (const auto& info : orvex::sim::ProgramCatalogue()) {
        CMC_CoffFormat program;
        program.SetFileName(axis::ProgramPath(info.name));
        ASSERT_EQ(program.ReadCoff(), 1) << info.name << ": " << program.GetErrorText();
        EXPECT_EQ(program.GetProgramName(), info.name);
        std::vector<std::string> listed;
        for (const auto& v : program.GetVariables()) listed.push_back(v.name);
        EXPECT_EQ(listed, info.variables) << info.name;
        EXPECT_FALSE(program.GetDescription().empty()) << info.name;
        ++described;
    }
    // And no descriptor for a program the drive does not have; each one is built
    // into the module.
    const std::string resources = orvex_test::ReadFileText(ORVEX_RESOURCE_DIR "/orvex.qrc");
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ORVEX_RESOURCE_DIR "/programs"))
        if (entry.path().extension() == ".json") {
            ++files;
            EXPECT_NE(
                resources.find("<file>programs/" + entry.path().filename().string() + "</file>"),
                std::string::npos)
                << entry.path();
        }
    EXPECT_EQ(files, described);
}
