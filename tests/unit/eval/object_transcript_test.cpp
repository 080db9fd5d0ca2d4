// Replays the transcripts of objects and ports, and of code rebound between
// runs, with the environment library.
#include <filesystem>

#include "runtime/datatypes/object.h"
#include "runtime/datatypes/port.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

class ObjectTranscriptTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        object::install_runners();
        define_environment();
        run_line("object: func [spec] [make object! spec] context: :object");
        run_setup(dir);
    }

    const std::string dir = std::filesystem::path(__FILE__).parent_path() / "transcripts";

    void TearDown() override {
        port::install_system_lookup(nullptr);
        EvalTest::TearDown();
    }

    void replay(const std::string& name) { replay_transcript(dir + "/" + name); }
};

TEST_F(ObjectTranscriptTest, Objects) { replay("objects.qt"); }
TEST_F(ObjectTranscriptTest, Ports) { replay("ports.qt"); }
TEST_F(ObjectTranscriptTest, Rebinding) { replay("rebinding.qt"); }

}  // namespace
}  // namespace qor::test
