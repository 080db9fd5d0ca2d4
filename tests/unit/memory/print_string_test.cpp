// The default string hook prints a string! value from its index to its tail
// as UTF-8, whatever the unit width of its buffer.
#include <cstring>

#include "runtime/output/output.h"
#include "tests/support/child_process.h"
#include "tests/unit/memory/memory_fixture.h"

namespace qor {
namespace {

using test::MemoryTest;

// A string! cell over a new buffer holding `units`, at index `index`.
template <class Unit, size_t N>
Cell make_string(const Unit (&units)[N], uint32_t index) {
    NodeId id = series::alloc_units(N, sizeof(Unit));
    series::Buffer* b = series::buffer(id);
    std::memcpy(b->data(), units, sizeof units);
    b->set_tail_units(N);
    return Cell{to_int(TypeId::string), index, id, 0};
}

TEST_F(MemoryTest, PrintStringWritesEveryWidthAsUtf8) {
    const uint8_t latin1[] = {'c', 'a', 'f', 0xE9};
    const uint16_t ucs2[] = {'x', 0x3B1, 0x20AC, '!'};
    const uint32_t ucs4[] = {0x1F600, ' ', 0x10FFFF};
    Cell a = make_string(latin1, 0);
    Cell b = make_string(ucs2, 1);
    Cell c = make_string(ucs4, 0);
    Cell past_tail = make_string(latin1, 9);
    output::init();
    auto result = test::run_in_child([&] {
        output::run_string_hooks(a, true);
        output::run_string_hooks(b, false);
        output::run_string_hooks(c, true);
        output::run_string_hooks(past_tail, true);
    });
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.output,
              "caf\xC3\xA9\n"
              "\xCE\xB1\xE2\x82\xAC!"
              "\xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF\n"
              "\n");
}

}  // namespace
}  // namespace qor
