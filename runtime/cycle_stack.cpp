// The cycle stack.
#include "runtime/cycle_stack.h"

#include "runtime/error_fire.h"

namespace qor::cycle {

namespace {
uint32_t stack[capacity];
int top = 0;
}  // namespace

void push(uint32_t series) {
    stack[top++] = series;
    if (top == capacity) {
        top = 0;
        error::fire(error::Category::internal, "too-deep");
    }
}

void pop() {
    if (top > 0) top--;
}

void pop_n(int n) { top = n >= top ? 0 : top - (n > 0 ? n : 0); }

void reset() { top = 0; }

bool find(uint32_t series) {
    for (int i = 0; i < top; i++)
        if (stack[i] == series) return true;
    return false;
}

int depth() { return top; }

std::span<uint32_t> entries() { return {stack, static_cast<size_t>(top)}; }

}  // namespace qor::cycle
