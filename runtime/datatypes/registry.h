// The datatype registry: the type table (each datatype's name), the action
// table (each datatype's routine for each of the 62 actions), and each
// datatype's marker for the collector and hasher for hash tables.
//
// Every datatype file ends in a registration routine that builds an
// `ActionRow` (its own routines, the actions it inherits from its parent, the
// rest unsupported; its marker and hasher, inherited unless given) and calls
// `register_type`. Inherited entries are copied from the parent's row as it
// stands at that moment, so a parent registers before its children and a
// grandchild gets the grandparent's routine through its parent's copy.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/datatypes/action_routines.h"
#include "runtime/core/type_ids.h"
#include "runtime/hash/hash_table.h"
#include "runtime/memory/collector.h"

namespace qor::datatype {

// One entry of a registration: the type's own routine, "inherit the
// parent's", or unsupported.
struct ActionEntry {
    enum class Kind : uint8_t { none, own, inherit } kind = Kind::none;
    actions::Routine routine = nullptr;
};

// The 62 action entries of one registration, all unsupported to begin with.
class ActionRow {
public:
    template <Action A>
    ActionRow& own(actions::routine_t<A> routine) {
        entries_[index(A)] = {ActionEntry::Kind::own, actions::erase<A>(routine)};
        return *this;
    }
    ActionRow& inherit(Action a) {
        entries_[index(a)] = {ActionEntry::Kind::inherit, nullptr};
        return *this;
    }
    // Marks every action not yet given as inherited.
    ActionRow& inherit_rest() {
        for (auto& e : entries_)
            if (e.kind == ActionEntry::Kind::none) e.kind = ActionEntry::Kind::inherit;
        return *this;
    }
    [[nodiscard]] std::span<const ActionEntry> entries() const { return entries_; }

    // How the collector marks the type's values (nullptr: nothing to mark).
    ActionRow& mark(collector::ValueMarker marker) {
        marker_ = marker;
        marker_given_ = true;
        return *this;
    }
    // How hash tables hash the type's keys (nullptr: every key hashes to 0).
    ActionRow& hash(hashtable::ValueHasher hasher) {
        hasher_ = hasher;
        hasher_given_ = true;
        return *this;
    }
    [[nodiscard]] bool marker_given() const { return marker_given_; }
    [[nodiscard]] collector::ValueMarker marker() const { return marker_; }
    [[nodiscard]] bool hasher_given() const { return hasher_given_; }
    [[nodiscard]] hashtable::ValueHasher hasher() const { return hasher_; }

private:
    static constexpr size_t index(Action a) { return static_cast<size_t>(to_int(a) - 1); }
    std::array<ActionEntry, action_count> entries_{};
    collector::ValueMarker marker_ = nullptr;
    hashtable::ValueHasher hasher_ = nullptr;
    bool marker_given_ = false;
    bool hasher_given_ = false;
};

// One row of the type table.
struct TypeEntry {
    std::string_view name;  // with its "!", e.g. "integer!"; empty when not registered
};

// Registers one datatype. `entries` must hold one entry per action: any
// other count is a build fault, reported on the console, and ends the process.
void register_type(TypeId id, TypeId parent, std::string_view name, std::span<const ActionEntry> entries);

// Registers one datatype from its row: its actions, and its marker and
// hasher (the parent's when the row gives none), under its name in QOR_TYPES.
void register_type(TypeId id, TypeId parent, const ActionRow& row);

// Clears the tables, markers and hashers included (the boot starts from
// empty tables; tests re-register).
void reset_tables();

// The largest type id registered so far.
[[nodiscard]] int highest_type_id();

[[nodiscard]] bool is_registered(TypeId id);

// The name with its "!" ("integer!"), and without it ("integer").
[[nodiscard]] std::string_view name(TypeId id);
[[nodiscard]] std::string_view name_without_bang(TypeId id);

namespace detail {
// A row for every value of a header's type byte, so even a corrupt cell
// finds an (empty) row.
using ActionTable = std::array<std::array<actions::Routine, action_count>, 256>;
extern ActionTable action_table;
}  // namespace detail

// The routine of an action for a type, nullptr when unsupported. One table
// read: dispatch calls this for every action.
[[nodiscard]] inline actions::Routine routine(TypeId id, Action a) {
    return detail::action_table[to_int(id)][static_cast<size_t>(to_int(a) - 1)];
}

}  // namespace qor::datatype
