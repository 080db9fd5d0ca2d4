// Replays the view's transcripts in process, with the real library loaded.
#include <filesystem>

#include "tests/support/environment_runtime.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

class ViewTranscriptTest : public EnvironmentTest {
protected:
    void SetUp() override {
        EnvironmentTest::SetUp();
        run_setup(dir);
    }
    const std::string dir = std::filesystem::path(__FILE__).parent_path() / "transcripts";
};

TEST_F(ViewTranscriptTest, Events) { replay_transcript(dir + "/events.qt"); }
TEST_F(ViewTranscriptTest, Widgets) { replay_transcript(dir + "/widgets.qt"); }
TEST_F(ViewTranscriptTest, Faces) { replay_transcript(dir + "/faces.qt"); }
TEST_F(ViewTranscriptTest, Platform) { replay_transcript(dir + "/platform.qt"); }

}  // namespace
}  // namespace qor::test
