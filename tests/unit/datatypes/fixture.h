// Test support for datatype actions: a booted registry, memory and data
// stack, and a way to call an action through its dispatcher the way the
// evaluator does (arguments pushed in a fresh frame, refinement slots).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "runtime/datatypes/char.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/register_all.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/memory/call_stack.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/collector.h"
#include "runtime/memory/collector_hook.h"
#include "runtime/memory/roots.h"
#include "runtime/memory/memory_record.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"

namespace qor::test {

// Values.
inline Cell I(int32_t v) { return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(v), 0}; }
inline Cell F(double d) {
    Cell c{to_int(TypeId::float_), 0, 0, 0};
    set_double(c, d);
    return c;
}
inline Cell P(double d) {  // percent!, stored as the fraction
    Cell c = F(d);
    set_type_keep_flags(c, TypeId::percent);
    return c;
}
inline Cell C(char32_t c) { return Cell{to_int(TypeId::char_), 0, static_cast<uint32_t>(c), 0}; }
inline Cell L(bool b) { return b ? logic::true_value : logic::false_value; }
inline Cell T(TypeId t) { return datatype::value(t); }
inline const Cell none_v = none::value;
inline const Cell unset_v = unset::value;

// Every series value the helpers below make or an action answers stays
// alive until the test ends: tests hold values in C++ locals and tables,
// which the collector cannot see.
inline std::vector<Cell> kept_values;
inline void mark_kept_values() {
    for (Cell& c : kept_values) collector::mark_cell(c);
}
inline Cell keep(const Cell& c) {
    kept_values.push_back(c);
    return c;
}

// A string! holding the text (each byte one character) or code points.
inline Cell S(std::string_view text) {
    Cell c = none::value;
    collector::RootGuard guard(c);
    text_buffer::make(c);
    text_buffer::append_ascii(c, text);
    return keep(c);
}
inline Cell S32(std::u32string_view text) {
    Cell c = none::value;
    collector::RootGuard guard(c);
    text_buffer::make(c);
    for (char32_t ch : text) text_buffer::append_char(c, ch);
    return keep(c);
}

// A binary! holding the bytes.
inline Cell B(const std::vector<uint8_t>& bytes) {
    const uint32_t node = series::alloc_bytes(bytes.size());
    series::Buffer* b = series::buffer(node);
    if (!bytes.empty()) std::memcpy(b->data(), bytes.data(), bytes.size());
    b->tail = static_cast<uint32_t>(bytes.size());
    return keep(Cell{to_int(TypeId::binary), 0, node, 0});
}

// A block! holding the cells.
inline Cell K(std::initializer_list<Cell> cells) {
    const uint32_t node = series::alloc_cells(cells.size());
    Cell block{to_int(TypeId::block), 0, node, 0};
    collector::RootGuard guard(block);
    for (const Cell& c : cells) *series_tail::block_alloc_tail(block) = c;
    return keep(block);
}

// The characters of a string value as UTF-8.
inline std::string text_of(const Cell& s) {
    std::string out;
    for (char32_t c : text_buffer::chars(s)) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// One refinement of a call: absent, given without an argument, or given
// with one.
struct Ref {
    enum class Kind { absent, flag, value } kind = Kind::absent;
    Cell arg{};
    static Ref on() { return Ref{Kind::flag, {}}; }
    static Ref with(const Cell& c) { return Ref{Kind::value, c}; }
};
inline const Ref off{};

// Calls an action through its dispatcher in a new frame and answers the
// result slot; the stack is back where it was afterwards, even when the
// action raised an error.
inline Cell act(Action a, std::initializer_list<Cell> args, std::initializer_list<Ref> refs = {}) {
    struct Restore {
        stack::DataStack saved = stack::data;
        ~Restore() { stack::data = saved; }
    } restore;
    stack::data.base = stack::data.top;
    for (const Cell& c : args) stack::push(c);
    std::vector<int32_t> slots;
    for (const Ref& r : refs) {
        if (r.kind == Ref::Kind::absent) {
            slots.push_back(-1);
        } else if (r.kind == Ref::Kind::flag) {
            slots.push_back(0);
        } else {
            slots.push_back(static_cast<int32_t>(stack::data.top - stack::data.base));
            stack::push(r.arg);
        }
    }
    actions::dispatcher(a)(slots);
    return keep(*stack::data.base);
}

// The error an action call raised, as "category/id" ("" when none).
template <class Body>
std::string error_of(Body&& body) {
    static const char* const names[] = {"throw", "note", "syntax", "script", "math",
                                        "access", "reserved1", "reserved2", "user", "internal"};
    try {
        body();
    } catch (const error::Raised& r) {
        return std::string(names[static_cast<int>(r.category)]) + "/" + std::string(error::spelling(r.id));
    }
    return "";
}

// The error a call raised ("" when none) and the value it answered.
struct Outcome {
    std::string error;
    Cell value = unset_cell;
};
template <class Body>
Outcome attempt(Body&& body) {
    Outcome o;
    o.error = error_of([&] { o.value = body(); });
    return o;
}

inline std::string form(const Cell& v) { return text_of(act(Action::form, {v})); }
inline std::string mold(const Cell& v, bool all = false) {
    return text_of(act(Action::mold, {v}, {off, all ? Ref::on() : off}));
}

// Two cells hold the same value: type, and the payload words the type uses.
inline bool same_value(const Cell& a, const Cell& b) {
    if (type_of(a) != type_of(b)) return false;
    switch (type_of(a)) {
        case TypeId::float_: case TypeId::percent: case TypeId::time: {
            const double x = get_double(a), y = get_double(b);
            return std::memcmp(&x, &y, sizeof x) == 0;
        }
        case TypeId::integer: case TypeId::char_: return a.w2 == b.w2;
        case TypeId::logic: case TypeId::datatype: return a.w1 == b.w1;
        case TypeId::none: case TypeId::unset: return true;
        default: return a.w1 == b.w1 && a.w2 == b.w2 && a.w3 == b.w3;
    }
}

inline std::string describe(const Cell& c) {
    switch (type_of(c)) {
        case TypeId::integer: return "integer " + std::to_string(get_int(c));
        case TypeId::float_: {
            char buf[40];
            std::snprintf(buf, sizeof buf, "float %.17g", get_double(c));
            return buf;
        }
        case TypeId::char_: return "char " + std::to_string(c.w2);
        case TypeId::logic: return c.w1 ? "true" : "false";
        default: return "type " + std::to_string(to_int(type_of(c)));
    }
}

class DatatypeTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        stack::init();
        datatypes::register_all();
        actions::init();
        node::alloc_frame();
        series::alloc_frame();
        // The collector runs as it does once the environment has started:
        // at every allocation in stress builds, so a missing root shows.
        collector::init();
        kept_values.clear();
        collector::add_mark_callback(mark_kept_values);
        collector::set_enabled(true);
    }
    void TearDown() override {
        collector::set_enabled(false);
        collector::remove_mark_callback(mark_kept_values);
        kept_values.clear();
        collector::install_cycle(nullptr);
        memory::release_all();
    }
};

}  // namespace qor::test
