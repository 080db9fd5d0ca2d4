// Blocks that run again walk their decoded form, and leave it for the
// plain walker when the block or a binding changed under it: the results
// are the plain walker's, and the counters show which walker ran.
#include "runtime/eval/decoded_block.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

class DecodedBlockTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        define_environment();
    }
};

using interpreter::decoded::stats;

TEST_F(DecodedBlockTest, ALoopBodyRunsFromItsFormFromTheSecondRun) {
    const auto before = stats();
    EXPECT_EQ(run_line("n: 0 loop 100 [n: n + 1] n"), "== 100\n");
    const auto after = stats();
    // The body at least (a node the collector freed and reused may still
    // have its first run counted in the table, and be decoded at once).
    EXPECT_GE(after.decoded - before.decoded, 1u);
    EXPECT_GE(after.runs - before.runs, 99u);
    EXPECT_EQ(after.bailouts, before.bailouts);
}

TEST_F(DecodedBlockTest, ChangesLeaveTheFormForThePlainWalker) {
    struct Case {
        const char* line;
        const char* expected;
    };
    const Case cases[] = {
        // The block changed between runs, at its start and further on.
        {"b: [n: n + 1] n: 0 loop 3 [do b] b/1: quote n2: do b reduce [n n2]", "== [3 4]\n"},
        {"b: [n: n + 1 n: n * 2] n: 0 loop 3 [do b] poke b 8 3 do b n", "== 45\n"},
        // Changed while it runs, inside one expression.
        {"b: [(poke b 3 k 0) + 0] k: 1 r: copy [] loop 4 [append r do b k: k + 1] r", "== [1 2 3 4]\n"},
        // A word turned into a function, a function given another arity.
        {"h: 5 b: [h 3] r: copy [] loop 2 [append r do b] h: func [a] [a * 2] append r do b r", "== [3 3 6]\n"},
        {"f1: func [a] [a] f1 0 f2: func [a b] [a * b] t: func [] [f: :f2 0] b: [add t f 2 3] "
         "r: copy [] loop 3 [f: :f1 append r do b] r",
         "== [6 6 6]\n"},
    };
    for (const Case& c : cases) {
        const auto before = stats();
        EXPECT_EQ(run_line(c.line), c.expected) << c.line;
        EXPECT_GT(stats().bailouts, before.bailouts) << c.line;
    }
}

}  // namespace
}  // namespace qor::test
