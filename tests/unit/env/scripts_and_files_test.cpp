// Replays the transcripts of the system object, loading and saving, paths,
// and file and script handling, with the real library loaded. The file
// transcript runs inside a fresh temporary directory, left again after.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/unit/env/env_transcript_fixture.h"

namespace qor::test {
namespace {

using ScriptsAndFilesTest = EnvTranscriptFixture;

TEST_F(ScriptsAndFilesTest, LoadAndSave) { replay("load_save.qt"); }
TEST_F(ScriptsAndFilesTest, Paths) { replay("files.qt"); }
TEST_F(ScriptsAndFilesTest, SystemObject) { replay("system.qt"); }
TEST_F(ScriptsAndFilesTest, ChecksumsAndEnvironment) { replay("host_natives.qt"); }

// The process's directory is the language's: the test enters a temporary
// one through the language and always goes back to where it was.
TEST_F(ScriptsAndFilesTest, FilesDirectoriesAndScripts) {
    const std::filesystem::path home = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "qor-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string dir = pattern + "/";
    EXPECT_EQ(run_line("change-dir to file! \"" + dir + "\" what-dir"), "== %" + dir + "\n");
    replay("file_io.qt");
    std::filesystem::current_path(home);
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
}

// The start-up directory is taken as it is: a colon in a directory name is
// not read as a drive.
TEST_F(ScriptsAndFilesTest, ColonInStartDirectory) {
    const std::filesystem::path home = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "qor-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string dir = pattern + "/a:b/";
    std::filesystem::create_directory(dir);
    std::filesystem::current_path(dir);
    TearDown();
    SetUp();
    EXPECT_EQ(run_line("system/options/path"), "== %" + dir + "\n");
    std::filesystem::current_path(home);
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
}

}  // namespace
}  // namespace qor::test
