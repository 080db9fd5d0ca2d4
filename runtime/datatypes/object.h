// object!: records of named fields held in an object context.
//
// An object cell: word 1 the context node (a kind-2 context with a self
// value), word 2 the class id, word 3 the node of its change-handler record
// or 0. Copying the cell shares the context. The context's self slot always
// holds a copy of the object cell, refreshed whenever the object gets a new
// class id or record.
//
// Class ids tell which prototype an object was made from: objects made at
// run time draw them from a counter (the first is 1,000,001); an object
// made with the same fields as its prototype keeps the prototype's id.
//
// The change-handler record is a block of two cells, the first for the
// object's on-change* field and the second for on-deep-change*: word 2 holds
// the field index in the high half (-1: no such handler) and the handler's
// local count in the low half, word 3 the handler's interface block node the count was taken
// from, so a handler replaced later is recounted when it next runs.
//
// error! and port! are objects too: they reuse these routines.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/datatypes/action_routines.h"
#include "runtime/memory/node.h"

namespace qor::object {

// Class ids below this are constants of library code; run-time ids follow.
inline constexpr uint32_t first_class_counter = 1000000;

// The next class id (the first drawn is 1,000,001).
[[nodiscard]] uint32_t new_class_id();

// --- Fields ------------------------------------------------------------------

// The number of fields.
[[nodiscard]] uint32_t field_count(const Cell& object);
// The field index of a word's symbol (any spelling case), or -1.
[[nodiscard]] int32_t find_word(const Cell& object, const Cell& word);
// The field's value cell, or the shared none cell when the object lacks it.
// Valid until the next allocation.
[[nodiscard]] const Cell* get_word_cell(const Cell& object, const Cell& word);
// Word cell i of a context's word list (the field's name, not its value).
[[nodiscard]] Cell* word_at(NodeId ctx, uint32_t index);
// Clears the changed mark of every field.
void clear_changed(NodeId ctx);

// Sets a field (bound to the object's context or looked up by symbol) with
// no change event: the handler does not run. The field must exist (script
// invalid-path otherwise, with the word).
void set_quiet(const Cell& object, const Cell& word, const Cell& value);

// --- Making ------------------------------------------------------------------

// Writes into `out` an empty object with room for `room` fields (0 counts as
// 1), class id 0 and no record, stored in its self slot.
Cell* make_at(Cell& out, uint32_t room);

// An object from a context node and a class id (no record); the context's
// values are filled to one per word; stored in its self slot. Pushed.
Cell* push(NodeId ctx, uint32_t class_id);

// The make action: from a prototype object (or the datatype) and a block
// (evaluated in the new context) or object make argument. Pushes and answers the new
// object; `type` is the datatype of the result (object!, error!, port!).
const Cell* make(Cell* prototype, Cell* spec, TypeId type);

// construct: a new object from an unevaluated make argument, copied (deeply) from the
// prototype when one is given; unless `only`, the words true/yes/on,
// false/no/off and none become their values. Pushes and answers it.
Cell* push_new(const Cell& spec, const Cell* prototype, bool only);

// Copies an object's fields into `destination` (a new context, the source's
// class id). `deep` copies the series values; `types` limits the copy to
// those datatypes. With `reset`, the handlers are attached afresh (else the
// source's record is kept).
void copy_into(const Cell& source, Cell& destination, bool deep, const Cell* types, bool reset);

// Builds the object's change-handler record from its fields and stores it
// in the object cell (script bad-field-set when a handler field holds no
// function); refreshes the self slot.
void attach_handlers(Cell& object);

// Runs the object's on-change* handler with the field's word, the old and
// the new value.
void fire_on_change(const Cell& object, const Cell& word, const Cell& old_value, const Cell& new_value);

// The set native on an object: fields from a block (in order) or from an
// object (by name), or every field the value itself.
void set_fields(Cell& object, const Cell& value, bool any, bool only, bool some);

// --- Text ----------------------------------------------------------------------

// Writes the fields as "word: value" items, separated by spaces (flat) or
// new lines, indented four spaces per level when `indent` is set; with
// `mold` and neither flat nor only, a new line comes first. Handler fields
// are written only with `all`. Answers the remaining budget.
int32_t form_fields(const Cell& object, Cell& buffer, bool only, bool all, bool flat, const Cell* part,
                    int32_t limit, bool indent, int32_t level, bool mold);

// form and mold of an object: "make object! [", the fields one per line
// indented four spaces a level, "]"; an object met inside itself writes
// "make object! [...]".
int32_t form(const Cell* value, Cell* buffer, const Cell* part, int32_t limit);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* part, int32_t limit,
             int32_t indent);

// --- Actions (shared with error! and port!) ------------------------------------

Cell* eval_path(const actions::EvalPathArgs& args);
int32_t compare(const Cell* a, const Cell* b, CompareOp op);
Cell* reflect();

// Installs the runners of the change handlers in the context and ownership
// layers (registration does it; test set-ups that clear them call it again).
void install_runners();

// Registers object! and installs the change handlers' runners in the
// context and ownership layers.
void init();

}  // namespace qor::object
