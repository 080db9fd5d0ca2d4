// The marker that form and mold write for a value met again inside itself.
#include "runtime/datatypes/cycle_marker.h"

#include "runtime/memory/cycle_stack.h"
#include "runtime/datatypes/text_buffer.h"

namespace qor::cycle_marker {

std::string_view text(TypeId type, bool mold) {
    switch (type) {
        case TypeId::block: case TypeId::hash:
            return mold ? "[...]" : "...";
        case TypeId::map:
            return mold ? "#[...]" : "...";
        case TypeId::object: case TypeId::error: case TypeId::port:
            // error! and port! are written as objects and share their marker.
            return mold ? "make object! [...]" : "...";
        case TypeId::path: case TypeId::lit_path: case TypeId::set_path: case TypeId::get_path:
            return "...";
        default:
            return {};
    }
}

bool write(const Cell& value, Cell& buffer, int32_t& remaining, bool mold) {
    const TypeId type = type_of(value);
    const std::string_view marker = text(type, mold);
    if (marker.empty()) return false;
    const bool contextual = type == TypeId::object || type == TypeId::error || type == TypeId::port;
    if (!cycle::find(contextual ? value.w1 : value.w2)) return false;
    text_buffer::append_ascii(buffer, marker);
    remaining -= static_cast<int32_t>(marker.size());
    return true;
}

}  // namespace qor::cycle_marker
