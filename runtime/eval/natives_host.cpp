// Host natives: the process environment as a map.
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/host/env_list.h"
#include "runtime/memory/series.h"
#include "runtime/series_tail.h"
#include "runtime/strings/string_core.h"

namespace qor::natives::impl {

namespace {

void append_text(const Cell& block, const std::string& text) {
    const Cell* s = str::push_new(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    const Cell copy = *s;  // the block is reached from the stack below it
    *series_tail::alloc_cell(block.w2) = copy;
    stack::pop();
}

// list-env: a map of every variable's name to its text, both strings, in
// the order the environment holds them.
void n_list_env(bool, std::span<const int32_t>) {
    const std::vector<host::EnvVariable> variables = host::list_env();
    const Cell* pairs = stack::push(Cell{to_int(TypeId::block), 0, series::alloc_cells(100), 0});
    for (const host::EnvVariable& v : variables) {
        append_text(*pairs, v.name);
        append_text(*pairs, v.value);
    }
    Cell map = none::value;
    map::make_at(map, pairs, 0);
    *arg(0) = map;
    stack::pop();
}

}  // namespace

void install_host(std::span<Routine> r) { r[94] = n_list_env; }

}  // namespace qor::natives::impl
