// error!: the value every failure of the language produces.
//
// An error is an object (child type of object!): word 1 of the cell its
// context node, word 2 the class id (always 1), word 3 zero. Its context
// holds the fields of the standard error prototype: code, type (the
// category word), id (the id word), arg1-arg3 (message arguments), near
// (the evaluator's position when it was made), where (the word of the call
// that raised it), stack (the call-stack depth at the raise, made a block
// of the calls when a caught error keeps its stack) and files.
//
// Forming an error gives the console's error text: "*** " with the
// category's title, ": ", the message with its arguments, then the
// "*** Where: " and "*** Near : " lines (and the stack and files lines when
// asked for).
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/datatypes/action_routines.h"
#include "runtime/datatypes/error_catalogue.h"
#include "runtime/core/error_ids.h"

namespace qor::error_type {

using Field = error::catalogue::Field;

inline constexpr uint32_t error_class_id = 1;

// A field's value cell (valid until the next allocation).
[[nodiscard]] Cell* field(const Cell& error, Field f);

// Pushes a new error for the id, its arguments (nullptr for none) and its
// near position. The arguments may live anywhere: they are copied before
// anything allocates.
Cell* push_new(error::Id id, const Cell* arg1, const Cell* arg2, const Cell* arg3, const Cell& near);

// Pushes a new error from a category word and an id word (cause-error):
// script invalid-spec-field when they name no catalogue entry.
Cell* push_from_words(const Cell& category, const Cell& id, const Cell* arg1, const Cell* arg2, const Cell* arg3);

// The symbols of the error's type and id fields (0 when not words).
[[nodiscard]] uint32_t category_symbol(const Cell& error);
[[nodiscard]] uint32_t id_symbol(const Cell& error);

// What forming and catching read from the environment: the stack-trace
// depth (system/state/stack-trace; 0 or less: no stack line) and the list of
// source files being run (system/state/source-files; nullptr or an empty
// block: none). Until the system object installs them, neither is shown.
struct Environment {
    int32_t (*stack_trace)() = nullptr;
    const Cell* (*source_files)() = nullptr;
};
void install_environment(const Environment& environment);
[[nodiscard]] int32_t stack_trace_depth();
[[nodiscard]] const Cell* source_files();

// Actions.
const Cell* make(Cell* prototype, Cell* spec, TypeId type);
int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent);
Cell* eval_path(const actions::EvalPathArgs& args);
int32_t compare(const Cell* value1, const Cell* value2, CompareOp op);

// Registers error! (after object!).
void init();

}  // namespace qor::error_type
