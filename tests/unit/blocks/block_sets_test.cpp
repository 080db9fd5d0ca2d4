// The set operations on blocks: keys by record, first occurrence kept,
// case, block keys and hash! inputs.
#include "runtime/datatypes/block_sets.h"
#include "runtime/hash/hash_table.h"
#include "tests/unit/blocks/blocks_fixture.h"

namespace qor::test {

using SetTest = BlocksTest;

Cell set_op(block::SetOp op, const Cell& a, const Cell& b, int32_t skip = 0, bool case_sensitive = false) {
    const stack::DataStack saved = stack::data;
    stack::data.base = stack::data.top;
    stack::push(a);
    stack::push(b);
    const Cell skip_cell = I(skip);
    const Cell r = *block::set_operation(case_sensitive, skip ? &skip_cell : nullptr, op);
    stack::data = saved;
    return r;
}

TEST_F(SetTest, TheFiveOperations) {
    using block::SetOp;
    const Cell a = parse_block("1 2 3 2 4"), b = parse_block("3 4 5 5");
    struct Case { SetOp op; const char* want; };
    const Case cases[] = {
        {SetOp::unique, "[1 2 3 4]"},    {SetOp::union_, "[1 2 3 4 5]"},  {SetOp::intersect, "[3 4]"},
        {SetOp::exclude, "[1 2]"},       {SetOp::difference, "[1 2 5]"},
    };
    for (const Case& c : cases) EXPECT_EQ(M(set_op(c.op, a, b)), c.want) << int(c.op);
    EXPECT_EQ(M(a), "[1 2 3 2 4]");
}

TEST_F(SetTest, RecordsCaseAndBlockKeys) {
    using block::SetOp;
    EXPECT_EQ(M(set_op(SetOp::union_, parse_block("a 1 b 2"), parse_block("a 3 c 4"), 2)), "[a 1 b 2 c 4]");
    EXPECT_EQ(M(set_op(SetOp::unique, parse_block("a A b"), parse_block(""))), "[a b]");
    EXPECT_EQ(M(set_op(SetOp::unique, parse_block("a A b"), parse_block(""), 0, true)), "[a A b]");
    EXPECT_EQ(M(set_op(SetOp::unique, parse_block("[1] [1] [2]"), parse_block(""))), "[[1] [2]]");
    EXPECT_EQ(M(set_op(SetOp::intersect, parse_block("[1] 2 [3]"), parse_block("[3] 2"))), "[2 [3]]");
    EXPECT_EQ(error_of([&] { set_op(SetOp::unique, parse_block("1"), parse_block(""), -1); }),
              "script/invalid-refine-arg");
}

TEST_F(SetTest, AHashResultIsIndexed) {
    Cell h = parse_block("x y x z");
    set_header(h, TypeId::hash);
    h.w3 = hashtable::init(4, &h, hashtable::Kind::hash, 0);
    const Cell r = set_op(block::SetOp::unique, h, parse_block(""));
    EXPECT_EQ(type_of(r), TypeId::hash);
    EXPECT_EQ(M(typed(r, TypeId::block)), "[x y z]");
    EXPECT_EQ(hashtable::find(r.w3, W("z")), 2);
}

}  // namespace qor::test
