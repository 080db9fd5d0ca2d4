// In-place sorts of fixed-size records through a comparison callback.
//
// `stable_sort` is a merge sort with the Powersort merge policy: records
// that compare equal keep their input order, ordered and reverse-ordered
// input sorts in linear time, and it needs scratch space for n / 2 records.
// `quick_sort` is an unstable quicksort that first measures how ordered the
// input already is; it needs no scratch space.
//
// The callback answers negative when a sorts before b, 0 when they are
// equal, positive when a sorts after b. It may raise an error, which
// unwinds through the sort with every record still present. The records
// must stay where they are for the whole call: a caller whose callback can
// run the collector sorts a buffer that the collector does not move.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::sort {

using Compare = int32_t (*)(const void* a, const void* b, void* arg1, void* arg2);

// Sorts n records of `width` bytes at base, keeping equal records in order.
// Answers n. Raises script/too-long when the scratch space would not fit in
// 31 bits and internal/no-memory when it cannot be had.
size_t stable_sort(void* base, size_t n, size_t width, void* arg1, void* arg2, Compare compare);

// Sorts n records of `width` bytes at base; equal records end in any order.
void quick_sort(void* base, size_t n, size_t width, void* arg1, void* arg2, Compare compare);

}  // namespace qor::sort
