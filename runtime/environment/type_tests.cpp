// The datatype tests (integer? ...) and the typeset tests (any-list? ...).
//
// A datatype test compares the value's datatype id with its own. A typeset
// test reads, at every call, the global word of its typeset (any-list! for
// any-list?), so redefining that word changes what the test accepts.
#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/environment/routines.h"
#include "runtime/memory/data_stack.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"

namespace qor::environment {

namespace {

using T = TypeId;

// In definition order.
constexpr std::array<T, 48> tested_types = {
    T::bitset, T::binary,   T::block,   T::char_,   T::email,  T::file,    T::float_,   T::get_path,
    T::get_word, T::hash,   T::integer, T::issue,   T::lit_path, T::lit_word, T::logic, T::map,
    T::none,   T::pair,     T::paren,   T::path,    T::percent, T::refinement, T::set_path, T::set_word,
    T::string, T::tag,      T::time,    T::typeset, T::tuple,  T::unset,   T::url,      T::word,
    T::image,  T::date,     T::money,   T::ref,     T::point2d, T::point3d, T::handle,  T::error,
    T::action, T::native,   T::datatype, T::function, T::object, T::op,     T::routine,  T::vector,
};

// The typeset words, without their "!", in definition order.
constexpr std::array<std::string_view, 14> tested_sets = {
    "any-list", "any-block", "any-function", "any-object", "any-path", "any-string", "any-word",
    "series",   "number",    "immediate",    "scalar",     "all-word", "any-point", "planar",
};

// The global words of the typesets, bound when the tests are defined.
std::array<Cell, tested_sets.size()> set_words{};

template <size_t I>
void type_test() {
    logic::box(type_of(*stack::data.base) == tested_types[I]);
}

template <size_t I>
void set_test() {
    const Cell set = *context::value_cell(set_words[I]);
    const TypeId t = type_of(*stack::data.base);
    bool member = false;
    if (type_of(set) == TypeId::typeset) member = typeset::has(set, t);
    else if (type_of(set) == TypeId::datatype) member = set.w1 == to_int(t);
    logic::box(member);
}

// The name of a datatype test: the datatype's name with "?" for its "!".
std::string test_name(T t) {
    std::string name(symbol::spelling(to_int(type_name_symbol(to_int(t)))));
    name.back() = '?';
    return name;
}

template <size_t... I>
void define_all_types(std::index_sequence<I...>) {
    (define_routine(test_name(tested_types[I]),
                    R"spec(["Returns true if the value is this type" value [any-type!] return: [logic!]])spec",
                    type_test<I>),
     ...);
}

template <size_t... I>
void define_all_sets(std::index_sequence<I...>) {
    (
        [] {
            const std::string name(tested_sets[I]);
            // Bound in the global context now, though the library sets it later.
            set_words[I] = context::add_global(word::load(name + "!").w2);
            const std::string spec = "[\"Returns true if the value is any type of " + name +
                                     "\" value [any-type!] return: [logic!]]";
            define_routine(name + "?", spec, set_test<I>);
        }(),
        ...);
}

}  // namespace

void define_type_tests() {
    define_all_types(std::make_index_sequence<tested_types.size()>());
    define_all_sets(std::make_index_sequence<tested_sets.size()>());
}

}  // namespace qor::environment
