// A small reader of source text for evaluator tests, until the lexer's
// loader is merged: integers, decimals, words and their set/get/lit forms,
// refinements, issues, paths, blocks and parens. Anything else fails the
// read (std::runtime_error). Words are bound in the global context, as
// loaded text is. Shared by the evaluator tests and benchmarks.
#pragma once

#include <cctype>
#include <stdexcept>
#include <string>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/memory/series.h"
#include "runtime/series_tail.h"
#include "runtime/words/word.h"

namespace qor::test {

class MiniReader {
public:
    explicit MiniReader(std::string_view text) : text_(text) {}

    // The whole text as a block.
    Cell read_all() {
        Cell block = read_series(TypeId::block, '\0');
        return block;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;

    static bool delimiter(char c) {
        return c == '\0' || std::isspace(static_cast<unsigned char>(c)) || c == '[' || c == ']' || c == '(' ||
               c == ')';
    }
    char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

    Cell read_series(TypeId type, char close) {
        const NodeId node = series::alloc_cells(8);
        for (;;) {
            while (std::isspace(static_cast<unsigned char>(peek()))) pos_++;
            const char c = peek();
            if (c == close) {
                if (c) pos_++;
                break;
            }
            if (c == '\0') throw std::runtime_error("missing " + std::string(1, close) + " in: " + std::string(text_));
            Cell value;
            if (c == '[') {
                pos_++;
                value = read_series(TypeId::block, ']');
            } else if (c == '(') {
                pos_++;
                value = read_series(TypeId::paren, ')');
            } else {
                const size_t start = pos_;
                while (!delimiter(peek())) pos_++;
                value = token(text_.substr(start, pos_ - start));
            }
            *series_tail::alloc_cell(node) = value;
        }
        return Cell{to_int(type), 0, node, 0};
    }

    static bool is_number(std::string_view t) {
        size_t i = (t[0] == '-' || t[0] == '+') && t.size() > 1 ? 1 : 0;
        if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
        for (; i < t.size(); i++)
            if (!std::isdigit(static_cast<unsigned char>(t[i])) && t[i] != '.') return false;
        return true;
    }

    static Cell word_cell(std::string_view spelling, TypeId type) {
        Cell w = word::load(spelling);
        set_type_keep_flags(w, type);
        return w;
    }

    static Cell element(std::string_view t) {
        if (is_number(t)) return number(t);
        if (t.size() > 1 && t[0] == ':') return word_cell(t.substr(1), TypeId::get_word);
        return word_cell(t, TypeId::word);
    }

    static Cell number(std::string_view t) {
        const std::string s(t);
        if (s.find('.') != std::string::npos) {
            Cell c{to_int(TypeId::float_), 0, 0, 0};
            set_double(c, std::stod(s));
            return c;
        }
        return Cell{to_int(TypeId::integer), 0, static_cast<uint32_t>(std::stol(s)), 0};
    }

    static Cell path(std::string_view t, TypeId type) {
        const NodeId node = series::alloc_cells(4);
        size_t start = 0;
        for (;;) {
            const size_t slash = t.find('/', start);
            *series_tail::alloc_cell(node) = element(t.substr(start, slash - start));
            if (slash == std::string_view::npos) break;
            start = slash + 1;
        }
        return Cell{to_int(type), 0, node, 0};
    }

    static Cell token(std::string_view t) {
        if (is_number(t)) return number(t);
        if (t[0] == '/' && t.size() > 1) return word_cell(t.substr(1), TypeId::refinement);
        if (t[0] == '#') return word_cell(t.substr(1), TypeId::issue);
        if (t.find('/') != std::string_view::npos && t.size() > 1) {
            if (t[0] == '\'') return path(t.substr(1), TypeId::lit_path);
            if (t[0] == ':') return path(t.substr(1), TypeId::get_path);
            if (t.back() == ':') return path(t.substr(0, t.size() - 1), TypeId::set_path);
            return path(t, TypeId::path);
        }
        if (t.size() > 1 && t[0] == '\'') return word_cell(t.substr(1), TypeId::lit_word);
        if (t.size() > 1 && t[0] == ':') return word_cell(t.substr(1), TypeId::get_word);
        if (t.size() > 1 && t.back() == ':') return word_cell(t.substr(0, t.size() - 1), TypeId::set_word);
        return word_cell(t, TypeId::word);
    }
};

}  // namespace qor::test
