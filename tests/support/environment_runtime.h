// A fresh evaluator with the real environment library run into it: for
// tests and transcripts that use the library's words (typesets, constants,
// operators, library functions) rather than test-only stand-ins.
#pragma once

#include <gtest/gtest.h>

#include "runtime/environment/environment.h"
#include "tests/unit/eval/eval_fixture.h"

namespace qor::test {

class EnvironmentTest : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        const std::optional<environment::Failure> failure = environment::try_run();
        ASSERT_FALSE(failure.has_value()) << failure->source << ": " << failure->error;
    }
};

}  // namespace qor::test
