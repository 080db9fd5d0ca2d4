// Operator codes of the `compare` action. Every datatype's compare routine
// receives one of these and answers -1, 0 or 1, or -2 when the two values
// cannot be compared; the codes are a contract shared by all datatypes.
//
// What each code asks of a compare routine:
//   0  equal?             loose equality: numbers of different types compare
//                         by value (1 = 1.0, 65 = #"A"), floats near-equal
//                         within 10 units in the last place, text ignores case
//   1  not-equal?         the same test as 0; the caller negates it
//   2  strict-equal?      same datatype and exactly the same value (floats by
//                         IEEE ==, text with case)
//   3-6 lesser?, lesser-or-equal?, greater?, greater-or-equal?
//                         an exact ordering; -2 when the two values have none
//   7  sort               the ordering used by `sort`: -1, 0 or 1 over values
//                         of one datatype or of related numeric types, text
//                         ignoring case. Values with no order between them of
//                         otherwise comparable types (a NaN, an infinity) sort
//                         as equal (0); -2 only when there is no ordering at all
//   8  sort/case          as 7, but text is ordered with case
//   9  same?              identity: values of different datatypes are never
//                         the same; scalars are the same when their payload
//                         bits are identical (so 0.0 and -0.0 differ), series
//                         and objects when they are the very same one
//   10, 11                further equality tests passed by series routines;
//                         every datatype answers them exactly as code 0
//   12 find/put key       the key test of `find` and `put`: same datatype
//                         required (a different datatype is 1), otherwise the
//                         equality of code 0 without its near-equality for
//                         floats (exact ==)
//
// For the equality codes (0, 1, 2, 9-12) a routine answers 0 for equal and
// anything else for different; the comparison layer turns -2 into "not
// equal" there and into the cannot-compare error for the orderings 3-6.
#pragma once

#include <cstdint>

namespace qor {

enum class CompareOp : uint8_t {
    equal = 0,
    not_equal = 1,
    strict_equal = 2,
    lesser = 3,
    lesser_or_equal = 4,
    greater = 5,
    greater_or_equal = 6,
    sort = 7,
    sort_case = 8,
    same = 9,
    equal_series = 10,
    equal_series_alt = 11,
    find_key = 12,
};

[[nodiscard]] constexpr int to_int(CompareOp op) { return static_cast<int>(op); }

// Codes 10 and 11 mean exactly what 0 means; routines fold them first.
[[nodiscard]] constexpr CompareOp fold_equality(CompareOp op) {
    return (op == CompareOp::equal_series || op == CompareOp::equal_series_alt) ? CompareOp::equal : op;
}

// The orderings that raise the cannot-compare error on -2.
[[nodiscard]] constexpr bool is_ordering_test(CompareOp op) {
    return op >= CompareOp::lesser && op <= CompareOp::greater_or_equal;
}

// The sort orderings.
[[nodiscard]] constexpr bool is_sort_order(CompareOp op) {
    return op == CompareOp::sort || op == CompareOp::sort_case;
}

// The codes whose answer is only "equal (0) or not".
[[nodiscard]] constexpr bool is_equality_test(CompareOp op) {
    return op <= CompareOp::strict_equal || op >= CompareOp::same;
}

}  // namespace qor
