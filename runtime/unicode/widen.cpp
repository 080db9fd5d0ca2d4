// Widening a string's code units in place.
#include "runtime/unicode/widen.h"

#include <cstring>

#include "runtime/core/runtime_process.h"

namespace qor::unicode {

namespace {

template <class From, class To>
void widen_backwards(uint8_t* data, size_t count) {
    for (size_t i = count; i-- > 0;) {
        From narrow;
        std::memcpy(&narrow, data + i * sizeof(From), sizeof narrow);
        To wide = narrow;
        std::memcpy(data + i * sizeof(To), &wide, sizeof wide);
    }
}

}  // namespace

void widen_units(uint8_t* data, size_t count, int from, int to) {
    if (from == 1 && to == 2) return widen_backwards<uint8_t, uint16_t>(data, count);
    if (from == 1 && to == 4) return widen_backwards<uint8_t, uint32_t>(data, count);
    if (from == 2 && to == 4) return widen_backwards<uint16_t, uint32_t>(data, count);
    rt::quit(101);  // no string unit widens that way
}

}  // namespace qor::unicode
