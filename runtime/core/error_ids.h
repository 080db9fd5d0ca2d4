// The error categories and ids as C++ names, generated from the catalogue
// table, with their codes, spellings and message templates.
//
// An id's enumerator value is its error code (category × 100 + ordinal), so
// a code and an id convert both ways, and a misspelt id does not compile.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qor::error {

// Categories in catalogue order (index 0-9).
enum class Category : uint8_t {
#define QOR_ERROR_CATEGORY(c, spelling, code, title) c,
#define QOR_ERROR(c, n, spelling, message)
#include "runtime/core/error_table.h"
#undef QOR_ERROR_CATEGORY
#undef QOR_ERROR
};

namespace detail {
// Counts each category's ids up from its base code.
enum Counter : int {
#define QOR_ERROR_CATEGORY(c, spelling, code, title) c##_base_ = (code) - 1,
#define QOR_ERROR(c, n, spelling, message) c##_##n,
#include "runtime/core/error_table.h"
#undef QOR_ERROR_CATEGORY
#undef QOR_ERROR
};
}  // namespace detail

// Every error id; the value is the error code.
enum class Id : uint16_t {
#define QOR_ERROR_CATEGORY(c, spelling, code, title)
#define QOR_ERROR(c, n, spelling, message) n = detail::c##_##n,
#include "runtime/core/error_table.h"
#undef QOR_ERROR_CATEGORY
#undef QOR_ERROR
};

struct CategoryInfo {
    std::string_view spelling;
    uint16_t code;
    std::string_view title;
};

struct IdInfo {
    Id id;
    Category category;
    std::string_view spelling;
    std::string_view message;  // source text: a string, a block, or arg1
};

inline constexpr CategoryInfo categories[] = {
#define QOR_ERROR_CATEGORY(c, spelling, code, title) {spelling, code, title},
#define QOR_ERROR(c, n, spelling, message)
#include "runtime/core/error_table.h"
#undef QOR_ERROR_CATEGORY
#undef QOR_ERROR
};
inline constexpr int category_count = static_cast<int>(std::size(categories));

// Every id in catalogue order.
inline constexpr IdInfo ids[] = {
#define QOR_ERROR_CATEGORY(c, spelling, code, title)
#define QOR_ERROR(c, n, spelling, message) {Id::n, Category::c, spelling, message},
#include "runtime/core/error_table.h"
#undef QOR_ERROR_CATEGORY
#undef QOR_ERROR
};
inline constexpr int id_count = static_cast<int>(std::size(ids));

[[nodiscard]] constexpr uint16_t code_of(Id id) { return static_cast<uint16_t>(id); }
[[nodiscard]] constexpr Category category_of(Id id) { return static_cast<Category>(code_of(id) / 100); }
[[nodiscard]] constexpr int ordinal_of(Id id) { return code_of(id) % 100; }
[[nodiscard]] constexpr int index_of(Category c) { return static_cast<int>(c); }

namespace detail {
// Index in `ids` of each category's first id, and one past the last.
constexpr std::array<int, category_count + 1> first_ids() {
    std::array<int, category_count + 1> first{};
    int at = 0;
    for (int c = 0; c < category_count; c++) {
        first[c] = at;
        while (at < id_count && index_of(ids[at].category) == c) at++;
    }
    first[category_count] = at;
    return first;
}
inline constexpr std::array<int, category_count + 1> first_id = first_ids();

// The table's order is the codes' order, category by category.
constexpr bool table_is_ordered() {
    for (int c = 0; c < category_count; c++) {
        if (categories[c].code != c * 100) return false;
        for (int i = first_id[c]; i < first_id[c + 1]; i++)
            if (code_of(ids[i].id) != c * 100 + (i - first_id[c])) return false;
    }
    return first_id[category_count] == id_count;
}
static_assert(table_is_ordered(), "catalogue categories and ids out of order");
}  // namespace detail

// The number of ids of a category.
[[nodiscard]] constexpr int id_count_of(Category c) {
    return detail::first_id[index_of(c) + 1] - detail::first_id[index_of(c)];
}
[[nodiscard]] constexpr const IdInfo& info(Id id) {
    return ids[detail::first_id[index_of(category_of(id))] + ordinal_of(id)];
}
[[nodiscard]] constexpr std::string_view spelling(Id id) { return info(id).spelling; }
[[nodiscard]] constexpr const CategoryInfo& info(Category c) { return categories[index_of(c)]; }
[[nodiscard]] constexpr std::string_view spelling(Category c) { return info(c).spelling; }

// The id of a code, when the code names one.
[[nodiscard]] constexpr bool is_code(int code) {
    return code >= 0 && code / 100 < category_count && code % 100 < id_count_of(static_cast<Category>(code / 100));
}

}  // namespace qor::error
