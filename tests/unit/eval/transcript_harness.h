// The in-process transcript harness: replays `>> ` input lines through the
// interpreter and compares what the console prints with standard input
// piped ("== " and the molded value; nothing for unset; for an error,
// raised or answered, the console's one print of the error and a line
// feed: "*** Math Error: attempt to divide by zero", its "*** Where: " and
// "*** Near : " lines, a space and an empty line). The same files replay
// through the real binary (tests/run_transcripts.py).
#pragma once

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/errors/raise.h"
#include "runtime/memory/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives.h"
#include "runtime/output/output.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "tests/unit/eval/eval_fixture.h"
#include "tests/support/eval_environment.h"

namespace qor::test {

// The text of a value formed (the console prints errors formed).
inline std::string form_text(const Cell& v) {
    Cell buffer = none::value;
    collector::RootGuard guard(buffer);
    text_buffer::make(buffer);
    actions::call_form(v, buffer, nullptr, 0);
    std::string out;
    for (uint32_t i = 0; i < text_buffer::length(buffer); i++) {
        const char32_t c = text_buffer::char_at(buffer, i);
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

// What print and prin wrote during the current line.
inline std::string printed;

inline void capture_print(const Cell& string, bool newline) {
    const series::Buffer* b = series::buffer(string.w2);
    for (uint32_t i = string.w1; i < b->length(); i++) {
        uint32_t c = 0;
        std::memcpy(&c, b->at(i), b->unit());
        printed += c < 0x80 ? static_cast<char>(c) : '?';
    }
    if (newline) printed += '\n';
}

// Evaluates one input line as the console does and answers its output. The
// console evaluates a command with `do`, so the line runs in a frame of
// that name: an error raised by the command itself shows "*** Where: do".
inline std::string run_line(std::string_view input) {
    static const bool hooked = (output::add_hook(capture_print, nullptr), true);
    (void)hooked;
    printed.clear();
    stack::init_calls({to_int(Sym::tag_body), to_int(Sym::tag_anon)});
    stack::data.base = stack::data.top = stack::data.bottom;
    std::string out;
    Cell* top = stack::data.top;
    try {
        const Cell code = load(input);
        static const uint32_t do_symbol = symbol::make("do");
        stack::mark_native(do_symbol);
        stack::push(code);  // the code stays referenced
        top = stack::data.top;
        stack::mark_try(to_int(Sym::tag_body));
        interpreter::eval_block(code, false);
        if (stack::exiting()) {
            out = "*** exit " + std::to_string(stack::take_exit()) + "\n";
        } else {
            const Cell result = stack::data.top[-1];
            if (type_of(result) == TypeId::error)
                out = form_text(result) + " \n\n";
            else if (type_of(result) != TypeId::unset)
                out = "== " + mold_value(result) + "\n";
        }
    } catch (const error::Raised& e) {
        Cell error = *error::catch_raised(e, top, false);
        collector::RootGuard guard(error);
        out = form_text(error) + " \n\n";
    }
    return printed + out;
}

// Runs the console lines of a transcript directory's setup.txt (what the
// real console gets first, before each transcript of the directory); they
// print nothing.
inline void run_setup(const std::string& dir) {
    std::ifstream in(dir + "/setup.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        EXPECT_EQ(run_line(line), "") << line;
    }
}

struct TranscriptCase {
    std::string input, expected;
};

// The cases of a transcript file: each `>> ` line and the lines after it,
// empty ones included, up to the next `>> ` line.
inline std::vector<TranscriptCase> read_transcript(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    std::vector<TranscriptCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(">> ", 0) == 0) {
            cases.push_back({line.substr(3), ""});
        } else if (!cases.empty()) {
            cases.back().expected += line + "\n";
        }
    }
    return cases;
}

// Replays every case of a transcript file, each line's output compared
// with what the file expects.
inline void replay_transcript(const std::string& path) {
    const std::vector<TranscriptCase> cases = read_transcript(path);
    EXPECT_FALSE(cases.empty()) << path;
    for (const TranscriptCase& c : cases) EXPECT_EQ(run_line(c.input), c.expected) << ">> " << c.input;
}

}  // namespace qor::test
