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

// A collection drops the forms that are not running: what a form remembers
// of the functions its calls were decoded for may be freed by it.
TEST_F(DecodedBlockTest, ACollectionDropsTheFormsNotRunning) {
    EXPECT_EQ(run_line("f: func [a b] [a + b] g: does [f 1 2] g g"), "== 3\n");
    const auto before = stats();
    EXPECT_EQ(run_line("f: none recycle f: func [a] [a * 10] g"), "== 2\n");
    EXPECT_EQ(stats().runs, before.runs);  // g's body ran plain, and no form was left
    EXPECT_EQ(stats().bailouts, before.bailouts);
    // A running form lives through a collection inside it, and still sees
    // the word it calls rebound meanwhile.
    EXPECT_EQ(run_line("reset: does [k: func [x] [k: func [y] [y * 100] recycle x + 1]] "
                       "h: does [reduce [k 1 k 2]] reset h reset h reset h"),
              "== [2 200]\n");
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
        // Every collection drops the forms that are not running; a stress
        // build collects at every allocation, so there these lines (which
        // allocate) run on the plain walker throughout.
#ifndef QOR_GC_STRESS
        EXPECT_GT(stats().bailouts, before.bailouts) << c.line;
#endif
    }
}

}  // namespace
}  // namespace qor::test
