// Saves that cannot be turned against the user: whatever was left next to the target
// (links, folders, old temporary files), a save writes only the target and its backup,
// or fails and leaves everything as it was.

#include "host/setup/file_save.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "tests/support/file_text.h"

namespace {

namespace fs = std::filesystem;
using orvex_test::ReadFileText;

class FileSave : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orvex-file-save-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        out_ = (dir_ / "out.json").string();
        victim_ = (dir_ / "victim.txt").string();
        Write(victim_, "precious");
    }
    void TearDown() override {
        axis::SetSaveInterruptHookForTesting(nullptr);
        fs::remove_all(dir_);
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.insert(e.path().filename());
        return names;
    }
    fs::path dir_;
    std::string out_, victim_;
};

TEST_F(FileSave, ATemporaryNameLeftAsALinkIsNeitherFollowedNorRemoved) {
    Write(out_, "old");
    for (const char* left : {".tmp", ".json.tmp"}) fs::create_symlink(victim_, out_ + left);
    ASSERT_EQ(axis::SaveFileAtomically(out_, "new"), "");
    EXPECT_EQ(ReadFileText(out_), "new");
    EXPECT_EQ(ReadFileText(out_ + ".bak"), "old");
    EXPECT_EQ(ReadFileText(victim_), "precious");
    EXPECT_TRUE(fs::is_symlink(out_ + ".tmp"));
    EXPECT_EQ(Names(), (std::set<std::string>{"out.json", "out.json.bak", "out.json.tmp",
                                              "out.json.json.tmp", "victim.txt"}));
}

// Each case leaves something in the way; the save must fail and change nothing.
TEST_F(FileSave, RefusesTargetsAndBackupsThatAreNotRegularFilesAndChangesNothing) {
    struct Case {
        const char* what;
        void (*prepare)(const fs::path& dir, const std::string& out, const std::string& victim);
        const char* message_part;
    };
    const Case cases[] = {
        {"target is a folder, an old backup beside it",
         [](const fs::path&, const std::string& out, const std::string&) {
             fs::create_directory(out);
             Write(out + ".bak", "older backup");
         },
         "a folder"},
        {"backup name is a folder",
         [](const fs::path&, const std::string& out, const std::string&) {
             Write(out, "old");
             fs::create_directory(out + ".bak");
         },
         "backup cannot be made"},
        {"backup name is a link",
         [](const fs::path&, const std::string& out, const std::string& victim) {
             Write(out, "old");
             fs::create_symlink(victim, out + ".bak");
         },
         "backup cannot be made"},
        {"target is a link",
         [](const fs::path&, const std::string& out, const std::string& victim) {
             fs::create_symlink(victim, out);
         },
         "symbolic link"},
        {"folder does not exist",
         [](const fs::path& dir, const std::string&, const std::string&) {
             fs::remove_all(dir / "sub");
         },
         "cannot create"},
    };
    for (const Case& c : cases) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        Write(victim_, "precious");
        const std::string target =
            std::string(c.what).starts_with("folder") ? (dir_ / "sub" / "out.json").string() : out_;
        c.prepare(dir_, target, victim_);
        const std::set<std::string> before = Names();
        const std::string old = fs::is_regular_file(target) ? ReadFileText(target) : "";
        const std::string error = axis::SaveFileAtomically(target, "new");
        EXPECT_NE(error.find(c.message_part), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(Names(), before) << c.what;
        EXPECT_EQ(ReadFileText(victim_), "precious") << c.what;
        if (fs::is_regular_file(target) && !fs::is_symlink(target)) {
            EXPECT_EQ(ReadFileText(target), old) << c.what;
        }
        if (fs::is_regular_file(target + ".bak") && !fs::is_symlink(target + ".bak")) {
            EXPECT_EQ(ReadFileText(target + ".bak"), "older backup") << c.what;
        }
    }
}

TEST_F(FileSave, KeepsPermissionsAndOneBackupAndLeavesNoTemporaryFiles) {
    Write(out_, "v1");
    ::chmod(out_.c_str(), 0600);
    ASSERT_EQ(axis::SaveFileAtomically(out_, "v2"), "");
    ASSERT_EQ(axis::SaveFileAtomically(out_, "v3"), "");
    EXPECT_EQ(ReadFileText(out_), "v3");
    EXPECT_EQ(ReadFileText(out_ + ".bak"), "v2");
    struct stat st {};
    ASSERT_EQ(::stat(out_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Names(), (std::set<std::string>{"out.json", "out.json.bak", "victim.txt"}));

    ASSERT_EQ(axis::SaveFileAtomically((dir_ / "plot.csv").string(), "x", {.keep_backup = false}),
              "");
    ASSERT_EQ(axis::SaveFileAtomically((dir_ / "plot.csv").string(), "y", {.keep_backup = false}),
              "");
    EXPECT_FALSE(fs::exists(dir_ / "plot.csv.bak"));
}

// A crash between writing the new version and the rename leaves the old file whole.
TEST_F(FileSave, AnInterruptedSaveLeavesTheOldFileAndItsBackup) {
    Write(out_, "old");
    Write(out_ + ".bak", "older");
    axis::SetSaveInterruptHookForTesting([] { return false; });
    EXPECT_NE(axis::SaveFileAtomically(out_, "new"), "");
    EXPECT_EQ(ReadFileText(out_), "old");
    EXPECT_EQ(ReadFileText(out_ + ".bak"), "older");
}

}  // namespace
