// Raising language errors from C++.
#include "runtime/core/error_fire.h"

#include "runtime/errors/raise.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/trace.h"
#include "runtime/words/context.h"
#include "runtime/core/runtime_process.h"

namespace qor::error {

namespace {

// While tracing, a raise is reported to the trace callback as an `error`
// event with the error! value, made here so the callback sees it; the
// exception then carries that value, and the catch site uses it as it is.
[[noreturn]] void throw_reported(Raised raised) {
    const RaisePoint at{stack::get_call(), static_cast<uint32_t>(stack::call_depth())};
    Cell* const top = stack::data.top;
    const uint32_t index = stack::index_of(push_caught(raised, at));
    trace::fire(trace::error, 0, -1, nullptr, stack::cell_at(index));
    raised.value = *stack::cell_at(index);
    stack::data.top = top;
    throw raised;
}

}  // namespace

void fire(Id id, std::initializer_list<Arg> args) {
    Raised raised{category_of(id), id, {unset_cell, unset_cell, unset_cell}, {}, 0, interpreter::current_code(),
                  unset_cell};
    for (const Arg& arg : args) {
        if (raised.arg_count == 3) break;
        raised.args[raised.arg_count] = arg.value;
        raised.arg_words[raised.arg_count] = arg.word;
        raised.arg_count++;
    }
    if (trace::wanted(trace::error)) [[unlikely]] throw_reported(raised);
    throw raised;
}

// The error's category and id come from its code field (field 0), so catch
// sites that test the id see the same as for a fired error.
void raise_value(const Cell& error) {
    const Cell* fields = context::values(error.w1);
    const int code = fields && type_of(fields[0]) == TypeId::integer ? static_cast<int32_t>(fields[0].w2) : -1;
    const Id id = is_code(code) ? static_cast<Id>(code) : Id::invalid_error;
    const Raised raised{category_of(id), id, {unset_cell, unset_cell, unset_cell}, {}, 0, interpreter::current_code(),
                        error};
    if (trace::wanted(trace::error)) [[unlikely]] throw_reported(raised);
    throw raised;
}

void expect_arg(Arg call_word, TypeId type, Arg arg_word) {
    const Cell datatype{to_int(TypeId::datatype), to_int(type), 0, 0};
    fire(Id::expect_arg, {call_word, datatype, arg_word});
}

void bad_make_arg(const Cell& datatype, const Cell& spec) {
    fire(Id::bad_make_arg, {datatype, spec});
}

void unreachable() { rt::quit(101, rt::report_address(__builtin_return_address(0))); }

}  // namespace qor::error
