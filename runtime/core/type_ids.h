// Datatype ids. These numbers are a contract: they are stored in every cell
// header, in typesets and in saved binary images, so they never change.
#pragma once

#include <cstdint>
#include <string_view>

namespace qor {

// X(identifier, id, name): every datatype, in id order, with the name the
// language spells it by. The names are the first symbols the runtime
// interns, so symbol t names type t (see symbol_ids.h).
#define QOR_TYPES(X) \
    X(datatype, 1, "datatype!") \
    X(unset, 2, "unset!") \
    X(none, 3, "none!") \
    X(logic, 4, "logic!") \
    X(block, 5, "block!") \
    X(paren, 6, "paren!") \
    X(string, 7, "string!") \
    X(file, 8, "file!") \
    X(url, 9, "url!") \
    X(char_, 10, "char!") \
    X(integer, 11, "integer!") \
    X(float_, 12, "float!") \
    X(symbol, 13, "symbol!") \
    X(context, 14, "context!") \
    X(word, 15, "word!") \
    X(set_word, 16, "set-word!") \
    X(lit_word, 17, "lit-word!") \
    X(get_word, 18, "get-word!") \
    X(refinement, 19, "refinement!") \
    X(issue, 20, "issue!") \
    X(native, 21, "native!") \
    X(action, 22, "action!") \
    X(op, 23, "op!") \
    X(function, 24, "function!") \
    X(path, 25, "path!") \
    X(lit_path, 26, "lit-path!") \
    X(set_path, 27, "set-path!") \
    X(get_path, 28, "get-path!") \
    X(routine, 29, "routine!") \
    X(bitset, 30, "bitset!") \
    X(triple, 31, "triple!") \
    X(object, 32, "object!") \
    X(typeset, 33, "typeset!") \
    X(error, 34, "error!") \
    X(vector, 35, "vector!") \
    X(hash, 36, "hash!") \
    X(pair, 37, "pair!") \
    X(percent, 38, "percent!") \
    X(tuple, 39, "tuple!") \
    X(map, 40, "map!") \
    X(binary, 41, "binary!") \
    X(series, 42, "series!") \
    X(time, 43, "time!") \
    X(tag, 44, "tag!") \
    X(email, 45, "email!") \
    X(handle, 46, "handle!") \
    X(date, 47, "date!") \
    X(port, 48, "port!") \
    X(money, 49, "money!") \
    X(ref, 50, "ref!") \
    X(point2d, 51, "point2D!") \
    X(point3d, 52, "point3D!") \
    X(image, 53, "image!") \
    X(event, 54, "event!")

enum class TypeId : uint8_t {
    none_id = 0,  // no type: the end marker of tables
#define QOR_TYPE_ENUM(identifier, id, name) identifier = id,
    QOR_TYPES(QOR_TYPE_ENUM)
#undef QOR_TYPE_ENUM
};

// The number of datatypes: ids 1 to type_count.
inline constexpr uint32_t type_count = 0
#define QOR_TYPE_COUNT(identifier, id, name) +1
    QOR_TYPES(QOR_TYPE_COUNT)
#undef QOR_TYPE_COUNT
    ;

// The names by id (entry 0 is empty).
inline constexpr std::string_view type_names[type_count + 1] = {
    "",
#define QOR_TYPE_NAME(identifier, id, name) name,
    QOR_TYPES(QOR_TYPE_NAME)
#undef QOR_TYPE_NAME
};

// The ids run from 1 without a gap, so an id indexes type_names.
inline constexpr bool ids_in_order = [] {
    uint32_t expected = 1;
    bool ok = true;
#define QOR_TYPE_CHECK(identifier, id, name) ok = ok && (id) == expected++;
    QOR_TYPES(QOR_TYPE_CHECK)
#undef QOR_TYPE_CHECK
    return ok;
}();
static_assert(ids_in_order);

// Room in the type and action tables: ids 0 to 56.
inline constexpr int type_table_size = 57;
static_assert(type_count < type_table_size);

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
