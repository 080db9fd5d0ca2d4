// A fresh evaluator for each test: memory, datatypes, actions, the symbol
// table with the predefined words, the global context, both stacks, the
// natives, the lexer and the interpreter.
#pragma once

#include <gtest/gtest.h>

#include "runtime/cycle_stack.h"
#include "runtime/datatypes/register_all.h"
#include "runtime/eval/actions.h"
#include "runtime/eval/data_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/memory/memory_record.h"
#include "runtime/ownership.h"
#include "runtime/words/context.h"
#include "runtime/words/predefined.h"
#include "runtime/words/symbol.h"
#include "tests/unit/datatypes/fixture.h"

namespace qor::test {

class EvalTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        datatypes::register_all();
        actions::init();
        stack::init();
        cycle::reset();
        symbol::init_table();
        context::make_global();
        words::init_all();
        ownership::init();
        ownership::install_on_deep_change(nullptr);
        context::install_fire_on_change(nullptr);
        natives::init();
        lexer::init();
        interpreter::init();
    }
    void TearDown() override {
        ownership::install_on_deep_change(nullptr);
        context::install_fire_on_change(nullptr);
        cycle::reset();
        collector::set_enabled(false);
        memory::release_all();
    }
};

}  // namespace qor::test
