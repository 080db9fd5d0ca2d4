// Replays the transcripts of objects and ports, with the environment words
// they need beyond the evaluator's own.
#include <filesystem>

#include "runtime/datatypes/object.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

class ObjectTranscriptTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        object::install_runners();
        define_environment();
        const std::pair<Action, std::string_view> actions[] = {
            {Action::reflect, "value [any-type!] field [any-type!]"},
            {Action::mold, "value [any-type!] /only /all /flat /part limit [integer!]"},
            {Action::form, "value [any-type!] /part limit [integer!]"},
            {Action::select, "series [any-type!] value [any-type!] /part length [any-type!] /only /case /same /any "
                             "/with wild [any-type!] /skip size [any-type!] /last /reverse"},
            {Action::put, "series [any-type!] key [any-type!] value [any-type!] /case"},
            {Action::modify, "target [any-type!] field [any-type!] value [any-type!] /case"},
            {Action::open, "port [any-type!] /new /read /write /seek /allow access [any-type!]"},
            {Action::close, "port [any-type!]"},
            {Action::read, "source [any-type!] /part length [any-type!] /seek index [any-type!] /binary /lines "
                           "/info /as encoding [any-type!]"},
            {Action::write, "destination [any-type!] data [any-type!] /binary /lines /info /append /part length "
                            "[any-type!] /seek index [any-type!] /allow access [any-type!] /as encoding [any-type!]"},
            {Action::pick, "series [any-type!] index [any-type!]"},
            {Action::clear, "series [any-type!]"},
            {Action::find, "series [any-type!] value [any-type!] /part length [any-type!] /only /case /same /any "
                           "/with wild [any-type!] /skip size [any-type!] /last /reverse /tail /match"},
        };
        for (const auto& [action, spec] : actions) {
            Cell value = natives::make_action(action, spec);
            collector::RootGuard guard(value);
            define(action_word(action), value);
        }
        run_line("object: func [spec] [make object! spec] context: :object");
    }

    void replay(const std::string& name) {
        const std::string dir = std::filesystem::path(__FILE__).parent_path() / "transcripts";
        const std::vector<TranscriptCase> cases = read_transcript(dir + "/" + name);
        EXPECT_FALSE(cases.empty());
        for (const TranscriptCase& c : cases) EXPECT_EQ(run_line(c.input), c.expected) << ">> " << c.input;
    }
};

TEST_F(ObjectTranscriptTest, Objects) { replay("objects.qt"); }

}  // namespace
}  // namespace qor::test
