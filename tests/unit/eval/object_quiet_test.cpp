// A quiet field set changes an object's field without running its change
// handler; an ordinary assignment runs it.
#include "runtime/datatypes/object.h"
#include "tests/unit/eval/transcript_harness.h"

namespace qor::test {
namespace {

class ObjectQuietTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        object::install_runners();
        define_environment();
    }
};

TEST_F(ObjectQuietTest, QuietSetRunsNoHandler) {
    run_line("log: copy [] h: make object! [a: 1 on-change*: func [w o n] [append log reduce [w o n]]] ()");
    Cell h = *context::value_cell(word::load("h"));
    collector::RootGuard keep(h);
    ASSERT_EQ(type_of(h), TypeId::object);
    const Cell a = word::load("a");
    object::set_quiet(h, a, Cell{to_int(TypeId::integer), 0, 5, 0});
    EXPECT_EQ(run_line("h/a"), "== 5\n");
    EXPECT_EQ(run_line("log"), "== []\n");
    EXPECT_EQ(run_line("h/a: 6 log"), "== [a 5 6]\n");
    // A field the object lacks is refused and nothing changes.
    const Cell missing = word::load("nope");
    EXPECT_THROW(object::set_quiet(h, missing, Cell{to_int(TypeId::integer), 0, 1, 0}), error::Raised);
    EXPECT_EQ(object::field_count(h), 2u);
}

}  // namespace
}  // namespace qor::test
