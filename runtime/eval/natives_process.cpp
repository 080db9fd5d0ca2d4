// The `call` native: runs another program through the host's process
// service, with its input taken from a value or a file and its output and
// error captured into values or appended to files.
#include <string>
#include <vector>

#include "runtime/datatypes/integer.h"
#include "runtime/memory/data_stack.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/host/process_call.h"
#include "runtime/strings/binary.h"
#include "runtime/strings/string_core.h"
#include "runtime/strings/url_text.h"

namespace qor::natives::impl {

namespace {

// The refinements of call, in spec order.
enum Refinement : size_t { ref_wait, ref_show, ref_console, ref_shell, ref_input, ref_output, ref_error };

const Cell* refinement_value(std::span<const int32_t> refinements, Refinement r) {
    if (refinements.size() <= r || refinements[r] < 0) return nullptr;
    return arg(static_cast<uint32_t>(refinements[r]));
}

bool given(std::span<const int32_t> refinements, Refinement r) {
    return refinements.size() > r && refinements[r] >= 0;
}

// A redirected output: a file by its local path, a string or binary as a
// capture.
host::CallStream output_stream(const Cell* value) {
    host::CallStream s;
    if (!value) return s;
    if (type_of(*value) == TypeId::file) {
        s.kind = host::CallStream::Kind::file;
        s.path = url_text::to_local(*value, false);
    } else {
        s.kind = host::CallStream::Kind::data;
    }
    return s;
}

// Adds captured bytes to the value they were captured for: a string gets
// their text decoded from UTF-8 at its tail, a binary the bytes inserted
// at its index. Nothing captured leaves the value as it is.
void deliver(const Cell* target, const std::vector<uint8_t>& bytes) {
    if (!target || bytes.empty() || type_of(*target) == TypeId::file) return;
    Cell* captured = stack::push(unset_cell);
    if (type_of(*target) == TypeId::binary) {
        binary_type::load_at(*captured, bytes);
        Cell* series = stack::push(*target);
        binary_type::insert(series, captured, nullptr, false, nullptr);
        stack::pop();
    } else {
        str::load_at(bytes.data(), bytes.size(), *captured, static_cast<int32_t>(str::Encoding::utf8));
        Cell into = *target;
        str::concatenate(into, *captured, -1, 0, str::Mode::append);
    }
    stack::pop();
}

// call cmd /wait /show /console /shell /input in /output out /error err:
// 0 for an empty command, -1 when the program cannot run, the exit code
// after a wait, else the process id.
void n_call(bool, std::span<const int32_t> refinements) {
    const Cell command = *arg(0);
    if (str::length_at(command) == 0) {
        integer::box(0);
        return;
    }
    host::CallOptions options;
    options.wait = given(refinements, ref_wait);
    options.console = given(refinements, ref_console);
    options.shell = given(refinements, ref_shell);
    options.program_file = type_of(command) == TypeId::file;
    const std::string text =
        options.program_file ? url_text::to_local(command, false) : str::to_utf8(command);

    std::vector<uint8_t> input_bytes;
    if (const Cell* in = refinement_value(refinements, ref_input)) {
        if (type_of(*in) == TypeId::file) {
            options.in.kind = host::CallStream::Kind::file;
            options.in.path = url_text::to_local(*in, false);
        } else {
            if (type_of(*in) == TypeId::binary) {
                input_bytes = binary_type::bytes_of(*in);
            } else {
                const std::string utf8 = str::to_utf8(*in);
                input_bytes.assign(utf8.begin(), utf8.end());
            }
            options.in.kind = host::CallStream::Kind::data;
            options.in.input = input_bytes;
        }
    }
    const Cell* out = refinement_value(refinements, ref_output);
    const Cell* err = refinement_value(refinements, ref_error);
    options.out = output_stream(out);
    options.err = output_stream(err);

    const host::CallResult result = host::run_call(text, options);
    deliver(out, result.out);
    deliver(err, result.err);
    integer::box(result.answer);
}

}  // namespace

void install_process(Table& r) { r[Native::call] = n_call; }

}  // namespace qor::natives::impl
