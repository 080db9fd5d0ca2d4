// The cycle stack.
#include "runtime/memory/cycle_stack.h"

#include "runtime/core/error_fire.h"

namespace qor::cycle {

namespace {
uint32_t stack[capacity];
int top = 0;
}  // namespace

void push(uint32_t series) {
    if (top + 1 == capacity) error::fire(error::Id::too_deep);
    stack[top++] = series;
}

void truncate(int depth) {
    if (depth >= 0 && depth < top) top = depth;
}

void pop() {
    if (top > 0) top--;
}

void reset() { top = 0; }

bool find(uint32_t series) {
    for (int i = 0; i < top; i++)
        if (stack[i] == series) return true;
    return false;
}

int depth() { return top; }

std::span<uint32_t> entries() { return {stack, static_cast<size_t>(top)}; }

}  // namespace qor::cycle
