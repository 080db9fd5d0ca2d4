// The CSV decoder's fast path in C++: `csv-rows` cuts CSV text into a
// block of rows (each a block of new strings) as the decoder's line grammar
// does, for the plain modes of load-csv. It answers none when the text needs
// the grammar: rows of different lengths (the grammar reports them) or a
// line that stops at a part of a many-character delimiter.
//
// A line is values separated by the delimiter and ends at CR LF, LF, CR or
// the end. A value is quoted (the quote character, any text in which the
// quote is doubled, the quote, then a delimiter, a line end or the end:
// the doubled quotes become one) or plain (everything up to a line end or
// a character of the delimiter; a quote that does not open a well-formed
// quoted value is plain text). Line ends at the end of the text make no
// rows; every other line makes one, an empty line a row of one empty
// string.
#include <string>

#include "runtime/environment/routines.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/text_buffer.h"
#include "runtime/memory/data_stack.h"
#include "runtime/memory/series.h"
#include "runtime/memory/series_tail.h"
#include "runtime/strings/string_core.h"

namespace qor::environment {
namespace {

class Splitter {
public:
    Splitter(std::u32string text, std::u32string delimiter, char32_t quote)
        : in_(std::move(text)), delimiter_(std::move(delimiter)), quote_(quote) {}

    // The rows into the block; false when the text is left to the grammar.
    bool rows(NodeId out) {
        int64_t width = -1;
        while (!only_line_ends()) {
            Cell* row = stack::push(Cell{to_int(TypeId::block), 0, series::alloc_cells(16), 0});
            const NodeId values = row->w2;
            for (;;) {
                value(values);
                if (!at_delimiter()) break;
                pos_ += delimiter_.size();
            }
            if (!line_end()) return false;
            const int64_t n = series::buffer(values)->length();
            if (width >= 0 && n != width) return false;
            width = n;
            *series_tail::alloc_cell(out) = *row;
            stack::pop();
        }
        return true;
    }

private:
    std::u32string in_;
    std::u32string delimiter_;
    char32_t quote_;
    size_t pos_ = 0;
    std::u32string text_;

    [[nodiscard]] bool line_char(char32_t c) const { return c == '\n' || c == '\r'; }

    [[nodiscard]] bool only_line_ends() const {
        for (size_t i = pos_; i < in_.size(); i++)
            if (!line_char(in_[i])) return false;
        return true;
    }

    [[nodiscard]] bool at_delimiter() const {
        return !delimiter_.empty() && in_.compare(pos_, delimiter_.size(), delimiter_) == 0;
    }

    // Consumes CR LF, LF or CR; true also at the end.
    bool line_end() {
        if (pos_ >= in_.size()) return true;
        if (in_[pos_] == '\r' && pos_ + 1 < in_.size() && in_[pos_ + 1] == '\n') {
            pos_ += 2;
            return true;
        }
        if (line_char(in_[pos_])) {
            pos_++;
            return true;
        }
        return false;
    }

    // A quoted value into text_; false (position unchanged) when the text
    // there is not one.
    bool quoted() {
        size_t j = pos_ + 1;
        text_.clear();
        for (;;) {
            if (j >= in_.size()) return false;
            if (in_[j] == quote_) {
                if (j + 1 < in_.size() && in_[j + 1] == quote_) {
                    text_ += quote_;
                    j += 2;
                    continue;
                }
                break;
            }
            text_ += in_[j++];
        }
        const size_t after = j + 1;
        const bool ends = after >= in_.size() || line_char(in_[after]) ||
                          (!delimiter_.empty() && in_.compare(after, delimiter_.size(), delimiter_) == 0);
        if (!ends) return false;
        pos_ = after;
        return true;
    }

    void value(NodeId values) {
        if (!(pos_ < in_.size() && in_[pos_] == quote_ && quoted())) {
            text_.clear();
            while (pos_ < in_.size() && !line_char(in_[pos_]) && delimiter_.find(in_[pos_]) == std::u32string::npos)
                text_ += in_[pos_++];
        }
        char32_t widest = 0;
        for (char32_t c : text_) widest = c > widest ? c : widest;
        Cell* s = stack::push(none::value);
        str::make_at(*s, static_cast<uint32_t>(text_.size()), widest < 0x100 ? 1 : widest < 0x10000 ? 2 : 4);
        str::append_chars(*s, text_);
        *series_tail::alloc_cell(values) = *s;
        stack::pop();
    }
};

// csv-rows data delimiter quote: a block of rows, or none.
void csv_rows() {
    const size_t depth = stack::depth();
    const Cell delimiter = *stack::arg(1);
    std::u32string delimiter_text = type_of(delimiter) == TypeId::char_
                                        ? std::u32string(1, static_cast<char32_t>(delimiter.w2))
                                        : text_buffer::chars(delimiter);
    Splitter splitter(text_buffer::chars(*stack::arg(0)), std::move(delimiter_text),
                      static_cast<char32_t>(stack::arg(2)->w2));
    Cell* out = stack::push(Cell{to_int(TypeId::block), 0, series::alloc_cells(64), 0});
    const NodeId node = out->w2;
    // An empty delimiter is the grammar's to handle.
    const bool ok = !(type_of(delimiter) != TypeId::char_ && text_buffer::length(delimiter) == 0) && splitter.rows(node);
    const Cell result = ok ? *out : none::value;
    stack::data.top = stack::data.bottom + depth;
    *stack::arg(0) = result;
}

}  // namespace

void define_csv_routines() {
    define_routine("csv-rows", R"spec([
        "Cuts CSV text into rows of strings; none when the rows differ in length"
        data [string!] delimiter [char! string!] quote [char!]
    ])spec", csv_rows);
}

}  // namespace qor::environment
