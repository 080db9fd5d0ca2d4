// Replays the environment library's transcripts in process, with the real
// library loaded.
#include <filesystem>

#include "tests/support/environment_runtime.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

class EnvTranscriptTest : public EnvironmentTest {
protected:
    // The directory's set-up defines `err code`: the category and id of the
    // error the code raises (or its value), so that error cases read as one
    // line each.
    void SetUp() override {
        EnvironmentTest::SetUp();
        run_setup(dir);
    }

    const std::string dir = std::filesystem::path(__FILE__).parent_path() / "transcripts";

    void replay(const std::string& name) { replay_transcript(dir + "/" + name); }
};

TEST_F(EnvTranscriptTest, BaseWords) { replay("base.qt"); }
TEST_F(EnvTranscriptTest, Routines) { replay("routines.qt"); }
TEST_F(EnvTranscriptTest, TypeTests) { replay("type_tests.qt"); }
TEST_F(EnvTranscriptTest, NumberNatives) { replay("numbers.qt"); }
TEST_F(EnvTranscriptTest, LibraryFunctions) { replay("library.qt"); }

}  // namespace
}  // namespace qor::test
