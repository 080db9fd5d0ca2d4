// A fresh evaluator for each test: memory, datatypes, actions, the symbol
// table with the predefined words, the global context, both stacks, the
// natives, the lexer and the interpreter.
#pragma once

#include <gtest/gtest.h>

#include "runtime/errors/catalogue.h"
#include "runtime/datatypes/actions.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives.h"
#include "runtime/lexer/lexer.h"
#include "runtime/parse/parse.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/words/core_roots.h"
#include "runtime/memory/roots.h"
#include "runtime/words/ownership.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "tests/unit/datatypes/fixture.h"
#include "tests/support/core_runtime.h"

namespace qor::test {

class EvalTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_core_runtime();
        ownership::install_on_deep_change(nullptr);
        context::install_fire_on_change(nullptr);
        natives::init();
        parse::init();
        lexer::init();
        interpreter::init();
        error::catalogue::init();
        collector::init();
        collector::install_core_roots();
        // The lexer's runs in progress are a root, as the boot sets them up.
        collector::set_root_marker(collector::Root::lexers, [] {
            lexer::for_each_active_cell([](Cell& cell) { collector::mark_cell(cell); });
        });
        // The collector runs as it does once the environment has started:
        // at every allocation in stress builds, so a missing root shows.
        collector::set_enabled(true);
    }
    void TearDown() override {
        collector::set_enabled(false);
        ownership::install_on_deep_change(nullptr);
        context::install_fire_on_change(nullptr);
        stop_core_runtime();
    }
};

}  // namespace qor::test
