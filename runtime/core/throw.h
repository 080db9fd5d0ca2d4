// Runtime throws and catch levels.
//
// A throw carries a 32-bit code. A catch level accepts every throw whose code
// does not exceed the level, compared unsigned, so the outermost level
// 0xFFFFFFFF accepts everything. Throws of this kind are rare (a failing
// platform call, `quit`, an uncaught language throw), so they are C++
// exceptions; the evaluator's frequent non-local exits (break, return, throw)
// do not go through here.
#pragma once

#include <cstdint>

namespace qor::rt {

// Codes 0x7FFFFFF6 to 0x7FFFFFFF belong to the runtime and the evaluator.
enum ThrowCode : uint32_t {
    throw_region_free_failed  = 0x7FFFFFF6,  // a memory region could not be released
    throw_region_alloc_failed = 0x7FFFFFF7,  // the OS refused a memory region
    throw_quit                = 0x0BADCAFE,  // the quit marker: end quietly with 0
};

struct Throw {
    uint32_t code;
};

[[noreturn]] void throw_code(uint32_t code);

// Runs body; a throw whose code is at most `level` (unsigned) is caught and
// its code returned, any other throw passes on. Answers 0 when body returned.
template <class Body>
uint32_t catch_level(uint32_t level, Body&& body) {
    try {
        body();
        return 0;
    } catch (const Throw& t) {
        if (t.code > level) throw;
        return t.code;
    }
}

}  // namespace qor::rt
