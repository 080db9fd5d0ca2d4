// Maps and hash! blocks built by hand for their tests, with path access and
// the common action calls.
#pragma once

#include <string>
#include <string_view>

#include "runtime/datatypes/map.h"
#include "runtime/datatypes/actions.h"
#include "tests/unit/blocks/blocks_fixture.h"

namespace qor::test {

class MapsTest : public BlocksTest {};

// Restores the data stack when a direct routine call is done.
struct StackGuard {
    stack::DataStack saved = stack::data;
    ~StackGuard() { stack::data = saved; }
};

inline Cell make_map(const Cell& spec) { return act(Action::make, {T(TypeId::map), spec}); }
inline Cell make_hash(const Cell& spec) { return act(Action::make, {T(TypeId::hash), spec}); }

// m/key, and m/key: value (case-sensitive with `exact`).
inline Cell path_get(Cell m, Cell key, bool exact = false) {
    StackGuard guard;
    actions::EvalPathArgs a{&m, &key, nullptr, nullptr, nullptr, nullptr, 0, exact, true, true, false};
    return *actions::call_eval_path(a);
}
inline void path_set(Cell m, Cell key, Cell value, bool exact = false) {
    StackGuard guard;
    actions::EvalPathArgs a{&m, &key, &value, nullptr, nullptr, nullptr, 0, exact, false, true, false};
    (void)actions::call_eval_path(a);
}

// select and find with /case (refinement 2) or /same (3).
inline Cell select_in(const Cell& s, const Cell& key, bool exact = false, bool same = false) {
    return act(Action::select, {s, key}, {off, off, exact ? Ref::on() : off, same ? Ref::on() : off});
}
inline Cell find_in(const Cell& s, const Cell& key, bool exact = false, bool last = false) {
    return act(Action::find, {s, key},
               {off, off, exact ? Ref::on() : off, off, off, off, off, last ? Ref::on() : off});
}
inline int32_t length_of(const Cell& s) { return get_int(act(Action::length_q, {s})); }
inline Cell words_of(const Cell& m) { return act(Action::reflect, {m, W("words")}); }
inline std::string mold_flat(const Cell& v) { return text_of(act(Action::mold, {v}, {off, off, Ref::on()})); }
inline std::string mold_only(const Cell& v) { return text_of(act(Action::mold, {v}, {Ref::on()})); }
inline std::string formed(const Cell& v) { return text_of(act(Action::form, {v})); }

}  // namespace qor::test
