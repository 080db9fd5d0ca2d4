// Datatype ids. These numbers are a contract: they are stored in every cell
// header, in typesets and in saved binary images, so they never change.
#pragma once

#include <cstdint>

namespace qor {

enum class TypeId : uint8_t {
    none_id = 0,  // no type: the end marker of tables
    datatype = 1,
    unset = 2,
    none = 3,
    logic = 4,
    block = 5,
    paren = 6,
    string = 7,
    file = 8,
    url = 9,
    char_ = 10,
    integer = 11,
    float_ = 12,
    symbol = 13,
    context = 14,
    word = 15,
    set_word = 16,
    lit_word = 17,
    get_word = 18,
    refinement = 19,
    issue = 20,
    native = 21,
    action = 22,
    op = 23,
    function = 24,
    path = 25,
    lit_path = 26,
    set_path = 27,
    get_path = 28,
    routine = 29,
    bitset = 30,
    triple = 31,
    object = 32,
    typeset = 33,
    error = 34,
    vector = 35,
    hash = 36,
    pair = 37,
    percent = 38,
    tuple = 39,
    map = 40,
    binary = 41,
    series = 42,
    time = 43,
    tag = 44,
    email = 45,
    handle = 46,
    date = 47,
    port = 48,
    money = 49,
    ref = 50,
    point2d = 51,
    point3d = 52,
    image = 53,
    event = 54,
};

// Room in the type and action tables: ids 0 to 56.
inline constexpr int type_table_size = 57;

[[nodiscard]] constexpr uint8_t to_int(TypeId t) { return static_cast<uint8_t>(t); }

// Type groups tested by id.
[[nodiscard]] constexpr bool is_any_block(TypeId t) {
    switch (t) {
        case TypeId::block: case TypeId::paren: case TypeId::path: case TypeId::lit_path:
        case TypeId::set_path: case TypeId::get_path: case TypeId::hash:
            return true;
        default:
            return false;
    }
}

[[nodiscard]] constexpr bool is_any_string(TypeId t) {
    switch (t) {
        case TypeId::string: case TypeId::file: case TypeId::url: case TypeId::tag:
        case TypeId::email: case TypeId::ref:
            return true;
        default:
            return false;
    }
}

[[nodiscard]] constexpr bool is_series(TypeId t) {
    return is_any_block(t) || is_any_string(t) || t == TypeId::binary || t == TypeId::vector ||
           t == TypeId::image;
}

// The six datatypes whose payload is a word: the language's any-word!
// (word!, lit-word!, set-word!, get-word!) and also refinement! and issue!.
[[nodiscard]] constexpr bool is_word_like(TypeId t) {
    return t >= TypeId::word && t <= TypeId::issue;
}

}  // namespace qor
