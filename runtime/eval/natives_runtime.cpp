// Runtime and host natives: the new-line marker of block cells (new-line,
// new-line?), a word's context (context?), a file's size (size?) and
// opening a URL or file with the desktop (browse).
#include <climits>
#include <optional>
#include <string>

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/unset.h"
#include "runtime/core/error_fire.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/memory/series.h"
#include "runtime/platform/desktop_open.h"
#include "runtime/platform/file_system.h"
#include "runtime/strings/string_core.h"
#include "runtime/strings/url_text.h"
#include "runtime/words/context.h"

namespace qor::natives::impl {

namespace {

void set_marker(Cell& c, bool on) {
    if (on) c.header |= cell_flag::new_line;
    else c.header &= ~cell_flag::new_line;
}

// new-line position value /all /skip size: the marker of the cell at the
// position; with /all every cell to the tail, with /skip every size-th one
// (the others get the opposite).
void n_new_line(bool, std::span<const int32_t> refs) {
    const Cell position = *arg(0);
    const bool value = arg(1)->w1 != 0;
    const bool all = refs[0] >= 0;
    int64_t step = 1;
    if (refs[1] >= 0) {
        const Cell size = *arg(static_cast<uint32_t>(refs[1]));
        step = get_int(size);
        if (step <= 0) error::fire(error::Id::out_of_range, {size});
    }
    series::Buffer* b = series::buffer(position.w2);
    const uint32_t length = b->length();
    if (!all && refs[1] < 0) {
        if (position.w1 < length) set_marker(b->cells()[position.w1], value);
    } else {
        for (uint32_t i = position.w1; i < length; i++) {
            const uint32_t n = i - position.w1;
            set_marker(b->cells()[i], step == 1 || n % step == 0 ? value : !value);
        }
    }
    *arg(0) = position;
}

// new-line? position: whether the cell at the position carries the marker.
void n_new_line_q(bool, std::span<const int32_t>) {
    const Cell position = *arg(0);
    series::Buffer* b = series::buffer(position.w2);
    const bool marked = position.w1 < b->length() && (b->cells()[position.w1].header & cell_flag::new_line) != 0;
    logic::make_at(*arg(0), marked);
}

// context? word: the self value of the word's context (the object or
// function it belongs to); none for an unbound word or a context without
// a self value.
void n_context_q(bool, std::span<const int32_t>) {
    const Cell word = *arg(0);
    const NodeId ctx = word.w1;
    Cell answer = none::value;
    if (ctx != 0) {
        const Cell self = *context::self(ctx);
        if (type_of(self) != TypeId::unset) answer = self;
    }
    *arg(0) = answer;
}

// size? file: the file's size from its status; none for a directory (or a
// name spelled as one) and for what cannot be asked.
void n_size_q(bool, std::span<const int32_t>) {
    const std::string path = url_text::to_local(*arg(0), false);
    const bool dir_name = path.empty() || path.back() == '/' || path == "." || path == "..";
    const auto status = dir_name ? std::nullopt : platform::path_status(path);
    if (!status || status->is_directory) {
        *arg(0) = none::value;
        return;
    }
    Cell size{to_int(TypeId::integer), 0, 0, 0};
    set_int(size, static_cast<int32_t>(status->size > INT32_MAX ? INT32_MAX : status->size));
    *arg(0) = size;
}

// browse url: a file! as its local path, a url! as its text, handed to the
// desktop's opener as one argument.
void n_browse(bool, std::span<const int32_t>) {
    const Cell target = *arg(0);
    const std::string text =
        type_of(target) == TypeId::file ? url_text::to_local(target, true) : str::to_utf8(target);
    platform::open_in_desktop(text);
    *arg(0) = unset::value;
}

}  // namespace

void install_runtime(Table& r) {
    r[Native::new_line] = n_new_line;
    r[Native::new_line_q] = n_new_line_q;
    r[Native::context_q] = n_context_q;
    r[Native::size_q] = n_size_q;
    r[Native::browse] = n_browse;
}

}  // namespace qor::natives::impl
