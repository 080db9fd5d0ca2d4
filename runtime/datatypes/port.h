// port!: an object that stands for an external resource reached through a
// scheme. The datatype does no I/O itself: each series and port action on a
// port is handed to the port's actor, an object whose fields are functions
// named after the actions (or a handle! on a table of action routines).
//
// A port has the fields of the standard port prototype: spec, scheme,
// actor, awake, state, data, extra. Every port made by make has class id 2
// and no change handlers.
#pragma once

#include <array>
#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/core/action_ids.h"
#include "runtime/datatypes/action_routines.h"

namespace qor::port {

inline constexpr uint32_t class_id = 2;

// Field indexes of a port and of a scheme.
inline constexpr uint32_t field_spec = 0;
inline constexpr uint32_t field_scheme = 1;
inline constexpr uint32_t field_actor = 2;
inline constexpr uint32_t scheme_field_actor = 3;

// What make needs from the system object: the scheme registry and the two
// standard prototypes. Until the environment installs its lookup every
// part answers none; the prototypes then fall back to objects with the
// standard fields, all none.
enum class SystemPart : uint8_t { schemes, standard_port, url_parts };
using SystemLookup = Cell (*)(SystemPart part);
void install_system_lookup(SystemLookup lookup);

// The routine table a handle! actor points to (through its handle-table
// entry): one routine per action from append to write, nullptr where the
// actor has none.
inline constexpr uint32_t handle_action_count = action_count - to_int(first_series_action) + 1;
struct ActorTable {
    std::array<actions::Routine, handle_action_count> routines{};
};

// Registers port! (a child of object!).
void init();

}  // namespace qor::port
