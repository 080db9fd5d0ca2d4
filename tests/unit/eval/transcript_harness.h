// The in-process transcript harness: replays `>> ` input lines through the
// interpreter and compares what the console would print ("== " and the
// molded value; nothing for unset; "*** category/id" for an error, until
// the error catalogue forms messages).
#pragma once

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/eval/call_stack.h"
#include "runtime/eval/interpreter.h"
#include "runtime/eval/natives.h"
#include "runtime/output.h"
#include "runtime/words/context.h"
#include "runtime/words/symbol.h"
#include "runtime/words/word.h"
#include "tests/unit/eval/eval_fixture.h"
#include "tests/support/eval_environment.h"

namespace qor::test {

inline const char* category_name(error::Category c) {
    static const char* const names[] = {"throw", "note", "syntax", "script", "math",
                                        "access", "reserved1", "reserved2", "user", "internal"};
    return names[static_cast<int>(c)];
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

// Evaluates one input line as the console does and answers its output.
inline std::string run_line(std::string_view input) {
    static const bool hooked = (output::add_hook(capture_print, nullptr), true);
    (void)hooked;
    printed.clear();
    stack::init_calls({to_int(Sym::tag_body), to_int(Sym::tag_anon)});
    stack::data.base = stack::data.top = stack::data.bottom;
    std::string out;
    try {
        const Cell code = load(input);
        stack::mark_native(to_int(Sym::tag_body));
        stack::push(code);  // the code stays referenced
        stack::mark_try(to_int(Sym::tag_body));
        interpreter::eval_block(code, false);
        if (stack::exiting()) {
            out = "*** exit " + std::to_string(stack::take_exit()) + "\n";
        } else {
            const Cell result = stack::data.top[-1];
            if (type_of(result) != TypeId::unset) out = "== " + mold_value(result) + "\n";
        }
    } catch (const error::Raised& e) {
        stack::unwind_for_error();
        out = std::string("*** ") + category_name(e.category) + "/" + std::string(error::spelling(e.id)) + "\n";
    }
    return printed + out;
}

struct TranscriptCase {
    std::string input, expected;
};

// The cases of a transcript file.
inline std::vector<TranscriptCase> read_transcript(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    std::vector<TranscriptCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(">> ", 0) == 0) {
            cases.push_back({line.substr(3), ""});
        } else if (!cases.empty() && !line.empty()) {
            cases.back().expected += line + "\n";
        }
    }
    return cases;
}

}  // namespace qor::test
