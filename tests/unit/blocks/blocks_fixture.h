// Blocks built by hand for the block tests: integers and words as cells,
// nested blocks, new-line markers, and a runtime with words and owners.
#pragma once

#include <string>
#include <utility>
#include <string_view>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/hash/hash_table.h"
#include "runtime/words/ownership.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "tests/unit/datatypes/fixture.h"
#include "tests/support/core_runtime.h"

namespace qor::test {

class BlocksTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_core_runtime();
        ownership::install_on_deep_change(nullptr);
        block::install_comparator_call(nullptr);
    }
    void TearDown() override {
        ownership::install_on_deep_change(nullptr);
        block::install_comparator_call(nullptr);
        stop_core_runtime();
    }
};

// A word! bound in the global context.
inline Cell W(std::string_view spelling) {
    Cell w = unset_cell;
    word::make_at(symbol::make(spelling), w);
    return w;
}

// The cell with its new-line marker set.
inline Cell NL(Cell c) {
    c.header |= cell_flag::new_line;
    return c;
}

inline Cell at(Cell series, uint32_t index) {
    series.w1 = index;
    return series;
}

inline Cell typed(Cell c, TypeId t) {
    set_type_keep_flags(c, t);
    return c;
}

// A block from a compact text: integers, words and nested [ ] blocks, e.g.
// "1 a [b 2]". Only what the tests need; no lexer.
Cell parse_block(std::string_view text);

// The molded text of a value.
inline std::string M(const Cell& v) { return text_of(act(Action::mold, {v})); }

}  // namespace qor::test
