// A fresh runtime core for each test: memory, the datatypes words need, the
// data stack, the symbol table, the global context with the predefined
// words and the ownership table.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/register_all.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/word_type.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/words/core_roots.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/series.h"
#include "runtime/words/ownership.h"
#include "runtime/words/context.h"
#include "runtime/words/predefined.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "tests/support/core_runtime.h"

namespace qor::test {

class WordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_core_runtime();
        ownership::install_on_deep_change(nullptr);
        context::install_fire_on_change(nullptr);
        // The collector runs as once the environment has started (at every
        // allocation in stress builds); what the tests build stays alive.
        collector::init();
        collector::install_core_roots();
        kept().clear();
        collector::add_mark_callback(mark_kept);
        collector::set_enabled(true);
    }
    void TearDown() override {
        collector::set_enabled(false);
        collector::remove_mark_callback(mark_kept);
        kept().clear();
        collector::install_cycle(nullptr);
        ownership::install_on_deep_change(nullptr);
        context::install_fire_on_change(nullptr);
        cycle::reset();
        memory::release_all();
    }

    // A block! of the given cells, at index 0.
    static Cell block(std::initializer_list<Cell> cells) {
        NodeId node = series::alloc_cells(cells.size());
        series::Buffer* b = series::buffer(node);
        Cell* out = reinterpret_cast<Cell*>(b->data());
        for (const Cell& c : cells) *out++ = c;
        b->set_tail_units(static_cast<uint32_t>(cells.size()));
        return keep(Cell{to_int(TypeId::block), 0, node, 0});
    }

    // Values the tests hold in C++ locals, kept alive until the test ends.
    static std::vector<Cell>& kept() {
        static std::vector<Cell> values;
        return values;
    }
    static void mark_kept() {
        for (Cell& c : kept()) collector::mark_cell(c);
    }
    static Cell keep(const Cell& c) {
        kept().push_back(c);
        return c;
    }
    static NodeId keep_node(NodeId id) {
        keep(Cell{to_int(TypeId::block), 0, id, 0});
        return id;
    }
    static Cell* cell_at(const Cell& block, uint32_t i) { return series::buffer(block.w2)->cells() + i; }

    // A word of the given type, bound in the global context as loaded text is.
    static Cell word_of(std::string_view spelling, TypeId type = TypeId::word) {
        Cell w = unset_cell;
        word::make_at(symbol::make(spelling), w);
        set_type_keep_flags(w, type);
        return w;
    }

    static Cell integer(int32_t v) { return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(v), 0}; }

    // The text of a buffer string.
    static std::string text_of(const Cell& buffer) {
        std::string out;
        for (uint32_t i = 0; i < text_buffer::length(buffer); i++)
            out += static_cast<char>(text_buffer::char_at(buffer, i));
        return out;
    }
};

// Runs body and answers "category/id" of the error it raised ("" when none).
template <class Body>
std::string error_of(Body&& body) {
    try {
        body();
    } catch (const error::Raised& raised) {
        return std::to_string(static_cast<int>(raised.category)) + "/" + std::string(error::spelling(raised.id));
    }
    return "";
}

}  // namespace qor::test
