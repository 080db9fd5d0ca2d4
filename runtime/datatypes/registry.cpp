// The datatype registry: type table, action table and registration.
#include "runtime/datatypes/registry.h"

#include "runtime/output/output.h"
#include "runtime/core/runtime_process.h"

namespace qor::datatype {

namespace detail {
ActionTable action_table{};
}  // namespace detail

namespace {

std::array<TypeEntry, 256> type_table{};  // indexed by any type byte
int highest_id = 0;

// A registration with the wrong number of action entries is a build fault:
// it is reported and the process ends.
[[noreturn]] void report_bad_count(TypeId id, size_t found) {
    output::print({"*** Datatype Error: invalid actions count for type: ", int32_t(to_int(id)), "\n"});
    output::print({"*** Found: ", static_cast<int32_t>(found), "\n"});
    output::print({"*** Expected: ", int32_t(action_count), "\n"});
    rt::quit(0);
}

}  // namespace

void register_type(TypeId id, TypeId parent, std::string_view name, std::span<const ActionEntry> entries) {
    const int t = to_int(id);
    if (t > highest_id) highest_id = t;
    type_table[static_cast<size_t>(t)].name = name;
    if (entries.size() != static_cast<size_t>(action_count)) report_bad_count(id, entries.size());

    auto& row = detail::action_table[static_cast<size_t>(t)];
    const auto& parent_row = detail::action_table[to_int(parent)];
    for (size_t n = 0; n < row.size(); n++) {
        const ActionEntry& e = entries[n];
        switch (e.kind) {
            case ActionEntry::Kind::own: row[n] = e.routine; break;
            case ActionEntry::Kind::inherit: row[n] = parent == TypeId::none_id ? nullptr : parent_row[n]; break;
            case ActionEntry::Kind::none: row[n] = nullptr; break;
        }
    }
}

void register_type(TypeId id, TypeId parent, const ActionRow& row) {
    register_type(id, parent, type_names[to_int(id)], row.entries());
    const auto t = static_cast<uint8_t>(to_int(id));
    const auto p = static_cast<uint8_t>(to_int(parent));
    const bool has_parent = parent != TypeId::none_id;
    collector::set_value_marker(t, row.marker_given() ? row.marker()
                                   : has_parent       ? collector::value_marker(p)
                                                      : nullptr);
    hashtable::set_value_hasher(t, row.hasher_given() ? row.hasher()
                                   : has_parent       ? hashtable::value_hasher(p)
                                                      : nullptr);
}

void reset_tables() {
    for (int t = 0; t < 256; t++) {
        collector::set_value_marker(static_cast<uint8_t>(t), nullptr);
        hashtable::set_value_hasher(static_cast<uint8_t>(t), nullptr);
    }
    type_table = {};
    detail::action_table = {};
    highest_id = 0;
}

int highest_type_id() { return highest_id; }

bool is_registered(TypeId id) { return !type_table[to_int(id)].name.empty(); }

std::string_view name(TypeId id) { return type_table[to_int(id)].name; }

std::string_view name_without_bang(TypeId id) {
    std::string_view n = name(id);
    if (!n.empty() && n.back() == '!') n.remove_suffix(1);
    return n;
}

}  // namespace qor::datatype
