// The signature of each action's routine: what a datatype's routine for an
// action receives and answers. The action table stores routines type-erased;
// `RoutineOf<A>` is the one type a routine for action A has, and the
// registry and the dispatchers convert through it, so a routine of the wrong
// shape does not compile.
//
// Conventions shared by all routines:
// - Flag refinements arrive as bool; refinements with an argument arrive as
//   the address of their argument cell, nullptr when the refinement is absent.
// - Routines that answer a cell answer the address of the cell that holds the
//   result; the dispatcher copies it into the result slot unless it is the
//   result slot itself.
// - "Frame" routines take no arguments: they read the current call's
//   argument cells on the data stack (the first is the result slot, the
//   second follows it), write the result slot and answer its address.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/core/action_ids.h"
#include "runtime/core/compare_ops.h"

namespace qor::actions {

// A type-erased routine as the action table stores it.
using Routine = void (*)();

using FrameRoutine = Cell* (*)();

// make and to: (prototype or datatype cell, make argument cell, target type id).
using MakeRoutine = const Cell* (*)(Cell* prototype, Cell* spec, TypeId type);
// random: works on the value in place and answers it.
using RandomRoutine = Cell* (*)(Cell* value, bool seed, bool secure, bool only);
// form: appends the text of the value to the buffer string; answers the limit
// minus the characters appended.
using FormRoutine = int32_t (*)(const Cell* value, Cell* buffer, const Cell* part, int32_t limit);
// mold: as form, with the mold flags and the indentation level.
using MoldRoutine = int32_t (*)(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
                                const Cell* part, int32_t limit, int32_t indent);
// compare: -1, 0, 1, or -2 when the values cannot be compared.
using CompareRoutine = int32_t (*)(const Cell* value1, const Cell* value2, CompareOp op);
// round: the value and its refinements; writes the value cell (the result slot).
using RoundRoutine = Cell* (*)(Cell* value, const Cell* scale, bool even, bool down, bool half_down,
                               bool floor, bool ceiling, bool half_ceiling);

// Path access: the next parent of a path walk.
struct EvalPathArgs {
    Cell* parent;
    Cell* element;
    Cell* value;          // the value to store, nullptr when getting
    Cell* path;
    Cell* grand_parent;   // nullptr when there is none
    Cell* previous;       // the previous element, nullptr when there is none
    int32_t index;        // the element's position after the head, from 0
    bool case_sensitive;
    bool get_mode;
    bool last;
    bool event;
};
using EvalPathRoutine = Cell* (*)(const EvalPathArgs& args);

// append and insert: (series, value, /part count cell, /only, /dup count cell).
// The dispatcher has checked /part and turned it into an integer! count.
using InsertRoutine = const Cell* (*)(Cell* series, Cell* value, const Cell* part, bool only, const Cell* dup);
using ChangeRoutine = InsertRoutine;
// copy: (value, result cell, /part, /deep, /types).
using CopyRoutine = const Cell* (*)(Cell* value, Cell* result, const Cell* part, bool deep, const Cell* types);

// find and select.
struct FindArgs {
    const Cell* part = nullptr;
    bool only = false;
    bool case_sensitive = false;
    bool same = false;
    bool any = false;
    const Cell* with = nullptr;
    const Cell* skip = nullptr;
    bool last = false;
    bool reverse = false;
    bool tail = false;   // find only
    bool match = false;  // find only
};
using FindRoutine = const Cell* (*)(Cell* series, Cell* value, const FindArgs& args);

// length?: a count, or -1 when the value has no length (the result is none).
using LengthRoutine = int32_t (*)(const Cell* series);
// move: (origin, target, /part).
using MoveRoutine = const Cell* (*)(Cell* origin, Cell* target, const Cell* part);
// pick: (series, index cell, index number from `pick_index`).
using PickRoutine = const Cell* (*)(Cell* series, Cell* index_cell, int32_t index);
// poke: (series, index cell, index number, value); the action answers the value.
using PokeRoutine = const Cell* (*)(Cell* series, Cell* index_cell, int32_t index, Cell* value);
// put: (series, key, value, /case).
using PutRoutine = const Cell* (*)(Cell* series, Cell* key, Cell* value, bool case_sensitive);
// remove: (series, /part, /key).
using RemoveRoutine = const Cell* (*)(Cell* series, const Cell* part, const Cell* key);
// reverse: (series, /part, /skip).
using ReverseRoutine = const Cell* (*)(Cell* series, const Cell* part, const Cell* skip);

struct SortArgs {
    bool case_sensitive = false;
    const Cell* skip = nullptr;
    const Cell* comparator = nullptr;
    const Cell* part = nullptr;
    bool all = false;
    bool reverse = false;
    bool stable = false;
};
using SortRoutine = const Cell* (*)(Cell* series, const SortArgs& args);
// take: (series, /part, /deep, /last).
using TakeRoutine = const Cell* (*)(Cell* series, const Cell* part, bool deep, bool last);

struct TrimArgs {
    bool head = false;
    bool tail = false;
    bool auto_ = false;
    bool lines = false;
    bool all = false;
    const Cell* with = nullptr;
};
using TrimRoutine = const Cell* (*)(Cell* series, const TrimArgs& args);
// modify: (target, field, value, /case).
using ModifyRoutine = const Cell* (*)(Cell* target, Cell* field, Cell* value, bool case_sensitive);

struct OpenArgs {
    bool new_ = false;
    bool read = false;
    bool write = false;
    bool seek = false;
    const Cell* allow = nullptr;
};
using OpenRoutine = const Cell* (*)(Cell* port, const OpenArgs& args);

struct ReadArgs {
    const Cell* part = nullptr;
    const Cell* seek = nullptr;
    bool binary = false;
    bool lines = false;
    bool info = false;
    const Cell* as = nullptr;
};
using ReadRoutine = const Cell* (*)(Cell* source, const ReadArgs& args);

struct WriteArgs {
    bool binary = false;
    bool lines = false;
    bool info = false;
    bool append = false;
    const Cell* part = nullptr;
    const Cell* seek = nullptr;
    const Cell* allow = nullptr;
    const Cell* as = nullptr;
};
using WriteRoutine = const Cell* (*)(Cell* destination, Cell* data, const WriteArgs& args);

// The routine type of each action.
template <Action A>
struct RoutineOf {
    using type = FrameRoutine;  // actions whose routine works on the frame
};
template <> struct RoutineOf<Action::make> { using type = MakeRoutine; };
template <> struct RoutineOf<Action::to> { using type = MakeRoutine; };
template <> struct RoutineOf<Action::random> { using type = RandomRoutine; };
template <> struct RoutineOf<Action::form> { using type = FormRoutine; };
template <> struct RoutineOf<Action::mold> { using type = MoldRoutine; };
template <> struct RoutineOf<Action::eval_path> { using type = EvalPathRoutine; };
template <> struct RoutineOf<Action::compare> { using type = CompareRoutine; };
template <> struct RoutineOf<Action::round> { using type = RoundRoutine; };
template <> struct RoutineOf<Action::append> { using type = InsertRoutine; };
template <> struct RoutineOf<Action::insert> { using type = InsertRoutine; };
template <> struct RoutineOf<Action::change> { using type = ChangeRoutine; };
template <> struct RoutineOf<Action::copy> { using type = CopyRoutine; };
template <> struct RoutineOf<Action::find> { using type = FindRoutine; };
template <> struct RoutineOf<Action::select> { using type = FindRoutine; };
template <> struct RoutineOf<Action::length_q> { using type = LengthRoutine; };
template <> struct RoutineOf<Action::move> { using type = MoveRoutine; };
template <> struct RoutineOf<Action::pick> { using type = PickRoutine; };
template <> struct RoutineOf<Action::poke> { using type = PokeRoutine; };
template <> struct RoutineOf<Action::put> { using type = PutRoutine; };
template <> struct RoutineOf<Action::remove> { using type = RemoveRoutine; };
template <> struct RoutineOf<Action::reverse> { using type = ReverseRoutine; };
template <> struct RoutineOf<Action::sort> { using type = SortRoutine; };
template <> struct RoutineOf<Action::take> { using type = TakeRoutine; };
template <> struct RoutineOf<Action::trim> { using type = TrimRoutine; };
template <> struct RoutineOf<Action::modify> { using type = ModifyRoutine; };
template <> struct RoutineOf<Action::open> { using type = OpenRoutine; };
template <> struct RoutineOf<Action::read> { using type = ReadRoutine; };
template <> struct RoutineOf<Action::write> { using type = WriteRoutine; };

template <Action A>
using routine_t = typename RoutineOf<A>::type;

// Type erasure both ways; only these two casts exist.
template <Action A>
[[nodiscard]] inline Routine erase(routine_t<A> routine) {
    return reinterpret_cast<Routine>(routine);
}
template <Action A>
[[nodiscard]] inline routine_t<A> restore(Routine routine) {
    return reinterpret_cast<routine_t<A>>(routine);
}

}  // namespace qor::actions
