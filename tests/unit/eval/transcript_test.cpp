// Replays the evaluator's transcripts in process.
#include <cstdlib>
#include <filesystem>

#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

class TranscriptTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        define_environment();
        ::setenv("QOR_TRANSCRIPT_VAR", "a=b c", 1);  // list-env reads it back
        run_setup(dir);
    }

    const std::string dir = std::filesystem::path(__FILE__).parent_path() / "transcripts";

    void replay(const std::string& name) { replay_transcript(dir + "/" + name); }
};

TEST_F(TranscriptTest, Evaluation) { replay("evaluation.qt"); }
TEST_F(TranscriptTest, ControlFlow) { replay("control.qt"); }
TEST_F(TranscriptTest, FunctionsAndExits) { replay("functions.qt"); }
TEST_F(TranscriptTest, Memory) { replay("memory.qt"); }
TEST_F(TranscriptTest, FunctionValues) { replay("functions_types.qt"); }
TEST_F(TranscriptTest, Transcode) { replay("transcode.qt"); }
TEST_F(TranscriptTest, Errors) { replay("errors.qt"); }
TEST_F(TranscriptTest, TextNatives) { replay("text_natives.qt"); }

}  // namespace
}  // namespace qor::test
