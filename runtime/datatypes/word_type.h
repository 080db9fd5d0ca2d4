// The word datatypes: word!, set-word!, lit-word!, get-word!, refinement!
// and issue!. Making and reading words is runtime/words/word.h; this is
// their actions and registration.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/core/compare_ops.h"

namespace qor::word_type {

// Appends a word's spelling to a text buffer; answers the characters added.
int32_t append_spelling(const Cell& word, Cell& buffer);

// word!/form: the spelling; answers the limit less the characters added.
int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit);

// word!/compare: equality ignoring case (0, 1, 12), exact spelling and type
// (2), identity (9), the series tests (10, 11), else the spellings' order.
int32_t compare(const Cell* a, const Cell* b, CompareOp op);

// Registration, one per datatype, parents first.
void init_word();
void init_lit_word();
void init_set_word();
void init_get_word();
void init_refinement();
void init_issue();

}  // namespace qor::word_type
