// A fresh runtime with the lexer for each test, and a plain text rendering
// of loaded values that shows their type and payload.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/datatypes/registry.h"
#include "runtime/core/error_fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/hash/hash_table.h"
#include "runtime/numtext/float_text.h"
#include "runtime/lexer/lexer.h"
#include "runtime/memory/series.h"
#include "runtime/words/ownership.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "tests/support/core_runtime.h"

namespace qor::test {

class LexerTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_core_runtime();
        lexer::init();
    }
    void TearDown() override {
        stop_core_runtime();
    }

    static Cell load(std::string_view text, lexer::Options options = {}) {
        Cell out = unset_cell;
        lexer::scan_buffer(&out, reinterpret_cast<const uint8_t*>(text.data()), text.size(), options);
        return out;
    }
    static uint32_t length_of(const Cell& series) { return series::buffer(series.w2)->length(); }
    static Cell* cells_of(const Cell& block) { return series::buffer(block.w2)->cells(); }
};

inline std::string type_name(TypeId t) {
    static constexpr const char* names[] = {
        "?", "datatype!", "unset!", "none!", "logic!", "block!", "paren!", "string!", "file!", "url!",
        "char!", "integer!", "float!", "symbol!", "context!", "word!", "set-word!", "lit-word!", "get-word!",
        "refinement!", "issue!", "native!", "action!", "op!", "function!", "path!", "lit-path!", "set-path!",
        "get-path!", "routine!", "bitset!", "triple!", "object!", "typeset!", "error!", "vector!", "hash!",
        "pair!", "percent!", "tuple!", "map!", "binary!", "series!", "time!", "tag!", "email!", "handle!",
        "date!", "port!", "money!", "ref!", "point2D!", "point3D!", "image!", "event!"};
    return to_int(t) < std::size(names) ? names[to_int(t)] : "?";
}

inline std::string text_of_series(const Cell& c) {
    const series::Buffer* b = series::buffer(c.w2);
    std::string out;
    for (uint32_t i = c.w1; i < b->length(); i++) {
        uint32_t cp = 0;
        std::memcpy(&cp, b->at(i), b->unit());
        if (cp < 0x80) out += static_cast<char>(cp);
        else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "^(%X)", cp);
            out += buf;
        }
    }
    return out;
}

// "type value": a rendering of the payload that shows what was loaded.
inline std::string show(const Cell& c) {
    const TypeId t = type_of(c);
    std::string out = type_name(t) + " ";
    char buf[64];
    switch (t) {
        case TypeId::integer: out += std::to_string(get_int(c)); break;
        case TypeId::char_: out += std::to_string(c.w2); break;
        case TypeId::logic: out += c.w1 ? "true" : "false"; break;
        case TypeId::datatype: out += type_name(static_cast<TypeId>(c.w1)); break;
        case TypeId::none: case TypeId::unset: out.pop_back(); break;
        case TypeId::float_: case TypeId::percent: case TypeId::time:
            out += std::string(float_text::form(get_double(c), 0, false).view());
            break;
        case TypeId::pair:
            out += std::to_string(static_cast<int32_t>(c.w2)) + "x" + std::to_string(static_cast<int32_t>(c.w3));
            break;
        case TypeId::point2d: case TypeId::point3d: {
            float f[3];
            std::memcpy(f, &c.w1, sizeof f);
            std::snprintf(buf, sizeof buf, t == TypeId::point2d ? "(%g, %g)" : "(%g, %g, %g)", f[0], f[1], f[2]);
            out += buf;
            break;
        }
        case TypeId::tuple: {
            const uint32_t n = (c.header & cell_flag::tuple_length_mask) >> cell_flag::tuple_length_shift;
            uint8_t bytes[12];
            std::memcpy(bytes, &c.w1, 12);
            for (uint32_t i = 0; i < n; i++) out += (i ? "." : "") + std::to_string(bytes[i]);
            break;
        }
        case TypeId::date: {
            const uint32_t w = c.w1;
            std::snprintf(buf, sizeof buf, "%u-%u-%u", w >> 17, (w >> 12) & 15, (w >> 7) & 31);
            out += buf;
            if (w & (1u << 16)) {
                std::snprintf(buf, sizeof buf, " t=%g z=%u", get_double(c), w & 0x7F);
                out += buf;
            }
            break;
        }
        case TypeId::money: {
            uint8_t p[12];
            std::memcpy(p, &c.w1, 12);
            if (c.header & cell_flag::money_negative) out += "-";
            out += "cur" + std::to_string(p[0]) + " ";
            for (int k = 0; k < 22; k++) {
                if (k == 17) out += ".";
                out += static_cast<char>('0' + ((k % 2 ? p[1 + k / 2] : p[1 + k / 2] >> 4) & 15));
            }
            break;
        }
        case TypeId::binary: {
            const series::Buffer* b = series::buffer(c.w2);
            out += "#{";
            for (uint32_t i = 0; i < b->length(); i++) {
                std::snprintf(buf, sizeof buf, "%02X", b->head_ptr()[i]);
                out += buf;
            }
            out += "}";
            break;
        }
        case TypeId::string: case TypeId::file: case TypeId::url: case TypeId::tag: case TypeId::email:
        case TypeId::ref:
            out += "\"" + text_of_series(c) + "\"";
            break;
        case TypeId::word: case TypeId::set_word: case TypeId::lit_word: case TypeId::get_word:
        case TypeId::refinement: case TypeId::issue:
            out += std::string(symbol::spelling(word::symbol_of(c)));
            break;
        case TypeId::block: case TypeId::paren: case TypeId::path: case TypeId::lit_path:
        case TypeId::set_path: case TypeId::get_path: case TypeId::map: {
            const series::Buffer* b = series::buffer(c.w2);
            out += "[";
            for (uint32_t i = 0; i < b->length(); i++) {
                const Cell& e = reinterpret_cast<const Cell*>(b->head_ptr())[i];
                if (i) out += " ";
                if (e.header & cell_flag::new_line) out += "|";
                out += show(e);
            }
            out += "]";
            break;
        }
        default: out += "?"; break;
    }
    return out;
}

// The message of a syntax error as the console words it.
inline std::string message_of(const error::Raised& e) {
    auto arg = [&](int i) -> std::string {
        const Cell& c = e.args[i];
        switch (type_of(c)) {
            case TypeId::string: return text_of_series(c);
            case TypeId::char_: return std::string(1, static_cast<char>(c.w2));
            case TypeId::datatype: return type_name(static_cast<TypeId>(c.w1));
            default: return "?";
        }
    };
    std::string id(error::spelling(e.id));
    if (id == "missing") return arg(0) + " missing " + arg(1) + " at " + arg(2);
    if (id == "invalid") return arg(0) + " " + arg(1) + " invalid at " + arg(2);
    return arg(0) + " " + id + " at " + arg(e.arg_count - 1);
}

}  // namespace qor::test
