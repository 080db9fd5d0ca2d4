// Record sorts: a Powersort merge sort (stable) and a quicksort that makes
// use of order already present in its input (unstable).
#include "runtime/sort/record_sort.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "runtime/core/error_fire.h"

namespace qor::sort {

namespace {

// A run of records and the callback that orders them.
struct Records {
    uint8_t* base;
    size_t width;
    void* arg1;
    void* arg2;
    Compare compare;

    [[nodiscard]] uint8_t* at(size_t i) const { return base + i * width; }
    [[nodiscard]] int32_t cmp(const void* a, const void* b) const { return compare(a, b, arg1, arg2); }
    [[nodiscard]] int32_t cmp(size_t i, size_t j) const { return cmp(at(i), at(j)); }

    // Exchanges two records in chunks of 8 bytes, then the remaining bytes.
    void swap(size_t i, size_t j) const {
        uint8_t* a = at(i);
        uint8_t* b = at(j);
        size_t n = width;
        while (n >= 8) {
            uint64_t x, y;
            std::memcpy(&x, a, 8);
            std::memcpy(&y, b, 8);
            std::memcpy(a, &y, 8);
            std::memcpy(b, &x, 8);
            a += 8, b += 8, n -= 8;
        }
        while (n-- > 0) std::swap(*a++, *b++);
    }

    void reverse(size_t start, size_t end) const {
        while (end - start > 1) swap(start++, --end);
    }

    // Exchanges the n records from i with the n records from j.
    void swap_blocks(size_t i, size_t j, size_t n) const {
        for (size_t k = 0; k < n; k++) swap(i + k, j + k);
    }

    // Sorts [start, end), whose first `sorted` records are in order, by
    // swapping each following record back while its predecessor compares
    // greater.
    void insertion_sort(size_t start, size_t sorted, size_t end) const {
        for (size_t i = sorted; i < end; i++) {
            for (size_t j = i; j > start && cmp(j - 1, j) > 0; j--) swap(j - 1, j);
        }
    }
};

// ---- Stable sort ----

constexpr size_t min_run = 24;

// The end of the run that starts at `start`: non-descending, or strictly
// descending and then reversed (strictness keeps equal records in order).
size_t find_run(const Records& r, size_t start, size_t end) {
    size_t i = start + 1;
    if (i == end) return end;
    if (r.cmp(start, i) <= 0) {
        while (i + 1 < end && r.cmp(i, i + 1) <= 0) i++;
    } else {
        while (i + 1 < end && r.cmp(i, i + 1) > 0) i++;
        r.reverse(start, i + 1);
    }
    return i + 1;
}

// A run, extended by insertion to min_run records (or to the end).
size_t next_run(const Records& r, size_t start, size_t n) {
    size_t end = find_run(r, start, n);
    if (end - start < min_run) {
        size_t extended = start + min_run < n ? start + min_run : n;
        r.insertion_sort(start, end, extended);
        end = extended;
    }
    return end;
}

// The Powersort node power of the boundary between [s1, s2) and [s2, e2):
// one more than the number of leading binary digits that the two runs'
// midpoints, as fractions of n, have in common.
unsigned node_power(size_t s1, size_t s2, size_t e2, size_t n) {
    uint64_t a = uint64_t(s1) + s2;
    uint64_t b = uint64_t(s2) + e2;
    unsigned power = 0;
    for (;;) {
        bool a_high = a >= n;
        bool b_high = b >= n;
        if (a_high != b_high) break;
        power++;
        if (a_high) a -= n, b -= n;
        a *= 2, b *= 2;
    }
    return power + 1;
}

// Merges the sorted ranges [start, middle) and [middle, end); the shorter
// side goes to the scratch space. Equal records keep their order: a record
// from the left side goes first.
void merge(const Records& r, size_t start, size_t middle, size_t end, uint8_t* scratch) {
    size_t w = r.width;
    size_t left = middle - start;
    size_t right = end - middle;
    if (left == 0 || right == 0) return;
    if (right < left) {
        std::memcpy(scratch, r.at(middle), right * w);
        size_t l = middle;  // left side: [start, l)
        size_t s = right;   // scratch: [0, s)
        size_t out = end;
        while (l > start && s > 0) {
            if (r.cmp(r.at(l - 1), scratch + (s - 1) * w) > 0) {
                std::memcpy(r.at(--out), r.at(--l), w);
            } else {
                std::memcpy(r.at(--out), scratch + --s * w, w);
            }
        }
        std::memcpy(r.at(start), scratch, s * w);
    } else {
        std::memcpy(scratch, r.at(start), left * w);
        size_t s = 0;       // scratch: [s, left)
        size_t m = middle;  // right side: [m, end)
        size_t out = start;
        while (s < left && m < end) {
            if (r.cmp(scratch + s * w, r.at(m)) <= 0) {
                std::memcpy(r.at(out++), scratch + s++ * w, w);
            } else {
                std::memcpy(r.at(out++), r.at(m++), w);
            }
        }
        std::memcpy(r.at(out), scratch + s * w, (left - s) * w);
    }
}

struct FreeScratch {
    void operator()(uint8_t* p) const { std::free(p); }
};

// ---- Quicksort ----

constexpr size_t insertion_limit = 7;     // ranges this short are finished by insertion
constexpr size_t sample_every = 97;       // pre-pass: one pair in 97 is sampled
constexpr size_t probe_every = 10;        // ordered-prefix growth: a probe every 10 records
constexpr size_t min_stretch = 4;         // shortest stretch worth joining to the prefix
constexpr size_t wide_range = 511;        // above this, the pivot comes from the first 63 records
constexpr size_t pivot_window = 63;

// True when a then b is in order for the direction (+1 ascending, -1 descending).
bool in_order(const Records& r, size_t a, size_t b, int direction) {
    int32_t c = r.cmp(a, b);
    return direction > 0 ? c <= 0 : c >= 0;
}

// Exchanges the adjacent ranges [a, m) and [m, b).
void rotate(const Records& r, size_t a, size_t m, size_t b) {
    r.reverse(a, m);
    r.reverse(m, b);
    r.reverse(a, b);
}

// The first index in [lo, hi) for which `test` holds, when it holds for a
// tail of the range (binary search).
template <class Test>
size_t first_where(size_t lo, size_t hi, Test&& test) {
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (test(mid)) hi = mid;
        else lo = mid + 1;
    }
    return lo;
}

// Grows the ordered prefix [0, prefix) of a nearly ordered input. Around a
// probe every 10 records the longest stretch in that direction is found. A
// stretch of 4 or more records joins the prefix: its first records (at
// most half the stretch) are compared against the records before the join
// to place the join point, which may move back over at most a quarter of
// the prefix. The stretch is then swapped down to follow the join point,
// and the records it passed (whose order does not matter: they are sorted
// later) go behind it. Answers the new prefix length.
size_t grow_prefix(const Records& r, size_t n, size_t prefix, int direction) {
    size_t probe = prefix + probe_every;
    while (probe < n) {
        size_t a = probe;
        while (a > prefix && in_order(r, a - 1, a, direction)) a--;
        size_t b = probe + 1;
        while (b < n && in_order(r, b - 1, b, direction)) b++;
        size_t length = b - a;
        if (length >= min_stretch) {
            // Both the prefix and the stretch are ordered, so binary searches
            // find the first stretch record that may follow the lowest join
            // point allowed, and then the join point for that record.
            size_t floor = prefix - std::min(length / 2, prefix / 4);
            size_t first = first_where(a, a + length / 2 + 1,
                                       [&](size_t i) { return in_order(r, floor - 1, i, direction); });
            if (first < a + length / 2 + 1 && b - first >= min_stretch) {
                size_t join = first_where(floor, prefix, [&](size_t i) { return !in_order(r, i, first, direction); });
                size_t moved = b - first;
                size_t passed = first - join;
                if (moved <= passed) r.swap_blocks(join, first, moved);
                else rotate(r, join, first, b);
                prefix = join + moved;
            }
        }
        // [prefix, b) now holds only passed records: the next probe comes after.
        probe = (b > probe ? b : probe) + probe_every;
    }
    return prefix;
}

// Index of the first record in [lo, hi) that `key` sorts before (upper) or
// does not sort after (lower).
size_t search(const Records& r, size_t lo, size_t hi, size_t key, bool upper) {
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        int32_t c = r.cmp(key, mid);
        if (upper ? c < 0 : c <= 0) hi = mid;
        else lo = mid + 1;
    }
    return lo;
}

// Merges the sorted ranges [a, m) and [m, b) in place, without scratch
// space: the SymMerge algorithm of Kim and Kutzner, by rotations.
void merge_in_place(const Records& r, size_t a, size_t m, size_t b) {
    if (a >= m || m >= b) return;
    if (m - a == 1) {
        size_t i = search(r, m, b, a, false);  // first record not before a
        for (size_t k = a; k + 1 < i; k++) r.swap(k, k + 1);
        return;
    }
    if (b - m == 1) {
        size_t i = search(r, a, m, m, true);  // first record after m
        for (size_t k = m; k > i; k--) r.swap(k, k - 1);
        return;
    }
    size_t mid = a + (b - a) / 2;
    size_t total = mid + m;
    size_t start, hi;
    if (m > mid) start = total - b, hi = mid;
    else start = a, hi = m;
    size_t p = total - 1;
    while (start < hi) {
        size_t c = start + (hi - start) / 2;
        if (r.cmp(p - c, c) >= 0) start = c + 1;
        else hi = c;
    }
    size_t end = total - start;
    if (start < m && m < end) rotate(r, start, m, end);
    if (a < start && start < mid) merge_in_place(r, a, start, mid);
    if (mid < end && end < b) merge_in_place(r, mid, end, b);
}

// Heap sort of [lo, lo + n): the way out when partitions keep coming out
// lopsided, so no input takes more than n log n comparisons.
void heap_sort(const Records& r, size_t lo, size_t n) {
    auto sift_down = [&](size_t root, size_t size) {
        for (;;) {
            size_t child = 2 * root + 1;
            if (child >= size) return;
            if (child + 1 < size && r.cmp(lo + child, lo + child + 1) < 0) child++;
            if (r.cmp(lo + root, lo + child) >= 0) return;
            r.swap(lo + root, lo + child);
            root = child;
        }
    };
    for (size_t i = n / 2; i-- > 0;) sift_down(i, n);
    for (size_t end = n; end-- > 1;) {
        r.swap(lo, lo + end);
        sift_down(0, end);
    }
}

// Orders three records in place so that a <= b <= c.
void order_three(const Records& r, size_t a, size_t b, size_t c) {
    if (r.cmp(a, b) > 0) r.swap(a, b);
    if (r.cmp(b, c) > 0) {
        r.swap(b, c);
        if (r.cmp(a, b) > 0) r.swap(a, b);
    }
}

// Sorts [lo, lo + n). `hint` is the length of an ordered stretch at the
// start of the range: a stretch of at least half the range is kept, the
// rest sorted and merged into it. Otherwise the range is partitioned; the
// larger part is sorted by the loop, the smaller by recursion, so the depth
// stays logarithmic. `budget` counts the lopsided partitions still allowed
// before the range is finished by heap sort; `lopsided` is set once a
// partition came out lopsided (a sign of ordered input), and the pivot is
// then sampled from the whole range, in this range and in its parts.
void quick_sort_range(const Records& r, size_t lo, size_t n, size_t hint, int budget, bool lopsided) {
    while (n > insertion_limit) {
        // In input found to be ordered, parts are often ordered already:
        // measure the ordered stretch they start with.
        if (lopsided && hint == 0) {
            hint = 1;
            while (hint < n && r.cmp(lo + hint - 1, lo + hint) <= 0) hint++;
        }
        if (hint >= n) return;
        if (hint > 2 && hint >= n / 2) {
            quick_sort_range(r, lo + hint, n - hint, 0, budget, lopsided);
            merge_in_place(r, lo, lo + hint, lo + n);
            return;
        }
        if (budget <= 0) return heap_sort(r, lo, n);
        // The pivot goes to the second position, with a record no greater
        // than it before it: the median of the first, middle and last
        // records, of the first 63 when the range is wide and no partition
        // came out lopsided.
        size_t last = lo + (n > wide_range && !lopsided ? pivot_window : n) - 1;
        size_t pivot = lo + (last - lo) / 2;
        order_three(r, lo, pivot, last);
        r.swap(lo + 1, pivot);
        const uint8_t* p = r.at(lo + 1);
        // Partition [lo + 2, lo + n): equal records gather at both ends
        // ([lo + 1, a) and (d, end)), smaller ones at [a, b), larger at (c, d].
        // Record lo takes part as the first of the smaller ones.
        size_t end = lo + n;
        size_t a = lo + 2, b = lo + 2, c = end - 1, d = end - 1;
        for (;;) {
            int32_t k;
            while (b <= c && (k = r.cmp(r.at(b), p)) <= 0) {
                if (k == 0) r.swap(a++, b);
                b++;
            }
            while (b <= c && (k = r.cmp(r.at(c), p)) >= 0) {
                if (k == 0) r.swap(c, d--);
                c--;
            }
            if (b > c) break;
            r.swap(b++, c--);
        }
        size_t smaller = b - a;
        size_t larger = d - c;
        size_t s = std::min(a - (lo + 1), smaller);
        r.swap_blocks(lo + 1, b - s, s);
        s = std::min(larger, end - 1 - d);
        r.swap_blocks(b, end - s, s);
        // [lo, lo + smaller + 1) smaller, [end - larger, end) larger.
        size_t left_n = smaller + 1;
        size_t right_lo = end - larger;
        if (std::min(left_n, larger) < n / 8) lopsided = true, budget--;
        if (left_n < larger) {
            quick_sort_range(r, lo, left_n, 0, budget, lopsided);
            lo = right_lo, n = larger;
        } else {
            quick_sort_range(r, right_lo, larger, 0, budget, lopsided);
            n = left_n;
        }
        hint = 0;
    }
    r.insertion_sort(lo, lo + 1, lo + n);
}

}  // namespace

size_t stable_sort(void* base, size_t n, size_t width, void* arg1, void* arg2, Compare compare) {
    if (n < 2) return n;
    Records r{static_cast<uint8_t*>(base), width, arg1, arg2, compare};
    size_t scratch_size = width * (n / 2);
    if (width != 0 && scratch_size / width != n / 2) scratch_size = SIZE_MAX;
    if (scratch_size > 0x7FFFFFFF) error::fire(error::Id::too_long);
    std::unique_ptr<uint8_t, FreeScratch> scratch(static_cast<uint8_t*>(std::malloc(scratch_size ? scratch_size : 1)));
    if (!scratch) error::fire(error::Id::no_memory);

    struct Entry {
        size_t start;
        unsigned power;
    };
    Entry stack[66];  // powers on the stack rise strictly, and stay below 65
    size_t top = 0;
    size_t s1 = 0;
    size_t e1 = next_run(r, 0, n);
    while (e1 < n) {
        size_t s2 = e1;
        size_t e2 = next_run(r, s2, n);
        unsigned power = node_power(s1, s2, e2, n);
        while (top > 0 && stack[top - 1].power > power) {
            size_t start = stack[--top].start;
            merge(r, start, s1, e1, scratch.get());
            s1 = start;
        }
        stack[top++] = {s1, power};
        s1 = s2;
        e1 = e2;
    }
    while (top > 0) {
        size_t start = stack[--top].start;
        merge(r, start, s1, n, scratch.get());
        s1 = start;
    }
    return n;
}

void quick_sort(void* base, size_t n, size_t width, void* arg1, void* arg2, Compare compare) {
    if (n < 2) return;
    Records r{static_cast<uint8_t*>(base), width, arg1, arg2, compare};
    // Pre-pass: the ordered prefix (equal neighbours keep any direction),
    // then a sample of one pair in 97 beyond it.
    int direction = 0;
    size_t i = 1;
    for (; i < n; i++) {
        int32_t c = r.cmp(i - 1, i);
        if (c == 0) continue;
        int d = c < 0 ? 1 : -1;
        if (direction == 0) direction = d;
        else if (d != direction) break;
    }
    if (direction == 0) direction = 1;
    size_t prefix = i;
    int64_t score = static_cast<int64_t>(prefix) * direction;
    for (size_t j = prefix + sample_every; j < n; j += sample_every) {
        int32_t c = r.cmp(j - 1, j);
        score += c < 0 ? 1 : c > 0 ? -1 : 0;
    }
    int64_t magnitude = score < 0 ? -score : score;
    if (magnitude > static_cast<int64_t>(n / 512)) {
        int wanted = score > 0 ? 1 : -1;
        if (wanted != direction) prefix = 1, direction = wanted;
        prefix = grow_prefix(r, n, prefix, direction);
    }
    if (direction < 0) r.reverse(0, prefix);
    int budget = 2;
    for (size_t m = n; m > 1; m >>= 1) budget += 2;  // 2 log2 n
    quick_sort_range(r, 0, n, prefix, budget, false);
}

}  // namespace qor::sort
