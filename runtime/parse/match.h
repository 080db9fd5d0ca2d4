// PARSE matching of one rule value against the input: literal values,
// datatypes and typesets, and the search of `to` and `thru`. These read the
// input in place and allocate nothing (except a datatype test on binary
// input, which runs the lexer), so the repetition of a literal runs as a
// tight loop.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/core/compare_ops.h"

namespace qor::parse {

// The kind of input, which decides how a literal compares.
enum class InputKind : uint8_t { block, text, bytes };

[[nodiscard]] InputKind kind_of_input(const Cell& input);

// Units consumed when the rule value matches the input at `at` (the
// input's own index is ignored) with `end` the first index past what may be
// matched; -1 when it does not match. At the end only an empty text rule
// matches (on text input).
[[nodiscard]] int32_t match_literal(const Cell& input, uint32_t at, uint32_t end, const Cell& rule, CompareOp op);

// Units consumed when the value at `at` is of the datatype or typeset;
// -1 when not. Text input raises `parse-unsupported`.
[[nodiscard]] int32_t match_type(const Cell& input, uint32_t at, uint32_t end, const Cell& rule);

// The search of `to` and `thru` for a literal: the index of the first hit
// at or after `at` (before `end`), and the length matched there; false
// when there is none. A non-text value searched in binary input raises
// `parse-rule`.
[[nodiscard]] bool find_literal(const Cell& input, uint32_t at, uint32_t end, const Cell& rule, CompareOp op,
                                uint32_t& hit, uint32_t& length);

}  // namespace qor::parse
